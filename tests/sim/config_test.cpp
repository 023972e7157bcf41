// The virtual programmer's configuration file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include "config/utf8_path.h"
#include "i18n/lang.h"
#include "sim/virtual_programmer.h"
#include "temp_dir.h"

namespace rtd::sim {
namespace {

struct English {
  int32_t saved = CurrentLanguage;
  English() { CurrentLanguage = kLanguageEnglish; }
  ~English() { CurrentLanguage = saved; }
};

TEST(SimConfigParse, EveryKey) {
  const char* text = R"(# a board with an SST chip
jedec=BF258D
size=0x100000
status=0x1C
image=/tmp/board#1.bin
link-up-ms=1500
erase-ms=20
transfer-us=250
touch=10 00 20 00 30 00 40 00 AB CD 07   # as the touch controller keeps them
attached=0
name=Bench programmer
serial=0x00ABCDEF
app-version=203
boot-version=100
unplug-after=7
programmers=3
library=0
entry-points=0
lock=0

fault=timeout cmd=0x42 addr=0x001200 after=2 count=3
fault=transfer cmd=0x83
fault=short
fault=other-chip jedec=0xC84013 after=5
decoy=vid=0xFFFF pid=0x00FF manufacturer=qel product="ZEZ2662 IDAD" openable=0 strings=0 position=after
decoy=
)";
  SimConfig c;
  std::string error;
  ASSERT_TRUE(ParseSimConfig(text, c, error)) << error;
  EXPECT_EQ(c.jedec, (std::array<uint8_t, 3>{0xBF, 0x25, 0x8D}));
  EXPECT_EQ(c.size, 0x100000u);
  EXPECT_EQ(c.status, 0x1C);
  EXPECT_EQ(c.image, "/tmp/board#1.bin");
  EXPECT_EQ(c.link_up_ms, 1500u);
  EXPECT_EQ(c.erase_ms, 20u);
  EXPECT_EQ(c.transfer_us, 250u);
  EXPECT_EQ(c.touch, (std::vector<uint8_t>{0x10, 0, 0x20, 0, 0x30, 0, 0x40, 0, 0xAB, 0xCD, 7}));
  EXPECT_FALSE(c.attached);
  EXPECT_EQ(c.name, "Bench programmer");
  EXPECT_EQ(c.serial, 0xABCDEFu);
  EXPECT_EQ(c.app_version, 203u);
  EXPECT_EQ(c.boot_version, 100u);
  EXPECT_EQ(c.unplug_after, 7u);
  EXPECT_EQ(c.programmers, 3u);
  EXPECT_FALSE(c.library_loadable);
  EXPECT_FALSE(c.entry_points);
  EXPECT_FALSE(c.lockable);

