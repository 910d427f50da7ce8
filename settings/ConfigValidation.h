#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "settings/Config.h"
#include "settings/WaveDeviceQuery.h"

namespace talvinor {

// The capture device's capability mask; nullopt when it could not be read.
using InputCapabilities = std::optional<uint32_t>;

// Repairs one scene: trims the name, limits the codec and quality mode, picks
// a preset's format from the device's capabilities, clamps every value to its
// range. True when nothing had to be repaired.
//
// When the capabilities could not be read (no capture device on this
// machine), a preset scene keeps its stored channels, bits and rate: a
// missing microphone must not downgrade every scene, and that is no repair.
bool ValidateScene(CONFIG_SCENE* scene, InputCapabilities deviceFormats);

// Repairs every setting in file order, devices read first from `devices`.
// True when nothing had to be repaired.
bool ValidateConfig(CONFIG* config, WaveDeviceQuery* devices);
// The same for the settings singleton with the installed device query.
bool ValidateConfig();

// Start-up fill of empty paths: the three recording and memo folders get
// `recordingFolder`, the call histories "windows/calledhistory.dat" and
// "windows/callinghistory.dat", the memo source "windows/", and the memo file
// pattern "shrec%d.wav" (which also sets the message range to 1-5).
void FillPathDefaults(CONFIG* config, const std::wstring& recordingFolder);
// The same for the settings singleton, with DefaultRecordingFolder() (the
// "Talvinor" folder in the user's music folder).
void FillPathDefaults();
// Creates the default recording folder when one of the three folders is it
// and it does not exist yet; stored folders of the user's are left alone.
void EnsureDefaultRecordingFolder(const CONFIG* config);

// A stored relative path (the phone-data defaults) taken relative to the
// program folder; an absolute path is returned unchanged.
std::wstring ResolveSettingsPath(const std::wstring& path);

}  // namespace talvinor
