// rtdprog: the window. rtdprog --simulate[=FILE] runs it on the virtual
// programmer (the same configuration file as the command line's).
#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "core/clock.h"
#include "shell/form/command_line.h"
#include "shell/session.h"

namespace {

// A path or the system's reason in it is shown as it is, never as markup.
void ShowError(const QString& text) {
  QMessageBox box(QMessageBox::Critical, "rtdprog", QString());
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  box.exec();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("rtdprog");
  QApplication::setDesktopFileName("rtdprog");

  std::vector<std::string> arguments;
  for (const QString& a : QApplication::arguments().mid(1)) arguments.push_back(a.toStdString());
  const rtd::shell::WindowCommandLine line = rtd::shell::ReadWindowCommandLine(arguments);
  using Action = rtd::shell::WindowCommandLine::Action;
  if (line.action != Action::kRun) {
    std::fputs(line.text.c_str(), line.action == Action::kWrong ? stderr : stdout);
    return line.action == Action::kWrong ? 2 : 0;
  }

  try {
    rtd::SystemClock clock;
    std::string error;
    auto platform = rtd::shell::MakePlatform(line.choice, clock, &error);
    if (!platform) {
      std::fprintf(stderr, "rtdprog: %s\n", error.c_str());
      ShowError(QString::fromStdString(error));
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
    ShowError(QString::fromLocal8Bit(e.what()));
  }
  return 0;
}
