#include "tools/ConvertCodecOptions.h"

#include "codec/SpeexEncoder.h"
#include "codec/StreamTags.h"
#include "codec/VorbisEncoder.h"
#include "platform/Unicode.h"

namespace talvinor::cli {

void AddConvertCodecOptions(CLI::App* command, ConvertCodecOptions* options) {
  command->add_option("--quality", options->quality, "Ogg Vorbis quality, -0.1 to 1.0 (default 0.1)")
      ->check(CLI::Range(-0.1f, 1.0f));
  command->add_option("--speex-quality", options->speexQuality, "Ogg Speex quality, 0 to 10 (default 8)")
      ->check(CLI::Range(0, 10));
  command->add_option("--complexity", options->complexity, "Ogg Speex encoder complexity, 1 to 10 (default 2)")
      ->check(CLI::Range(1, 10));
  command->add_flag("--denoise", options->denoise, "Ogg Speex: remove noise before encoding");
  command->add_flag("--vad", options->vad, "Ogg Speex: voice activity detection");
  command->add_flag("--dtx", options->dtx, "Ogg Speex: discontinuous transmission");
  command->add_option("--tag", options->tags,
                      "A tag NAME=VALUE to write into an .ogg or .spx file (repeatable); without any, "
                      "CONVERTER=TALVINOR and CONVERTDATE are written");
}

bool ApplyConvertCodecOptions(const ConvertCodecOptions& options, AudioEncoder* encoder, std::string* error) {
  RefPtr<VorbisEncoder> vorbis = QueryAs<VorbisEncoder>(encoder);
  RefPtr<SpeexEncoder> speex = QueryAs<SpeexEncoder>(encoder);
  bool speexOptions = options.speexQuality || options.complexity || options.denoise || options.vad || options.dtx;
  if (options.quality && !vorbis) {
    *error = "--quality applies to .ogg files only";
    return false;
  }
  if (speexOptions && !speex) {
    *error = "--speex-quality, --complexity, --denoise, --vad and --dtx apply to .spx files only";
    return false;
  }
  if (!options.tags.empty() && !vorbis && !speex) {
    *error = "WAV files carry no tags";
    return false;
  }
  if (vorbis && options.quality) vorbis->SetQuality(*options.quality);
  if (speex) {
    SpeexSettings settings = speex->GetSpeexSettings();
    if (options.speexQuality) settings.quality = *options.speexQuality;
    if (options.complexity) settings.complexity = *options.complexity;
    settings.denoise = options.denoise ? 1 : 0;
    settings.vad = options.vad ? 1 : 0;
    settings.dtx = options.dtx ? 1 : 0;
    speex->SetSpeexSettings(settings);
  }
  if (!vorbis && !speex) return true;
  encoder->ClearTags();
  if (options.tags.empty()) {
    encoder->AddTag(kTagConverter, kProgramTagValue);
    encoder->AddTag(kTagConvertDate, FormatTagDateNow());
    return true;
  }
  for (const std::string& tag : options.tags) {
    size_t eq = tag.find('=');
    if (eq == std::string::npos || eq == 0) {
      *error = "--tag " + tag + ": expected NAME=VALUE";
      return false;
    }
    encoder->AddTag(Utf8ToWide(tag.substr(0, eq)), Utf8ToWide(tag.substr(eq + 1)));
  }
  return true;
}

}  // namespace talvinor::cli
