#include "cli/cli.h"

#include <charconv>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/cli_output.h"
#include "cli/programmer_choice.h"
#include "config/atomic_file.h"
#include "config/chip_database.h"
#include "config/paths.h"
#include "config/settings.h"
#include "flash/backup_step.h"
#include "flash/service_commands.h"
#include "flash/texts.h"
#include "flash/operations.h"
#include "i18n/lang.h"
#include "link/commands.h"
#include "link/exchange.h"
#include "shell/session.h"

namespace rtd::cli {

namespace {

constexpr LangText kHelp = LANG_TEXT(
    "Использование: rtdprog-cli [параметры] КОМАНДА [ФАЙЛ]\n"
    "\n"
    "Программатор SPI FLASH плат на контроллере RTD2662.\n"
    "\n"
    "Команды:\n"
    "  info               данные программатора\n"
    "  detect             проверка связи и определение FLASH\n"
    "  read ФАЙЛ          чтение FLASH в файл\n"
    "  compare ФАЙЛ       полное сравнение FLASH с файлом\n"
    "  compare --quick ФАЙЛ  быстрое сравнение по CRC каждых 64 КБ\n"
    "  compare --diff ФАЙЛ   полное сравнение со списком всех различий\n"
    "  write ФАЙЛ         стирание и запись FLASH из файла с проверкой\n"
    "  write --verify=full ФАЙЛ  запись, затем полное побайтное сравнение\n"
    "  read --verify ФАЙЛ чтение FLASH дважды; файл сохраняется, только если\n"
    "                     оба чтения совпали\n"
    "  blank-check        проверка, что FLASH чистая (все байты 0xFF)\n"
    "  erase [--yes]      стирание FLASH с проверкой чистоты\n"
    "  list               все подключённые программаторы\n"
    "  reset-controller   сброс RTD2662\n"
    "  touch              параметры калибровки сенсора\n"
    "  reset-programmer   сброс программатора\n"
    "\n"
    "Параметры:\n"
    "  --simulate[=ФАЙЛ]  работать с виртуальным программатором (настройки в ФАЙЛЕ)\n"
    "  --lang ru|en       язык (по умолчанию из локали)\n"
    "  --comm-log         лог обмена в stderr\n"
    "  --jedec ФАЙЛ       база микросхем FLASH вместо jedec.ini\n"
    "  --device СЕРИЙНЫЙ_НОМЕР|ПУТЬ  работать с этим программатором (см. list)\n"
    "  --wait-busy СЕКУНДЫ  если программатор занят другой программой, ждать\n"
    "                     его освобождения до СЕКУНД (иначе сразу код 1)\n"
    "  --yes              ответить «да» на вопрос перед стиранием\n"
    "  --no-backup        не сохранять резервную копию FLASH перед стиранием\n"
    "  --accept-repeating стирать, даже если резервная копия повторяется (микросхема\n"
    "                     меньше, чем в jedec.ini); --yes на этот вопрос не отвечает\n"
    "  -h, --help         эта справка\n"
    "  --version          версия программы\n"
    "\n"
    "Команды, которым нужна FLASH, сначала проверяют связь и определяют микросхему,\n"
    "а в конце ещё раз читают её идентификатор: если контакт потерян, результата нет.\n"
    "С программатором работает одна программа за раз: пока он занят другой\n"
    "(окном rtdprog или ещё одной rtdprog-cli), команда ничего ему не посылает.\n"
    "Ctrl-C, закрытие терминала или запрос на завершение останавливают операцию\n"
    "перед следующим блоком.\n"
    "Перед каждым стиранием (write, erase) вся FLASH сохраняется в папку резервных\n"
    "копий и сверяется с микросхемой; стирание идёт, только если копия цела.\n"
    "\n"
    "Код завершения:\n"
    "  0  успешно\n"
    "  1  ошибка (нет программатора, он занят, нет связи, ошибка обмена или файла,\n"
    "     контакт с FLASH потерян во время операции)\n"
    "  2  неверная командная строка или настройки виртуального программатора\n"
    "  3  содержимое FLASH и файла различается; FLASH не чистая (blank-check)\n"
    "  4  операция прервана (Ctrl-C)\n"
    "  5  ничего не сделано (запись или стирание не подтверждены)\n"
    "  6  два чтения FLASH различаются (read --verify), файл не записан\n",
    "Usage: rtdprog-cli [options] COMMAND [FILE]\n"
    "\n"
    "SPI FLASH programmer for boards built around the RTD2662 controller.\n"
    "\n"
    "Commands:\n"
    "  info               show the programmer's identification\n"
    "  detect             check the link to the board and identify the FLASH\n"
    "  read FILE          read the whole FLASH into FILE\n"
    "  compare FILE       compare the FLASH with FILE byte by byte\n"
    "  compare --quick FILE  compare by CRC of every 64 KiB\n"
    "  compare --diff FILE   full compare listing every difference\n"
    "  write FILE         erase the FLASH, write FILE and verify\n"
    "  write --verify=full FILE  write, then compare byte by byte\n"
    "  read --verify FILE read the FLASH twice; FILE is saved only when\n"
    "                     both reads agree\n"
    "  blank-check        check that the FLASH is erased (all bytes 0xFF)\n"
    "  erase [--yes]      erase the FLASH and check that it is blank\n"
    "  list               list every attached programmer\n"
    "  reset-controller   reset the RTD2662\n"
    "  touch              read the touch calibration parameters\n"
    "  reset-programmer   reset the programmer\n"
    "\n"
    "Options:\n"
    "  --simulate[=FILE]  use the virtual programmer (configured by FILE)\n"
    "  --lang ru|en       language (default: from the locale)\n"
    "  --comm-log         write the communication log to stderr\n"
    "  --jedec FILE       FLASH chip database instead of jedec.ini\n"
    "  --device SERIAL|PATH  use this programmer (see list)\n"
    "  --wait-busy SECONDS  when another program is using the programmer, wait\n"
    "                     up to SECONDS for it (otherwise exit 1 at once)\n"
    "  --yes              answer Yes to the question before erasing\n"
    "  --no-backup        do not back the FLASH up before erasing it\n"
    "  --accept-repeating erase even when the backup's content repeats (a chip\n"
    "                     smaller than jedec.ini says); --yes does not answer this\n"
    "  -h, --help         this help\n"
    "  --version          program version\n"
    "\n"
    "Commands that need the FLASH check the link and identify the chip first, and\n"
    "read its id again at the end: when the contact was lost, there is no result.\n"
    "One program at a time works with a programmer: while another one (the window\n"
    "rtdprog or another rtdprog-cli) is using it, a command sends it nothing.\n"
    "Ctrl-C, a closed terminal or a request to terminate stops an operation before\n"
    "its next block.\n"
    "Before every erase (write, erase) the whole FLASH is saved in the backup folder\n"
    "and checked against the chip; the erase goes ahead only when the copy is sound.\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  failure (no programmer or it is in use, no link, a transfer or file error,\n"
    "     the contact with the FLASH lost during the operation)\n"
    "  2  bad command line or virtual programmer configuration\n"
    "  3  the FLASH and the file differ; the FLASH is not blank (blank-check)\n"
    "  4  stopped by the user (Ctrl-C)\n"
    "  5  nothing done (the write or erase was not confirmed)\n"
    "  6  the two reads of read --verify differ; no file written\n");

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

// About eleven days; the milliseconds stay within the clock's 32 bits.
constexpr uint32_t kMaxWaitSeconds = 1000000;

struct Options {
  bool help = false;
  bool version = false;
  bool simulate = false;
  std::string simulate_file;
  std::optional<int32_t> language;
  bool comm_log = false;
  std::string jedec;
  bool yes = false;
  bool quick = false;
  std::string device;
  std::optional<uint32_t> wait_busy;  // seconds
  bool verify = false;       // read --verify
  bool verify_full = false;  // write --verify=full
  bool diff = false;         // compare --diff
  bool no_backup = false;
  bool accept_repeating = false;
  std::vector<std::string> positional;
};

// Parses the arguments; empty text on success, else what is wrong.
std::string ParseArgs(const std::vector<std::string>& args, Options& o) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const std::string& name, std::string& into) -> std::string {
      if (a.size() > name.size() && a.compare(0, name.size() + 1, name + "=") == 0) {
        into = a.substr(name.size() + 1);
        return {};
      }
      if (i + 1 >= args.size()) return "option " + name + " needs a value";
      into = args[++i];
      return {};
    };
    if (a == "-h" || a == "--help") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--simulate") {
      o.simulate = true;
    } else if (a.rfind("--simulate=", 0) == 0) {
      o.simulate = true;
      o.simulate_file = a.substr(11);
      if (o.simulate_file.empty()) return "--simulate= needs a file name";
    } else if (a == "--lang" || a.rfind("--lang=", 0) == 0) {
      std::string lang;
      if (auto e = value("--lang", lang); !e.empty()) return e;
      if (lang == "ru") {
        o.language = kLanguageRussian;
      } else if (lang == "en") {
        o.language = kLanguageEnglish;
      } else {
        return "unknown language '" + lang + "' (ru or en)";
      }
    } else if (a == "--comm-log") {
      o.comm_log = true;
    } else if (a == "--jedec" || a.rfind("--jedec=", 0) == 0) {
      if (auto e = value("--jedec", o.jedec); !e.empty()) return e;
      if (o.jedec.empty()) return "--jedec needs a file name";
    } else if (a == "--yes" || a == "-y") {
      o.yes = true;
    } else if (a == "--quick") {
      o.quick = true;
    } else if (a == "--device" || a.rfind("--device=", 0) == 0) {
      if (auto e = value("--device", o.device); !e.empty()) return e;
      if (o.device.empty()) return "--device needs a serial number or a path";
    } else if (a == "--wait-busy" || a.rfind("--wait-busy=", 0) == 0) {
      std::string seconds;
      if (auto e = value("--wait-busy", seconds); !e.empty()) return e;
      uint32_t n = 0;
      const auto [end, wrong] = std::from_chars(seconds.data(), seconds.data() + seconds.size(), n);
      if (wrong != std::errc() || end != seconds.data() + seconds.size() || n > kMaxWaitSeconds)
        return "--wait-busy needs a number of seconds from 0 to " + std::to_string(kMaxWaitSeconds);
      o.wait_busy = n;
    } else if (a == "--verify") {
      o.verify = true;
    } else if (a == "--verify=full") {
      o.verify_full = true;
    } else if (a.rfind("--verify=", 0) == 0) {
      return "unknown verification '" + a.substr(9) + "' (full)";
    } else if (a == "--diff") {
      o.diff = true;
    } else if (a == "--no-backup") {
      o.no_backup = true;
    } else if (a == "--accept-repeating") {
      o.accept_repeating = true;
    } else if (a == "--") {
      for (++i; i < args.size(); ++i) o.positional.push_back(args[i]);
    } else if (a.size() > 1 && a[0] == '-') {
      return "unknown option '" + a + "'";
    } else {
      o.positional.push_back(a);
    }
  }
  return {};
}

