// The command line, run in-process on the virtual programmer with captured
// streams.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <process.h>

#include "core/windows_api.h"
#endif

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#ifndef _WIN32
#include <csignal>

#include "cli/stop_signals.h"
#endif
#include "core/clock.h"
#include "i18n/lang.h"
#include "config/utf8_path.h"
#include "link/named_object_lock.h"
#include "link/transport.h"
#include "sim/virtual_programmer.h"
#include "temp_dir.h"

namespace rtd::cli {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Pattern(std::size_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  uint32_t x = seed;
  for (auto& b : v) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(x >> 24);
  }
  return v;
}

std::vector<uint8_t> ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& p, const std::vector<uint8_t>& data) {
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_language_ = CurrentLanguage;
    std::ofstream(dir_ / "jedec.ini") << "[EF4013]\r\nManufacturer=Winbond W25Q40\r\nSizeInBytes=524288\r\n";
    flash_image_ = dir_ / "board.bin";
    WriteFile(flash_image_, Pattern(512 * 1024, 7));
    Configure("");
  }
  void TearDown() override { CurrentLanguage = saved_language_; }

  // Writes the virtual programmer's configuration; extra lines appended.
  void Configure(const std::string& extra) {
    std::ofstream(dir_ / "sim.conf") << "jedec=EF4013\nsize=524288\nerase-ms=30\nimage="
                                     << flash_image_.string() << "\n"
                                     << extra;
  }

  int Run(std::vector<std::string> args, bool simulate = true) {
    out_.str("");
    err_.str("");
    if (simulate) args.insert(args.begin(), "--simulate=" + (dir_ / "sim.conf").string());
    CliEnvironment env{out_, err_, in_};
    env.locale = "en_US.UTF-8";
    env.files.executable_path = (dir_ / "rtdprog-cli").string();
    env.interrupted = &interrupted_;
    env.clock = &clock_;
    env.err_is_terminal = err_is_terminal_;
    env.on_pump = on_pump_;
    return RunCli(args, env);
  }

  std::string Out() const { return out_.str(); }
  std::string Err() const { return err_.str(); }

  test::TempDir temp_;
  fs::path dir_ = temp_.fs_path();
  fs::path flash_image_;
  std::ostringstream out_;
  std::ostringstream err_;
  std::istringstream in_;
  std::atomic<bool> interrupted_{false};
  ManualClock clock_{1000, 1};
  std::function<void()> on_pump_;
  bool err_is_terminal_ = false;
  int32_t saved_language_ = 0;
};

TEST_F(CliTest, InfoPrintsTheIdentificationOrTheLinkStatus) {
  EXPECT_EQ(Run({"--lang", "en", "info"}), kExitOk) << Err();
  EXPECT_NE(Out().find("Controller          \""), std::string::npos) << Out();
  EXPECT_NE(Out().find("The serial number   "), std::string::npos);
  EXPECT_NE(Out().find("Boot version        "), std::string::npos);
  EXPECT_NE(Out().find(std::string(47, '*')), std::string::npos);

  // A record one byte short is no identification.
  Configure("fault=short cmd=1\n");
  EXPECT_EQ(Run({"--lang", "en", "info"}), kExitFailure);
  EXPECT_EQ(Out(), "");

  Configure("attached=0\n");
  EXPECT_EQ(Run({"--lang", "en", "info"}), kExitFailure);
  EXPECT_EQ(Err(), "Controller is disconnected\n");
  EXPECT_EQ(Run({"--lang", "ru", "info"}), kExitFailure);
  EXPECT_EQ(Err(), "Контроллер отключен\n");
}

TEST_F(CliTest, UsageErrorsHelpAndVersion) {
  EXPECT_EQ(Run({"--help"}, false), kExitOk);
  EXPECT_NE(Out().find("Exit status:"), std::string::npos);
  EXPECT_EQ(Run({"--lang", "ru", "--help"}, false), kExitOk);
  EXPECT_NE(Out().find("Код завершения:"), std::string::npos);
  EXPECT_EQ(Run({"--version"}, false), kExitOk);
  EXPECT_EQ(Out(), "rtdprog-cli 1.03\n");
  EXPECT_EQ(Run({}, false), kExitUsage);
  EXPECT_EQ(Run({"frobnicate"}), kExitUsage);
  EXPECT_EQ(Run({"read"}), kExitUsage);
  EXPECT_EQ(Run({"info", "extra"}), kExitUsage);
  EXPECT_EQ(Run({"--lang", "de", "info"}), kExitUsage);
  EXPECT_EQ(Run({"--jedec"}), kExitUsage);
  EXPECT_EQ(Run({"--quick", "read", "x.bin"}), kExitUsage);
  // Refused before anything is sent, not after reading the whole flash.
  EXPECT_EQ(Run({"read", ""}), kExitUsage);
  EXPECT_EQ(Out(), "");
  EXPECT_NE(Err().find("read needs a non-empty FILE name"), std::string::npos);
  Configure("bogus-key=1\n");
  EXPECT_EQ(Run({"info"}), kExitUsage);
  EXPECT_NE(Err().find("bogus-key"), std::string::npos);
}

