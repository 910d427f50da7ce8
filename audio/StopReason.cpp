#include "audio/StopReason.h"

namespace talvinor {

const char* DescribeStopReason(uint32_t reason) {
  switch (reason) {
    case kStopNone: return "completed";
    case kStopByOwner: return "stopped by request";
    case kStopEndOfStream: return "completed (end of stream)";
    case kStopBadState: return "internal error: unexpected engine state";
    case kStopEncoderFailure: return "the encoder failed";
    case kStopSourceFailure: return "reading the source stream failed";
    case kStopSetupFailure: return "the conversion could not be set up";
    case kStopEncoderStartFailure: return "the encoder could not start its stream (format not supported)";
    case kStopSourceSetupFailure: return "the source stream could not be opened";
    case kStopFileOpen: return "cannot open the file (missing, already exists, not permitted or 4 GiB or larger)";
    case kStopFileWrite: return "writing the file failed";
    case kStopFileRead: return "reading the file failed";
    case kStopFileSeek: return "moving in the file failed";
    case kStopFileSizeLimit: return "the output reached the largest size a WAV header can describe; it ends there";
    case kStopMalformedStream: return "not a file format that can be read (malformed header)";
    case kStopDeviceFailure: return "the audio device cannot be used with this format";
    default: return "an error occurred";
  }
}

}  // namespace talvinor
