// The whole stack behind a front end, built in one place and torn down in
// the reverse order: the HID platform (the USB programmer or the virtual
// one), the link with its open handle, the command set, the chip database,
// the settings file and the flash operations.
#pragma once

#include <memory>
#include <string>

#include "config/chip_database.h"
#include "config/settings.h"
#include "core/clock.h"
#include "core/output_services.h"
#include "flash/operations.h"
#include "i18n/lang.h"
#include "link/commands.h"
#include "link/exchange.h"
#include "link/hid_platform.h"
#include "sim/virtual_programmer.h"

namespace rtd::shell {

// Where the program's two ini files lie.
struct SessionPaths {
  std::string jedec;          // the flash chip database, read first and written
  std::string settings;       // the program settings file
  std::string shipped_jedec = {};  // read for ids `jedec` lacks, never written; may be empty
  std::string backup_dir = {};     // backups before every erase
  // Why there is no backup_dir: the write and the erase then stop before
  // they send anything, unless the user switches the backup off. Both
  // empty: no backups are made at all (a test or a benchmark).
  TwoLanguageText backup_problem = {};
};

// The files of the running program: beside it in a program folder, the
// user's own (with the shipped chip list behind them) when installed; the
// backups in the user's data folder. The
// user's configuration folder is made when missing; when that fails,
// *error holds the folder and the system's reason and the paths are still
// given (every later write then says it could not write).
SessionPaths ProgramPaths(std::string* error);

// Which programmer to talk to.
struct PlatformChoice {
  bool simulate = false;
  std::string simulate_file;  // the virtual programmer's configuration; empty: defaults
};

// The USB programmer (hidapi on Linux, HID.DLL on Windows), or the virtual
// programmer. Null with the reason in *error when the virtual programmer's
// configuration or its backing file cannot be used; *bad_configuration,
// when given, tells which (a configuration that cannot be read at all is
// the user's mistake on the command line, a backing file is an ordinary
// file error).
std::unique_ptr<HidPlatform> MakePlatform(const PlatformChoice& choice, Clock& clock,
                                          std::string* error, bool* bad_configuration = nullptr);

class Session {
 public:
  Session(std::unique_ptr<HidPlatform> platform, Clock& clock, OutputServices& out,
          const SessionPaths& paths);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Clock& clock() { return clock_; }
  HidPlatform& platform() { return *platform_; }
  // The virtual programmer, when that is what runs; null on real hardware.
  sim::VirtualProgrammer* simulator() { return simulator_; }
  Link& link() { return link_; }
  Programmer& programmer() { return programmer_; }
  ChipDatabase& chips() { return chips_; }
  SettingsFile& settings() { return settings_; }
  FlashOperations& ops() { return ops_; }

  // The backups before every erase follow the user's switch (on at
  // start), off_by telling who switched them off. On, they are on even
  // without a folder, when there is a reason why none (the erase then
  // stops with it); a session given neither makes none.
  void SwitchBackups(bool on, BackupStep::OffBy off_by);

 private:
  // Declaration order is construction order; the link closes its handle on
  // the platform when destroyed, so the platform comes first.
  Clock& clock_;
  std::unique_ptr<HidPlatform> platform_;
  sim::VirtualProgrammer* simulator_;
  Link link_;
  Programmer programmer_;
  ChipDatabase chips_;
  SettingsFile settings_;
  FlashOperations ops_;
};

}  // namespace rtd::shell