TEST_F(CliTest, ReadWriteReadBackAndCompareBothWays) {
  const fs::path dump = dir_ / "dump.bin";
  ASSERT_EQ(Run({"--lang", "en", "read", dump.string()}), kExitOk) << Err();
  EXPECT_EQ(ReadFile(dump), ReadFile(flash_image_));
  EXPECT_NE(Out().find("FLASH read ok"), std::string::npos);
  EXPECT_NE(Out().find("[The file is written]"), std::string::npos);

  const fs::path other = dir_ / "other.bin";
  auto image = Pattern(300000, 99);
  WriteFile(other, image);
  ASSERT_EQ(Run({"--lang", "en", "write", other.string(), "--yes"}), kExitOk) << Err() << Out();
  EXPECT_NE(Out().find("Write FLASH successfully"), std::string::npos);

  const fs::path back = dir_ / "back.bin";
  ASSERT_EQ(Run({"read", back.string()}), kExitOk);
  auto expected = image;
  expected.resize(512 * 1024, 0xFF);
  EXPECT_EQ(ReadFile(back), expected);

  EXPECT_EQ(Run({"--lang", "en", "compare", other.string()}), kExitOk);
  EXPECT_NE(Out().find("FLASH content and file the same"), std::string::npos);
  EXPECT_EQ(Run({"compare", "--quick", other.string()}), kExitOk);

  // One byte changed in the file: both compares find it.
  image[74565] ^= 0x01;
  WriteFile(other, image);
  EXPECT_EQ(Run({"--lang", "en", "compare", other.string()}), kExitMismatch);
  EXPECT_NE(Out().find("FLASH compare error at address 0x012345"), std::string::npos);
  EXPECT_EQ(Run({"--lang", "en", "compare", "--quick", other.string()}), kExitMismatch);
  EXPECT_NE(Out().find("FLASH compare error at address 0x010000...0x01FFFF"), std::string::npos);
  EXPECT_NE(Err().find("Error: FLASH compare error"), std::string::npos);
}

TEST_F(CliTest, WriteWithoutConfirmationErasesNothing) {
  const auto before = ReadFile(flash_image_);
  const fs::path other = dir_ / "other.bin";
  WriteFile(other, Pattern(65536, 3));
  EXPECT_EQ(Run({"--lang", "en", "write", other.string()}), kExitNotDone);
  EXPECT_NE(Err().find("Warning: It will erase and write FLASH"), std::string::npos) << Err();
  EXPECT_EQ(Out().find("FLASH erase"), std::string::npos);
  EXPECT_EQ(ReadFile(flash_image_), before);
}

TEST_F(CliTest, CtrlCStopsTheOperationAsTheSecondClickWould) {
  int pumps = 0;
  on_pump_ = [&] {
    if (++pumps == 200) interrupted_ = true;
  };
  const fs::path dump = dir_ / "dump.bin";
  EXPECT_EQ(Run({"--lang", "en", "read", dump.string()}), kExitStopped);
  EXPECT_NE(Err().find("Error: User terminate"), std::string::npos) << Err();
  EXPECT_FALSE(fs::exists(dump));
}

#ifndef _WIN32
// What a terminal does to a running write on a protected chip: a reader
// that went away (SIGPIPE, every later write to stdout failing) does not
// end it; a hang-up or a termination stops it as Ctrl-C does, with the
// protection put back.
TEST_F(CliTest, TerminalSignalsStopAWriteSafelyOrNotAtAll) {
  struct Case {
    int signal;
    int exit;
  };
  const Case cases[] = {{SIGPIPE, kExitOk}, {SIGHUP, kExitStopped}, {SIGTERM, kExitStopped}};
  const fs::path image = dir_ / "image.bin";
  WriteFile(image, Pattern(131072, 9));
  Configure("status=0x1C\n");
  ListenForStopSignals(interrupted_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.signal);
    interrupted_ = false;
    out_.clear();
    int pumps = 0;
    on_pump_ = [&] {
      if (++pumps != 300) return;
      std::raise(c.signal);
      if (c.signal == SIGPIPE) out_.setstate(std::ios::badbit);
    };
    const int status = Run({"--lang", "en", "--no-backup", "write", "--yes", image.string()});
    out_.clear();
    EXPECT_EQ(status, c.exit) << Err();
    if (c.exit == kExitStopped) {
      EXPECT_NE(Err().find("Error: User terminate"), std::string::npos) << Err();
      EXPECT_NE(Out().find("FLASH protection put back (status register 0x1C)"), std::string::npos)
          << Out();
    }
  }
  for (const int signal : {SIGINT, SIGHUP, SIGTERM, SIGPIPE}) std::signal(signal, SIG_DFL);
}
#endif

