// The program settings file: the executable's path with the extension
// ".ini". Sections MainSettings and DirectoryConfig.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/ini_file.h"
#include "core/output_services.h"

namespace rtd {

// Full path of the running executable; empty if it cannot be learnt.
std::string ExecutablePath();
// Position of the path's last directory separator ('/', and on Windows
// '\\' too); npos when there is none.
std::size_t LastDirectorySeparator(const std::string& path);

// The main window settings as read at start-up, defaults and bounds applied.
struct LoadedSettings {
  int32_t top = 0;
  int32_t left = 0;
  bool log = false;
  bool debug = false;
  int32_t lang = 0;  // handed to the language switch unchanged
};

// What the window saves on every close request.
struct MainSettingsValues {
  int32_t top = 0;
  int32_t left = 0;
  int32_t lang = 0;
  bool log = false;
  bool debug = false;
};

// MainSettings / MainTop, MainLeft, Log, Debug, Lang. A position that is
// absent, not a number or out of bounds falls back to centring the window
// (outer size window_w x window_h) on the primary screen: the window may
// hang off the left, right and bottom edges by up to half its size, never
// above the top.
LoadedSettings ReadMainSettings(const IniFile& ini, int32_t screen_w, int32_t screen_h,
                                int32_t window_w, int32_t window_h);
// Writes MainTop, MainLeft, Lang, Log, Debug in that order; at the first
// refused write reports "Unable to write to %s" and stops. The caller goes
// on either way (the window must always be able to close).
bool WriteMainSettings(IniFile& ini, const MainSettingsValues& values, UserQuestions& out);

// Directory part of a remembered image path ("/dumps/board.BIN" ->
// "/dumps"); empty when there is none.
std::string DirectoryOfImagePath(const std::string& image_path);

// The settings file as the window, the flash operations and the file
// choosers use it. Opened afresh for every access; nothing is cached.
class SettingsFile {
 public:
  SettingsFile(std::string path, UserQuestions& out) : path_(std::move(path)), out_(out) {}

  // The ini-file object, or none after the error box "Error reading the
  // configuration file of the program" (the path is unknown).
  std::optional<IniFile> Open();

  // None when the file could not be opened (the window keeps its designed
  // state and does not run the language switch).
  std::optional<LoadedSettings> LoadSettings(int32_t screen_w, int32_t screen_h,
                                             int32_t window_w, int32_t window_h);
  // False when not everything was written (the user has been told).
  bool SaveSettings(const MainSettingsValues& values);

  // Stores the full path (file name included; made absolute and normal)
  // under DirectoryConfig / BIN; nothing for an empty path.
  void RememberImagePath(const std::string& image_path);
  // Drive and directory of the remembered path (empty when none), where a
  // chooser about to open starts: none when the settings file could not be
  // opened (the chooser then shows no dialog).
  std::optional<std::string> ChooserStartDirectory();

  // MainSettings / Backup: whether the flash is backed up before every
  // erase. On unless the file says otherwise; the window's menu item.
  bool BackupBeforeErase();
  // False when the value could not be written (the user has been told).
  bool SaveBackupBeforeErase(bool on);

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  UserQuestions& out_;
};

}  // namespace rtd
