#pragma once
// What the configuration dialogs share beside the job shell's view: the file dialogs' filter.
namespace rm7 {

// The file dialogs' filter: configuration files, then every file.
inline constexpr const char* kConfigurationFileFilter = "RM7 Configuration File (*.RM7Config);;All Files (*)";

}  // namespace rm7
