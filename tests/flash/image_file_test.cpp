// Image files and the CRC-8: no programmer involved.

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <cstring>

#include "flash_fixture.h"

namespace rtd::test {
namespace {

class ImageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_language_ = CurrentLanguage;
    CurrentLanguage = kLanguageEnglish;
  }
  void TearDown() override { CurrentLanguage = saved_language_; }
  // Everything in the directory, to see that no temporary file is left.
  std::vector<std::string> Entries() const {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(dir_)) v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
  }
  // Loads a file of the given size into a buffer of the given capacity.
  int Load(std::size_t file_size, uint32_t capacity) {
    file_ = Pattern(file_size);
    WriteFile(dir_ / "in.bin", file_);
    buffer_.assign(capacity, 0x00);
    length_ = 0xDEAD;
    return LoadImageFile(out_, (dir_ / "in.bin").string(), buffer_.data(), capacity, &length_);
  }

  RecordingOutput out_;
  TempDir temp_;
  fs::path dir_ = temp_.fs_path();
  std::vector<uint8_t> file_;
  std::vector<uint8_t> buffer_;
  uint32_t length_ = 0;

 private:
  int32_t saved_language_ = 0;
};

TEST(Crc8Range, IsCrc8Smbus) {
  const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(Crc8Range(digits, 0, 8), 0xF4);
  const uint8_t bytes[] = {0xAA, 0x01, 0x80, 0xBB};
  EXPECT_EQ(Crc8Range(bytes, 1, 1), 0x07);
  EXPECT_EQ(Crc8Range(bytes, 2, 2), 0x89);
  const std::vector<uint8_t> zeros(65536, 0);
  EXPECT_EQ(Crc8Range(zeros.data(), 0, 65535), 0x00);
}

// The fast path folds eight bytes at a time; it must agree with the plain
// bit-by-bit CRC for every length and alignment, tail included.
TEST(Crc8Range, AgreesWithTheBitwiseDefinitionAtEveryOffsetAndLength) {
  std::vector<uint8_t> data(300);
  uint32_t x = 12345;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  auto reference = [&](uint32_t first, uint32_t last) {
    unsigned crc = 0;
    for (uint32_t i = first; i <= last; ++i) {
      crc ^= data[i];
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80) != 0 ? ((crc << 1) ^ 0x07) & 0xFF : (crc << 1) & 0xFF;
    }
    return static_cast<uint8_t>(crc);
  };
  for (uint32_t first = 0; first < 9; ++first)
    for (uint32_t last = first; last < data.size(); last += 7)
      ASSERT_EQ(Crc8Range(data.data(), first, last), reference(first, last)) << first << ".." << last;
}

TEST_F(ImageFileTest, SizeRules) {
  EXPECT_EQ(Load(65535, 524288), 1);
  EXPECT_EQ(Load(0, 524288), 1);
  EXPECT_EQ(Load(524289, 524288), 1);
  // 4 GiB + 64 KiB (sparse): its length must not wrap to an acceptable 64 KiB.
  fs::resize_file(dir_ / "in.bin", (uint64_t{1} << 32) + 65536);
  EXPECT_EQ(LoadImageFile(out_, (dir_ / "in.bin").string(), buffer_.data(), 524288, &length_), 1);
  EXPECT_EQ(out_.Boxes(),
            (std::vector<std::string>{"0x10 Error: The file size is too small",
                                      "0x10 Error: The file size is too small",
                                      "0x10 Error: The file size exceeds the allowable",
                                      "0x10 Error: The file size exceeds the allowable"}));
  out_.events.clear();

  EXPECT_EQ(Load(65536, 524288), 0);
  EXPECT_EQ(length_, 65536u);
  EXPECT_EQ(Load(524288, 524288), 0);
  EXPECT_EQ(length_, 524288u);
  EXPECT_EQ(buffer_, file_);
  EXPECT_TRUE(out_.events.empty());
}