// Options that belong to one command each.
std::string CheckServiceOptions(const Options& o, const std::string& command) {
  if (o.quick && command != "compare") return "--quick belongs to compare";
  if (o.verify && command != "read") {
    return command == "write" ? "write takes --verify=full" : "--verify belongs to read";
  }
  if (o.verify_full && command != "write") return "--verify=full belongs to write";
  if (o.diff && (command != "compare" || o.quick)) return "--diff belongs to the full compare";
  if (command == "list" && !o.device.empty()) return "list takes no --device";
  if (command == "list" && o.wait_busy) return "list takes no --wait-busy";
  if (o.accept_repeating && command != "write" && command != "erase")
    return "--accept-repeating belongs to write and erase";
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
    case OpResult::kNoLink:
    case OpResult::kNoChip:
    case OpResult::kNoId: return kExitFailure;
  }
  return kExitFailure;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
  Options o;
  const std::string error = ParseArgs(args, o);

  CurrentLanguage = env.locale.rfind("ru", 0) == 0 ? kLanguageRussian : kLanguageEnglish;
  if (o.language) CurrentLanguage = *o.language;

  if (!error.empty()) {
    env.err << "rtdprog-cli: " << error << '\n' << PickLangText(kUsageHint) << '\n';
    return kExitUsage;
  }
  if (o.help) {
    env.out << PickLangText(kHelp);
    return kExitOk;
  }
  if (o.version) {
    env.out << "rtdprog-cli " << RTD_PROGRAM_VERSION << '\n';
    return kExitOk;
  }
  if (o.positional.empty()) {
    env.err << "rtdprog-cli: no command given\n" << PickLangText(kUsageHint) << '\n';
    return kExitUsage;
  }

  const std::string command = o.positional[0];
  const bool takes_file = command == "read" || command == "compare" || command == "write";
  const bool known = takes_file || command == "info" || command == "detect" ||
                     command == "reset-controller" || command == "touch" ||
                     command == "reset-programmer" || command == "list" ||
                     command == "blank-check" || command == "erase";
  if (!known) {
    env.err << "rtdprog-cli: unknown command '" << command << "'\n"
            << PickLangText(kUsageHint) << '\n';
    return kExitUsage;
  }
  const std::size_t wanted = takes_file ? 2 : 1;
  if (o.positional.size() != wanted) {
    env.err << "rtdprog-cli: " << command
            << (takes_file ? " needs one FILE argument\n" : " takes no arguments\n")
            << PickLangText(kUsageHint) << '\n';
    return kExitUsage;
  }
  if (takes_file && o.positional[1].empty()) {
    // Caught before anything is sent: a read would otherwise take the whole
    // flash only to have nowhere to put it.
    env.err << "rtdprog-cli: " << command << " needs a non-empty FILE name\n"
            << PickLangText(kUsageHint) << '\n';
    return kExitUsage;
  }
  if (const std::string e = CheckServiceOptions(o, command); !e.empty()) {
    env.err << "rtdprog-cli: " << e << '\n';
    return kExitUsage;
  }
  // A file the dump or the chip database could never be saved to is refused
  // before anything is sent: a read would otherwise take the whole flash
  // first, and a FIFO would be waited on.
  if (!o.jedec.empty()) {
    if (const std::string e = CheckOutputPath(o.jedec); !e.empty()) {
      env.err << "rtdprog-cli: --jedec " << o.jedec << ": " << e << '\n';
      return kExitUsage;
    }
  }
  if (command == "read") {
    if (const std::string e = CheckOutputPath(o.positional[1]); !e.empty()) {
      env.err << MessageBoxCaption(MB_ICONERROR) << ": " << o.positional[1] << ": " << e << '\n';
      return kExitFailure;
    }
  }

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
  if (takes_file) out.image_path = o.positional[1];

  ProgramFiles files = LocateProgramFiles(env.files);
  if (!o.jedec.empty()) UseChipDatabase(files, o.jedec);
  // Said and carried on: the command may need no file, and a write that
  // fails later says so again.
  if (const std::string e = PrepareConfigDirectory(files); !e.empty())
    env.err << "rtdprog-cli: " << e << '\n';

  int status = kExitFailure;
  {
    shell::Session session(std::move(platform), clock, out,
                           {files.jedec, files.settings, files.shipped_jedec, files.backup_dir,
                            files.backup_problem});
    Link& link = session.link();
    Programmer& programmer = session.programmer();
    const ChipDatabase& chips = session.chips();
    FlashOperations& ops = session.ops();
    if (o.no_backup) session.SwitchBackups(false, FlashOperations::BackupOff::kByOption);
    ops.AcceptRepeatingBackup = o.accept_repeating;
    ServiceCommands service(ops);
    // Before anything is sent (the listing takes each programmer itself).
    const std::optional<int> refused =
        command == "list" ? std::nullopt
                          : ClaimProgrammer(programmer, o.device, o.wait_busy.value_or(0), out,
                                            env.err, clock);

    bool explained = false;  // the unopenable programmer is told of once
    if (refused) {
      status = *refused;
    } else if (command == "list") {
      status = ListProgrammers(programmer, out, env.err);
      explained = true;  // the listing tells of an unopenable programmer itself
    } else if (link.transport().LinkOpen() != kLinkOk && !link.transport().OpenFailure().empty()) {
      // A programmer that is plugged in but may not be opened (most often the
      // udev rule is missing) is explained at once, rather than reported as
      // disconnected by whichever operation meets it first. The handle opened
      // here is the one the first exchange would open.
      env.err << ProgrammerNotOpenedText(link.transport().OpenFailure()) << '\n';
      status = kExitFailure;
      explained = true;
    } else if (command == "info") {
      const LinkStatus s = programmer.ReadProgrammerInfo();
      if (s == kLinkOk) {
        ShowProgrammerInfo(out, programmer.ProgrammerInfo);
        status = kExitOk;
      } else {
        env.err << LinkStatusText(s) << '\n';
        status = kExitFailure;
      }
    } else if (command == "touch") {
      status = ExitFor(ops.SpeedButtonGetTouchParamClick(), out);
    } else if (command == "reset-programmer") {
      status = ExitFor(ops.SpeedButtonResetClick(), out);
    } else if ((command == "write" || command == "erase") && !BackupStep(ops).FolderReady()) {
      // Said before even the connect check: without a copy nothing is to be
      // done with the board.
      status = kExitFailure;
    } else {
      // Everything else works on an identified flash: check the link first.
      const OpResult connect = ops.SpeedButtonConnectClick();
      if (out.StopSeen() || connect == OpResult::kStopped) {
        status = kExitStopped;
      } else if (!ops.CurrentFlash.Identified()) {
        // The reason on stderr too, as for every failure; the others (a
        // link failure, a size jedec.ini gives wrong) went there already.
        if (connect == OpResult::kUnknownChip)
          env.err << FormatText(PickLangText(kNotIdentified), chips.path().c_str()) << '\n';
        else if (connect == OpResult::kNoLink)
          env.err << PickLangText(kNoLink) << '\n';
        else if (connect == OpResult::kNoChip)
          env.err << PickLangText(flash_text::kNoChipAnswers) << '\n';
        else if (connect == OpResult::kNoId)
          env.err << PickLangText(flash_text::kNoFlashType) << '\n';
        status = kExitFailure;
      } else if (command == "detect") {
        status = ExitFor(connect, out);
      } else if (command == "read" && o.verify) {
        status = ExitFor(service.ReadVerified(), out);
        if (service.ReadsDiffered() && !out.StopSeen()) status = kExitReadsDiffer;
      } else if (command == "read") {
        status = ExitFor(ops.SpeedButtonReadClick(), out);
      } else if (command == "compare" && o.diff) {
        status = ExitFor(service.CompareWithDiff(), out);
      } else if (command == "compare") {
        status = ExitFor(o.quick ? ops.SpeedButtonCompareFastClick() : ops.SpeedButtonCompareClick(),
                         out);
      } else if (command == "write") {
        status = ExitFor(o.verify_full ? service.WriteVerifiedFully() : ops.SpeedButtonWriteClick(),
                         out);
      } else if (command == "blank-check") {
        status = ExitFor(service.BlankCheck(), out);
      } else if (command == "erase") {
        status = ExitFor(service.Erase(), out);
      } else if (command == "reset-controller") {
        status = ExitFor(ops.SpeedButtonResetRTD2662Click(), out);
      }
    }
    out.ProgressHide();
    // The same when the programmer came back without access during the run.
    if (status != kExitOk && !explained && !link.transport().OpenFailure().empty())
      env.err << ProgrammerNotOpenedText(link.transport().OpenFailure()) << '\n';
  }
  return status;
}

}  // namespace rtd::cli
