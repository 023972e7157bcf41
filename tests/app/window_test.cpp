// The window on the virtual programmer: start-up, the watch in the log,
// status bar and buttons, operations from the toolbar with boxes and file
// choosers answered through the window's seams, stopping and closing.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/gauge_widget.h"
#include "app/main_form.h"
#include "i18n/lang.h"
#include "shell/placement.h"
#include "temp_dir.h"

namespace rtd::test {
namespace {

constexpr uint32_t kFlashSize = 64 * 1024;

// A programmer whose transfers can be made to throw, as a broken driver
// layer might.
class ThrowingProgrammer : public sim::VirtualProgrammer {
 public:
  using VirtualProgrammer::VirtualProgrammer;
  bool throw_now = false;
  bool SetFeature(HidHandle handle, const uint8_t* data, std::size_t length) override {
    if (throw_now) throw std::runtime_error("driver fault");
    return VirtualProgrammer::SetFeature(handle, data, length);
  }
};

std::string Pattern(uint8_t seed) {
  std::string s(kFlashSize, '\0');
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>((i * 7 + (i >> 8) + seed) & 0xFF);
  return s;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_language_ = CurrentLanguage;
    WriteBytes(dir_.File("jedec.ini"),
               "[EF4013]\r\nManufacturer=Winbond W25Q40\r\nSizeInBytes=65536\r\n");
    seams_.run_timers = false;
  }
  void TearDown() override {
    form_.reset();
    CurrentLanguage = saved_language_;
  }

  // Starts the window with these MainSettings lines (English by default).
  void Open(bool attached = true, const std::string& settings = "Lang=1") {
    form_.reset();
    if (!settings.empty())
      WriteBytes(dir_.File("rtdprog.ini"), "[MainSettings]\r\n" + settings + "\r\n");
    sim::SimConfig config;
    config.size = kFlashSize;
    config.attached = attached;
    config.erase_ms = 0;
    auto device = std::make_unique<ThrowingProgrammer>(config, clock_);
    device_ = device.get();
    form_ = std::make_unique<app::MainForm>(
        std::move(device), clock_, shell::SessionPaths{dir_.File("jedec.ini"), dir_.File("rtdprog.ini")},
        &seams_);
  }
  void Tick() { form_->TimerQELPADTestTimer(); }
  // A click as the user makes it: the handler runs from the event loop.
  void Click(ToolButton button) {
    form_->Button(button)->click();
    QCoreApplication::processEvents();
  }
  // Plugged in, announced, and the flash identified.
  void Connect() {
    Tick();
    Click(ToolButton::SpeedButtonConnect);
    ASSERT_TRUE(form_->session().ops().CurrentFlash.Identified()) << Log().join("\n").toStdString();
  }
  QStringList Log() const { return form_->LogText().split('\n', Qt::SkipEmptyParts); }
  std::vector<ToolButton> Enabled() const {
    std::vector<ToolButton> on;
    for (int i = 0; i < 8; ++i)
      if (form_->Button(static_cast<ToolButton>(i))->isEnabled()) on.push_back(static_cast<ToolButton>(i));
    return on;
  }
  std::string Flash() const {
    const auto f = device_->Flash();
    return std::string(f.begin(), f.end());
  }
  // Calls f at the given message pump of whatever runs next.
  void AtPump(int pump, std::function<void()> f) {
    seams_.on_pump = [this, pump, f, n = 0]() mutable {
      if (++n == pump) f();
    };
  }
  // Every box shown, as "caption: text".
  void RecordBoxes() {
    seams_.on_modal_shown = [this](QWidget* w) {
      if (auto* box = qobject_cast<QMessageBox*>(w))
        boxes_.push_back(box->windowTitle().toStdString() + ": " + box->text().toStdString());
    };
  }

  ManualClock clock_{1000, 1};
  TempDir dir_;
  app::WindowSeams seams_;
  ThrowingProgrammer* device_ = nullptr;
  std::unique_ptr<app::MainForm> form_;
  std::vector<std::string> boxes_;

