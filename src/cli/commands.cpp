#include "cli/commands.h"

#include <array>
#include <ostream>

#include "cli/programmer_choice.h"
#include "flash/service_commands.h"
#include "flash/texts.h"
#include "i18n/lang.h"
#include "link/commands.h"

namespace rtd::cli {
namespace {

// The options that belong to some commands only: the commands they belong
// to, and how the user is told so.
struct OwnedOption {
  bool Options::*given;
  const char* name;
  std::array<std::string_view, 2> owners;
  const char* owners_text;
};
constexpr OwnedOption kOwnedOptions[] = {
    {&Options::quick, "--quick", {"compare"}, "compare"},
    {&Options::verify, "--verify", {"read"}, "read"},
    {&Options::verify_full, "--verify=full", {"write"}, "write"},
    {&Options::diff, "--diff", {"compare"}, "the full compare"},
    {&Options::accept_repeating, "--accept-repeating", {"write", "erase"}, "write and erase"},
};

bool Owns(std::string_view command, const OwnedOption& option) {
  return option.owners[0] == command || option.owners[1] == command;
}

// --- each command's own options ---

std::string NoOwnOptions(const Options&) { return {}; }

std::string CheckCompare(const Options& o) {
  return o.quick && o.diff ? "--diff belongs to the full compare" : "";
}

std::string CheckWrite(const Options& o) {
  return o.verify ? "write takes --verify=full" : "";
}

std::string CheckList(const Options& o) {
  if (!o.device.empty()) return "list takes no --device";
  if (o.wait_busy) return "list takes no --wait-busy";
  return {};
}

// --- the programmer's commands ---

int RunInfo(CommandRun& r) {
  Programmer& programmer = r.session.programmer();
  const LinkStatus s = programmer.ReadProgrammerInfo();
  if (s != kLinkOk) {
    r.env.err << LinkStatusText(s) << '\n';
    return kExitFailure;
  }
  ShowProgrammerInfo(r.out, programmer.ProgrammerInfo);
  return kExitOk;
}

int RunList(CommandRun& r) {
  return ListProgrammers(r.session.programmer(), r.out, r.env.err);
}

int RunTouch(CommandRun& r) {
  return ExitFor(r.session.ops().SpeedButtonGetTouchParamClick(), r.out);
}

int RunResetProgrammer(CommandRun& r) {
  return ExitFor(r.session.ops().SpeedButtonResetClick(), r.out);
}

// --- the flash's commands (the chip identified first) ---

int RunDetect(CommandRun& r) { return ExitFor(r.connect, r.out); }

int RunRead(CommandRun& r) {
  if (!r.options.verify) return ExitFor(r.session.ops().SpeedButtonReadClick(), r.out);
  ServiceCommands service(r.session.ops());
  const int status = ExitFor(service.ReadVerified(), r.out);
  return service.ReadsDiffered() && !r.out.StopSeen() ? kExitReadsDiffer : status;
}

int RunCompare(CommandRun& r) {
  FlashOperations& ops = r.session.ops();
  if (r.options.diff) return ExitFor(ServiceCommands(ops).CompareWithDiff(), r.out);
  return ExitFor(r.options.quick ? ops.SpeedButtonCompareFastClick()
                                 : ops.SpeedButtonCompareClick(),
                 r.out);
}

int RunWrite(CommandRun& r) {
  FlashOperations& ops = r.session.ops();
  return ExitFor(r.options.verify_full ? ServiceCommands(ops).WriteVerifiedFully()
                                       : ops.SpeedButtonWriteClick(),
                 r.out);
}

int RunBlankCheck(CommandRun& r) {
  return ExitFor(ServiceCommands(r.session.ops()).BlankCheck(), r.out);
}

int RunErase(CommandRun& r) { return ExitFor(ServiceCommands(r.session.ops()).Erase(), r.out); }

int RunResetController(CommandRun& r) {
  return ExitFor(r.session.ops().SpeedButtonResetRTD2662Click(), r.out);
}

using File = Command::File;
using Needs = Command::Needs;
constexpr Command kCommands[] = {
    {"info", File::kNone, Needs::kProgrammer, false, NoOwnOptions, RunInfo},
    {"list", File::kNone, Needs::kNothing, false, CheckList, RunList},
    {"touch", File::kNone, Needs::kProgrammer, false, NoOwnOptions, RunTouch},
    {"reset-programmer", File::kNone, Needs::kProgrammer, false, NoOwnOptions, RunResetProgrammer},
    {"detect", File::kNone, Needs::kFlash, false, NoOwnOptions, RunDetect},
    {"read", File::kDump, Needs::kFlash, false, NoOwnOptions, RunRead},
    {"compare", File::kImage, Needs::kFlash, false, CheckCompare, RunCompare},
    {"write", File::kImage, Needs::kFlash, true, CheckWrite, RunWrite},
    {"blank-check", File::kNone, Needs::kFlash, false, NoOwnOptions, RunBlankCheck},
    {"erase", File::kNone, Needs::kFlash, true, NoOwnOptions, RunErase},
    {"reset-controller", File::kNone, Needs::kFlash, false, NoOwnOptions, RunResetController},
};

}  // namespace

const Command* FindCommand(std::string_view name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

std::string CheckCommandLine(const Command& command, const Options& o) {
  const std::string name = command.name;
  const bool takes_file = command.file != Command::File::kNone;
  const std::size_t wanted = takes_file ? 2 : 1;
  if (o.positional.size() != wanted)
    return name + (takes_file ? " needs one FILE argument" : " takes no arguments");
  // Caught before anything is sent: a read would otherwise take the whole
  // flash only to have nowhere to put it.
  if (takes_file && o.positional[1].empty()) return name + " needs a non-empty FILE name";
  if (std::string wrong = command.check(o); !wrong.empty()) return wrong;
  for (const OwnedOption& option : kOwnedOptions)
    if (o.*option.given && !Owns(command.name, option))
      return std::string(option.name) + " belongs to " + option.owners_text;
  return {};
}

int ExitFor(OpResult r, const CliOutput& out) {
  if (out.StopSeen()) return kExitStopped;
  switch (r) {
    case OpResult::kOk: return kExitOk;
    case OpResult::kMismatch: return kExitMismatch;
    case OpResult::kStopped: return kExitStopped;
    case OpResult::kNotStarted:
    case OpResult::kCancelled: return kExitNotDone;
    case OpResult::kFailed:
    case OpResult::kUnknownChip:
    case OpResult::kBeyondReach:
    case OpResult::kNoLink:
    case OpResult::kNoChip:
    case OpResult::kNoId: return kExitFailure;
  }
  return kExitFailure;
}

}  // namespace rtd::cli
