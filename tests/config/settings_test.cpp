#include "config/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "i18n/lang.h"
#include "recording_output.h"
#include "temp_dir.h"

namespace rtd {
namespace {

using test::ReadBytes;
using test::RecordingQuestions;
using test::TempDir;
using test::WriteBytes;

TEST(ExecutablePath, IsTheRunningProgramsFullPath) {
  const std::string exe = ExecutablePath();
  ASSERT_FALSE(exe.empty());
#ifdef _WIN32
  EXPECT_TRUE(exe.size() > 2 && exe[1] == ':') << exe;
#else
  EXPECT_EQ(exe.front(), '/');
#endif
  EXPECT_NE(exe.find("config_tests"), std::string::npos);
}

class MainSettingsTest : public ::testing::Test {
 protected:
  // A 1920x1080 screen and a 700x500 window: centred at top 290, left 610;
  // top accepted up to 1080 - 250 = 830, left from -350 to 1920 - 350 = 1570.
  LoadedSettings Load(const std::string& main_settings) {
    WriteBytes(path_, "[MainSettings]\n" + main_settings);
    return ReadMainSettings(IniFile(path_), 1920, 1080, 700, 500);
  }
  TempDir dir_;
  std::string path_ = dir_.File("rtdprog.ini");
};

TEST_F(MainSettingsTest, NoFileCentresTheWindowWithEverythingOff) {
  const LoadedSettings s = ReadMainSettings(IniFile(dir_.File("none.ini")), 1920, 1080, 700, 500);
  EXPECT_EQ(s.top, 290);
  EXPECT_EQ(s.left, 610);
  EXPECT_FALSE(s.log);
  EXPECT_FALSE(s.debug);
  EXPECT_EQ(s.lang, 0);
}

TEST_F(MainSettingsTest, TopBounds) {
  EXPECT_EQ(Load("MainTop=-1\n").top, 290);
  EXPECT_EQ(Load("MainTop=0\n").top, 0);
  EXPECT_EQ(Load("MainTop=830\n").top, 830);
  EXPECT_EQ(Load("MainTop=831\n").top, 290);
  EXPECT_EQ(Load("MainTop=0x64\n").top, 100);
  EXPECT_EQ(Load("MainTop=12abc\n").top, 290);
}

TEST_F(MainSettingsTest, LeftBounds) {
  EXPECT_EQ(Load("MainLeft=-350\n").left, -350);
  EXPECT_EQ(Load("MainLeft=-351\n").left, 610);
  EXPECT_EQ(Load("MainLeft=1570\n").left, 1570);
  EXPECT_EQ(Load("MainLeft=1571\n").left, 610);
}

TEST_F(MainSettingsTest, OddSizesHalveTowardZero) {
  WriteBytes(path_, "[MainSettings]\nMainLeft=-3\n");
  // 101 / 2 = 50, 7 / 2 = 3: centred at 50 - 3 = 47; -3 is still accepted.
  const LoadedSettings s = ReadMainSettings(IniFile(path_), 101, 101, 7, 7);
  EXPECT_EQ(s.top, 47);
  EXPECT_EQ(s.left, -3);
  // A window taller than the screen: the default lies above it and is used
  // for anything out of bounds.
  WriteBytes(path_, "[MainSettings]\nMainTop=-1\n");
  EXPECT_EQ(ReadMainSettings(IniFile(path_), 800, 600, 400, 1001).top, 300 - 500);
}

TEST_F(MainSettingsTest, SwitchesAndLanguage) {
  const LoadedSettings s = Load("log=2\nDEBUG=0\nLang=7\n");
  EXPECT_TRUE(s.log);
  EXPECT_FALSE(s.debug);
  EXPECT_EQ(s.lang, 7);  // handed on unchanged; the language switch decides
}

TEST_F(MainSettingsTest, SaveWritesFiveKeysInOrderAndKeepsTheRest) {
  WriteBytes(path_, "[DirectoryConfig]\nBIN=/dumps/a.BIN\n");
  RecordingQuestions out;
  SettingsFile file(path_, out);
  ASSERT_TRUE(file.SaveSettings({.top = 212, .left = -5, .lang = 1, .log = false, .debug = true}));
  EXPECT_EQ(ReadBytes(path_),
            "[DirectoryConfig]\nBIN=/dumps/a.BIN\n"
            "[MainSettings]\nMainTop=212\nMainLeft=-5\nLang=1\nLog=0\nDebug=1\n");
  EXPECT_TRUE(out.events.empty());
  const auto loaded = file.LoadSettings(1920, 1080, 700, 500);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->top, 212);
  EXPECT_EQ(loaded->left, -5);
  EXPECT_EQ(loaded->lang, 1);
  EXPECT_TRUE(loaded->debug);
}

TEST_F(MainSettingsTest, RefusedSaveIsReportedOnceAndReturns) {
  const std::string original = "[MainSettings]\nMainTop=1\n";
  WriteBytes(path_, original);
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  RecordingQuestions out;
  SettingsFile file(path_, out);
  EXPECT_FALSE(file.SaveSettings({}));
  EXPECT_EQ(out.Boxes(), std::vector<std::string>{"0x10 Ошибка: Не удаётся записать в " + path_});
  EXPECT_EQ(ReadBytes(path_), original);
}

TEST(SettingsFile, UnknownPathShowsTheErrorBoxAndDoesNothing) {
  RecordingQuestions out;
  SettingsFile file("", out);
  CurrentLanguage = kLanguageEnglish;
  EXPECT_FALSE(file.LoadSettings(1920, 1080, 700, 500));
  CurrentLanguage = kLanguageRussian;
  EXPECT_FALSE(file.SaveSettings({}));
  file.RememberImagePath("/dumps/a.BIN");
  EXPECT_FALSE(file.ChooserStartDirectory());
  EXPECT_EQ(out.Boxes(),
            (std::vector<std::string>{
                "0x10 Error: Error reading the configuration file of the program",
                "0x10 Ошибка: Ошибка чтения файла конфигурации программы",
                "0x10 Ошибка: Ошибка чтения файла конфигурации программы",
                "0x10 Ошибка: Ошибка чтения файла конфигурации программы"}));
}

TEST(SettingsFile, TheBackupBeforeAnEraseIsOnUnlessTheFileSaysOff) {
  TempDir dir;
  RecordingQuestions out;
  SettingsFile file(dir.File("rtdprog.ini"), out);
  for (const auto& [content, on] :
       {std::pair{"", true}, std::pair{"[MainSettings]\nLog=1\n", true},
        std::pair{"[MainSettings]\nBackup=0\n", false}}) {
    WriteBytes(dir.File("rtdprog.ini"), content);
    EXPECT_EQ(file.BackupBeforeErase(), on) << content;
  }
}

TEST(ImagePath, DirectoryPart) {
  EXPECT_EQ(DirectoryOfImagePath("/home/u/dumps/board.BIN"), "/home/u/dumps");
  EXPECT_EQ(DirectoryOfImagePath("/board.BIN"), "/");
  EXPECT_EQ(DirectoryOfImagePath("/home/u/dumps/"), "/home/u/dumps");
  EXPECT_EQ(DirectoryOfImagePath("board.BIN"), "");
#ifdef _WIN32
  EXPECT_EQ(DirectoryOfImagePath("D:\\dumps\\board.BIN"), "D:\\dumps");
  EXPECT_EQ(DirectoryOfImagePath("D:\\board.BIN"), "D:\\");
  EXPECT_EQ(DirectoryOfImagePath("D:/dumps/board.BIN"), "D:/dumps");
#else
  EXPECT_EQ(DirectoryOfImagePath("D:\\dumps\\board.BIN"), "");
#endif
  EXPECT_EQ(DirectoryOfImagePath(""), "");
}

// POSIX paths throughout; on Windows a full path starts with a drive.
#ifndef _WIN32
TEST(ImagePath, RememberedPathIsTheChoosersStart) {
  TempDir dir;
  const std::string path = dir.File("rtdprog.ini");
  RecordingQuestions out;
  SettingsFile file(path, out);
  EXPECT_EQ(file.ChooserStartDirectory(), "");
  file.RememberImagePath("");
  EXPECT_FALSE(std::filesystem::exists(path));
  file.RememberImagePath("/home/u/dumps/board.BIN");
  EXPECT_EQ(ReadBytes(path), "[DirectoryConfig]\nBIN=/home/u/dumps/board.BIN\n");
  EXPECT_EQ(file.ChooserStartDirectory(), "/home/u/dumps");
  file.RememberImagePath("/mnt/usb/second.bin");
  EXPECT_EQ(file.ChooserStartDirectory(), "/mnt/usb");
  EXPECT_TRUE(out.events.empty());
  // Kept as a full path, so the next run from elsewhere still finds it.
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  file.RememberImagePath("dump.bin");
  std::filesystem::current_path(cwd);
  EXPECT_EQ(file.ChooserStartDirectory(), std::filesystem::canonical(dir.path()).string());
  file.RememberImagePath("/mnt//usb/../usb/./second.bin");
  EXPECT_EQ(ReadBytes(path), "[DirectoryConfig]\nBIN=/mnt/usb/second.bin\n");
  // A path the file cannot hold is not remembered, and the user learns why
  // (not that the file could not be written); the file stays as it was.
  const std::string before = ReadBytes(path);
  file.RememberImagePath("/tmp/odd\nname.BIN");
  file.RememberImagePath("/tmp/\xff.BIN");
  EXPECT_EQ(out.Boxes(),
            (std::vector<std::string>{
                "0x130 Предупреждение: Путь /tmp/odd\nname.BIN не может быть запомнен: в нём есть "
                "перевод строки",
                "0x130 Предупреждение: Путь /tmp/\xff.BIN не может быть запомнен: в нём есть "
                "байты, которые не являются текстом UTF-8"}));
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(file.ChooserStartDirectory(), "/mnt/usb");
}
#endif

}  // namespace
}  // namespace rtd
