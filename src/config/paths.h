// Where the program keeps its files: the settings file (rtdprog.ini) and the
// flash chip database (jedec.ini).
//
// Beside the program: when the program's directory holds a jedec.ini and the
// user may write there (a build tree, a program unpacked into a folder), both
// files lie in that directory, so the folder can be carried around whole.
//
// Installed: otherwise (an installed bin/ holds no jedec.ini, and a user
// cannot write it anyway) the files are the user's own, under
// $XDG_CONFIG_HOME/rtdprog/ (default ~/.config/rtdprog/). jedec.ini is looked
// up there first, then in the jedec.ini shipped in share/rtdprog beside the
// installed program's bin/; template entries for unknown chips go to the
// user's file, which is created when first needed. The shipped file is never
// written.
//
// The directory alone is not enough to decide: root can write /usr/bin, and
// an installed program run as root must not scatter its files there.
//
// The backups of the flash made before every erase lie in backups/ beside
// the program, or under $XDG_DATA_HOME/rtdprog/backups/ (default
// ~/.local/share) when installed: they are data, not configuration. (The
// session puts a virtual programmer's in simulated/ below.)
//
// On Windows a program unpacked into a folder keeps its files beside itself.
// An installed one (it lies under the system's Program Files folder, or the
// installer left its marker beside it) keeps the settings and the user's
// jedec.ini in %APPDATA%\rtdprog, looks chips up there first and then in the
// jedec.ini shipped beside it, and keeps the backups in
// %LOCALAPPDATA%\rtdprog\backups (they are large and belong to this
// machine's benches, so they do not roam with the profile). Whether the
// folder can be written does not decide: Wine lets anyone write Program
// Files, and an administrator may write it on Windows too.
#pragma once

#include <string>
#include <vector>

#include "i18n/lang.h"

namespace rtd {

// Name of the settings file both front ends share, so the window's file
// dialogs start where the command line last worked.
inline constexpr const char* kSettingsFileName = "rtdprog.ini";
inline constexpr const char* kChipDatabaseFileName = "jedec.ini";
// Left beside the programs by the Windows installer.
inline constexpr const char* kInstalledMarkerFileName = "installed.txt";

// What the rule looks at; CurrentFileEnvironment() gives the real values.
struct FileEnvironment {
  std::string executable_path;  // full path of the running program
  std::string xdg_config_home;  // $XDG_CONFIG_HOME; used only when absolute
  std::string home;             // the user's home directory
  std::string xdg_data_home = {};  // $XDG_DATA_HOME; used only when absolute
  // Windows: the system's Program Files folders (64-bit and 32-bit), the
  // user's roaming and local application data folders (%APPDATA%,
  // %LOCALAPPDATA%), and whether the installer's marker lies beside the
  // program.
  std::vector<std::string> program_files_dirs = {};
  std::string roaming_app_data = {};
  std::string local_app_data = {};
  bool installed_marker = false;
};

struct ProgramFiles {
  bool beside_program = false;
  // Directory of the user's own files when installed; empty beside the
  // program. It may not exist yet (PrepareConfigDirectory creates it).
  std::string config_dir;
  // The settings file; empty when no place for it can be found.
  std::string settings;
  // The chip database that is read first and receives template entries.
  std::string jedec;
  // Read for ids that `jedec` does not list; never written. Empty beside the
  // program.
  std::string shipped_jedec;
  // The folder of the backups (made before the first erase); empty when no
  // place for it can be found, and backup_problem then says why (in either
  // language: it is shown at the first erase, whatever the language then).
  std::string backup_dir;
  TwoLanguageText backup_problem;
};

// The process's executable path, $XDG_CONFIG_HOME and home directory ($HOME,
// or the password database's entry when it is unset).
FileEnvironment CurrentFileEnvironment();

ProgramFiles LocateProgramFiles(const FileEnvironment& env);

// The rule of the Windows programs, which LocateProgramFiles follows there;
// it only joins names, so it is the same on every system.
ProgramFiles LocateWindowsProgramFiles(const FileEnvironment& env);

// The separator of the system's paths.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// A name in a folder: folder and name joined by the separator, without a
// second one after a folder that ends in one ('/' always counts, '\\' where
// it is the separator); the name alone for an empty folder. Names are only
// joined, never looked up.
std::string JoinPath(const std::string& folder, const std::string& name,
                     char separator = kPathSeparator);

// --jedec FILE: that one file for lookups and template entries alike.
void UseChipDatabase(ProgramFiles& files, const std::string& jedec_path);

// Creates config_dir and its missing parents (MakeFolders) when the files
// live there.
// Empty text on success or when there is nothing to create; otherwise the
// directory and the system's reason.
std::string PrepareConfigDirectory(const ProgramFiles& files);

}  // namespace rtd
