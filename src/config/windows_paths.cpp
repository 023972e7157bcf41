// Where the Windows programs keep their files (config/paths.h). Only names
// are joined and compared here, so the rule is tested on every system.
#include <cstddef>
#include <string>

#include "config/paths.h"
#include "i18n/lang.h"

namespace rtd {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Letter case and the kind of slash do not matter in a Windows path.
std::string Comparable(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

bool IsInside(const std::string& directory, const std::string& folder) {
  const std::string dir = Comparable(directory);
  const std::string top = Comparable(folder);
  return !top.empty() && dir.size() > top.size() && dir.compare(0, top.size(), top) == 0 &&
         dir[top.size()] == '\\';
}

}  // namespace

ProgramFiles LocateWindowsProgramFiles(const FileEnvironment& env) {
  ProgramFiles files;
  std::string directory;  // the program's, with its trailing separator
  for (std::size_t i = env.executable_path.size(); i > 0; --i) {
    if (IsSeparator(env.executable_path[i - 1])) {
      directory = env.executable_path.substr(0, i);
      break;
    }
  }

  bool installed = env.installed_marker;
  for (const std::string& folder : env.program_files_dirs)
    installed = installed || IsInside(directory, folder);

  if (!installed) {
    files.beside_program = true;
    if (env.executable_path.empty()) {
      files.backup_problem = TwoLanguageText::Of(
          LANG_TEXT("путь к самой программе неизвестен", "the program's own path is unknown"));
      return files;
    }
    files.settings = directory + kSettingsFileName;
    files.jedec = directory + kChipDatabaseFileName;
    files.backup_dir = directory + "backups";
    return files;
  }
  if (!directory.empty()) files.shipped_jedec = directory + kChipDatabaseFileName;
  if (!env.roaming_app_data.empty()) {
    files.config_dir = JoinPath(env.roaming_app_data, "rtdprog", '\\');
    files.settings = JoinPath(files.config_dir, kSettingsFileName, '\\');
    files.jedec = JoinPath(files.config_dir, kChipDatabaseFileName, '\\');
  }
  if (!env.local_app_data.empty()) {
    files.backup_dir = JoinPath(env.local_app_data, "rtdprog\\backups", '\\');
  } else {
    files.backup_problem = TwoLanguageText::Of(
        LANG_TEXT("Windows не назвала папку локальных данных приложений (%LOCALAPPDATA%)",
                  "Windows named no local application data folder (%LOCALAPPDATA%)"));
  }
  return files;
}

}  // namespace rtd
