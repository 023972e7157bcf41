// Replacing a file with the Windows calls: the old file or the new one,
// never a part, and no temporary file left behind.
#include "config/windows_files.h"

#include <gtest/gtest.h>

#include "core/windows_api.h"

#include <filesystem>
#include <iterator>

#include "temp_dir.h"

namespace rtd::win {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::size_t Entries(const TempDir& dir) {
  return static_cast<std::size_t>(
      std::distance(std::filesystem::directory_iterator(dir.fs_path()), {}));
}

// The temporary name is short, so a target whose full path is just below
// the system's limit of 260 characters still gets one.
TEST(WindowsFiles, ANameNearThePathLimitIsSaved) {
  TempDir dir;
  const std::string prefix = dir.path() + "\\";
  ASSERT_LT(prefix.size(), 200u);
  const std::string path = prefix + std::string(255 - prefix.size(), 'd');
  std::string error;
  ASSERT_TRUE(WriteFileReplacing(path, "new", 3, &error)) << error;
  EXPECT_EQ(ReadBytes(path), "new");
  EXPECT_EQ(Entries(dir), 1u);
}

// A target another program holds open cannot be replaced: it keeps its
// content, the temporary file is gone again, and the reason is the system's
// text alone.
TEST(WindowsFiles, AFailedReplacementKeepsTheOldFileAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.File("dump.bin");
  WriteBytes(path, "old");
  const HANDLE held = ::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::string error;
  EXPECT_FALSE(WriteFileReplacing(path, "new", 3, &error));
  ::CloseHandle(held);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(error.find("dump.bin"), std::string::npos) << "the path is named by whoever shows it";
  EXPECT_EQ(ReadBytes(path), "old");
  EXPECT_EQ(Entries(dir), 1u);
}

}  // namespace
}  // namespace rtd::win