TEST_F(CliTest, UnknownChipIsNotIdentifiedAndGetsATemplateEntry) {
  Configure("jedec=112233\n");
  EXPECT_EQ(Run({"--lang", "en", "detect"}), kExitFailure);
  EXPECT_NE(Out().find("JEDEC ID: 112233\n"), std::string::npos) << Out();
  EXPECT_NE(Err().find("not identified"), std::string::npos);
  std::ifstream jedec(dir_ / "jedec.ini");
  const std::string text{std::istreambuf_iterator<char>(jedec), {}};
  EXPECT_NE(text.find("[112233]"), std::string::npos);
  // The template makes the next check identify it.
  EXPECT_EQ(Run({"--lang", "en", "detect"}), kExitOk);
  EXPECT_NE(Out().find("JEDEC ID: 112233 Manufacturer 512 KBytes"), std::string::npos);
}

// A chip larger than the programmer reaches: detect says so in one line,
// with its real size and no advice to enter a size; whatever size the user
// then enters, the erase is refused before its question.
TEST_F(CliTest, AChipBeyondReachIsToldSoAndNeverErased) {
  Configure("jedec=EF4019\n");
  const fs::path shipped = dir_ / "shipped.ini";
  fs::copy_file(RTD_SHIPPED_JEDEC_INI, shipped);
  const std::string line =
      "The FLASH id EF4019 says 32768 KBytes: the chip is larger than the programmer can address; "
      "read, compare and the blank check cover its first 16384 KBytes, erase and write are "
      "refused";
  EXPECT_EQ(Run({"--lang", "en", "--jedec", shipped.string(), "detect"}), kExitFailure);
  EXPECT_NE(Out().find("JEDEC ID: EF4019 Winbond W25Q256FV/W25Q256JV_Q 32768 KBytes\n" + line +
                       "\n"),
            std::string::npos)
      << Out();
  EXPECT_EQ(Err(), "Warning: " + line + "\n");
  EXPECT_EQ(Run({"--lang", "ru", "--jedec", shipped.string(), "detect"}), kExitFailure);
  EXPECT_EQ(Err().rfind("Предупреждение: Идентификатор FLASH EF4019 указывает 32768 КБ", 0), 0u)
      << Err();

  const auto old = ReadFile(flash_image_);
  std::ofstream(dir_ / "jedec.ini") << "[EF4019]\nManufacturer=W25Q256\nSizeInBytes=16777216\n";
  EXPECT_EQ(Run({"--lang", "en", "erase", "--yes"}), kExitFailure);
  EXPECT_EQ(Err(), "Warning: " + line +
                       "\nError: The FLASH EF4019 of 32768 KBytes is larger than the programmer "
                       "can address: it can be neither erased nor written with this programmer\n"
                       "  Nothing was erased\n");
  EXPECT_EQ(ReadFile(flash_image_), old);
}

// A check that identifies nothing fails with its reason on stderr.
TEST_F(CliTest, AnIdThatNamesNoChipIsExplainedOnStderr) {
  struct Case {
    const char* configuration;
    const char* reason;
  };
  const Case cases[] = {
      {"jedec=FFFFFF\n", "The FLASH does not answer: no chip, or no contact\n"},
      {"jedec=000000\n", "The FLASH does not answer: no chip, or no contact\n"},
      {"fault=flip cmd=0x41\n", "Error getting type FLASH\n"},
  };
  for (const Case& c : cases) {
    Configure(c.configuration);
    EXPECT_EQ(Run({"--lang", "en", "read", (dir_ / "dump.bin").string()}), kExitFailure);
    EXPECT_EQ(Err(), c.reason) << c.configuration;
  }
}

TEST_F(CliTest, FileProblemsNameThePathAndTheSystemsReason) {
  const std::string missing = (dir_ / "missing.bin").string();
  EXPECT_EQ(Run({"--lang", "en", "compare", missing}), kExitFailure);
  EXPECT_NE(Err().find("Error: " + missing + ": No such file or directory\n"), std::string::npos)
      << Err();
  const std::string pipe = (dir_ / "pipe.bin").string();
  RTD_MAKE_FIFO_OR_SKIP(pipe);
  EXPECT_EQ(Run({"--lang", "en", "write", pipe, "--yes"}), kExitFailure);
  EXPECT_NE(Err().find("Error: " + pipe + ": not a regular file\n"), std::string::npos) << Err();
}

