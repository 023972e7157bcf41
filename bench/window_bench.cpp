// The window's costs, on the virtual programmer:
//   rtd_bench_window [IDLE_SECONDS]   (default 30)
// 1. CPU used by the idle window with a programmer attached (the watch
//    polling five times a second), as a share of one core.
// 2. A 16 MiB read (connect check included) from the window's toolbar
//    against the same read by rtdprog-cli, in the same run.
// 3. The hex view of that 16 MiB dump from the Service submenu: until its
//    dialog is painted, and Ctrl+End until the last rows are painted (each
//    painted into a picture, which paints every row whether the platform
//    shows it or not).
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QAction>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <QToolButton>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/hex_rows_widget.h"
#include "app/hex_view_dialog.h"
#include "app/main_form.h"

#include <QTextEdit>
#include "cli/cli.h"
#include "core/clock.h"
#include "sim/virtual_programmer.h"

namespace {

namespace fs = std::filesystem;
constexpr uint32_t k16MiB = 16u * 1024 * 1024;

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

rtd::sim::SimConfig Board(uint32_t size) {
  rtd::sim::SimConfig c;
  if (size > 524288) c.jedec = {0xEF, 0x40, 0x18};
  c.size = size;
  c.erase_ms = 0;
  return c;
}

// The event loop for a while. Not the application's quit, which would
// also close the window.
void RunLoopFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int idle_seconds = argc > 1 ? std::atoi(argv[1]) : 30;

  const fs::path dir = fs::temp_directory_path() / ("rtdbench-window-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "jedec.ini") << "[EF4018]\nManufacturer=Winbond W25Q128\nSizeInBytes=16777216\n"
                                   << "[EF4013]\nManufacturer=Winbond W25Q40\nSizeInBytes=524288\n";
  std::ofstream(dir / "sim.conf") << "jedec=EF4018\nsize=16777216\nerase-ms=0\n";
  std::ofstream(dir / "rtdprog.ini") << "[MainSettings]\nLang=1\n";
  const rtd::shell::SessionPaths paths{(dir / "jedec.ini").string(), (dir / "rtdprog.ini").string()};
  rtd::SystemClock clock;

  // 1. The idle window.
  {
    rtd::app::MainForm form(std::make_unique<rtd::sim::VirtualProgrammer>(Board(524288), clock), clock,
                            paths);
    form.show();
    RunLoopFor(500);  // announced, settled
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    RunLoopFor(idle_seconds * 1000);
    const double cpu = CpuSeconds() - cpu0;
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    std::printf("idle window, programmer attached: %.3f s CPU in %.1f s = %.2f %% of one core\n", cpu,
                seconds, 100.0 * cpu / seconds);
    form.close();
  }

  // 2. A 16 MiB read: the window, then the command line.
  double window_ms = 0, window_cpu = 0;
  {
    rtd::app::WindowSeams seams;
    seams.file_names.push_back((dir / "window.bin").string());
    rtd::app::MainForm form(std::make_unique<rtd::sim::VirtualProgrammer>(Board(k16MiB), clock), clock,
                            paths, &seams);
    form.show();
    RunLoopFor(300);
    QElapsedTimer t;
    t.start();
    const double cpu0 = CpuSeconds();
    // Each click's operation runs from the event loop, as the user's does.
    for (const auto button : {rtd::ToolButton::SpeedButtonConnect, rtd::ToolButton::SpeedButtonRead}) {
      form.Button(button)->click();
      QCoreApplication::processEvents();
    }
    window_cpu = (CpuSeconds() - cpu0) * 1000;
    window_ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    if (!fs::exists(dir / "window.bin"))
      std::fprintf(stderr, "the window's read failed:\n%s\n", qPrintable(form.LogText()));
    form.close();
  }
  double cli_ms = 0, cli_cpu = 0;
  {
    std::ostringstream out, err;
    std::istringstream in;
    rtd::cli::CliEnvironment env{out, err, in};
    env.files.executable_path = (dir / "rtdprog-cli").string();
    const auto start = std::chrono::steady_clock::now();
    const double cpu0 = CpuSeconds();
    const int status = rtd::cli::RunCli({"--simulate=" + (dir / "sim.conf").string(), "--jedec",
                                         (dir / "jedec.ini").string(), "read",
                                         (dir / "cli.bin").string()},
                                        env);
    cli_cpu = (CpuSeconds() - cpu0) * 1000;
    cli_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) std::fprintf(stderr, "rtdprog-cli failed: %s\n", err.str().c_str());
  }
  // 3. The hex view of the window's dump.
  double open_ms = 0, end_ms = 0;
  std::string end_status;
  {
    rtd::app::WindowSeams seams;
    seams.run_timers = false;
    seams.file_names.push_back((dir / "window.bin").string());
    rtd::app::MainForm form(std::make_unique<rtd::sim::VirtualProgrammer>(Board(524288), clock), clock,
                            paths, &seams);
    form.show();
    RunLoopFor(300);
    QElapsedTimer t;
    seams.on_modal_shown = [&](QWidget* shown) {
      auto* view = qobject_cast<rtd::app::HexViewDialog*>(shown);
      if (view == nullptr) return;
      // Painted whole, as the screen would show it.
      view->grab();
      open_ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
      QElapsedTimer end;
      end.start();
      QKeyEvent key(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
      QCoreApplication::sendEvent(view->Rows(), &key);
      view->Rows()->viewport()->grab();
      end_ms = static_cast<double>(end.nsecsElapsed()) / 1e6;
      end_status = view->Status()->toPlainText().toStdString();
      view->accept();
    };
    t.start();
    form.MenuAction(rtd::shell::form::MenuItem::MenuItemServiceViewFile)->trigger();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    form.close();
  }
  std::printf("16 MiB dump in the hex view: shown and painted %.0f ms after the menu choice; "
              "Ctrl+End painted in %.2f ms (%s)\n",
              open_ms, end_ms, end_status.c_str());

  std::error_code ec;
  const bool same = fs::file_size(dir / "window.bin", ec) == k16MiB &&
                    fs::file_size(dir / "cli.bin", ec) == k16MiB;
  std::printf("16 MiB connect + read: window %.0f ms (%.0f ms CPU), command line %.0f ms (%.0f ms CPU); "
              "ratio %.2f (CPU %.2f)%s\n",
              window_ms, window_cpu, cli_ms, cli_cpu, window_ms / cli_ms, window_cpu / cli_cpu,
              same ? "" : " (a file is missing!)");
  fs::remove_all(dir);
  return same ? 0 : 1;
}
