// Where the Windows programs keep their files: beside an unpacked program,
// in the user's profile when installed. The rule only joins names, so it is
// checked here on every system; the folders it is given come from Windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/paths.h"

#ifdef _WIN32
#include "config/windows_files.h"
#include "temp_dir.h"
#endif

namespace rtd {
namespace {

FileEnvironment Windows(const std::string& exe, bool marker = false) {
  FileEnvironment env;
  env.executable_path = exe;
  env.program_files_dirs = {"C:\\Program Files", "C:\\Program Files (x86)\\"};
  env.roaming_app_data = "C:\\Users\\u\\AppData\\Roaming";
  env.local_app_data = "C:\\Users\\u\\AppData\\Local";
  env.installed_marker = marker;
  return env;
}

TEST(WindowsProgramFiles, InstalledUnderProgramFilesOrMarkedTheFilesAreTheUsers) {
  const struct {
    const char* exe;
    bool marker;
  } installed[] = {
      {"C:\\Program Files\\rtdprog\\rtdprog-cli.exe", false},
      {"c:/program files/rtdprog/rtdprog.exe", false},  // letter case and slashes
      {"C:\\Program Files (x86)\\rtdprog\\rtdprog.exe", false},
      {"D:\\Tools\\rtdprog\\rtdprog.exe", true},  // installed elsewhere: the marker says
  };
  for (const auto& c : installed) {
    SCOPED_TRACE(c.exe);
    const ProgramFiles f = LocateWindowsProgramFiles(Windows(c.exe, c.marker));
    const std::string exe = c.exe;
    EXPECT_FALSE(f.beside_program);
    EXPECT_EQ(f.config_dir, "C:\\Users\\u\\AppData\\Roaming\\rtdprog");
    EXPECT_EQ(f.settings, "C:\\Users\\u\\AppData\\Roaming\\rtdprog\\rtdprog.ini");
    EXPECT_EQ(f.jedec, "C:\\Users\\u\\AppData\\Roaming\\rtdprog\\jedec.ini");
    EXPECT_EQ(f.shipped_jedec, exe.substr(0, exe.find_last_of("\\/") + 1) + "jedec.ini");
    EXPECT_EQ(f.backup_dir, "C:\\Users\\u\\AppData\\Local\\rtdprog\\backups");
  }
  // A profile folder that cannot be learnt: no place, which is reported.
  FileEnvironment env = Windows("C:\\Program Files\\rtdprog\\rtdprog.exe");
  env.roaming_app_data.clear();
  env.local_app_data.clear();
  const ProgramFiles f = LocateWindowsProgramFiles(env);
  EXPECT_EQ(f.settings, "");
  EXPECT_EQ(f.backup_dir, "");
}

TEST(WindowsProgramFiles, UnpackedAnywhereElseTheFilesStayBesideTheProgram) {
  for (const char* exe : {"D:\\Tools\\rtdprog\\rtdprog.exe",
                          "C:\\Program Files rtdprog\\rtdprog.exe",  // only a like name
                          "C:\\Program Files.old\\rtdprog.exe",
                          "C:\\Users\\u\\Desktop\\rtdprog\\rtdprog-cli.exe"}) {
    SCOPED_TRACE(exe);
    const ProgramFiles f = LocateWindowsProgramFiles(Windows(exe));
    const std::string dir = std::string(exe).substr(0, std::string(exe).find_last_of('\\') + 1);
    EXPECT_TRUE(f.beside_program);
    EXPECT_EQ(f.settings, dir + "rtdprog.ini");
    EXPECT_EQ(f.jedec, dir + "jedec.ini");
    EXPECT_EQ(f.shipped_jedec, "");
    EXPECT_EQ(f.backup_dir, dir + "backups");
  }
}

#ifdef _WIN32
// The real folders of this Windows, and the first run of an installed
// program in a profile that has no rtdprog folder yet.
TEST(WindowsProgramFiles, TheSystemsFoldersAreFoundAndTheUsersFolderMade) {
  const win::KnownFolders known = win::FindKnownFolders();
  for (const std::string* dir : {&known.program_files, &known.roaming_app_data,
                                 &known.local_app_data})
    EXPECT_TRUE(dir->size() > 3 && (*dir)[1] == ':') << *dir;

  FileEnvironment env = CurrentFileEnvironment();
  env.executable_path = env.program_files_dirs.at(0) + "\\rtdprog\\rtdprog.exe";
  test::TempDir dir;
  env.roaming_app_data = dir.File("Roaming");
  ProgramFiles f = LocateProgramFiles(env);
  ASSERT_EQ(f.config_dir, dir.File("Roaming\\rtdprog"));
  EXPECT_EQ(PrepareConfigDirectory(f), "");
  EXPECT_EQ(PrepareConfigDirectory(f), "");  // already there
  EXPECT_TRUE(std::filesystem::is_directory(f.config_dir));

  test::WriteBytes(dir.File("file"), "");
  f.config_dir = dir.File("file\\rtdprog");
  // As on every system: the folder that cannot be made, for the file in
  // its way, with the system's reason.
  EXPECT_EQ(PrepareConfigDirectory(f), f.config_dir + ": " + win::SystemErrorText(267));
}
#endif

}  // namespace
}  // namespace rtd