 private:
  int32_t saved_language_ = 0;
};

using B = ToolButton;

TEST_F(WindowTest, StartsWithEveryButtonOffAnEmptyLogAndTheLinkStatusAtTheFirstTick) {
  Open(false);
  EXPECT_TRUE(form_->windowTitle().startsWith("Programmer RTD2662. Version 1.03"));
  EXPECT_TRUE(Enabled().empty());
  EXPECT_TRUE(form_->LogText().isEmpty());
  EXPECT_TRUE(form_->TimerEnabled(form_->WatchTimer()));
  EXPECT_EQ(form_->WatchTimer()->interval(), 200);
  Tick();
  EXPECT_EQ(form_->StatusText(), "Controller is disconnected");
  EXPECT_TRUE(Enabled().empty());
  EXPECT_TRUE(form_->LogText().isEmpty());
}

TEST_F(WindowTest, PluggingInAndOutShowsInTheLogStatusBarAndButtons) {
  Open();
  Tick();
  EXPECT_EQ(Log(), (QStringList{"*********** Controller is connected ****************",
                                "Controller          \"RTD2662 programmer\"",
                                "The serial number   12345", "Boot version        1.01",
                                "Application version 1.05",
                                "***********************************************"}));
  EXPECT_EQ(form_->StatusText(), "Controller \"RTD2662 programmer\" is connected");
  EXPECT_EQ(Enabled(), (std::vector<B>{B::SpeedButtonReset, B::SpeedButtonConnect,
                                       B::SpeedButtonGetTouchParam}));
  Tick();
  EXPECT_EQ(form_->StatusText(), "Controller \"RTD2662 programmer\" is connected.");
  device_->Unplug();
  Tick();
  Tick();
  EXPECT_EQ(Log().count("*********** Controller is disconnected *************"), 1);
  EXPECT_EQ(form_->StatusText(), "Controller is disconnected");
  EXPECT_TRUE(Enabled().empty());
}

TEST_F(WindowTest, ConnectThenReadIntoAFileChosenInACentredSaveDialog) {
  Open();
  const std::string content = Pattern(1);
  std::copy(content.begin(), content.end(), device_->Flash().begin());
  Connect();
  EXPECT_TRUE(Log().contains("JEDEC ID: EF4013 Winbond W25Q40 64 KBytes"));
  EXPECT_EQ(Enabled().size(), 8u);

  // Typed without an extension: the dialog adds BIN.
  seams_.file_names.push_back(dir_.File("dump"));
  QString title;
  shell::Point placed, expected;
  seams_.on_modal_shown = [&](QWidget* w) {
    title = w->windowTitle();
    form_->TimerOnShowTimer();
    placed = {w->x(), w->y()};
    const QRect main = form_->frameGeometry();
    expected = shell::CentredOver({main.left(), main.top(), main.width(), main.height()},
                                  shell::Size{w->frameGeometry().width(), w->frameGeometry().height()});
  };
  Click(B::SpeedButtonRead);
  EXPECT_EQ(title, "Saving the File");
  EXPECT_EQ(placed, expected);
  EXPECT_EQ(ReadBytes(dir_.File("dump.BIN")), Pattern(1));
  EXPECT_TRUE(Log().contains("FLASH read ok"));
  EXPECT_EQ(form_->PanelCaption(), "The file is written");
  EXPECT_NE(ReadBytes(dir_.File("rtdprog.ini")).find("BIN=" + dir_.File("dump.BIN")),
            std::string::npos);
  EXPECT_EQ(form_->session().ops().out().IdleFlag, 1);
  EXPECT_EQ(Enabled().size(), 8u);

  // The next chooser starts where the last file was; a cancel leaves it so.
  QString start;
  seams_.file_names.push_back("");
  seams_.on_modal_shown = [&](QWidget* w) {
    start = static_cast<QFileDialog*>(w)->directory().absolutePath();
  };
  Click(B::SpeedButtonCompare);
  EXPECT_EQ(start.toStdString(), dir_.path());
}

TEST_F(WindowTest, TheWriteErasesOnlyAfterYesInAWarningBox) {
  Open();
  Connect();
  WriteBytes(dir_.File("image.bin"), Pattern(7));
  RecordBoxes();
  seams_.file_names = {dir_.File("image.bin")};
  seams_.box_answers = {IDNO};
  Click(B::SpeedButtonWrite);
  EXPECT_EQ(boxes_, (std::vector<std::string>{"Warning: It will erase and write FLASH\nContinue?"}));
  EXPECT_EQ(seams_.file_names.size(), 1u);  // no file was asked for
  EXPECT_EQ(Flash(), std::string(kFlashSize, '\xFF'));
  seams_.box_answers = {IDYES};
  Click(B::SpeedButtonWrite);
  EXPECT_EQ(Flash(), Pattern(7));
  EXPECT_TRUE(Log().contains("Write FLASH successfully"));
}

TEST_F(WindowTest, ASecondClickOnTheRunningReadStopsIt) {
  Open();
  Connect();
  RecordBoxes();
  seams_.box_answers = {IDOK};
  AtPump(20, [this] {
    EXPECT_EQ(Enabled(), (std::vector<B>{B::SpeedButtonRead}));
    form_->Button(B::SpeedButtonRead)->click();
  });
  Click(B::SpeedButtonRead);
  EXPECT_EQ(boxes_, (std::vector<std::string>{"Error: User terminate"}));
  EXPECT_EQ(form_->session().ops().out().IdleFlag, 1);
  EXPECT_EQ(Enabled().size(), 8u);
  EXPECT_TRUE(seams_.file_names.empty());
}

TEST_F(WindowTest, ClosingDuringAReadStopsItThenClosesTheProgrammerAndSavesTheSettings) {
  Open(true, "Lang=1\r\nDebug=1");
  Connect();
  RecordBoxes();
  bool closed_at_once = true;
  bool open_under_the_read = false;
  AtPump(20, [&] {
    closed_at_once = form_->close();
    // The read below still holds the programmer: the close waits for it.
    open_under_the_read = form_->session().link().transport().IsOpen();
  });
  Click(B::SpeedButtonRead);
  EXPECT_FALSE(closed_at_once);
  EXPECT_TRUE(open_under_the_read);
  EXPECT_TRUE(form_->shell().Closed());
  EXPECT_TRUE(boxes_.empty());
  EXPECT_FALSE(form_->session().link().transport().IsOpen());
  EXPECT_FALSE(form_->TimerEnabled(form_->WatchTimer()));
  EXPECT_EQ(form_->session().ops().out().IdleFlag, 1);
  const std::string ini = ReadBytes(dir_.File("rtdprog.ini"));
  for (const char* key : {"MainTop=", "MainLeft=", "Lang=1", "Log=0", "Debug=1"})
    EXPECT_NE(ini.find(key), std::string::npos) << key << " in\n" << ini;
}

TEST_F(WindowTest, TheDebugSettingShowsBothDebugItemsAndUncheckingHidesThem) {
  Open(true, "Lang=1");
  EXPECT_FALSE(form_->DebugItem()->isVisible());
  EXPECT_FALSE(form_->LogItem()->isVisible());
  Open(true, "Lang=1\r\nDebug=1\r\nLog=1");
  EXPECT_TRUE(form_->DebugItem()->isVisible());
  EXPECT_TRUE(form_->DebugItem()->isChecked());
  EXPECT_TRUE(form_->LogItem()->isVisible());
  EXPECT_TRUE(form_->CommLogEnabled());
  form_->DebugItem()->trigger();
  EXPECT_FALSE(form_->DebugItem()->isVisible());
  EXPECT_FALSE(form_->LogItem()->isVisible());
}

TEST_F(WindowTest, BoxesOpenCentredFiftyPixelsBelowTheCentreWithTheWatchStopped) {
  Open();
  std::vector<QString> titles;
  std::vector<int> button_counts;
  std::vector<bool> watch_on;
  bool placed_right = true;
  seams_.on_modal_shown = [&](QWidget* w) {
    auto* box = static_cast<QMessageBox*>(w);
    titles.push_back(box->windowTitle());
    button_counts.push_back(static_cast<int>(box->buttons().size()));
    watch_on.push_back(form_->TimerEnabled(form_->WatchTimer()));
    const QRect main = form_->frameGeometry();
    const shell::Point want = shell::MessageBoxPosition(
        {main.left(), main.top(), main.width(), main.height()},
        shell::Size{box->frameGeometry().width(), box->frameGeometry().height()});
    placed_right = placed_right && box->pos() == QPoint(want.x, want.y);
  };
  seams_.box_answers = {IDYES, IDNO, IDOK, IDOK};
  EXPECT_EQ(form_->shell().MessageBoxPrintf(MB_ICONWARNING, "Continue?"), IDYES);
  EXPECT_EQ(form_->shell().MessageBoxPrintf(MB_ICONWARNING, "Continue?"), IDNO);
  EXPECT_EQ(form_->shell().MessageBoxPrintf(MB_ICONERROR, "Failed %d", 3), IDOK);
  EXPECT_EQ(form_->shell().MessageBoxPrintf(0, "plain"), IDOK);
  EXPECT_EQ(titles, (std::vector<QString>{"Warning", "Warning", "Error", ""}));
  EXPECT_EQ(button_counts, (std::vector<int>{2, 2, 1, 1}));
  EXPECT_EQ(watch_on, (std::vector<bool>{false, false, false, false}));
  EXPECT_TRUE(placed_right);
  EXPECT_TRUE(form_->TimerEnabled(form_->WatchTimer()));
}

TEST_F(WindowTest, APollDuringAReadHidesTheGaugeAndTheNextStepBringsItBack) {
  Open();
  Connect();
  auto& gauge = form_->Gauge();
  int pump = 0;
  seams_.file_names.push_back("");  // the read ends at the chooser
  seams_.on_pump = [&] {
    ++pump;
    if (pump == 30) {
      EXPECT_FALSE(gauge.isHidden());
      form_->session().link().PollHoldoff = 0;
      Tick();
      EXPECT_TRUE(gauge.isHidden());
      EXPECT_TRUE(form_->StatusText().startsWith("Controller \"RTD2662 programmer\" is connected"));
    } else if (pump == 31) {
      EXPECT_FALSE(gauge.isHidden());
      EXPECT_EQ(form_->StatusText(), "FLASH Read");
    }
  };
  Click(B::SpeedButtonRead);
  EXPECT_GT(pump, 31);
}

TEST_F(WindowTest, AToolbarNoticeBlinksAndThenLeavesTheEmptyPanel) {
  Open();
  auto* panel = form_->findChild<QWidget*>("PanelMenu");
  auto* flash = form_->findChild<QTimer*>("TimerFlash");
  auto* end = form_->findChild<QTimer*>("UniversalTimer");
  form_->shell().ToolbarNotice(2500, 250, "The file is written");
  EXPECT_EQ(form_->PanelCaption(), "The file is written");
  EXPECT_TRUE(form_->TimerEnabled(flash));
  EXPECT_EQ(flash->interval(), 250);
  EXPECT_TRUE(form_->TimerEnabled(end));
  EXPECT_EQ(end->interval(), 2500);
  form_->TimerFlashTimer();
  EXPECT_TRUE(panel->isHidden());
  form_->TimerFlashTimer();
  EXPECT_FALSE(panel->isHidden());
  form_->TimerFlashTimer();
  form_->UniversalTimerTimer();
  EXPECT_FALSE(panel->isHidden());
  EXPECT_EQ(form_->PanelCaption(), "");
  EXPECT_FALSE(form_->TimerEnabled(flash));
  EXPECT_FALSE(form_->TimerEnabled(end));
}

TEST_F(WindowTest, SwitchingTheLanguageRetitlesAndTheWatchAnnouncesAgain) {
  Open();
  Tick();
  EXPECT_EQ(form_->SetLanguage(-1), kLanguageEnglish);
  EXPECT_TRUE(form_->findChild<QAction*>("MenuItemLanguageEnglishx")->isChecked());
  form_->findChild<QAction*>("MenuItemLanguageRussianx")->trigger();
  EXPECT_TRUE(form_->windowTitle().startsWith(QString::fromUtf8("Программатор RTD2662. Версия 1.03")));
  EXPECT_TRUE(form_->findChild<QAction*>("MenuItemLanguageRussianx")->isChecked());
  EXPECT_FALSE(form_->findChild<QAction*>("MenuItemLanguageEnglishx")->isChecked());
  Tick();
  EXPECT_EQ(Log().front(), QString::fromUtf8("************* Контроллер подключен ************"));
  EXPECT_EQ(form_->SetLanguage(5), kLanguageRussian);
}

TEST_F(WindowTest, TheSavedLanguageTranslatesHintsAndCaptionsAndIsSavedAgain) {
  Open(true, "Lang=1\r\nDebug=1");
  EXPECT_TRUE(form_->windowTitle().startsWith("Programmer RTD2662. Version 1.03"));
  EXPECT_TRUE(form_->findChild<QAction*>("MenuItemLanguageEnglishx")->isChecked());
  EXPECT_EQ(form_->Button(B::SpeedButtonRead)->toolTip(), "FLASH Read");
  // Designed without a visible hint; the translation at start shows it.
  EXPECT_EQ(form_->Button(B::SpeedButtonGetTouchParam)->toolTip(),
            "Obtain the calibration parameters of QEL_TOUCH_I2C_SIMPLE");
  EXPECT_EQ(form_->findChild<QWidget*>("PanelMenu")->toolTip(),
            "Select Options from the menu after clicking the right mouse button");
  EXPECT_EQ(form_->findChild<QAction*>("MenuItemDebug")->text(), "Debug");
  EXPECT_EQ(form_->findChild<QAction*>("MenuItemLog")->text(), "Communication log");
  EXPECT_EQ(form_->findChild<QAction*>("MenuItemLanguagex")->text(), QString::fromUtf8("Язык/Language"));
  form_->findChild<QAction*>("MenuItemLanguageRussianx")->trigger();
  EXPECT_EQ(form_->Button(B::SpeedButtonRead)->toolTip(), QString::fromUtf8("Чтение памяти"));
  EXPECT_EQ(form_->findChild<QAction*>("MenuItemLog")->text(), QString::fromUtf8("Лог обмена"));
  form_->close();
  EXPECT_NE(ReadBytes(dir_.File("rtdprog.ini")).find("Lang=0"), std::string::npos);
}

TEST_F(WindowTest, AfterASwitchTheOldLogStaysAndTheNextBoxSpeaksTheNewLanguage) {
  Open(false);
  form_->shell().LogPrintf("written in English");
  form_->SetLanguage(0);
  RecordBoxes();
  QStringList buttons;
  seams_.on_modal_shown = [&](QWidget* w) {
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      boxes_.push_back(box->windowTitle().toStdString());
      for (auto* b : box->buttons()) buttons << b->text();
    }
  };
  seams_.box_answers = {IDNO};
  form_->shell().MessageBoxPrintf(MB_ICONWARNING, "?");
  EXPECT_EQ(Log(), QStringList{"written in English"});
  EXPECT_EQ(boxes_, (std::vector<std::string>{"Предупреждение"}));
  // Qt's own button texts follow (its Russian translations are in the package list).
  EXPECT_TRUE(buttons.contains(QString::fromUtf8("&Да"))) << buttons.join(",").toStdString();
}

