#include "config/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <iconv.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>

#include "config/atomic_file.h"
#include "config/text_encoding.h"
#include "temp_dir.h"

namespace rtd {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

class IniFileTest : public ::testing::Test {
 protected:
  IniFile Make(const std::string& content) {
    WriteBytes(path_, content);
    return IniFile(path_);
  }
  TempDir dir_;
  std::string path_ = dir_.File("test.ini");
};

TEST_F(IniFileTest, NamesIgnoreCaseAndBlanksValuesAreTrimmed) {
  const IniFile ini = Make(
      "[ Main Settings ]\n"
      "  mainTOP   =   212  \n"
      "\tLog\t=\t1\t\n"
      "Empty=\n"
      "Path = D:\\dumps\\board.BIN\n");
  EXPECT_EQ(ini.ReadString("main settings", "MAINTOP", "x"), "212");
  EXPECT_EQ(ini.ReadInteger("MAIN SETTINGS", "Log", 0), 1);
  EXPECT_EQ(ini.ReadString("Main Settings", "Empty", "dflt"), "");
  EXPECT_EQ(ini.ReadString("Main Settings", "Path", ""), "D:\\dumps\\board.BIN");
  EXPECT_EQ(ini.ReadString("Main", "MainTop", "absent"), "absent");
  EXPECT_EQ(ini.ReadString("Main Settings", "Main", "absent"), "absent");
}

TEST_F(IniFileTest, MatchingQuotesAreRemovedOnce) {
  const IniFile ini = Make(
      "[q]\n"
      "a=\"  two words  \"\n"
      "b='single'\n"
      "c=\"mixed'\n"
      "d=\"\n"
      "e=\"\"\n"
      "f=\"\"inner\"\"\n");
  EXPECT_EQ(ini.ReadString("q", "a", ""), "  two words  ");
  EXPECT_EQ(ini.ReadString("q", "b", ""), "single");
  EXPECT_EQ(ini.ReadString("q", "c", ""), "\"mixed'");
  EXPECT_EQ(ini.ReadString("q", "d", ""), "\"");
  EXPECT_EQ(ini.ReadString("q", "e", "x"), "");
  EXPECT_EQ(ini.ReadString("q", "f", ""), "\"inner\"");
}

TEST_F(IniFileTest, FirstSectionAndFirstKeyWin) {
  const IniFile ini = Make(
      "[A]\nk=first\nk=second\n"
      "[a]\nk=other section\nonly=in second\n");
  EXPECT_EQ(ini.ReadString("A", "k", ""), "first");
  // Only the first section of a name is consulted.
  EXPECT_EQ(ini.ReadString("A", "only", "absent"), "absent");
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"A", "a"}));
  EXPECT_EQ(ini.ReadSection("a"), (std::vector<std::string>{"k", "k"}));
}

TEST_F(IniFileTest, CommentsAndOtherLinesAreNoKeys) {
  const IniFile ini = Make(
      "k=before any section\n"
      "[EF4013] ; Winbond, 512 KiB\n"
      ";Manufacturer=commented out\n"
      "  ; SizeInBytes=1\n"
      "# a remark\n"
      "#x=1\n"
      "no equals sign here\n"
      "[broken header\n"
      "Manufacturer=Winbond\n");
  EXPECT_EQ(ini.ReadString("EF4013", "Manufacturer", ""), "Winbond");
  EXPECT_EQ(ini.ReadString("EF4013", "SizeInBytes", "absent"), "absent");
  EXPECT_EQ(ini.ReadString("EF4013", "k", "absent"), "absent");
  // As the Windows functions see it, "#x" is a key like any other.
  EXPECT_EQ(ini.ReadString("EF4013", "#x", ""), "1");
  EXPECT_EQ(ini.ReadSection("ef4013"), (std::vector<std::string>{"#x", "Manufacturer"}));
}

TEST_F(IniFileTest, LongTextIsCutTo2047Characters) {
  const std::string cyrillic = "Ж";  // two bytes, one character
  std::string long_value;
  for (int i = 0; i < 3000; ++i) long_value += cyrillic;
  const IniFile ini = Make("[s]\nascii=" + std::string(2047, 'a') + "bc\nlong=" + long_value +
                           "\nexact=" + std::string(2047, 'z') + "\n");
  EXPECT_EQ(ini.ReadString("s", "ascii", ""), std::string(2047, 'a'));
  const std::string cut = ini.ReadString("s", "long", "");
  EXPECT_EQ(cut.size(), 2047u * cyrillic.size());
  EXPECT_EQ(cut.substr(cut.size() - 2), cyrillic);
  EXPECT_EQ(ini.ReadString("s", "exact", ""), std::string(2047, 'z'));
}

