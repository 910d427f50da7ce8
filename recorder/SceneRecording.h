#pragma once
#include <ctime>
#include <string>

#include "audio/AudioEncoder.h"
#include "core/RefPtr.h"
#include "settings/ConfigScene.h"

namespace talvinor {

// What a scene makes of a recording, apart from any window: the line that
// describes its format, its encoder, and the name and date a recording
// started at a given local time gets.

// "WAV 44khz 16bit モノラル", "Vorbis 44khz 16bit Q0.3 ステレオ",
// "Speex 32khz 16bit Q9 CQ2 モノラル"; an unknown codec asks for a format
// ("録音形式を設定してください。") and still names the channels.
std::wstring SceneFormatLine(const CONFIG_SCENE& scene);

// The scene's encoder, with its PCM format and its codec's settings; null for
// a codec the recorder does not know.
RefPtr<AudioEncoder> CreateSceneEncoder(const CONFIG_SCENE& scene);

// The file extension of the scene's codec (".wav", ".ogg", ".spx"); null for
// an unknown codec.
const wchar_t* SceneFileExtension(const CONFIG_SCENE& scene);

// "rzYYMMDD_HHMMSS" and the extension: the name of a recording started at
// `local`.
std::wstring RecordingFileName(const std::tm& local, const wchar_t* extension);

}  // namespace talvinor
