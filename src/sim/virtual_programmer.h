// The virtual programmer: a USB HID platform whose one (or more) devices
// answer every command as the real programmer's firmware does, with an SPI
// NOR flash behind it, a board controller, a touch controller, and faults
// that can be injected on purpose. Every program of the project runs on it
// with --simulate.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "link/hid_platform.h"

namespace rtd::sim {

enum class FaultKind {
  kTimeout,         // the reply never comes (command byte stays 0)
  kBadChecksum,     // the reply's checksum byte is wrong
  kWrongAddress,    // the reply echoes another address
  kStatus253,       // the reply is the status "operation failed"
  kStatus254,       // the reply is the status "parameter error"
  kShortBlock,      // the reply carries fewer data bytes than asked
  kTransferFailure,  // the set-feature transfer itself fails (cable pulled)
  kFlippedBit,       // the answer's first data byte arrives with bit 0 flipped (poor contact)
  // The clip's data-out pin stops touching: from the hit on, every byte read
  // from the chip arrives as 0xFF (id, data, status, and the programmer's
  // CRC over them), while commands still reach the chip, so erases and page
  // writes take effect. Lasts for good once hit; count does not apply.
  kNoContact,
  // The clip was moved to another board: from the hit on, the JEDEC id reads
  // as the fault's jedec (000000 by default: a board whose chip does not
  // answer). Only the id changes; the content, the status and the CRC stay
  // this chip's, so an erase that gets through shows in the image. Lasts
  // for good once hit; count does not apply.
  kOtherChip
};

// One injected fault. It fires on the requests that match command and
// address, skipping the first `after` matches, then `count` times (0: on
// every match from then on).
struct Fault {
  FaultKind kind = FaultKind::kTimeout;
  int command = -1;       // request command code without the 0x80 bit; -1: any
  int64_t address = -1;   // request address; -1: any
  uint32_t after = 0;
  uint32_t count = 1;
  std::array<uint8_t, 3> jedec{};  // the id a kOtherChip fault makes the chip give

  friend bool operator==(const Fault&, const Fault&) = default;
};

// A device on the bus that is not (quite) the programmer. It never takes a
// feature report: both transfers fail on it. Its strings are UTF-8 here.
struct Decoy {
  uint16_t vendor_id = 0xFFFF;
  uint16_t product_id = 0x00FF;
  std::string manufacturer = "QEL";
  std::string product = "ZEZ2662-IDAD";
  bool openable = true;
  bool strings_readable = true;
  bool before_programmer = true;  // enumerated ahead of the programmer

  friend bool operator==(const Decoy&, const Decoy&) = default;
};

// Most programmers the virtual bus presents at once.
inline constexpr uint32_t kMaxProgrammers = 8;

struct SimConfig {
  std::array<uint8_t, 3> jedec{0xEF, 0x40, 0x13};  // W25Q40: 512 KiB
  uint32_t size = 512 * 1024;
  uint8_t status = 0x00;          // status register at power-up
  std::string image;              // backing file of the flash content; empty: none
  uint32_t link_up_ms = 0;        // link to the board comes up this long after the first 0x40
  uint32_t erase_ms = 50;         // chip erase duration
  uint32_t transfer_us = 0;       // latency of each feature-report transfer
  std::vector<uint8_t> touch{0x10, 0x00, 0x20, 0x00, 0x30, 0x00, 0x40, 0x00, 0xAB, 0xCD, 0x07};
  bool attached = true;           // the programmer is plugged in
  std::string name = "RTD2662 programmer";
  uint32_t serial = 12345;        // the first programmer's; the others count on from it
  uint32_t programmers = 1;       // programmers on the bus, 1 to kMaxProgrammers
  uint32_t app_version = 105;     // version x 100; 0: no application loaded
  uint32_t boot_version = 101;
  bool library_loadable = true;   // the HID library can be loaded
  bool entry_points = true;       // and all its entry points resolve
  bool lockable = true;           // the PC's lock on a programmer can be taken
  uint32_t unplug_after = 0;      // unplug after this many exchanges; 0: never
  std::vector<Fault> faults;
  std::vector<Decoy> decoys;
};

// Reads key=value lines over the values already in config ('#' at the start
// of a line or after a blank starts a comment; fault= and decoy= lines add
// one each). False with a message naming the line on anything it does not
// understand, and config is then left as it was.
bool ParseSimConfig(std::string_view text, SimConfig& config, std::string& error);
// The same from a file; a relative image path is taken from the file's
// directory.
bool LoadSimConfig(const std::string& path, SimConfig& config, std::string& error);

// One request as the device received it.
struct SimRequest {
  uint8_t command = 0;   // byte 1 as sent (write-type commands carry 0x80)
  uint32_t address = 0;
  uint32_t length = 0;   // decoded length
  std::vector<uint8_t> payload;
};

class VirtualProgrammer : public HidPlatform {
 public:
  VirtualProgrammer(SimConfig config, Clock& clock);
  ~VirtualProgrammer() override;