TEST_F(IniFileTest, WindowsFilesReadCorrectly) {
  // CRLF, Windows-1251 ("Винбонд"), as the original wrote them.
  const IniFile ini = Make(
      "[EF4013]\r\nManufacturer=\xC2\xE8\xED\xE1\xEE\xED\xE4\r\nSizeInBytes=524288\r\n");
  EXPECT_EQ(ini.ReadString("EF4013", "Manufacturer", ""), "Винбонд");
  EXPECT_EQ(ini.ReadInteger("EF4013", "SizeInBytes", 0), 524288);

  const IniFile utf8 = Make("\xEF\xBB\xBF[MainSettings]\r\nName=Винбонд\r\n");
  EXPECT_EQ(utf8.ReadString("MainSettings", "Name", ""), "Винбонд");
}

TEST_F(IniFileTest, MissingOrUnreadableFileGivesDefaults) {
  const IniFile missing(dir_.File("none.ini"));
  EXPECT_EQ(missing.ReadString("s", "k", "d"), "d");
  EXPECT_EQ(missing.ReadInteger("s", "k", -7), -7);
  EXPECT_TRUE(missing.ReadBool("s", "k", true));
  EXPECT_TRUE(missing.ReadSections().empty());
  const IniFile directory(dir_.path());
  EXPECT_EQ(directory.ReadString("s", "k", "d"), "d");
  // A FIFO nobody writes to is turned away, not waited for.
  RTD_MAKE_FIFO_OR_SKIP(dir_.File("fifo.ini"));
  EXPECT_EQ(IniFile(dir_.File("fifo.ini")).ReadString("s", "k", "d"), "d");
  EXPECT_EQ(IniFile("").ReadString("s", "k", "d"), "d");
}

TEST(ParseIniInteger, DecimalOrHexOtherwiseAbsent) {
  const std::pair<const char*, std::optional<int32_t>> cases[] = {
      {"0x64", 100},       {"0X1f", 31},        {"0x200000", 2097152},
      {"0xFFFFFFFF", -1},  {"0x80000000", INT32_MIN},
      {"0x100000000", {}}, {"0x", {}},          {"0X", {}},
      {"0xg", {}},         {"0x-1", {}},        {"-0x10", {}},
      {"12abc", {}},       {"", {}},            {"-", {}},
      {"+", {}},           {"-1", -1},          {"+7", 7},
      {"007", 7},          {"0", 0},            {"2147483647", INT32_MAX},
      {"2147483648", {}},  {"-2147483648", INT32_MIN},
      {"-2147483649", {}}, {"99999999999999999999", {}},
      {"1 2", {}},         {" 12", {}},         {"$10", {}},
      {"1e3", {}},         {"12.0", {}},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseIniInteger(text), expected) << text;
}

TEST_F(IniFileTest, IntegersAndBooleansThroughTheFile) {
  const IniFile ini = Make("[s]\nhex = 0x64 \nbad=12abc\nneg=-1\nlog=2\noff=0\nq=\"42\"\n");
  EXPECT_EQ(ini.ReadInteger("s", "hex", 0), 100);
  EXPECT_EQ(ini.ReadInteger("s", "bad", 55), 55);
  EXPECT_EQ(ini.ReadInteger("s", "neg", 0), -1);
  EXPECT_EQ(ini.ReadInteger("s", "q", 0), 42);
  EXPECT_TRUE(ini.ReadBool("s", "log", false));
  EXPECT_FALSE(ini.ReadBool("s", "off", true));
  EXPECT_TRUE(ini.ReadBool("s", "bad", true));
  EXPECT_FALSE(ini.ReadBool("s", "absent", false));
}

TEST_F(IniFileTest, FirstWriteCreatesTheFile) {
  IniFile ini(path_);
  ASSERT_TRUE(ini.WriteString("EF4016", "Manufacturer", "Manufacturer"));
  ASSERT_TRUE(ini.WriteInteger("EF4016", "SizeInBytes", 524288));
  EXPECT_EQ(ReadBytes(path_), "[EF4016]\nManufacturer=Manufacturer\nSizeInBytes=524288\n");
}

