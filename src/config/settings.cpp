#include "config/settings.h"

#include <climits>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <vector>

#include "config/text_encoding.h"
#include "config/utf8_path.h"
#include "config/windows_files.h"
#include "i18n/lang.h"

namespace rtd {

namespace {

constexpr const char* kMainSettings = "MainSettings";
constexpr const char* kBackupKey = "Backup";
constexpr const char* kDirectoryConfig = "DirectoryConfig";
constexpr const char* kImagePathKey = "BIN";

// The full path of a file: absolute, its directory free of ".", ".." and
// repeated slashes; the name itself is kept as given (a link stays the link).
std::string FullPath(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path absolute = fs::absolute(PathFromUtf8(path), ec);
  if (ec) return path;
  if (!absolute.has_filename()) return Utf8FromPath(absolute.lexically_normal());
  const fs::path directory = fs::weakly_canonical(absolute.parent_path(), ec);
  if (ec) return Utf8FromPath(absolute.lexically_normal());
  return Utf8FromPath(directory / absolute.filename());
}

}  // namespace

#ifdef _WIN32
std::string ExecutablePath() { return win::ModuleFileName(); }
#else
std::string ExecutablePath() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}
#endif

std::size_t LastDirectorySeparator(const std::string& path) {
#ifdef _WIN32
  return path.find_last_of("/\\");
#else
  return path.rfind('/');
#endif
}

LoadedSettings ReadMainSettings(const IniFile& ini, int32_t screen_w, int32_t screen_h,
                                int32_t window_w, int32_t window_h) {
  // 64-bit so that no screen or window size can overflow the bounds.
  const int64_t sw = screen_w, sh = screen_h, w = window_w, h = window_h;
  const int64_t default_top = sh / 2 - h / 2;
  const int64_t default_left = sw / 2 - w / 2;
  const auto clamp32 = [](int64_t v) {
    return static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
  };

  LoadedSettings s;
  int64_t top = ini.ReadInteger(kMainSettings, "MainTop", clamp32(default_top));
  if (top < 0 || top > sh - h / 2) top = default_top;
  int64_t left = ini.ReadInteger(kMainSettings, "MainLeft", clamp32(default_left));
  if (left < -(w / 2) || left > sw - w / 2) left = default_left;
  s.top = clamp32(top);
  s.left = clamp32(left);
  s.log = ini.ReadBool(kMainSettings, "Log", false);
  s.debug = ini.ReadBool(kMainSettings, "Debug", false);
  s.lang = ini.ReadInteger(kMainSettings, "Lang", 0);
  return s;
}

bool WriteMainSettings(IniFile& ini, const MainSettingsValues& v, UserQuestions& out) {
  const bool ok = ini.WriteInteger(kMainSettings, "MainTop", v.top) &&
                  ini.WriteInteger(kMainSettings, "MainLeft", v.left) &&
                  ini.WriteInteger(kMainSettings, "Lang", v.lang) &&
                  ini.WriteBool(kMainSettings, "Log", v.log) &&
                  ini.WriteBool(kMainSettings, "Debug", v.debug);
  if (!ok) ReportUnableToWrite(out, ini);
  return ok;
}

std::string DirectoryOfImagePath(const std::string& image_path) {
  const std::size_t slash = LastDirectorySeparator(image_path);
  if (slash == std::string::npos) return {};
  if (slash == 0) return image_path.substr(0, 1);
#ifdef _WIN32
  // "C:\board.BIN": the root of the drive, not the drive's current directory.
  if (slash == 2 && image_path[1] == ':') return image_path.substr(0, 3);
#endif
  return image_path.substr(0, slash);
}

std::optional<IniFile> SettingsFile::Open() {
  // On this platform the object cannot be made only when the executable's
  // path, and so the file's, is unknown.
  if (path_.empty()) {
    out_.MessageBoxPrintf(MB_ICONERROR,
                          PickLangText(LANG_TEXT("Ошибка чтения файла конфигурации программы",
                                                 "Error reading the configuration file of the "
                                                 "program")));
    return std::nullopt;
  }
  return IniFile(path_);
}

std::optional<LoadedSettings> SettingsFile::LoadSettings(int32_t screen_w, int32_t screen_h,
                                                         int32_t window_w, int32_t window_h) {
  const auto ini = Open();
  if (!ini) return std::nullopt;
  return ReadMainSettings(*ini, screen_w, screen_h, window_w, window_h);
}

bool SettingsFile::SaveSettings(const MainSettingsValues& values) {
  auto ini = Open();
  return ini && WriteMainSettings(*ini, values, out_);
}

void SettingsFile::RememberImagePath(const std::string& image_path) {
  auto ini = Open();
  if (!ini || image_path.empty()) return;
  // The file choosers start from its directory, wherever the program runs
  // next: a name relative to today's working directory would mislead them.
  const std::string full = FullPath(image_path);
  if (ini->WriteString(kDirectoryConfig, kImagePathKey, full)) return;
  if (!ini->LastWriteError().empty()) {
    ReportUnableToWrite(out_, *ini);
    return;
  }
  // The file was fine; the path is what it cannot hold, and it was left as
  // it was.
  const LangText why =
      full.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos
          ? LANG_TEXT("в нём есть перевод строки", "it holds a line break")
      : !IsValidUtf8(full)
          ? LANG_TEXT("в нём есть байты, которые не являются текстом UTF-8",
                      "it holds bytes that are not UTF-8 text")
          : LANG_TEXT("файл настроек в кодировке Windows-1251 не может хранить его символы",
                      "the settings file, in Windows-1251, cannot hold its characters");
  // The work that chose the path went well; only the next chooser's
  // starting folder is lost.
  out_.MessageBoxPrintf(MB_ICONWARNING | MB_OKONLY,
                        PickLangText(LANG_TEXT("Путь %s не может быть запомнен: %s",
                                               "The path %s cannot be remembered: %s")),
                        full.c_str(), PickLangText(why));
}

bool SettingsFile::BackupBeforeErase() {
  const auto ini = Open();
  return !ini || ini->ReadBool(kMainSettings, kBackupKey, true);
}

bool SettingsFile::SaveBackupBeforeErase(bool on) {
  auto ini = Open();
  if (!ini) return false;
  if (ini->WriteBool(kMainSettings, kBackupKey, on)) return true;
  ReportUnableToWrite(out_, *ini);
  return false;
}

std::optional<std::string> SettingsFile::ChooserStartDirectory() {
  const auto ini = Open();
  if (!ini) return std::nullopt;
  return DirectoryOfImagePath(ini->ReadString(kDirectoryConfig, kImagePathKey, ""));
}

}  // namespace rtd
