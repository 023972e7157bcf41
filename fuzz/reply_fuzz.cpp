// Fuzzes what the programmer says back. The virtual programmer answers
// every request as the firmware would; the fuzzer's bytes decide, poll by
// poll, whether that answer arrives as it is, late, never, with bytes
// changed (its checksum made right again or not), in place of another
// answer of the fuzzer's own making, or not at all because the transfer
// fails. One operation runs on top, through the exchange, the commands and
// the flash primitives. Whatever came back, an operation that reports
// success must have had, for every part of its result, an answer the
// protocol accepts, and the result must be what those answers said; and it
// must never write outside its buffers (the sanitizers watch that). The
// operations are the basic ones and the service commands.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "config/chip_database.h"
#include "config/settings.h"
#include "core/clock.h"
#include "flash/operations.h"
#include "flash/service_commands.h"
#include "fuzz_support.h"
#include "link/commands.h"
#include "link/exchange.h"
#include "recording_output.h"
#include "sim/virtual_programmer.h"

namespace {

using rtd::HidReport;
using rtd::fuzz::Check;

// An identification counts only when the whole 56-byte record arrived.
constexpr bool kInfoNeedsWholeRecord = true;

// One request and the answer the host took for it (the first poll that
// brought a non-zero command byte); answered is false when none came.
struct Exchange {
  HidReport request{};
  HidReport reply{};
  bool answered = false;
};

// The checks below judge the answers by the protocol's rules, written out
// here on their own rather than taken from the link.
uint8_t Checksum(const uint8_t* r) {
  uint8_t acc = 0;
  for (std::size_t i = 1; i < rtd::kReportChecksumOffset; ++i) {
    const uint8_t t = acc ^ r[i];
    acc = static_cast<uint8_t>(t << 1);
    if ((t & 0x80) != 0) acc ^= 0x21;
  }
  return acc;
}

bool Framed(const Exchange& e) {
  return e.answered && e.reply[0] == 1 &&
         e.reply[rtd::kReportChecksumOffset] == Checksum(e.reply.data());
}

bool Echoed(const Exchange& e) {
  return e.reply[2] == e.request[2] && e.reply[3] == e.request[3] && e.reply[4] == e.request[4];
}

uint32_t DataLength(uint8_t length_byte) {
  return (length_byte & 0x80) != 0 ? 256 : length_byte;
}

// A data answer of at least min bytes to a read-type request.
bool DataAnswer(const Exchange& e, uint32_t min) {
  return Framed(e) && Echoed(e) && e.reply[1] == (e.request[1] | 0x80) &&
         DataLength(e.reply[5]) >= min;
}

// A data answer whose first byte is the "done" status 0.
bool DoneAnswer(const Exchange& e, uint32_t min = 1) {
  return DataAnswer(e, min) && e.reply[6] == 0;
}

const uint8_t* Data(const Exchange& e) { return e.reply.data() + rtd::kReportDataOffset; }

uint32_t Address(const HidReport& r) { return uint32_t{r[2]} << 16 | uint32_t{r[3]} << 8 | r[4]; }

// The virtual programmer behind a line whose answers the fuzzer tampers
// with, and a record of every exchange as the host saw it.
class TamperedLine : public rtd::sim::VirtualProgrammer {
 public:
  TamperedLine(rtd::sim::SimConfig config, rtd::Clock& clock, rtd::fuzz::Input& input)
      : VirtualProgrammer(std::move(config), clock), input_(input) {}

  std::vector<Exchange> exchanges;

  bool SetFeature(rtd::HidHandle handle, const uint8_t* data, std::size_t length) override {
    withheld_ = false;
    if (!VirtualProgrammer::SetFeature(handle, data, length)) return false;
    Exchange e;
    std::memcpy(e.request.data(), data, rtd::kReportSize);
    exchanges.push_back(e);
    return true;
  }

