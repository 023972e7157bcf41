// rtdprog: the window. rtdprog --simulate[=FILE] runs it on the virtual
// programmer (the same configuration file as the command line's).
#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "app/main_form.h"
#include "core/clock.h"
#include "shell/session.h"

namespace {

constexpr const char* kUsage =
    "Usage: rtdprog [--simulate[=FILE]]\n"
    "  --simulate[=FILE]  use the virtual programmer (configured by FILE)\n"
    "  -h, --help         this help\n"
    "  --version          program version\n";

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("rtdprog");
  QApplication::setDesktopFileName("rtdprog");

  rtd::shell::PlatformChoice choice;
  for (const QString& a : QApplication::arguments().mid(1)) {
    if (a == "--simulate") {
      choice.simulate = true;
    } else if (a.startsWith("--simulate=") && a.size() > 11) {
      choice.simulate = true;
      choice.simulate_file = a.mid(11).toStdString();
    } else if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--version") {
      std::printf("rtdprog %s\n", RTD_PROGRAM_VERSION);
      return 0;
    } else {
      std::fprintf(stderr, "rtdprog: unknown argument '%s'\n%s", a.toLocal8Bit().constData(),
                   kUsage);
      return 2;
    }
  }

  try {
    rtd::SystemClock clock;
    std::string error;
    auto platform = rtd::shell::MakePlatform(choice, clock, &error);
    if (!platform) {
      std::fprintf(stderr, "rtdprog: %s\n", error.c_str());
      QMessageBox::critical(nullptr, "rtdprog", QString::fromStdString(error));
      return 2;
    }
    // The form lives until the message loop has ended, so no handler
    // still running below a close ever finds it destroyed.
    std::string folder_error;
    const rtd::shell::SessionPaths paths = rtd::shell::ProgramPaths(&folder_error);
    // Said and carried on: the window works without its settings, and every
    // write that fails later says so again.
    if (!folder_error.empty()) std::fprintf(stderr, "rtdprog: %s\n", folder_error.c_str());
    rtd::app::MainForm form(std::move(platform), clock, paths);
    form.show();
    QApplication::exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "rtdprog", QString::fromLocal8Bit(e.what()));
  }
  return 0;
}
