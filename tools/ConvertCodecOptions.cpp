#include "tools/ConvertCodecOptions.h"

#include "codec/SpeexEncoder.h"
#include "codec/StreamTags.h"
#include "codec/VorbisEncoder.h"
#include "platform/Unicode.h"
#include "platform/UserLanguage.h"

namespace talvinor::cli {

void AddConvertCodecOptions(CLI::App* command, ConvertCodecOptions* options) {
  command->add_option("--quality", options->quality, InUserLanguage("Ogg Vorbis quality, -0.1 to 1.0 (default 0.1)", "Ogg Vorbis の品質、-0.1 から 1.0 (省略時 0.1)"))
      ->check(CLI::Range(-0.1f, 1.0f));
  command->add_option("--speex-quality", options->speexQuality, InUserLanguage("Ogg Speex quality, 0 to 10 (default 8)", "Ogg Speex の品質、0 から 10 (省略時 8)"))
      ->check(CLI::Range(0, 10));
  command->add_option("--complexity", options->complexity, InUserLanguage("Ogg Speex encoder complexity, 1 to 10 (default 2)", "Ogg Speex の圧縮品質、1 から 10 (省略時 2)"))
      ->check(CLI::Range(1, 10));
  command->add_flag("--denoise", options->denoise, InUserLanguage("Ogg Speex: remove noise before encoding", "Ogg Speex: 雑音を除いてから圧縮 (クリアボイス)"));
  command->add_flag("--vad", options->vad, InUserLanguage("Ogg Speex: voice activity detection", "Ogg Speex: VAD (音声区間の検出)"));
  command->add_flag("--dtx", options->dtx, InUserLanguage("Ogg Speex: discontinuous transmission", "Ogg Speex: DTX (無音時の送信停止)"));
  command->add_option("--tag", options->tags,
                      InUserLanguage("A tag NAME=VALUE to write into an .ogg or .spx file (repeatable); without any, "
                                     "CONVERTER=TALVINOR and CONVERTDATE are written",
                                     ".ogg か .spx に書くタグ NAME=VALUE (繰り返し可)。なければ CONVERTER=TALVINOR と "
                                     "CONVERTDATE を書く"));
}

bool ApplyConvertCodecOptions(const ConvertCodecOptions& options, AudioEncoder* encoder, std::string* error) {
  RefPtr<VorbisEncoder> vorbis = QueryAs<VorbisEncoder>(encoder);
  RefPtr<SpeexEncoder> speex = QueryAs<SpeexEncoder>(encoder);
  bool speexOptions = options.speexQuality || options.complexity || options.denoise || options.vad || options.dtx;
  if (options.quality && !vorbis) {
    *error = InUserLanguage("--quality applies to .ogg files only", "--quality は .ogg ファイルにだけ使えます");
    return false;
  }
  if (speexOptions && !speex) {
    *error = InUserLanguage("--speex-quality, --complexity, --denoise, --vad and --dtx apply to .spx files only",
                            "--speex-quality, --complexity, --denoise, --vad, --dtx は .spx ファイルにだけ使えます");
    return false;
  }
  if (!options.tags.empty() && !vorbis && !speex) {
    *error = InUserLanguage("WAV files carry no tags", "WAV ファイルにはタグを書けません");
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
      *error = "--tag " + tag + InUserLanguage(": expected NAME=VALUE", ": NAME=VALUE の形で指定してください");
      return false;
    }
    encoder->AddTag(Utf8ToWide(tag.substr(0, eq)), Utf8ToWide(tag.substr(eq + 1)));
  }
  return true;
}

}  // namespace talvinor::cli
