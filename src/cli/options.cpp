#include "cli/options.h"

#include <charconv>

#include "i18n/lang.h"

namespace rtd::cli {
namespace {

// About eleven days; the milliseconds stay within the clock's 32 bits.
constexpr uint32_t kMaxWaitSeconds = 1000000;

}  // namespace

std::string ParseOptions(const std::vector<std::string>& args, Options& o) {
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

}  // namespace rtd::cli
