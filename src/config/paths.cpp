#include "config/paths.h"

#include "config/atomic_file.h"
#include "config/chip_database.h"
#include "config/settings.h"
#include "config/utf8_path.h"
#include "core/output_services.h"
#include "i18n/lang.h"

#ifdef _WIN32

#include "config/windows_files.h"

namespace rtd {

FileEnvironment CurrentFileEnvironment() {
  FileEnvironment env;
  env.executable_path = ExecutablePath();
  const win::KnownFolders folders = win::FindKnownFolders();
  for (const std::string& dir : {folders.program_files, folders.program_files_x86})
    if (!dir.empty()) env.program_files_dirs.push_back(dir);
  env.roaming_app_data = folders.roaming_app_data;
  env.local_app_data = folders.local_app_data;
  const std::size_t slash = LastDirectorySeparator(env.executable_path);
  if (slash != std::string::npos) {
    env.installed_marker =
        win::IsFile(env.executable_path.substr(0, slash + 1) + kInstalledMarkerFileName);
  }
  return env;
}

ProgramFiles LocateProgramFiles(const FileEnvironment& env) {
  return LocateWindowsProgramFiles(env);
}

}  // namespace rtd

#else

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace rtd {

namespace {

// The user's configuration root by the XDG rule: $XDG_CONFIG_HOME when it is
// an absolute path (a relative one is to be ignored), else ~/.config.
std::string ConfigHome(const FileEnvironment& env) {
  if (!env.xdg_config_home.empty() && env.xdg_config_home[0] == '/') return env.xdg_config_home;
  if (!env.home.empty()) return JoinPath(env.home, ".config");
  return {};
}

// The user's data root by the same rule: $XDG_DATA_HOME, else ~/.local/share.
std::string DataHome(const FileEnvironment& env) {
  if (!env.xdg_data_home.empty() && env.xdg_data_home[0] == '/') return env.xdg_data_home;
  if (!env.home.empty()) return JoinPath(env.home, ".local/share");
  return {};
}

}  // namespace

FileEnvironment CurrentFileEnvironment() {
  FileEnvironment env;
  env.executable_path = ExecutablePath();
  if (const char* v = std::getenv("XDG_CONFIG_HOME")) env.xdg_config_home = v;
  if (const char* v = std::getenv("XDG_DATA_HOME")) env.xdg_data_home = v;
  if (const char* v = std::getenv("HOME"); v != nullptr && *v != '\0') {
    env.home = v;
  } else if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    env.home = pw->pw_dir;
  }
  return env;
}

ProgramFiles LocateProgramFiles(const FileEnvironment& env) {
  ProgramFiles files;
  if (!env.executable_path.empty()) {
    const std::string program_dir = DirectoryOf(env.executable_path);
    const std::string beside = JoinPath(program_dir, kChipDatabaseFileName);
    if (access(beside.c_str(), F_OK) == 0 && access(program_dir.c_str(), W_OK) == 0) {
      files.beside_program = true;
      files.settings = JoinPath(program_dir, kSettingsFileName);
      files.jedec = beside;
      files.backup_dir = JoinPath(program_dir, "backups");
      return files;
    }
    // Installed: share/rtdprog lies at the same place relative to bin/ under
    // any prefix, so the program finds its data wherever it was installed.
    files.shipped_jedec =
        Utf8FromPath((PathFromUtf8(program_dir) / RTD_DATA_DIR_FROM_BINDIR / kChipDatabaseFileName)
                         .lexically_normal());
  }
  const std::string config_home = ConfigHome(env);
  if (!config_home.empty()) {
    files.config_dir = JoinPath(config_home, "rtdprog");
    files.settings = JoinPath(files.config_dir, kSettingsFileName);
    files.jedec = JoinPath(files.config_dir, kChipDatabaseFileName);
  }
  if (const std::string data_home = DataHome(env); !data_home.empty()) {
    files.backup_dir = JoinPath(data_home, "rtdprog/backups");
  } else {
    files.backup_problem = TwoLanguageText::Made([](int32_t language) {
      return FormatText(
          LangTextOf(LANG_TEXT("не заданы ни $XDG_DATA_HOME, ни $HOME, а у пользователя %u нет "
                               "домашней папки в базе учётных записей",
                               "neither $XDG_DATA_HOME nor $HOME is set, and user %u has no home "
                               "folder in the account database"),
                     language),
          static_cast<unsigned>(getuid()));
    });
  }
  return files;
}

}  // namespace rtd

#endif  // _WIN32

namespace rtd {

std::string JoinPath(const std::string& folder, const std::string& name, char separator) {
  if (folder.empty()) return name;
  const char last = folder.back();
  const bool ends = last == '/' || (separator == '\\' && last == '\\');
  return ends ? folder + name : folder + separator + name;
}

void UseChipDatabase(ProgramFiles& files, const std::string& jedec_path) {
  files.jedec = jedec_path;
  files.shipped_jedec.clear();
}

std::string PrepareConfigDirectory(const ProgramFiles& files) {
  if (files.beside_program || files.config_dir.empty()) return {};
  std::string level;
  const std::string reason = MakeFolders(files.config_dir, &level);
  return reason.empty() ? reason : level + ": " + reason;
}

}  // namespace rtd