// Refused before anything is sent: the flash is not read only to be lost,
// nor an erase confirmed for an image that is not there.
TEST_F(CliTest, AFileThatCannotBeUsedIsRefusedBeforeAnythingIsSent) {
  const std::string pipe = (dir_ / "pipe.bin").string();
  RTD_MAKE_FIFO_OR_SKIP(pipe);
  const std::string nowhere = (dir_ / "no-such-folder" / "dump.bin").string();
  const std::string kept = (dir_ / "kept.bin").string();
  WriteFile(kept, {1, 2, 3});
  fs::permissions(kept, fs::perms::owner_read);
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"read", pipe}, pipe + ": not a regular file"},
      {{"read", "--verify", pipe}, pipe + ": not a regular file"},
      {{"read", dir_.string()}, dir_.string() + ": Is a directory"},
      {{"read", nowhere}, nowhere + ": No such file or directory"},
      {{"read", kept}, kept + ": Permission denied"},
      {{"write", "--yes", nowhere}, nowhere + ": No such file or directory"},
      {{"compare", "--quick", dir_.string()}, dir_.string() + ": Is a directory"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"--lang", "en"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(Run(args), kExitFailure) << c.error;
    EXPECT_EQ(Err(), "Error: " + c.error + "\n");
    EXPECT_EQ(Out(), "") << "the programmer was asked before the refusal";
  }
}

// Neither a FIFO nor a directory is waited for or taken for an empty file.
TEST_F(CliTest, UnusableConfigurationFilesAreRefused) {
  const std::string pipe = (dir_ / "pipe.conf").string();
  RTD_MAKE_FIFO_OR_SKIP(pipe);
  EXPECT_EQ(Run({"--lang", "en", "--simulate=" + pipe, "info"}, false), kExitUsage);
  EXPECT_NE(Err().find("not a regular file"), std::string::npos) << Err();
  EXPECT_EQ(Run({"--lang", "en", "--simulate=" + dir_.string(), "info"}, false), kExitUsage);
  EXPECT_NE(Err().find("Is a directory"), std::string::npos) << Err();
  EXPECT_EQ(Run({"--lang", "en", "--jedec", pipe, "detect"}), kExitUsage);
  EXPECT_EQ(Err(), "rtdprog-cli: --jedec " + pipe + ": not a regular file\n");
  EXPECT_EQ(Out(), "");
}

TEST_F(CliTest, ALinkThatNeverComesUpIsExplained) {
  Configure("link-up-ms=60000\n");
  EXPECT_EQ(Run({"--lang", "en", "detect"}), kExitFailure);
  EXPECT_NE(Out().find("No connect"), std::string::npos);
  EXPECT_NE(Err().find("did not report its link to the board's FLASH within 10 s"),
            std::string::npos)
      << Err();
}

TEST_F(CliTest, TheGaugeShowsTheSpeedInEitherLanguage) {
  err_is_terminal_ = true;
  EXPECT_EQ(Run({"--lang", "ru", "read", (dir_ / "dump.bin").string()}), kExitOk) << Err();
  EXPECT_NE(Err().find("KiB/s"), std::string::npos) << Err();
}

TEST_F(CliTest, RussianTextsAndCommunicationLogOnStderr) {
  EXPECT_EQ(Run({"--lang", "ru", "--comm-log", "detect"}), kExitOk);
  EXPECT_NE(Out().find("Проверка связи\nСвязь установлена\nJEDEC ID: EF4013 Winbond W25Q40 512 KBytes"),
            std::string::npos)
      << Out();
  EXPECT_NE(Err().find("> CMD:41 ADDR:000000 LEN:000"), std::string::npos) << Err();
  EXPECT_EQ(Out().find("CMD:"), std::string::npos);
}

TEST_F(CliTest, TouchAndControllerReset) {
  EXPECT_EQ(Run({"touch"}), kExitOk);
  EXPECT_EQ(Out(), "TOUCHPARAM = { { { 16, 32 }, { 48, 64 } }, 0xAB, 0xCD, 7 };\n");
  EXPECT_EQ(Run({"--lang", "en", "reset-controller"}), kExitOk);
  EXPECT_NE(Out().find("Reset RTD2662 was successful"), std::string::npos);
  EXPECT_EQ(Run({"reset-programmer"}), kExitOk);
}

TEST_F(CliTest, MissingProgrammerEndsTheFlashCommandsWithNoConnect) {
  Configure("attached=0\n");
  EXPECT_EQ(Run({"--lang", "en", "read", (dir_ / "x.bin").string()}), kExitFailure);
  EXPECT_NE(Out().find("No connect"), std::string::npos);
  EXPECT_NE(Err().find("Controller is disconnected"), std::string::npos);
}