  bool GetFeature(rtd::HidHandle handle, uint8_t* data, std::size_t length) override {
    if (!Deliver(handle, data, length)) return false;
    if (!exchanges.empty() && !exchanges.back().answered && data[1] != 0) {
      std::memcpy(exchanges.back().reply.data(), data, rtd::kReportSize);
      exchanges.back().answered = true;
    }
    return true;
  }

 private:
  bool NotYet(uint8_t* data) {
    std::memset(data + 1, 0, rtd::kReportSize - 1);
    return true;
  }

  bool Deliver(rtd::HidHandle handle, uint8_t* data, std::size_t length) {
    if (withheld_) return NotYet(data);
    // Once the fuzzer's bytes are spent, the programmer answers as it is.
    if (input_.Empty()) return VirtualProgrammer::GetFeature(handle, data, length);
    const uint8_t action = input_.Byte();
    switch (action & 0x07) {
      case 0:
      case 1:
        return VirtualProgrammer::GetFeature(handle, data, length);
      case 2:  // late: not ready at this poll
        return NotYet(data);
      case 3:  // never: this request goes unanswered
        withheld_ = true;
        return NotYet(data);
      case 4:  // the transfer fails
        return false;
      case 5: {  // the real answer with some bytes changed
        if (!VirtualProgrammer::GetFeature(handle, data, length)) return false;
        const int edits = 1 + (input_.Byte() & 0x03);
        for (int i = 0; i < edits; ++i) {
          const uint32_t offset = input_.Number(2) % rtd::kReportSize;
          data[offset] ^= input_.Byte();
        }
        break;
      }
      case 6: {  // any 263 bytes at all, the report id included
        std::memset(data, 0, rtd::kReportSize);
        data[0] = 1;
        input_.Take(data, rtd::kReportSize);
        break;
      }
      case 7: {  // a well-formed answer of the fuzzer's making
        if (exchanges.empty()) return NotYet(data);
        const HidReport& request = exchanges.back().request;
        std::memset(data, 0, rtd::kReportSize);
        data[0] = 1;
        const uint8_t kind = input_.Byte();
        data[1] = (kind & 0x01) != 0 ? static_cast<uint8_t>(253 + kind % 3)
                                     : static_cast<uint8_t>(request[1] | 0x80);
        std::memcpy(data + 2, request.data() + 2, 3);
        data[5] = input_.Byte();
        input_.Take(data + rtd::kReportDataOffset, DataLength(data[5]));
        break;
      }
    }
    if ((action & 0x80) != 0) data[rtd::kReportChecksumOffset] = Checksum(data);
    return true;
  }