TEST_F(IniFileTest, WritesKeepEverythingElseOfAHandEditedFile) {
  const std::string original =
      "; chips of our boards\r\n"
      "[ef4013]   ; lower case, trailing remark\r\n"
      "  manufacturer =  Winbond  \r\n"
      "Notes=keep me\r\n"
      "\r\n"
      "; next one is Macronix\r\n"
      "[C22014]\r\n"
      "SizeInBytes=0x100000\r\n";
  IniFile ini = Make(original);

  ASSERT_TRUE(ini.WriteString("EF4013", "Manufacturer", "Winbond W25Q40"));
  ASSERT_TRUE(ini.WriteInteger("EF4013", "SizeInBytes", 524288));
  ASSERT_TRUE(ini.WriteString("C22014", "Manufacturer", "Macronix"));
  ASSERT_TRUE(ini.WriteBool("New", "Flag", true));
  EXPECT_EQ(ReadBytes(path_),
            "; chips of our boards\r\n"
            "[ef4013]   ; lower case, trailing remark\r\n"
            "  manufacturer =  Winbond W25Q40  \r\n"
            "Notes=keep me\r\n"
            "SizeInBytes=524288\r\n"
            "\r\n"
            "; next one is Macronix\r\n"
            "[C22014]\r\n"
            "SizeInBytes=0x100000\r\n"
            "Manufacturer=Macronix\r\n"
            "[New]\r\n"
            "Flag=1\r\n");
}

TEST_F(IniFileTest, WritesIntoAFileWithoutFinalLineEnd) {
  IniFile ini = Make("[a]\nx=1");
  ASSERT_TRUE(ini.WriteString("a", "y", "2"));
  EXPECT_EQ(ReadBytes(path_), "[a]\nx=1\ny=2\n");
  Make("[a]");
  ASSERT_TRUE(ini.WriteString("b", "z", "3"));
  EXPECT_EQ(ReadBytes(path_), "[a]\n[b]\nz=3\n");
  Make("[a]\nx=1");
  ASSERT_TRUE(ini.WriteString("a", "x", ""));
  EXPECT_EQ(ReadBytes(path_), "[a]\nx=");
}

// Keys written together land where one write after the other would put
// them, in one replacement of the file; a replacement that fails leaves
// the file as it was, none of them in it.
TEST_F(IniFileTest, KeysWrittenTogetherGoInOneReplacement) {
  const IniValues values = {{"Size", "1"}, {"From", "id"}, {"Name", " x "}};
  const char* files[] = {
      "",
      "; remark\r\n[Other]\r\nA=1\r\n",
      "[S]\nName=mine\n\n; of the next\n[T]\nB=2",
      "[s]\r\nFrom=user\r\n",
      "[S]\nName=\xC8\xEC\xFF\n",  // Windows-1251
  };
  for (const char* file : files) {
    SCOPED_TRACE(file);
    IniFile one_by_one = Make(file);
    for (const auto& [key, value] : values) ASSERT_TRUE(one_by_one.WriteString("S", key, value));
    const std::string expected = ReadBytes(path_);

    WriteBytes(path_, file);
    int replacements = 0;
    bool room = true;
    IniFile together(path_, [&](const std::string& path, std::string_view bytes,
                                std::string& reason) {
      ++replacements;
      if (!room) reason = "No space left on device";
      return room && ReplaceFileContent(path, bytes, reason);
    });
    room = false;
    EXPECT_FALSE(together.WriteStrings("S", values));
    EXPECT_EQ(together.LastWriteError(), "No space left on device");
    EXPECT_EQ(ReadBytes(path_), file);
    room = true;
    EXPECT_TRUE(together.WriteStrings("S", values));
    EXPECT_EQ(ReadBytes(path_), expected);
    EXPECT_EQ(replacements, 2);
  }
}

TEST_F(IniFileTest, ValuesTheReaderWouldAlterAreQuoted) {
  IniFile ini(path_);
  for (const std::string value : {" lead", "trail\t", "\"quoted\"", "'x'", "\"half", ""}) {
    ASSERT_TRUE(ini.WriteString("s", "k", value));
    EXPECT_EQ(ini.ReadString("s", "k", "absent"), value);
  }
  ASSERT_TRUE(ini.WriteString("s", "k", "/home/u/dumps/board.BIN"));
  EXPECT_EQ(ReadBytes(path_), "[s]\nk=/home/u/dumps/board.BIN\n");
}

TEST_F(IniFileTest, RefusesWhatCouldNotBeReadBack) {
  const std::string original = "[s]\nk=1\n";
  IniFile ini = Make(original);
  EXPECT_FALSE(ini.WriteString("s", "k", "two\nlines"));
  EXPECT_FALSE(ini.WriteString("s", "k", std::string("nul\0x", 5)));
  EXPECT_FALSE(ini.WriteString("s", "k", "\xFF not UTF-8"));
  EXPECT_FALSE(ini.WriteString("s", "a=b", "1"));
  EXPECT_FALSE(ini.WriteString("s", ";k", "1"));
  EXPECT_FALSE(ini.WriteString("s", " k", "1"));
  EXPECT_FALSE(ini.WriteString("s]", "k", "1"));
  EXPECT_FALSE(ini.WriteString("", "k", "1"));
  EXPECT_FALSE(ini.WriteString("s", "", "1"));
  EXPECT_EQ(ReadBytes(path_), original);
  EXPECT_FALSE(IniFile("").WriteString("s", "k", "1"));
}