  // HidPlatform
  bool LoadLibrary() override;
  bool ResolveEntryPoints() override;
  std::vector<std::string> EnumerateInterfaces() override;
  // Like hidapi on Linux: the ids are known without opening anything.
  HidCandidates EnumerateWithIds(uint16_t vendor_id, uint16_t product_id) override;
  HidHandle Open(const std::string& path) override;
  // An unopenable device refuses as a device node without access rights does.
  std::string LastOpenError() const override;
  // A programmer's lock is the lock of the chip in the image file
  // (sim/chip_lock.h), when there is one: two runs on one file exclude each
  // other. A run that takes it reads the chip from the file again. A decoy
  // has no lock to take.
  std::unique_ptr<DeviceLock> MakeLock() override;
  void Close(HidHandle handle) override;
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override;
  bool GetManufacturerString(HidHandle handle, std::u16string& text) override;
  bool GetProductString(HidHandle handle, std::u16string& text) override;
  bool SetFeature(HidHandle handle, const uint8_t* data, std::size_t length) override;
  bool GetFeature(HidHandle handle, uint8_t* data, std::size_t length) override;

  // The cable: an unplugged programmer vanishes from the bus and its open
  // handles fail; plugging it back makes it enumerable again.
  void Plug();
  void Unplug();
  bool Attached() const;

  // The HID library as LoadLibrary/ResolveEntryPoints will report it from
  // now on (the transport retries both at its next transfer).
  void SetLibraryLoadable(bool loadable);
  void SetEntryPointsPresent(bool present);

  void AddFault(const Fault& fault);
  void ClearFaults();

  // The flash chip's content and status register. The content may be
  // changed in place (not resized); such changes reach the backing file at
  // Flush() or destruction. StatusRegister() reads as command 0x46 answers
  // (WEL included); SetStatusRegister() keeps the writable bits (0xFC).
  std::span<uint8_t> Flash();
  uint8_t StatusRegister() const;
  void SetStatusRegister(uint8_t value);
  // The write-enable latch (WEL).
  bool WriteEnabled() const;
  // Writes the flash content to the backing file, if there is one.
  void Flush();
  // Why the backing file could not be used (the device then runs on an
  // erased chip in memory); empty when all is well or there is none.
  const std::string& ImageError() const;

  // Every request received, in order (tests look at what was sent).
  const std::vector<SimRequest>& Requests() const;
  void ClearRequests();
  // Recording is on at start; long benchmark runs switch it off.
  void SetRecordRequests(bool on);
  // Number of request/reply exchanges so far.
  uint64_t Exchanges() const;

  const SimConfig& Config() const;

  // Enumeration path of the (first) programmer itself, and of the device behind an
  // open handle (empty for a handle that is not open).
  std::string ProgrammerPath() const;
  std::string HandlePath(HidHandle handle) const;
  // Handles opened and not yet closed.
  std::size_t OpenHandles() const;

 private:
  struct State;
  class BusLock;
  std::unique_ptr<State> state_;
};

}  // namespace rtd::sim