TEST_F(ImageFileTest, ShortFileIsPaddedAndRoundedToWholeRanges) {
  ASSERT_EQ(Load(100000, 524288), 0);
  EXPECT_EQ(length_, 131072u);
  EXPECT_TRUE(std::equal(file_.begin(), file_.end(), buffer_.begin()));
  EXPECT_TRUE(
      std::all_of(buffer_.begin() + 100000, buffer_.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST_F(ImageFileTest, ImageLengthNeverPassesAFlashOfOddSize) {
  // 96 KiB + 100 bytes: rounding up would give 128 KiB, past the buffer.
  constexpr uint32_t kOdd = 98404;
  ASSERT_EQ(Load(70000, kOdd), 0);
  EXPECT_EQ(length_, kOdd);
  ASSERT_EQ(Load(kOdd, kOdd), 0);
  EXPECT_EQ(length_, kOdd);
}

TEST_F(ImageFileTest, UnopenableFilesFailWithoutABoxButWithTheReason) {
  buffer_.assign(524288, 0);
  const std::string missing = (dir_ / "missing.bin").string();
  EXPECT_EQ(LoadImageFile(out_, missing, buffer_.data(), 524288, &length_), 1);
  const std::string folder = (dir_ / "folder.bin").string();
  fs::create_directory(folder);
  EXPECT_EQ(LoadImageFile(out_, folder, buffer_.data(), 524288, &length_), 1);
#ifndef _WIN32  // Windows calls a folder's refusal "Permission denied"
  EXPECT_EQ(out_.events, (std::vector<std::string>{
                             "file-error " + missing + ": No such file or directory",
                             "file-error " + folder + ": Is a directory"}));
#else
  EXPECT_EQ(out_.events.size(), 2u);
#endif
}

TEST_F(ImageFileTest, SaveWritesTheWholeBufferAndReplacesAnOldFile) {
  const fs::path target = dir_ / "dump.bin";
  WriteFile(target, std::vector<uint8_t>(1000000, 0x55));
#ifndef _WIN32
  ::chmod(target.c_str(), 0640);
#endif
  // A size that is not whole 256-byte blocks keeps its tail too.
  const auto image = Pattern(70000);
  ASSERT_EQ(SaveImageFile(target.string(), image.data(), 70000), 0);
  EXPECT_EQ(ReadFile(target), image);
  EXPECT_EQ(Entries(), std::vector<std::string>{"dump.bin"});
#ifndef _WIN32
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
#endif
}

// Windows: links need privileges, and there is no file size limit to set.
#ifndef _WIN32
TEST_F(ImageFileTest, SaveThroughALinkReplacesTheFileItNames) {
  const fs::path real = dir_ / "real.bin";
  WriteFile(real, {1, 2, 3});
  fs::create_symlink(real, dir_ / "link.bin");
  const auto image = Pattern(512);
  ASSERT_EQ(SaveImageFile((dir_ / "link.bin").string(), image.data(), 512), 0);
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.bin"));
  EXPECT_EQ(ReadFile(real), image);
}
#endif

TEST_F(ImageFileTest, SaveRefusesAReadOnlyFileAndADirectory) {
  const fs::path target = dir_ / "keep.bin";
  const std::vector<uint8_t> old(300, 0x11);
  WriteFile(target, old);
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const auto image = Pattern(65536);
  EXPECT_EQ(SaveImageFile(target.string(), image.data(), 65536), 1);
  EXPECT_EQ(ReadFile(target), old);
  fs::create_directory(dir_ / "folder.bin");
  EXPECT_EQ(SaveImageFile((dir_ / "folder.bin").string(), image.data(), 65536), 1);
  EXPECT_EQ(SaveImageFile((dir_ / "no" / "such.bin").string(), image.data(), 65536), 1);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"folder.bin", "keep.bin"}));
}

#ifndef _WIN32
TEST_F(ImageFileTest, AFailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  const fs::path target = dir_ / "dump.bin";
  const std::vector<uint8_t> old(4096, 0x22);
  WriteFile(target, old);
  // The disk "fills up" after 10000 bytes: writes past it fail with EFBIG.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 10000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto image = Pattern(65536);
  const int result = SaveImageFile(target.string(), image.data(), 65536);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ReadFile(target), old);
  EXPECT_EQ(Entries(), std::vector<std::string>{"dump.bin"});
}
#endif

}  // namespace
}  // namespace rtd::test
