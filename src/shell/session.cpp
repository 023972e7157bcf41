#include "shell/session.h"

#include "config/paths.h"
#include "config/utf8_path.h"
#ifdef _WIN32
#include "link/hiddll_platform.h"
#else
#include "link/hidapi_platform.h"
#endif

namespace rtd::shell {

SessionPaths ProgramPaths(std::string* error) {
  const ProgramFiles files = LocateProgramFiles(CurrentFileEnvironment());
  const std::string reason = PrepareConfigDirectory(files);
  if (error != nullptr) *error = reason;
  return {files.jedec, files.settings, files.shipped_jedec, files.backup_dir,
          files.backup_problem};
}

std::unique_ptr<HidPlatform> MakePlatform(const PlatformChoice& choice, Clock& clock,
                                          std::string* error, bool* bad_configuration) {
  if (bad_configuration != nullptr) *bad_configuration = false;
  if (!choice.simulate) {
#ifdef _WIN32
    return std::make_unique<HidDllPlatform>(SystemHidDllFunctions());
#else
    return std::make_unique<HidapiPlatform>();
#endif
  }
  sim::SimConfig config;
  std::string reason;
  if (!choice.simulate_file.empty() && !sim::LoadSimConfig(choice.simulate_file, config, reason)) {
    if (error != nullptr) *error = reason;
    if (bad_configuration != nullptr) *bad_configuration = true;
    return nullptr;
  }
  auto device = std::make_unique<sim::VirtualProgrammer>(std::move(config), clock);
  // Nobody reads the request record outside the tests; it would only grow.
  device->SetRecordRequests(false);
  if (!device->ImageError().empty()) {
    if (error != nullptr) *error = device->ImageError();
    return nullptr;
  }
  return device;
}

Session::Session(std::unique_ptr<HidPlatform> platform, Clock& clock, OutputServices& out,
                 const SessionPaths& paths)
    : clock_(clock),
      platform_(std::move(platform)),
      simulator_(dynamic_cast<sim::VirtualProgrammer*>(platform_.get())),
      link_(*platform_, clock, out),
      programmer_(link_),
      chips_(paths.jedec, out),
      settings_(paths.settings, out),
      ops_(programmer_, chips_, settings_) {
  chips_.SetShippedDatabase(paths.shipped_jedec);
  // On by default; a front end may switch it off (the user's choice).
  BackupStep& backup = ops_.Backup();
  backup.BackupFolder = paths.backup_dir;
  backup.BackupFolderProblem = paths.backup_problem;
  SwitchBackups(true, BackupStep::OffBy::kNobody);
  // A virtual chip's copies lie apart, so that none is ever taken for a
  // board's (nor a board's content found "already kept" in one).
  if (simulator_ != nullptr && !backup.BackupFolder.empty())
    backup.BackupFolder = Utf8FromPath(PathFromUtf8(backup.BackupFolder) / "simulated");
}

Session::~Session() = default;

void Session::SwitchBackups(bool on, BackupStep::OffBy off_by) {
  BackupStep& backup = ops_.Backup();
  backup.MakeBackups = on && (!backup.BackupFolder.empty() || !backup.BackupFolderProblem.empty());
  backup.BackupOffBy = off_by;
}

}  // namespace rtd::shell
