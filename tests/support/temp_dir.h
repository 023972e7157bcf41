// A scratch directory per test, removed with everything in it afterwards.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// For the tests that a FIFO must never hang the program: makes one at path,
// or skips the rest of the test where the system has none (Windows).
#ifdef _WIN32
#define RTD_MAKE_FIFO_OR_SKIP(path) GTEST_SKIP() << "no FIFOs on this system"
#else
#include <sys/stat.h>
#define RTD_MAKE_FIFO_OR_SKIP(path) ASSERT_EQ(mkfifo(std::string(path).c_str(), 0666), 0)
#endif

namespace rtd::test {

class TempDir {
 public:
  TempDir() {
#ifdef _WIN32
    // No mkdtemp here: names are tried until one is new.
    const auto base = std::filesystem::temp_directory_path();
    auto seed = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; path_.empty(); ++attempt) {
      if (attempt == 1000) std::abort();
      const auto candidate = base / ("rtd-test-" + std::to_string(seed++ % 1000000007));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) path_ = candidate.string();
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "rtd-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
#endif
  }
  ~TempDir() { RemoveTree(path_); }

  // Removes path with everything in it, read-only parts (a backup) too:
  // they get their write bits back first, which Windows needs to delete.
  static void RemoveTree(const std::filesystem::path& path) {
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(path, ec))
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

#ifdef _WIN32
  // As the system's own dialogs give paths back.
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
#else
  std::string File(const std::string& name) const { return path_ + "/" + name; }
#endif
  const std::string& path() const { return path_; }
  std::filesystem::path fs_path() const { return path_; }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace rtd::test