  // The write-type bit is not part of a fault's command; every field has a default.
  EXPECT_EQ(c.faults, (std::vector<Fault>{{FaultKind::kTimeout, 0x42, 0x1200, 2, 3},
                                          {FaultKind::kTransferFailure, 0x03, -1, 0, 1},
                                          {FaultKind::kShortBlock, -1, -1, 0, 1},
                                          {FaultKind::kOtherChip, -1, -1, 5, 1, {0xC8, 0x40, 0x13}}}));
  const Decoy odd{0xFFFF, 0x00FF, "qel", "ZEZ2662 IDAD", false, false, false};
  EXPECT_EQ(c.decoys, (std::vector<Decoy>{odd, Decoy{}}));
}

// As written by an editor that starts UTF-8 files with a byte-order mark.
TEST(SimConfigParse, AByteOrderMarkIsNoPartOfTheFirstKey) {
  SimConfig c;
  std::string error;
  ASSERT_TRUE(ParseSimConfig("\xEF\xBB\xBFsize=0x20000\r\n", c, error)) << error;
  EXPECT_EQ(c.size, 0x20000u);
}

TEST(SimConfigParse, FaultKindsByName) {
  const std::pair<const char*, FaultKind> kinds[] = {
      {"timeout", FaultKind::kTimeout},      {"checksum", FaultKind::kBadChecksum},
      {"address", FaultKind::kWrongAddress}, {"status253", FaultKind::kStatus253},
      {"status254", FaultKind::kStatus254},  {"short", FaultKind::kShortBlock},
      {"transfer", FaultKind::kTransferFailure}, {"flip", FaultKind::kFlippedBit},
      {"no-contact", FaultKind::kNoContact}, {"other-chip", FaultKind::kOtherChip}};
  for (const auto& [name, kind] : kinds) {
    SimConfig c;
    std::string error;
    ASSERT_TRUE(ParseSimConfig(std::string("fault=") + name + " cmd=any addr=any count=0", c,
                               error))
        << name << ": " << error;
    ASSERT_EQ(c.faults.size(), 1u);
    EXPECT_EQ(c.faults[0].kind, kind) << name;
    EXPECT_EQ(c.faults[0].count, 0u);
  }
}

TEST(SimConfigParse, ErrorsNameTheLineAndLeaveTheConfigAlone) {
  English english;
  const std::string long_name = "name=" + std::string(41, 'x');
  const std::pair<const char*, const char*> cases[] = {
      {"size=1024\nspeed=3", "line 2: unknown key \"speed\""},
      {"size=12k", "line 1: bad value for size: \"12k\""},
      {"size=0", "line 1: bad value for size: \"0\""},
      {"size=0x1000001", "line 1: bad value for size: \"0x1000001\""},
      {"jedec=EF40", "line 1: bad value for jedec: \"EF40\""},
      {"status=256", "line 1: bad value for status: \"256\""},
      {"serial=4294967296", "line 1: bad value for serial: \"4294967296\""},
      {"serial=-1", "line 1: bad value for serial: \"-1\""},
      {"attached=yes", "line 1: bad value for attached: \"yes\""},
      {"programmers=0", "line 1: bad value for programmers: \"0\""},
      {"programmers=9", "line 1: bad value for programmers: \"9\""},
      {"touch=10 0G", "line 1: bad value for touch: \"10 0G\""},
      {"touch=100", "line 1: bad value for touch: \"100\""},
      {long_name.c_str(), "line 1: bad value for name: \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\""},
      {"\n# nothing\n\nfault=overheat cmd=0x42", "line 4: bad value for fault: \"overheat\""},
      {"fault=timeout cmd=0x42 addr=0x1000000", "line 1: bad value for fault: \"addr=0x1000000\""},
      {"fault=timeout when=now", "line 1: bad value for fault: \"when=now\""},
      {"fault=other-chip jedec=C840", "line 1: bad value for fault: \"jedec=C840\""},
      {"fault=timeout jedec=C84013", "line 1: bad value for fault: \"jedec=C84013\""},
      {"decoy=vid=0x10000", "line 1: bad value for decoy: \"vid=0x10000\""},
      {"decoy=position=middle", "line 1: bad value for decoy: \"position=middle\""},
      {"decoy=product=\"open", "line 1: bad value for decoy: \"product=\"open\""},
      {"just words", "line 1: expected key=value: \"just words\""},
  };
  for (const auto& [text, message] : cases) {
    SimConfig c;
    c.size = 4096;
    std::string error;
    EXPECT_FALSE(ParseSimConfig(text, c, error)) << text;
    EXPECT_EQ(error, message) << text;
    EXPECT_EQ(c.size, 4096u) << text;
  }
  CurrentLanguage = kLanguageRussian;
  SimConfig c;
  std::string error;
  EXPECT_FALSE(ParseSimConfig("colour=red", c, error));
  EXPECT_EQ(error, "строка 1: неизвестный ключ \"colour\"");
}

TEST(SimConfigLoad, ImageIsFoundBesideTheFile) {
  English english;
  namespace fs = std::filesystem;
  rtd::test::TempDir temp;
  const fs::path dir = temp.fs_path();
  {
    std::ofstream f(dir / "board.cfg");
    f << "image=board.bin\r\nsize=65536\r\n";
  }
  SimConfig c;
  std::string error;
  ASSERT_TRUE(LoadSimConfig((dir / "board.cfg").string(), c, error)) << error;
  EXPECT_EQ(fs::path(c.image), dir / "board.bin");
  EXPECT_EQ(c.size, 65536u);

  {
    std::ofstream f(dir / "bad.cfg");
    f << "size=1\nwhat=2\n";
  }
  EXPECT_FALSE(LoadSimConfig((dir / "bad.cfg").string(), c, error));
  EXPECT_EQ(error, (dir / "bad.cfg").string() + ": line 2: unknown key \"what\"");
  EXPECT_FALSE(LoadSimConfig((dir / "missing.cfg").string(), c, error));
  EXPECT_EQ(error, "cannot read file " + (dir / "missing.cfg").string() +
                       ": No such file or directory");
}

// Names are UTF-8 inside the program, whatever the system's code page: the
// file, the image beside it and the image's own opening all find "Иван".
TEST(SimConfigLoad, AFolderNamedInCyrillicHoldsFileAndImage) {
  namespace fs = std::filesystem;
  rtd::test::TempDir temp;
  const fs::path dir = temp.fs_path() / std::u8string(u8"Иван");
  fs::create_directory(dir);
  std::ofstream(dir / "board.cfg") << "image=board.bin\n";
  SimConfig c;
  std::string error;
  ASSERT_TRUE(LoadSimConfig(temp.File("Иван/board.cfg"), c, error)) << error;
  EXPECT_EQ(rtd::PathFromUtf8(c.image), dir / "board.bin");
  rtd::ManualClock clock;
  VirtualProgrammer sim(c, clock);
  EXPECT_EQ(sim.ImageError(), "");
  EXPECT_TRUE(fs::is_regular_file(dir / "board.bin"));
}

// None of these is a configuration: each is refused at once, without
// waiting for a writer or reading without end.
TEST(SimConfigLoad, WhatIsNoRegularFileIsRefused) {
  English english;
  rtd::test::TempDir temp;
  const std::string fifo = temp.File("fifo.cfg");
  RTD_MAKE_FIFO_OR_SKIP(fifo);
  SimConfig c;
  std::string error;
  EXPECT_FALSE(LoadSimConfig(fifo, c, error));
  EXPECT_EQ(error, "cannot read file " + fifo + ": not a regular file");
  EXPECT_FALSE(LoadSimConfig("/dev/zero", c, error));
  EXPECT_EQ(error, "cannot read file /dev/zero: not a regular file");
  EXPECT_FALSE(LoadSimConfig(temp.path(), c, error));
  EXPECT_EQ(error, "cannot read file " + temp.path() + ": Is a directory");
}

TEST(SimConfigLoad, ABackingImageThatIsNoRegularFileIsRefused) {
  rtd::test::TempDir temp;
  SimConfig c;
  c.image = temp.File("fifo.bin");
  RTD_MAKE_FIFO_OR_SKIP(c.image);
  rtd::ManualClock clock;
  VirtualProgrammer sim(c, clock);
  EXPECT_EQ(sim.ImageError(), c.image + ": not a regular file");
}

}  // namespace
}  // namespace rtd::sim
