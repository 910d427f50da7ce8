#pragma once
#include <cstdint>

namespace talvinor {

// Why a master's run ended (GetStopReason). Codes other than those a master
// raises itself arrive as Abort messages and are kept unchanged.
enum StopReason : uint32_t {
  kStopNone = 0,                  // no run has ended yet
  kStopByOwner = 1,               // the owner closed the master
  kStopEndOfStream = 2,           // the source reached its end
  kStopBadState = 10,             // the master thread found a state outside its table
  kStopEncoderFailure = 11,       // an encoder failed while processing
  kStopSourceFailure = 12,        // a file source failed while running
  kStopSetupFailure = 20,         // components, buffers or the source could not be set up
  kStopEncoderStartFailure = 21,  // the encoder could not produce its stream headers
  kStopSourceSetupFailure = 22,   // a file source failed during its set-up
  kStopFileOpen = 31,             // the output or input file could not be opened
  kStopFileWrite = 32,            // a file write failed or the buffer was short
  kStopFileRead = 33,             // a file read failed or the buffer was too small
  kStopFileSeek = 34,             // a file seek failed
  kStopFileSizeLimit = 35,        // the output reached the largest size its header can describe;
                                  // the file is complete up to there
  kStopMalformedStream = 81,      // the source stream is malformed
  kStopDeviceFailure = 91,        // the wave device or the source's buffer layout is unusable
};

// A short English description of `reason` for logs and the command line.
const char* DescribeStopReason(uint32_t reason);

}  // namespace talvinor
