// The hex view of the largest chip's file, without a window:
//   rtd_bench_hexview
// 1. Opening a 16 MiB file: chosen, read whole, the view made and its
//    first screen of rows made, as the window's dialog would draw them.
// 2. Ctrl+End: the cursor to the last byte and the last screen of rows.
// 3. A text that is not there, searched through all 16 MiB; the next
//    difference of two 16 MiB sources that differ only in their last byte.
// 4. Memory: the peak the view adds above what the process held before,
//    against the file's size.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "i18n/lang.h"
#include "process_memory.h"
#include "quiet_output.h"
#include "shell/hex_viewer.h"

namespace {

namespace fs = std::filesystem;
using rtd::bench::CurrentRssKiB;
using rtd::bench::PeakRssKiB;
using Clock = std::chrono::steady_clock;

constexpr uint32_t k16MiB = 16u * 1024 * 1024;
constexpr uint32_t kScreenRows = 40;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Every row of the screen made, as a window's paint makes them.
std::size_t MakeScreen(const rtd::shell::HexView& view) {
  std::size_t characters = 0;
  for (uint32_t i = 0; i < view.VisibleRows(); ++i)
    if (const auto row = view.VisibleRow(i)) characters += row->text.size() + row->spans.size();
  return characters;
}

// Times what the dialog does once it is shown.
class TimedWindow : public rtd::shell::HexViewWindow {
 public:
  Clock::time_point start;
  double open_ms = 0, end_ms = 0, search_ms = 0;
  std::string end_status;
  std::size_t made = 0;

  void ShowHexView(rtd::shell::HexViewDialog& dialog) override {
    rtd::shell::HexView& view = dialog.view();
    view.SetVisibleRows(kScreenRows);
    made += MakeScreen(view);
    open_ms = MsSince(start);
    const auto end = Clock::now();
    view.Key(rtd::shell::HexKey::kEnd, true, false);
    made += MakeScreen(view);
    end_ms = MsSince(end);
    end_status = view.StatusLine();
    view.Key(rtd::shell::HexKey::kHome, true, false);
    const auto search = Clock::now();
    view.Find("no such panel name", false, false);
    made += MakeScreen(view);
    search_ms = MsSince(search);
  }
  void EndHexView() override {}
};

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  rtd::CurrentLanguage = rtd::kLanguageEnglish;
  const fs::path dir = fs::temp_directory_path() / ("rtdbench-hexview-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "dump.bin").string();
  {
    // Written a piece at a time, so the writing adds nothing to the peak.
    std::ofstream file(path, std::ios::binary);
    std::vector<char> piece(64 * 1024);
    for (uint32_t at = 0; at < k16MiB; at += static_cast<uint32_t>(piece.size())) {
      for (std::size_t i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<char>(((at + i) * 131 + ((at + i) >> 7)) & 0xFF);
      file.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    }
  }

  rtd::SystemClock clock;
  rtd::bench::QuietOutput out(clock);
  out.image_path = path;
  TimedWindow window;
  rtd::shell::HexViewer viewer(out, out, window);
  const long before = CurrentRssKiB();
  window.start = Clock::now();
  viewer.ViewChosenFile();
  const long peak = PeakRssKiB();
  if (window.made == 0) {
    std::fprintf(stderr, "the view did not open: %s\n", out.last_box.c_str());
    return 1;
  }
  std::printf("16 MiB file: opened with its first %u rows in %.1f ms; Ctrl+End and the last %u "
              "rows in %.3f ms (%s); a text not there searched in %.1f ms\n",
              kScreenRows, window.open_ms, kScreenRows, window.end_ms, window.end_status.c_str(),
              window.search_ms);
  std::printf("memory: the view added at most %.2f MiB for a %.0f MiB file (%.2f MiB above it)\n",
              (peak - before) / 1024.0, k16MiB / 1048576.0,
              (peak - before) / 1024.0 - k16MiB / 1048576.0);

  // Two sources that differ only in their last byte: the next difference
  // goes through both whole.
  std::vector<uint8_t> a(k16MiB, 0x5A), b(k16MiB, 0x5A);
  b.back() = 0xA5;
  rtd::shell::HexView compared({{"File", a.data(), k16MiB}, {"FLASH", b.data(), k16MiB}});
  const auto next = Clock::now();
  compared.NextDifference(false);
  std::printf("next difference through 2 x 16 MiB: %.1f ms (at 0x%06X)\n", MsSince(next),
              compared.Cursor());
  fs::remove_all(dir);
  return 0;
}
