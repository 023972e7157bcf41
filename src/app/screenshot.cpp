// rtdprog-screenshot DIR: opens the window on a virtual programmer, lets the
// watch announce it, checks the link, reads the flash into a file and saves
// pictures of the window into DIR: window-reading.png during the read,
// window.png after it, window-hexview.png of the hex view of a full compare
// with a slightly changed file (its second range chosen), window-ru.png
// after a switch to Russian. scripts/screenshot.sh runs it under Xvfb.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>

#include <cstdio>
#include <fstream>
#include <memory>

#include "app/hex_view_dialog.h"
#include "app/main_form.h"
#include "core/clock.h"
#include "sim/sample_board.h"
#include "sim/virtual_programmer.h"

namespace {

// Lets the window run for a while: timers tick, paints happen.
void RunFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
}

bool Save(QWidget& window, const QString& path) {
  if (window.grab().save(path)) return true;
  std::fprintf(stderr, "rtdprog-screenshot: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "Usage: rtdprog-screenshot DIR\n");
    return 2;
  }
  const QString out_dir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  QTemporaryDir scratch;
  if (!scratch.isValid()) return 1;
  const std::string dir = scratch.path().toStdString();
  std::ofstream(dir + "/rtdprog.ini") << "[MainSettings]\nLang=1\n";

  rtd::SystemClock clock;
  rtd::sim::SimConfig config;  // a Winbond W25Q40, 512 KiB
  config.transfer_us = 150;    // slow enough to catch the gauge
  auto device = std::make_unique<rtd::sim::VirtualProgrammer>(config, clock);
  std::ofstream(dir + "/changed.bin", std::ios::binary) << rtd::sim::PutSampleFirmware(device->Flash());

  rtd::app::WindowSeams seams;
  auto paths = rtd::shell::ProgramPaths(nullptr);
  paths.settings = dir + "/rtdprog.ini";
  rtd::app::MainForm form(std::move(device), clock, paths, &seams);
  form.show();
  RunFor(700);

  form.Button(rtd::ToolButton::SpeedButtonConnect)->click();
  RunFor(300);

  bool ok = true;
  int pump = 0;
  seams.on_pump = [&] {
    if (++pump == 1100) ok = Save(form, out_dir + "/window-reading.png") && ok;
  };
  seams.file_names.push_back(dir + "/board.bin");
  form.Button(rtd::ToolButton::SpeedButtonRead)->click();
  RunFor(100);
  seams.on_pump = nullptr;
  // Catch the blinking notice while it shows.
  for (int i = 0; i < 100 && form.findChild<QWidget*>("PanelMenu")->isHidden(); ++i) RunFor(10);
  ok = Save(form, out_dir + "/window.png") && ok;

  // The full compare from the Service submenu: the compare's box of the
  // first difference, then the hex view of the file and the chip, its
  // second range chosen.
  RunFor(1200);
  seams.file_names.push_back(dir + "/changed.bin");
  seams.box_answers.push_back(rtd::IDOK);
  seams.on_modal_shown = [&](QWidget* shown) {
    auto* view = qobject_cast<rtd::app::HexViewDialog*>(shown);
    if (view == nullptr) return;
    view->Ranges()->setCurrentRow(1);
    RunFor(300);
    ok = Save(*view, out_dir + "/window-hexview.png") && ok;
    view->accept();
  };
  form.MenuAction(rtd::shell::form::MenuItem::MenuItemServiceCompare)->trigger();
  RunFor(100);
  seams.on_modal_shown = nullptr;
  // The same window switched to Russian: the watch announces the programmer
  // again in the new language, and a connect check follows.
  form.SetLanguage(0);
  // The read's last commands hold the watch off for a few ticks.
  RunFor(1200);
  form.Button(rtd::ToolButton::SpeedButtonConnect)->click();
  RunFor(300);
  ok = Save(form, out_dir + "/window-ru.png") && ok;
  form.close();
  return ok ? 0 : 1;
}
