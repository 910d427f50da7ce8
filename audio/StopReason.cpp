#include "audio/StopReason.h"

namespace talvinor {

const char* DescribeStopReason(StopReason reason) {
  switch (reason) {
    case StopReason::None: return "completed";
    case StopReason::ByOwner: return "stopped by request";
    case StopReason::EndOfStream: return "completed (end of stream)";
    case StopReason::BadState: return "internal error: unexpected engine state";
    case StopReason::EncoderFailure: return "the encoder failed";
    case StopReason::SourceFailure: return "reading the source stream failed";
    case StopReason::SetupFailure: return "the conversion could not be set up";
    case StopReason::EncoderStartFailure: return "the encoder could not start its stream (format not supported)";
    case StopReason::SourceSetupFailure: return "the source stream could not be opened";
    case StopReason::FileOpen: return "cannot open the file (missing, already exists, not permitted or 4 GiB or larger)";
    case StopReason::FileWrite: return "writing the file failed";
    case StopReason::FileRead: return "reading the file failed";
    case StopReason::FileSeek: return "moving in the file failed";
    case StopReason::FileSizeLimit: return "the output reached the largest size a WAV header can describe; it ends there";
    case StopReason::MalformedStream: return "not a file format that can be read (malformed header)";
    case StopReason::DeviceFailure: return "the audio device cannot be used with this format";
    default: return "an error occurred";
  }
}

}  // namespace talvinor