// The service commands' exit statuses (what they print is the flash tests' business).
TEST_F(CliTest, ServiceCommandsExitStatuses) {
  EXPECT_EQ(Run({"blank-check"}), kExitMismatch);
  EXPECT_EQ(Run({"erase"}), kExitNotDone);
  EXPECT_EQ(Run({"erase", "--yes"}), kExitOk);
  EXPECT_EQ(Run({"blank-check"}), kExitOk);
  const fs::path image = dir_ / "image.bin";
  auto bytes = Pattern(65536, 5);
  WriteFile(image, bytes);
  EXPECT_EQ(Run({"write", "--verify=full", image.string(), "--yes"}), kExitOk);
  EXPECT_EQ(Run({"read", "--verify", (dir_ / "dump.bin").string()}), kExitOk);
  bytes[0x1234] ^= 0x10;
  WriteFile(image, bytes);
  EXPECT_EQ(Run({"--lang", "en", "compare", "--diff", image.string()}), kExitMismatch);
  EXPECT_NE(Out().find("Differing bytes in all: 1\n"), std::string::npos) << Out();

  // A clip that makes poor contact once, in the second read: nothing saved.
  const fs::path dump = dir_ / "dump.bin";
  WriteFile(dump, {1, 2, 3});
  Configure("fault=flip cmd=0x42 addr=0x001200 after=1\n");
  EXPECT_EQ(Run({"read", "--verify", dump.string()}), kExitReadsDiffer);
  EXPECT_EQ(ReadFile(dump), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(CliTest, ListAndDeviceChooseAmongSeveralProgrammers) {
  Configure("programmers=2\nserial=500\ndecoy=manufacturer=qel\n");
  EXPECT_EQ(Run({"--lang", "en", "list"}), kExitOk) << Err();
  EXPECT_EQ(Out(),
            "sim:hid/1/programmer  serial number 500  \"RTD2662 programmer\"  application 1.05  "
            "boot loader 1.01\n"
            "sim:hid/2/programmer  serial number 501  \"RTD2662 programmer\"  application 1.05  "
            "boot loader 1.01\n");
  EXPECT_EQ(Run({"--lang", "en", "--device", "501", "info"}), kExitOk) << Err();
  EXPECT_NE(Out().find("The serial number   501\n"), std::string::npos);
  EXPECT_EQ(Run({"--lang", "en", "--device=sim:hid/2/programmer", "detect"}), kExitOk);
  EXPECT_EQ(Run({"--lang", "en", "--device", "sim:hid/2/programmer", "info"}), kExitOk);
  EXPECT_NE(Out().find("The serial number   501\n"), std::string::npos);
  // Without --device the first one found is used.
  EXPECT_EQ(Run({"--lang", "en", "info"}), kExitOk);
  EXPECT_NE(Out().find("The serial number   500\n"), std::string::npos);

  // Numbers no serial number reaches (500 plus 2^32 among them) match none.
  for (const std::string serial : {"502", "4294967796", "99999999999999999999999", "hidraw9"}) {
    EXPECT_EQ(Run({"--lang", "en", "--device", serial, "detect"}), kExitFailure);
    EXPECT_EQ(Err(),
              "No programmer with the serial number or path \"" + serial + "\" among 2 attached\n");
  }
  EXPECT_EQ(Run({"--lang", "en", "--device", "sim:hid/0/decoy", "info"}), kExitFailure);

  // One that does not answer, or cannot be opened, is listed with the
  // reason, and the listing fails with the reasons on stderr (the hint on
  // access rights once).
  Configure("programmers=2\nfault=timeout cmd=0x01\n");
  EXPECT_EQ(Run({"--lang", "en", "list"}), kExitFailure);
  const std::string no_answer =
      "sim:hid/0/programmer  identification failed: Out of the timeout response\n";
  EXPECT_EQ(Out().rfind(no_answer, 0), 0u) << Out();
  EXPECT_NE(Out().find("sim:hid/1/programmer  serial number 12346"), std::string::npos);
  EXPECT_EQ(Err(), no_answer);
  Configure("decoy=openable=0\ndecoy=openable=0\n");
  EXPECT_EQ(Run({"--lang", "en", "list"}), kExitFailure);
  EXPECT_NE(Out().find("decoy  cannot be opened: Permission denied\n"), std::string::npos) << Out();
  EXPECT_NE(Out().find("serial number 12345"), std::string::npos) << Out();
  const std::string hint = "plugged in but could not be opened: Permission denied";
  EXPECT_NE(Err().find(hint), std::string::npos) << Err();
  EXPECT_EQ(Err().find(hint), Err().rfind(hint)) << Err();

  Configure("attached=0\n");
  EXPECT_EQ(Run({"--lang", "en", "list"}), kExitFailure);
  EXPECT_EQ(Err(), "Controller is disconnected\n");
}

// A path the user names where no programmer answers is no programmer that
// went away; one with the programmer's ids that cannot be opened is.
TEST_F(CliTest, ADevicePathThatIsNoProgrammerNamesNone) {
  const std::string none =
      "No programmer with the serial number or path \"sim:hid/0/decoy\" among 1 attached\n";
  const struct {
    const char* decoy;
    std::string says;
  } cases[] = {
      {"vid=0x046D pid=0xC31C manufacturer=Logitech product=\"USB Keyboard\"", none},
      {"vid=0x046D pid=0xC31C openable=0", none},
      {"manufacturer=qel", none},
      {"openable=0", "The programmer is plugged in but could not be opened: Permission denied"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.decoy);
    Configure(std::string("decoy=") + c.decoy + "\n");
    EXPECT_EQ(Run({"--lang", "en", "--device", "sim:hid/0/decoy", "info"}), kExitFailure);
    EXPECT_EQ(Err().rfind(c.says, 0), 0u) << Err();
  }
}

// Another program on the same virtual chip (the same image file) holds the
// programmer, as a window would.
TEST_F(CliTest, AProgrammerInUseIsLeftAloneOrWaitedFor) {
  sim::SimConfig config;
  config.image = flash_image_.string();
  sim::VirtualProgrammer other(config, clock_);
  HidTransport other_link(other);
  ASSERT_EQ(other_link.LinkOpen(), kLinkOk);
#ifdef _WIN32
  DWORD session = 0;
  ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
  const std::string holder = "cli_tests.exe (process " + std::to_string(_getpid()) +
                             ", session " + std::to_string(session) + ")";
#else
  const std::string holder = "cli_tests (process " + std::to_string(getpid()) + ")";
#endif
  const std::string in_use =
      "The programmer sim:hid/0/programmer is in use by another program: " + holder;
  const auto chip = ReadFile(flash_image_);
  WriteFile(dir_ / "new.bin", Pattern(512 * 1024, 8));
  const fs::path dump = dir_ / "dump.bin";

  const std::vector<std::vector<std::string>> refused = {
      {"read", dump.string()},
      {"erase", "--yes"},
      {"write", "--yes", (dir_ / "new.bin").string()},
      {"--device", "sim:hid/0/programmer", "info"}};
  for (const auto& args : refused) {
    SCOPED_TRACE(args[0]);
    EXPECT_EQ(Run(args), kExitFailure);
    EXPECT_EQ(Out(), "");
    EXPECT_EQ(Err(), in_use + "\n");
  }
  // A programmer in use cannot be asked for its serial number: any number
  // may be its, and it is named as one that may be the one.
  for (const std::string serial : {"12345", "99999"}) {
    EXPECT_EQ(Run({"--device", serial, "info"}), kExitFailure);
    EXPECT_EQ(Err(), "Of 1 attached programmers, 1 in use by another program could not be asked "
                     "for the serial number \"" + serial + "\", and no other has it:\n" +
                         in_use + "\n");
  }
  // What cannot be its serial number nor its path is no programmer at all,
  // and not waited for.
  EXPECT_EQ(Run({"--device", "sim:hid/9/programmer", "--wait-busy", "5", "info"}), kExitFailure);
  EXPECT_EQ(Err(), "No programmer with the serial number or path \"sim:hid/9/programmer\" among "
                   "1 attached\n");
  EXPECT_FALSE(fs::exists(dump));
  EXPECT_EQ(ReadFile(flash_image_), chip);
  EXPECT_EQ(Run({"list"}), kExitOk);
  EXPECT_EQ(Out(), "sim:hid/0/programmer  The programmer is in use by another program: " + holder +
                       "\n");

  // A script may wait: until the time is up, a stop, or the other lets go.
  EXPECT_EQ(Run({"--wait-busy", "5", "read", dump.string()}), kExitFailure);
  EXPECT_EQ(Err(), in_use + "; waiting up to 5 s for it to be free\n" + in_use + "\n");
  on_pump_ = [this] { interrupted_ = true; };
  EXPECT_EQ(Run({"--wait-busy", "5", "read", dump.string()}), kExitStopped);
  interrupted_ = false;
  on_pump_ = [&, pumps = 0]() mutable {
    if (++pumps == 3) other_link.LinkClose();
  };
  EXPECT_EQ(Run({"--wait-busy", "5", "read", dump.string()}), kExitOk) << Err();
  EXPECT_EQ(ReadFile(dump), chip);
}

// The system refuses the lock itself (an image in a folder the user may not
// search, an object of another kind under the lock's name on Windows): said
// as that, with its reason, and no advice on the udev rule.
TEST_F(CliTest, ALockTheSystemRefusesIsToldAsSuch) {
  Configure("lock=0\n");
  const std::string refused =
      "The programmer sim:hid/0/programmer could not be locked for this program: "
      "Permission denied";
  for (const bool wait : {false, true}) {
    std::vector<std::string> args = {"info"};
    if (wait) args = {"--wait-busy", "5", "info"};  // nothing another program lets go of
    EXPECT_EQ(Run(args), kExitFailure);
    EXPECT_EQ(Out(), "");
    EXPECT_EQ(Err(), refused + "\n");
  }
  EXPECT_EQ(Run({"list"}), kExitFailure);
  const std::string line =
      "sim:hid/0/programmer  The programmer could not be locked for this program: "
      "Permission denied\n";
  EXPECT_EQ(Out(), line);
  EXPECT_EQ(Err(), line);
}

#ifdef _WIN32
// Under Wine as on Windows: an object of another kind under the name of the
// chip's lock (the virtual programmer locks its image file).
TEST_F(CliTest, AnObjectSquattingTheLocksNameIsNoCableOrAccessFault) {
  const std::string image = Utf8FromPath(fs::absolute(flash_image_).lexically_normal());
  const std::u16string name = LockObjectName(image, true);
  HANDLE squatter = ::CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(name.c_str()));
  ASSERT_NE(squatter, nullptr);
  const int status = Run({"info"});
  ::CloseHandle(squatter);
  EXPECT_EQ(status, kExitFailure);
  const std::string refused =
      "The programmer sim:hid/0/programmer could not be locked for this program: " + image + ": ";
  EXPECT_EQ(Err().rfind(refused, 0), 0u) << Err();
  EXPECT_EQ(Err().find('\n'), Err().size() - 1) << Err();  // one line, and no advice on access
}
#endif

TEST_F(CliTest, ServiceOptionsBelongToTheirCommands) {
  const std::vector<std::vector<std::string>> cases = {
      {"--verify", "write", "x.bin"}, {"--verify=full", "read", "x.bin"},
      {"--verify=fast", "read", "x.bin"}, {"--diff", "--quick", "compare", "x.bin"},
      {"--diff", "read", "x.bin"}, {"list", "extra"}, {"blank-check", "x.bin"},
      {"--device", "1", "list"}, {"--device"}, {"--wait-busy", "5", "list"},
      {"--wait-busy", "soon", "info"}, {"--wait-busy", "1000001", "info"}};
  for (const auto& args : cases) EXPECT_EQ(Run(args), kExitUsage) << args[0] << ' ' << args.back();
}

// The shipped chip list names the chips the virtual programmer reports (a
// sample of those the programmer can address).
TEST_F(CliTest, DetectNamesChipsOfTheShippedList) {
  std::ifstream shipped(RTD_SHIPPED_JEDEC_INI);
  std::vector<std::string> ids;
  std::string line, id;
  while (std::getline(shipped, line)) {
    if (line.size() == 8 && line[0] == '[') id = line.substr(1, 6);
    if (line.rfind("SizeInBytes=", 0) == 0 && std::stoul(line.substr(12)) <= 16u * 1024 * 1024)
      ids.push_back(id);
  }
  ASSERT_GE(ids.size(), 300u);
  // A copy: an id that failed to resolve would get a template entry written.
  const fs::path copy = dir_ / "shipped.ini";
  fs::copy_file(RTD_SHIPPED_JEDEC_INI, copy);
  for (std::size_t i = 0; i < ids.size(); i += 10) {
    Configure("jedec=" + ids[i] + "\n");
    EXPECT_EQ(Run({"--lang", "en", "--jedec", copy.string(), "detect"}), kExitOk) << ids[i];
    EXPECT_NE(Out().find("JEDEC ID: " + ids[i] + " "), std::string::npos) << Out();
  }
}

}  // namespace
}  // namespace rtd::cli

