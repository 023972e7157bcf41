// Fuzzes the virtual programmer's configuration reader with any text. A
// configuration is either refused, with a message naming the line and the
// values left as they were, or accepted with every value in its range, and
// then written out again as key=value lines it reads back the same. An
// accepted configuration also makes a virtual programmer that answers the
// programmer's identification request.
#include <cstdio>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "fuzz_support.h"
#include "i18n/lang.h"
#include "link/commands.h"
#include "link/exchange.h"
#include "recording_output.h"
#include "sim/virtual_programmer.h"

namespace {

using rtd::fuzz::Check;
using rtd::sim::SimConfig;

bool Same(const SimConfig& a, const SimConfig& b) {
  return a.jedec == b.jedec && a.size == b.size && a.status == b.status && a.image == b.image &&
         a.link_up_ms == b.link_up_ms && a.erase_ms == b.erase_ms &&
         a.transfer_us == b.transfer_us && a.touch == b.touch && a.attached == b.attached &&
         a.name == b.name && a.serial == b.serial && a.app_version == b.app_version &&
         a.boot_version == b.boot_version && a.library_loadable == b.library_loadable &&
         a.entry_points == b.entry_points && a.lockable == b.lockable &&
         a.unplug_after == b.unplug_after &&
         a.programmers == b.programmers && a.faults == b.faults && a.decoys == b.decoys;
}

std::string Hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
  return text;
}

// A text word in double quotes, so blanks and '#' inside it survive.
std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

const char* KindName(rtd::sim::FaultKind kind) {
  using rtd::sim::FaultKind;
  switch (kind) {
    case FaultKind::kTimeout: return "timeout";
    case FaultKind::kBadChecksum: return "checksum";
    case FaultKind::kWrongAddress: return "address";
    case FaultKind::kStatus253: return "status253";
    case FaultKind::kStatus254: return "status254";
    case FaultKind::kShortBlock: return "short";
    case FaultKind::kTransferFailure: return "transfer";
    case FaultKind::kFlippedBit: return "flip";
    case FaultKind::kNoContact: return "no-contact";
    case FaultKind::kOtherChip: return "other-chip";
  }
  return "?";
}

// Every value as a line of the file, numbers alternately decimal and
// hexadecimal.
std::string Write(const SimConfig& c) {
  std::string t;
  char jedec[8];
  std::snprintf(jedec, sizeof jedec, "%02X%02X%02X", c.jedec[0], c.jedec[1], c.jedec[2]);
  t += "jedec=" + std::string(jedec) + "\n";
  t += "size=" + std::to_string(c.size) + "\n";
  t += "status=" + Hex(c.status) + "\n";
  t += "image=" + c.image + "\n";
  t += "link-up-ms=" + std::to_string(c.link_up_ms) + "\n";
  t += "erase-ms=" + Hex(c.erase_ms) + "\n";
  t += "transfer-us=" + std::to_string(c.transfer_us) + "\n";
  t += "touch=";
  for (uint8_t b : c.touch) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02X ", b);
    t += byte;
  }
  t += "\n# a comment line\n";
  t += "attached=" + std::to_string(c.attached ? 1 : 0) + "\n";
  t += "name=" + c.name + "\n";
  t += "serial=" + Hex(c.serial) + "\n";
  t += "app-version=" + std::to_string(c.app_version) + "\n";
  t += "boot-version=" + std::to_string(c.boot_version) + "\n";
  t += "library=" + std::to_string(c.library_loadable ? 1 : 0) + "\n";
  t += "entry-points=" + std::to_string(c.entry_points ? 1 : 0) + "\n";
  t += "lock=" + std::to_string(c.lockable ? 1 : 0) + "\n";
  t += "unplug-after=" + std::to_string(c.unplug_after) + "\n";
  t += "programmers=" + std::to_string(c.programmers) + "\n";
  for (const auto& f : c.faults) {
    t += std::string("fault=") + KindName(f.kind);
    t += " cmd=" + (f.command < 0 ? std::string("any") : Hex(static_cast<uint64_t>(f.command)));
    t += " addr=" + (f.address < 0 ? std::string("any") : Hex(static_cast<uint64_t>(f.address)));
    t += " after=" + std::to_string(f.after) + " count=" + std::to_string(f.count);
    // Only the chip on another board takes an id.
    if (f.kind == rtd::sim::FaultKind::kOtherChip) {
      char id[8];
      std::snprintf(id, sizeof id, "%02X%02X%02X", f.jedec[0], f.jedec[1], f.jedec[2]);
      t += std::string(" jedec=") + id;
    }
    t += "\n";
  }
  for (const auto& d : c.decoys) {
    t += "decoy=vid=" + Hex(d.vendor_id) + " pid=" + std::to_string(d.product_id);
    t += " manufacturer=" + Quoted(d.manufacturer) + " product=" + Quoted(d.product);
    t += " openable=" + std::to_string(d.openable ? 1 : 0);
    t += " strings=" + std::to_string(d.strings_readable ? 1 : 0);
    t += std::string(" position=") + (d.before_programmer ? "before" : "after") + "\n";
  }
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  rtd::CurrentLanguage = rtd::kLanguageEnglish;
  SimConfig config;
  config.name = "before";
  const SimConfig before = config;
  std::string error;
  if (!rtd::sim::ParseSimConfig(text, config, error)) {
    Check(Same(config, before), "a refused configuration changes nothing");
    Check(error.rfind("line ", 0) == 0, "the message names the line");
    return 0;
  }
  Check(error.empty(), "no message on success");
  Check(config.size >= 1 && config.size <= 16u * 1024 * 1024, "size in range");
  Check(config.name.size() <= 40, "name within 40 bytes");
  Check(config.touch.size() <= 127, "touch answer within 127 bytes");
  for (const auto& f : config.faults) {
    Check(f.command >= -1 && f.command <= 0x7F, "fault command in range");
    Check(f.address >= -1 && f.address <= 0xFFFFFF, "fault address in range");
  }

  const std::string written = Write(config);
  SimConfig again;
  std::string again_error;
  Check(rtd::sim::ParseSimConfig(written, again, again_error), "what was read is readable");
  Check(Same(again, config), "reads back the same");

  // A device made of it answers; the flash stays small and in memory.
  config.image.clear();
  config.size = std::min<uint32_t>(config.size, 4096);
  config.transfer_us = 0;
  rtd::ManualClock clock(1000, 5);
  rtd::sim::VirtualProgrammer device(config, clock);
  rtd::test::RecordingOutput out(&clock);
  rtd::Link link(device, clock, out);
  rtd::Programmer programmer(link);
  const rtd::LinkStatus status = programmer.ReadProgrammerInfo();
  if (config.attached && config.library_loadable && config.entry_points && config.lockable &&
      config.faults.empty() && config.decoys.empty() && config.unplug_after == 0) {
    Check(status == rtd::kLinkOk, "a plain programmer answers");
    Check(programmer.ProgrammerInfo.SerialNumber() == config.serial, "its serial number");
  }
  Check(!link.ExchangeBusy, "no exchange left running");
  return 0;
}
