#include "tools/CliRegistry.h"

#include "settings/WaveLayerDeviceQuery.h"
#include "tools/CliCommands.h"

namespace talvinor::cli {

// One line per command family, in the order they appear in --help.
void RegisterVersionCommand(CLI::App& app);
void RegisterSettingsCommand(CLI::App& app);
void RegisterConvertCommand(CLI::App& app);
void RegisterInfoCommand(CLI::App& app);
void RegisterDevicesCommand(CLI::App& app);
void RegisterSendCommand(CLI::App& app);
void RegisterListenCommand(CLI::App& app);
void RegisterRecordCommand(CLI::App& app);
void RegisterPlayCommand(CLI::App& app);
void RegisterRepairCommand(CLI::App& app);
void RegisterBackupMemosCommand(CLI::App& app);
void RegisterPhoneWatchCommand(CLI::App& app);

void RegisterAll(CLI::App& app) {
  RegisterVersionCommand(app);
  RegisterSettingsCommand(app);
  RegisterConvertCommand(app);
  RegisterInfoCommand(app);
  RegisterDevicesCommand(app);
  RegisterSendCommand(app);
  RegisterListenCommand(app);
  RegisterRecordCommand(app);
  RegisterPlayCommand(app);
  RegisterRepairCommand(app);
  RegisterBackupMemosCommand(app);
  RegisterPhoneWatchCommand(app);
  // The settings learn the device counts and capabilities from the wave layer.
  InstallWaveDeviceQuery();
}

}  // namespace talvinor::cli