namespace rtd::cli {
namespace {

TEST_F(CliTest, WriteBacksTheFlashUpFirstUnlessToldNot) {
  const auto old = ReadFile(flash_image_);
  const fs::path image = dir_ / "image.bin";
  WriteFile(image, Pattern(65536, 3));
  // Beside the program, as jedec.ini is; a virtual chip's apart.
  const fs::path folder = dir_ / "backups" / "simulated";
  auto backups = [&folder] {
    std::vector<fs::path> v;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) v.push_back(e.path());
    return v;
  };

  ASSERT_EQ(Run({"--lang", "en", "write", image.string(), "--yes"}), kExitOk) << Err();
  ASSERT_EQ(backups().size(), 1u);
  EXPECT_EQ(ReadFile(backups()[0]), old);
  EXPECT_NE(Out().find("FLASH backup: " + backups()[0].string() + "\n"), std::string::npos);

  WriteFile(image, Pattern(65536, 4));
  ASSERT_EQ(Run({"--lang", "en", "--no-backup", "write", image.string(), "--yes"}), kExitOk);
  EXPECT_EQ(backups().size(), 1u);
  EXPECT_EQ(Out().find("FLASH backup"), std::string::npos);
  EXPECT_NE(Out().find("No backup: switched off by --no-backup\n"), std::string::npos) << Out();
}

// --yes answers the question before the erase, not whether a backup that
// repeats (an open address line) will do: that takes its own option.
TEST_F(CliTest, ARepeatingBackupNeedsItsOwnOption) {
  auto half = Pattern(256 * 1024, 9);
  half.insert(half.end(), half.begin(), half.end());
  const fs::path image = dir_ / "image.bin";
  WriteFile(image, Pattern(65536, 3));
  for (const bool accept : {false, true}) {
    WriteFile(flash_image_, half);
    std::vector<std::string> args = {"--lang", "en", "write", image.string(), "--yes"};
    if (accept) args.push_back("--accept-repeating");
    EXPECT_EQ(Run(args), accept ? kExitOk : kExitFailure) << Err();
    EXPECT_EQ(ReadFile(flash_image_) == half, !accept);
  }
  EXPECT_EQ(Run({"--accept-repeating", "read", (dir_ / "d.bin").string()}), kExitUsage);
}

TEST_F(CliTest, DumpWarningsGoToStderrWithoutChangingTheExitStatus) {
  WriteFile(flash_image_, std::vector<uint8_t>(512 * 1024, 0x00));
  EXPECT_EQ(Run({"--lang", "en", "read", (dir_ / "dump.bin").string()}), kExitOk);
  EXPECT_NE(Err().find("Warning: The FLASH reads all 0x00: no power or a shorted line\n"),
            std::string::npos)
      << Err();
  EXPECT_EQ(Err().find("[y/n]"), std::string::npos);

#ifndef _WIN32
  // Saved well, but the settings file cannot hold the name: a warning too.
  // (Windows allows no line break in a name.)
  const std::string odd = (dir_ / "odd\nname.bin").string();
  EXPECT_EQ(Run({"--lang", "en", "read", odd}), kExitOk);
  EXPECT_NE(Err().find("Warning: The path " + dir_.string() + "/odd\n"), std::string::npos)
      << Err();
  EXPECT_EQ(Err().find("Error"), std::string::npos);
#endif
}

#ifndef _WIN32
// An installed program run as the user: the backups are the user's data.
class InstalledCliTest : public CliTest {
 protected:
  int RunInstalled(std::vector<std::string> args, const std::string& home) {
    fs::create_directories(dir_ / "bin");
    args.insert(args.begin(), {"--simulate=" + (dir_ / "sim.conf").string(), "--jedec",
                               (dir_ / "jedec.ini").string(), "--lang", "en", "--yes"});
    out_.str("");
    err_.str("");
    CliEnvironment env{out_, err_, in_};
    env.files.executable_path = (dir_ / "bin" / "rtdprog-cli").string();
    env.files.home = home;
    env.clock = &clock_;
    return RunCli(args, env);
  }
};

// No home folder anywhere: nothing is sent, unless the user does without
// the copy.
TEST_F(InstalledCliTest, WithoutABackupFolderWriteAndEraseStopBeforeAnythingIsSent) {
  const auto old = ReadFile(flash_image_);
  WriteFile(dir_ / "image.bin", Pattern(65536, 3));
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"write", (dir_ / "image.bin").string()}, {"erase"}}) {
    SCOPED_TRACE(command[0]);
    auto args = command;
    args.push_back("--comm-log");
    EXPECT_EQ(RunInstalled(args, ""), kExitFailure);
    EXPECT_EQ(Err().rfind("Error: There is no folder for the FLASH backup: neither "
                          "$XDG_DATA_HOME nor $HOME is set",
                          0),
              0u)
        << Err();
    EXPECT_EQ(ReadFile(flash_image_), old);
    args.push_back("--no-backup");
    EXPECT_EQ(RunInstalled(args, ""), kExitOk) << Err();
    WriteFile(flash_image_, old);
  }
}

// Root through sudo -E, with the user's HOME: every folder made on the way
// to the backups is the user's, and a virtual chip's copies lie apart.
TEST_F(InstalledCliTest, BackupFoldersMadeByRootInTheUsersHomeAreTheUsers) {
  if (geteuid() != 0) GTEST_SKIP() << "only root makes folders for someone else";
  const fs::path home = dir_ / "home";
  fs::create_directories(home);
  ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
  ASSERT_EQ(RunInstalled({"erase"}, home.string()), kExitOk) << Err();
  const fs::path folder = home / ".local/share/rtdprog/backups/simulated";
  ASSERT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  for (fs::path level = folder; level != home; level = level.parent_path()) {
    struct stat st {};
    ASSERT_EQ(stat(level.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u) << level;
  }
}
#endif  // !_WIN32

}  // namespace
}  // namespace rtd::cli
