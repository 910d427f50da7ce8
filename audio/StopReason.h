#pragma once
#include <cstdint>

namespace talvinor {

// Why a master's run ended (GetStopReason). Codes other than those a master
// raises itself arrive as Abort messages and are kept unchanged, so a value
// outside this list is still a reason.
enum class StopReason : uint32_t {
  None = 0,                  // no run has ended yet
  ByOwner = 1,               // the owner closed the master
  EndOfStream = 2,           // the source reached its end
  BadState = 10,             // the master thread found a state outside its table
  EncoderFailure = 11,       // an encoder failed while processing
  SourceFailure = 12,        // a file source failed while running
  SetupFailure = 20,         // components, buffers or the source could not be set up
  EncoderStartFailure = 21,  // the encoder could not produce its stream headers
  SourceSetupFailure = 22,   // a file source failed during its set-up
  FileOpen = 31,             // the output or input file could not be opened
  FileWrite = 32,            // a file write failed or the buffer was short
  FileRead = 33,             // a file read failed or the buffer was too small
  FileSeek = 34,             // a file seek failed
  FileSizeLimit = 35,        // the output reached the largest size its header can describe;
                             // the file is complete up to there
  MalformedStream = 81,      // the source stream is malformed
  DeviceFailure = 91,        // the wave device or the source's buffer layout is unusable
};

// The number a reason travels as in an Abort message, and is shown or
// returned as an exit status.
constexpr uint32_t StopCode(StopReason reason) { return static_cast<uint32_t>(reason); }
// The reason an Abort message's code stands for; any code is kept as it is.
constexpr StopReason StopReasonFromCode(uint32_t code) { return static_cast<StopReason>(code); }

// A short English description of `reason` for logs and the command line.
const char* DescribeStopReason(StopReason reason);

}  // namespace talvinor