  rtd::fuzz::Input& input_;
  bool withheld_ = false;
};

constexpr uint32_t kChipSize = 64 * 1024;
constexpr uint8_t kChipId[3] = {0xEF, 0x40, 0x10};

std::vector<uint8_t> Pattern(std::size_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  for (auto& b : v) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  return v;
}

// The exchanges of one command code at one address; the last one counts.
const Exchange* Last(const std::vector<Exchange>& log, uint8_t code, uint32_t address) {
  const Exchange* found = nullptr;
  for (const auto& e : log)
    if ((e.request[1] & 0x7F) == code && Address(e.request) == address) found = &e;
  return found;
}

// Every block up to length was answered with 256 bytes equal to expected.
void CheckBlocks(const std::vector<Exchange>& log, const uint8_t* expected, uint32_t length,
                 const char* what) {
  for (uint32_t a = 0; a < length; a += 256) {
    const Exchange* e = Last(log, rtd::kCmdReadBlock, a);
    Check(e != nullptr && DataAnswer(*e, 256), what);
    Check(std::memcmp(Data(*e), expected + a, 256) == 0, what);
  }
}

// Every 64 KiB range up to length was answered with the CRC of expected.
void CheckRanges(const std::vector<Exchange>& log, const uint8_t* expected, uint32_t length,
                 const char* what) {
  for (uint32_t first = 0; first < length; first += rtd::kImageUnit) {
    const Exchange* e = Last(log, rtd::kCmdRangeCrc, first);
    const uint32_t last = std::min(first + rtd::kImageUnit, length) - 1;
    Check(e != nullptr && DoneAnswer(*e, 2), what);
    Check(Data(*e)[1] == rtd::Crc8Range(expected, first, last), what);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
  rtd::fuzz::Input input(bytes, size);
  const uint8_t operation = input.Byte();
  const uint8_t option = input.Byte();

  const std::string& dir = rtd::fuzz::ScratchDir();
  const std::string jedec = dir + "/jedec.ini";
  const std::string file = dir + "/image.bin";
  const std::string dump = dir + "/dump.bin";
  static const char kJedec[] = "[EF4010]\r\nManufacturer=Winbond W25Q05\r\nSizeInBytes=65536\r\n";
  rtd::fuzz::WriteFile(jedec, kJedec, sizeof kJedec - 1);
  std::remove(dump.c_str());

  // The flash holds a pattern; the file is that pattern or another one.
  rtd::sim::SimConfig config;
  std::copy(kChipId, kChipId + 3, config.jedec.begin());
  config.size = kChipSize;
  config.erase_ms = 30;
  config.status = (option & 0x10) != 0 ? 0x1C : 0;
  const std::vector<uint8_t> flash = Pattern(kChipSize, 5);
  const std::vector<uint8_t> image = (option & 0x20) != 0 ? Pattern(kChipSize, 9) : flash;
  rtd::fuzz::WriteFile(file, image.data(), image.size());

  // Every poll moves the clock, so a reply that never comes ends in its
  // timeout after a few hundred polls.
  rtd::ManualClock clock(1000, 7);
  TamperedLine line(config, clock, input);
  line.SetRecordRequests(false);
  std::copy(flash.begin(), flash.end(), line.Flash().begin());
  rtd::test::RecordingOutput out(&clock);
  out.open_answer = file;
  out.save_answer = dump;
  out.box_answers.push_back(rtd::IDYES);  // the write's question
  rtd::Link link(line, clock, out);
  rtd::Programmer programmer(link);
  rtd::ChipDatabase chips(jedec, out);
  rtd::SettingsFile settings(dir + "/rtdprog.ini", out);
  rtd::FlashOperations ops(programmer, chips, settings);
  rtd::ServiceCommands service(ops);
  const int which = operation % 14;
  // Reads may be short, to keep runs quick; the rest need whole ranges.
  ops.CurrentFlash.JedecId = {kChipId[0], kChipId[1], kChipId[2]};
  ops.CurrentFlash.Manufacturer = "Winbond W25Q05";
  ops.CurrentFlash.SizeInBytes =
      which == 1 || which == 9 ? 256u * (1 + option % 16) : kChipSize;
  const std::vector<uint8_t> erased(kChipSize, 0xFF);

  const std::vector<Exchange>& log = line.exchanges;
  const uint32_t chip = ops.CurrentFlash.SizeInBytes;
  switch (which) {
    case 0:
      if (ops.SpeedButtonConnectClick() == rtd::OpResult::kOk) {
        const Exchange* check = Last(log, rtd::kCmdLinkCheck, 0);
        const Exchange* id = Last(log, rtd::kCmdReadJedecId, 0);
        Check(check != nullptr && DoneAnswer(*check), "link check answered");
        Check(id != nullptr && DoneAnswer(*id, 4), "JEDEC id answered");
        Check(std::equal(Data(*id) + 1, Data(*id) + 4, ops.CurrentFlash.JedecId.begin()),
              "the id is the one answered");
        Check(ops.CurrentFlash.Identified(), "an identified chip");
      }
      break;
    case 1:
      if (ops.SpeedButtonReadClick() == rtd::OpResult::kOk) {
        const std::string saved = rtd::fuzz::ReadFile(dump);
        Check(saved.size() == chip, "dump of the whole flash");
        CheckBlocks(log, reinterpret_cast<const uint8_t*>(saved.data()), chip,
                    "dump made of answered blocks");
      }
      break;
    case 2:
      if (ops.SpeedButtonCompareClick() == rtd::OpResult::kOk)
        CheckBlocks(log, image.data(), chip, "equal only on answered equal blocks");
      break;
    case 3:
      if (ops.SpeedButtonCompareFastClick() == rtd::OpResult::kOk)
        CheckRanges(log, image.data(), chip, "equal only on answered equal CRCs");
      break;
    case 4:
      if (ops.SpeedButtonWriteClick() == rtd::OpResult::kOk) {
        for (const auto& e : log) Check(DoneAnswer(e), "every write step done");
        CheckRanges(log, image.data(), chip, "written image verified");
      }
      break;
    case 5:
      if (ops.SpeedButtonResetRTD2662Click() == rtd::OpResult::kOk) {
        Check(log.size() == 1 && DoneAnswer(log[0]), "controller reset answered");
        Check(!ops.CurrentFlash.Identified(), "the flash is to be identified again");
      }
      break;
    case 6:
      if (ops.SpeedButtonGetTouchParamClick() == rtd::OpResult::kOk)
        Check(log.size() == 1 && DataAnswer(log[0], 11), "touch values answered");
      break;
    case 7:
      if (ops.SpeedButtonResetClick() == rtd::OpResult::kOk) {
        Check(log.size() == 1 && Framed(log[0]) && Echoed(log[0]) && log[0].reply[1] == 255,
              "programmer reset answered");
      }
      break;
    case 8:
      if (programmer.ReadProgrammerInfo() == rtd::kLinkOk) {
        Check(log.size() == 1 && Framed(log[0]), "identification answered");
        const Exchange& e = log[0];
        if (DataAnswer(e, 0)) {
          const uint32_t n = std::min<uint32_t>(DataLength(e.reply[5]), rtd::kProgrammerInfoSize);
          Check(std::memcmp(programmer.ProgrammerInfo.bytes.data(), Data(e), n) == 0,
                "identification as answered");
        } else {
          Check(e.reply[1] == 255, "a bare status is only a success");
        }
        if (kInfoNeedsWholeRecord) Check(DataAnswer(e, rtd::kProgrammerInfoSize), "whole record");
      }
      break;
    case 9:
      // Both reads agreed on what was answered last for every block.
      if (service.ReadVerified() == rtd::OpResult::kOk) {
        const std::string saved = rtd::fuzz::ReadFile(dump);
        Check(saved.size() == chip, "checked dump of the whole flash");
        CheckBlocks(log, reinterpret_cast<const uint8_t*>(saved.data()), chip,
                    "checked dump made of answered blocks");
      }
      break;
    case 10:
      if (service.BlankCheck() == rtd::OpResult::kOk) {
        CheckRanges(log, erased.data(), chip, "blank only on answered erased CRCs");
        CheckBlocks(log, erased.data(), chip, "blank only on answered erased blocks");
      }
      break;
    case 11:
      if (service.Erase() == rtd::OpResult::kOk) {
        CheckRanges(log, erased.data(), chip, "erase checked by answered erased CRCs");
        CheckBlocks(log, erased.data(), chip, "erase checked by answered erased blocks");
      }
      break;
    case 12:
      if (service.WriteVerifiedFully() == rtd::OpResult::kOk) {
        CheckRanges(log, image.data(), chip, "written image verified by CRC");
        CheckBlocks(log, image.data(), chip, "written image verified byte by byte");
      }
      break;
    case 13:
      if (service.CompareWithDiff() == rtd::OpResult::kOk)
        CheckBlocks(log, image.data(), chip, "no difference only on answered equal blocks");
      break;
  }
  Check(!link.ExchangeBusy, "no exchange left running");
  Check(out.IdleFlag == 1, "idle again");
  return 0;
}
