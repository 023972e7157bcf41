// What the virtual programmer's files share: the devices on the bus and
// their handles, the board behind the programmers, the answer waiting to be
// fetched, the armed faults and the record of requests. Private to the
// virtual programmer; each of its files carries out one job on it:
//   virtual_programmer.cpp  the bus: devices, handles, the feature transfers
//   request.cpp             a request's way from its report to its answer
//   firmware.cpp            the programmer's commands
//   faults.cpp              the injected faults
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "link/report.h"
#include "sim/chip_lock.h"
#include "sim/sim_flash.h"
#include "sim/virtual_programmer.h"

namespace rtd::sim {

// Size of a programmer's identification record.
inline constexpr std::size_t kInfoSize = 56;

struct Device {
  std::string path;
  uint16_t vendor_id = 0;
  uint16_t product_id = 0;
  std::u16string manufacturer;
  std::u16string product;
  bool openable = true;
  bool strings_readable = true;
  bool programmer = false;
  std::array<uint8_t, kInfoSize> info{};  // a programmer's identification record
};

struct OpenHandle {
  std::size_t device = 0;
  uint64_t generation = 0;  // the programmer's plug-in the handle belongs to
};

struct VirtualProgrammer::State {
  State(SimConfig c, Clock& clk)
      : config(std::move(c)), clock(clk), flash(config.size, config.status) {}

  SimConfig config;
  Clock& clock;
  SimFlash flash;
  std::string image_error;
  ChipLock chip_lock;
  bool flash_handed_out = false;

  std::vector<Device> devices;
  std::size_t programmer = 0;  // index in devices
  std::vector<std::unique_ptr<OpenHandle>> handles;
  bool attached = true;
  uint64_t generation = 0;  // bumped by every unplug
  bool library_loadable = true;
  bool entry_points = true;
  int last_open_error = 0;  // errno of the last refused Open; 0 after a success

  // The programmer that took the request being carried out. Several
  // programmers share the one simulated board behind them.
  const Device* requester = nullptr;
  // The programmer's link to the board comes up link_up_ms after the first
  // link check following power-up or a reset.
  bool link_check_seen = false;
  uint32_t link_check_start = 0;

  enum class Reply { kNone, kReady, kNever };
  HidReport reply{};
  Reply reply_state = Reply::kNone;
  bool busy = false;  // an erase is running; no answer until it ends
  uint32_t busy_start = 0;
  uint32_t busy_ms = 0;

  struct ArmedFault {
    Fault fault;
    uint32_t seen = 0;
    uint32_t fired = 0;
  };
  std::vector<ArmedFault> faults;
  bool no_contact = false;  // a kNoContact fault has hit
  // The id a kOtherChip fault that has hit makes the chip give.
  std::optional<std::array<uint8_t, 3>> other_chip;

  std::vector<SimRequest> requests;
  bool record = true;
  uint64_t exchanges = 0;
  bool unplug_fired = false;

  // The bus (virtual_programmer.cpp).
  OpenHandle* Find(HidHandle handle);
  const OpenHandle* Find(HidHandle handle) const;
  bool Present(std::size_t device) const;
  // The device behind a handle, while it is still on the bus.
  const Device* Live(HidHandle handle) const;
  void PowerUp();
  void Unplug();
  void UnplugIfDue();

  // A request report that reached programmer d (request.cpp). False when
  // the transfer itself fails.
  bool Receive(const Device& d, const uint8_t* report);

  // The faults (faults.cpp).
  std::optional<FaultKind> MatchFault(uint8_t command, uint32_t address);
  bool ReplyFaultStatus(std::optional<FaultKind> fault, uint32_t address);
  void SealReply(std::optional<FaultKind> fault, uint32_t address);

  // The firmware (firmware.cpp).
  void BeginReply(uint8_t command_byte, uint32_t address);
  void ReplyStatus(uint8_t status, uint32_t address);
  // A read-type answer of n data bytes (0..127 or 256) taken from data.
  void ReplyData(uint8_t code, uint32_t address, const uint8_t* data, uint32_t n);
  void ReplyBytes(uint8_t code, uint32_t address, std::initializer_list<uint8_t> bytes);
  void LinkDown();
  void Execute(uint8_t command, uint32_t address, const uint8_t* payload, uint32_t n);
  void CheckLink(uint8_t command, uint32_t address);
  void ReadBlock(uint8_t command, uint32_t address);
  void RangeCrc(uint8_t command, uint32_t address, const uint8_t* payload);
  void WriteStatus(uint8_t command, uint32_t address, uint8_t value);
  void EraseChip(uint8_t command, uint32_t address);
  void ProgramPage(uint8_t command, uint32_t address, const uint8_t* page);
};

}  // namespace rtd::sim
