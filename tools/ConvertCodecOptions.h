#pragma once
#include <optional>
#include <string>
#include <vector>

#include "audio/AudioEncoder.h"
#include "tools/CliCommands.h"

namespace talvinor::cli {

// The encoder settings of talvinor-cli convert: Vorbis quality, the Speex
// settings of a recording scene, and the tags to write.
struct ConvertCodecOptions {
  std::optional<float> quality;         // --quality: Vorbis, -0.1 to 1.0
  std::optional<int> speexQuality;      // --speex-quality: 0 to 10
  std::optional<int> complexity;        // --complexity: Speex, 1 to 10
  bool denoise = false;                 // --denoise: Speex noise removal
  bool vad = false;                     // --vad: Speex voice activity detection
  bool dtx = false;                     // --dtx: Speex discontinuous transmission
  std::vector<std::string> tags;        // --tag NAME=VALUE, repeatable
};

void AddConvertCodecOptions(CLI::App* command, ConvertCodecOptions* options);

// Sets `encoder` up from the options: the settings of its codec, and the
// tags given or, without any, "CONVERTER"/"CONVERTDATE". False (with the
// reason in `*error`) for a setting the encoder's codec does not have or a
// tag without a name.
bool ApplyConvertCodecOptions(const ConvertCodecOptions& options, AudioEncoder* encoder, std::string* error);

}  // namespace talvinor::cli
