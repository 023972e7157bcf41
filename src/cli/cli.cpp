#include "cli/cli.h"

#include <memory>
#include <optional>
#include <ostream>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/help.h"
#include "cli/options.h"
#include "cli/programmer_choice.h"
#include "config/atomic_file.h"
#include "config/chip_database.h"
#include "config/paths.h"
#include "flash/backup_step.h"
#include "flash/file_reader.h"
#include "flash/texts.h"
#include "i18n/lang.h"
#include "link/exchange.h"
#include "shell/session.h"

namespace rtd::cli {

namespace {

constexpr LangText kUsageHint =
    LANG_TEXT("Справка: rtdprog-cli --help", "Try: rtdprog-cli --help");
constexpr LangText kNoLink = LANG_TEXT(
    "Программатор не сообщил о связи с FLASH платы за 10 с: проверьте клипсу, кабель и питание "
    "платы",
    "The programmer did not report its link to the board's FLASH within 10 s: check the clip, "
    "the cable and the board's power");
constexpr LangText kNotIdentified = LANG_TEXT(
    "FLASH не определена: укажите производителя и размер для её JEDEC ID в %s",
    "The FLASH is not identified: give its JEDEC ID a manufacturer and a size in %s");

// A usage error: what is wrong, and where help is.
int Usage(CliEnvironment& env, const std::string& what) {
  env.err << "rtdprog-cli: " << what << '\n' << PickLangText(kUsageHint) << '\n';
  return kExitUsage;
}

// A file the dump or the chip database could never be saved to, or an image
// that cannot be read, is refused before anything is sent: a read would
// otherwise take the whole flash first, and a FIFO would be waited on.
// kExitOk when every file named may be used.
int CheckFilesBeforeSending(const Command& command, const Options& o, CliEnvironment& env) {
  if (!o.jedec.empty()) {
    if (const std::string e = CheckOutputPath(o.jedec); !e.empty()) {
      env.err << "rtdprog-cli: --jedec " << o.jedec << ": " << e << '\n';
      return kExitUsage;
    }
  }
  std::string reason;
  if (command.file == Command::File::kDump) {
    reason = CheckOutputPath(o.positional[1]);
  } else if (command.file == Command::File::kImage) {
    // A mistyped image name is told at once, not after the connect check
    // and a Yes to the erase; whether its size suits the chip is judged
    // when it is loaded.
    if (const ReadOnlyFile image(o.positional[1]); !image.ok()) reason = image.Reason();
  }
  if (reason.empty()) return kExitOk;
  env.err << MessageBoxCaption(MB_ICONERROR) << ": " << o.positional[1] << ": " << reason << '\n';
  return kExitFailure;
}

// The connect check before a command that needs the flash: kExitOk when the
// chip was identified, else the status to end with (the reason on stderr
// too, as for every failure; a link failure, a size jedec.ini gives wrong
// or a chip larger than the programmer reaches has said so there already,
// and no size would help the last).
int IdentifyFlash(CommandRun& r) {
  FlashOperations& ops = r.session.ops();
  r.connect = ops.SpeedButtonConnectClick();
  if (r.out.StopSeen() || r.connect == OpResult::kStopped) return kExitStopped;
  if (ops.CurrentFlash.Identified()) return kExitOk;
  std::ostream& err = r.env.err;
  if (r.connect == OpResult::kUnknownChip)
    err << FormatText(PickLangText(kNotIdentified), r.session.chips().path().c_str()) << '\n';
  else if (r.connect == OpResult::kNoLink)
    err << PickLangText(kNoLink) << '\n';
  else if (r.connect == OpResult::kNoChip)
    err << PickLangText(flash_text::kNoChipAnswers) << '\n';
  else if (r.connect == OpResult::kNoId)
    err << PickLangText(flash_text::kNoFlashType) << '\n';
  return kExitFailure;
}

// Claims the programmer and runs the command on it, with what it needs
// first. *explained: the reason an unopenable programmer gives has been
// told already.
int Dispatch(const Command& command, CommandRun& r, bool* explained) {
  const Options& o = r.options;
  HidTransport& transport = r.session.link().transport();
  if (command.needs == Command::Needs::kNothing) {
    *explained = true;  // the listing tells of an unopenable programmer itself
    return command.run(r);
  }
  // Before anything is sent.
  if (const std::optional<int> refused = ClaimProgrammer(
          r.session.programmer(), o.device, o.wait_busy.value_or(0), r.out, r.env.err,
          r.session.clock()))
    return *refused;
  // A lock that keeps out fewer programs than it should: said, and the
  // command goes on.
  if (!transport.ClaimNote().empty()) r.env.err << transport.ClaimNote() << '\n';
  if (transport.LinkOpen() != kLinkOk && !transport.OpenFailure().empty()) {
    // A programmer that is plugged in but may not be opened (most often the
    // udev rule is missing) is explained at once, rather than reported as
    // disconnected by whichever operation meets it first. The handle opened
    // here is the one the first exchange would open.
    r.env.err << ProgrammerNotOpenedText(transport.OpenFailure()) << '\n';
    *explained = true;
    return kExitFailure;
  }
  // Said before even the connect check: without a copy nothing is to be
  // done with the board.
  if (command.erases && r.session.ops().Backup().RefuseUnusableFolder()) return kExitFailure;
  if (command.needs == Command::Needs::kFlash) {
    if (const int status = IdentifyFlash(r); status != kExitOk) return status;
  }
  return command.run(r);
}

// Builds the stack the command works with, runs it, and takes it down.
int RunCommand(const Command& command, const Options& o, CliEnvironment& env) {
  SystemClock system_clock;
  Clock& clock = env.clock != nullptr ? *env.clock : static_cast<Clock&>(system_clock);

  std::string platform_error;
  bool bad_configuration = false;
  std::unique_ptr<HidPlatform> platform = shell::MakePlatform(
      {o.simulate, o.simulate_file}, clock, &platform_error, &bad_configuration);
  if (!platform) {
    env.err << "rtdprog-cli: " << platform_error << '\n';
    return bad_configuration ? kExitUsage : kExitFailure;
  }

  CliOutput out({env.out, env.err, env.in, env.in_is_terminal, env.err_is_terminal}, clock,
                env.interrupted);
  out.comm_log = o.comm_log;
  out.assume_yes = o.yes;
  out.on_pump = env.on_pump;
  if (command.file != Command::File::kNone) out.image_path = o.positional[1];

  ProgramFiles files = LocateProgramFiles(env.files);
  if (!o.jedec.empty()) UseChipDatabase(files, o.jedec);
  // Said and carried on: the command may need no file, and a write that
  // fails later says so again.
  if (const std::string e = PrepareConfigDirectory(files); !e.empty())
    env.err << "rtdprog-cli: " << e << '\n';

  shell::Session session(std::move(platform), clock, out,
                         {files.jedec, files.settings, files.shipped_jedec, files.backup_dir,
                          files.backup_problem});
  if (o.no_backup) session.SwitchBackups(false, BackupStep::OffBy::kOption);
  session.ops().Backup().AcceptRepeatingBackup = o.accept_repeating;
  session.ops().Backup().Controls = BackupStep::UserControls::kCommandLine;
  CommandRun run{o, env, out, session};
  // The whole command works with the programmer it claims first.
  const ProgrammerHold hold(session.link().transport());
  bool explained = false;  // the unopenable programmer is told of once
  const int status = Dispatch(command, run, &explained);
  out.ProgressHide();
  // The same when the programmer came back without access during the run.
  const std::string& why = session.link().transport().OpenFailure();
  if (status != kExitOk && !explained && !why.empty())
    env.err << ProgrammerNotOpenedText(why) << '\n';
  return status;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
  Options o;
  const std::string error = ParseOptions(args, o);

  CurrentLanguage = env.locale.rfind("ru", 0) == 0 ? kLanguageRussian : kLanguageEnglish;
  if (o.language) CurrentLanguage = *o.language;

  if (!error.empty()) return Usage(env, error);
  if (o.help) {
    env.out << PickLangText(kHelp);
    return kExitOk;
  }
  if (o.version) {
    env.out << "rtdprog-cli " << RTD_PROGRAM_VERSION << '\n';
    return kExitOk;
  }
  if (o.positional.empty()) return Usage(env, "no command given");
  const Command* command = FindCommand(o.positional[0]);
  if (command == nullptr) return Usage(env, "unknown command '" + o.positional[0] + "'");
  if (const std::string e = CheckCommandLine(*command, o); !e.empty()) return Usage(env, e);
  if (const int status = CheckFilesBeforeSending(*command, o, env); status != kExitOk)
    return status;
  return RunCommand(*command, o, env);
}

}  // namespace rtd::cli