TEST_F(WindowTest, ADoubleClickClearsTheLogAndTheNextPollLeavesItEmpty) {
  Open();
  Tick();
  ASSERT_FALSE(form_->LogText().isEmpty());
  auto* viewport = form_->findChild<QPlainTextEdit*>("Memo")->viewport();
  QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(5, 5), viewport->mapToGlobal(QPointF(5, 5)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &click);
  EXPECT_TRUE(form_->LogText().isEmpty());
  Tick();
  EXPECT_TRUE(form_->LogText().isEmpty());
}

TEST_F(WindowTest, AnExceptionOutOfAHandlerIsShownAndTheWindowGoesOn) {
  Open();
  Connect();
  RecordBoxes();
  seams_.box_answers = {IDOK};
  device_->throw_now = true;
  Click(B::SpeedButtonRead);
  EXPECT_EQ(boxes_, (std::vector<std::string>{"Error: Unexpected error: driver fault"}));
  EXPECT_EQ(form_->session().ops().out().IdleFlag, 1);
  EXPECT_TRUE(form_->Gauge().isHidden());
  device_->throw_now = false;
  EXPECT_EQ(Enabled().size(), 8u);
  seams_.file_names.push_back(dir_.File("after.bin"));
  Click(B::SpeedButtonRead);
  EXPECT_EQ(ReadBytes(dir_.File("after.bin")).size(), kFlashSize);
}

}  // namespace
}  // namespace rtd::test