TEST_F(IniFileTest, AFileNamedInCyrillicIsFoundUnderThatName) {
  // Names are UTF-8 inside the program, whatever the system's code page.
  IniFile ini(dir_.File("настройки.ini"));
  ASSERT_TRUE(ini.WriteString("s", "k", "1"));
  EXPECT_EQ(ini.ReadString("s", "k", ""), "1");
  EXPECT_TRUE(std::filesystem::exists(dir_.fs_path() / std::u8string(u8"настройки.ini")));
}

TEST_F(IniFileTest, ReadOnlyFileOrMissingDirectoryIsNotWritten) {
  const std::string original = "[s]\nk=1\n";
  IniFile ini = Make(original);
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  // Refused even for root, who could open it for writing.
  EXPECT_FALSE(ini.WriteString("s", "k", "2"));
  EXPECT_EQ(ReadBytes(path_), original);
  EXPECT_EQ(ini.ReadString("s", "k", ""), "1");

  IniFile nowhere(dir_.File("no/such/dir/x.ini"));
  EXPECT_FALSE(nowhere.WriteString("s", "k", "1"));
  // No temporary file is left behind either.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

// Windows: no user switch for the test, no directory permission bits, and
// links need privileges.
#ifndef _WIN32
TEST_F(IniFileTest, ReadOnlyDirectoryIsNotWritten) {
  ASSERT_EQ(chmod(dir_.path().c_str(), 0555), 0);
  // Root writes into any directory, so try it as an ordinary user.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    IniFile ini(path_);
    _exit(ini.WriteString("s", "k", "1") ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(IniFileTest, PermissionsAndSymbolicLinksSurviveAWrite) {
  IniFile ini = Make("[s]\nk=1\n");
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
  const std::string link = dir_.File("link.ini");
  std::filesystem::create_symlink(path_, link);
  IniFile through_link(link);
  ASSERT_TRUE(through_link.WriteString("s", "k", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadBytes(path_), "[s]\nk=2\n");
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}
#endif

TEST_F(IniFileTest, Windows1251FileStaysWindows1251) {
  // "Ёж" in Windows-1251, then a key holding text of another section.
  IniFile ini = Make("[a]\r\nname=\xA8\xE6\r\nsize=1\r\n");
  ASSERT_TRUE(ini.WriteString("a", "size", "2"));
  ASSERT_TRUE(ini.WriteString("b", "name", "Микрон №5"));
  EXPECT_EQ(ReadBytes(path_),
            "[a]\r\nname=\xA8\xE6\r\nsize=2\r\n[b]\r\nname=\xCC\xE8\xEA\xF0\xEE\xED \xB9" "5\r\n");
  EXPECT_EQ(ini.ReadString("a", "name", ""), "Ёж");
  EXPECT_EQ(ini.ReadString("b", "name", ""), "Микрон №5");
  // Text without a Windows-1251 form is refused rather than mangled.
  EXPECT_FALSE(ini.WriteString("a", "name", "閃存"));
  EXPECT_EQ(ini.ReadString("a", "name", ""), "Ёж");
}

#ifndef _WIN32
TEST(TextEncoding, Windows1251AgreesWithTheSystemConverter) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no CP1251 converter";
  for (int b = 0x80; b <= 0xFF; ++b) {
    if (b == 0x98) continue;  // unassigned; the system converter refuses it
    char in[1] = {static_cast<char>(b)};
    char out[8] = {};
    char* pin = in;
    char* pout = out;
    std::size_t in_left = 1, out_left = sizeof out;
    ASSERT_NE(iconv(cd, &pin, &in_left, &pout, &out_left), static_cast<std::size_t>(-1)) << b;
    const std::string expected(out, sizeof out - out_left);
    EXPECT_EQ(Cp1251ToUtf8(std::string(1, static_cast<char>(b))), expected) << b;
    EXPECT_EQ(Utf8ToCp1251(expected), std::string(1, static_cast<char>(b))) << b;
  }
  iconv_close(cd);
}
#endif

TEST(TextEncoding, Utf8ValidityIsStrict) {
  EXPECT_TRUE(IsValidUtf8("plain ascii, Кириллица, €, 𝄞"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xD0"));              // cut short
  EXPECT_FALSE(IsValidUtf8("\xCF\xF0\xE8"));      // "При" in Windows-1251
}

}  // namespace
}  // namespace rtd
