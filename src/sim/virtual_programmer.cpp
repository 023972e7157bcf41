#include "sim/virtual_programmer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include "core/utf8.h"
#include "link/report.h"
#include "link/transport.h"
#include "sim/chip_lock.h"
#include "sim/sim_flash.h"

namespace rtd::sim {
namespace {

// A get-feature that finds no answer yet still takes one USB frame. Without
// this a poll loop on a clock that only moves with the transfers would never
// see an erase finish or a timeout run out.
constexpr uint32_t kIdlePollUs = 1000;

constexpr std::size_t kInfoSize = 56;
constexpr std::size_t kNameSize = 40;

// Status byte of the answers that carry one.
constexpr uint8_t kOk = 0;
constexpr uint8_t kRefused = 1;

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
  bool locked = false;      // holds a share of the chip's lock
};

void PutLe32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

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

  std::vector<SimRequest> requests;
  bool record = true;
  uint64_t exchanges = 0;
  bool unplug_fired = false;

  OpenHandle* Find(HidHandle handle) {
    for (auto& h : handles)
      if (h.get() == handle) return h.get();
    return nullptr;
  }
  const OpenHandle* Find(HidHandle handle) const {
    for (const auto& h : handles)
      if (h.get() == handle) return h.get();
    return nullptr;
  }
  bool Present(std::size_t device) const {
    return !devices[device].programmer || attached;
  }
  // The device behind a handle, while it is still on the bus.
  const Device* Live(HidHandle handle) const {
    const OpenHandle* h = Find(handle);
    if (h == nullptr || !Present(h->device)) return nullptr;
    if (devices[h->device].programmer && h->generation != generation) return nullptr;
    return &devices[h->device];
  }

  void PowerUp() {
    link_check_seen = false;
    reply_state = Reply::kNone;
    busy = false;
  }
  void Unplug() {
    attached = false;
    ++generation;
    PowerUp();
  }
  void UnplugIfDue() {
    if (config.unplug_after != 0 && !unplug_fired && exchanges >= config.unplug_after) {
      unplug_fired = true;
      Unplug();
    }
  }

  std::optional<FaultKind> MatchFault(uint8_t command, uint32_t address) {
    std::optional<FaultKind> hit;
    for (auto& a : faults) {
      const Fault& f = a.fault;
      if (f.command >= 0 && f.command != (command & 0x7F)) continue;
      if (f.address >= 0 && f.address != int64_t{address}) continue;
      ++a.seen;
      // A lost contact is a state of the board, not a spoilt reply: it
      // takes no turn from the other faults.
      if (f.kind == FaultKind::kNoContact) {
        if (a.seen > f.after) no_contact = true;
        continue;
      }
      if (hit || a.seen <= f.after) continue;
      if (f.count != 0 && a.fired >= f.count) continue;
      ++a.fired;
      hit = f.kind;
    }
    return hit;
  }

  void BeginReply(uint8_t command_byte, uint32_t address) {
    reply.fill(0);
    reply[0] = kReportId;
    reply[1] = command_byte;
    SetReportAddress(reply, address);
  }
  void ReplyStatus(uint8_t status, uint32_t address) { BeginReply(status, address); }
  // A read-type answer of n data bytes (0..127 or 256) taken from data.
  void ReplyData(uint8_t code, uint32_t address, const uint8_t* data, uint32_t n) {
    BeginReply(static_cast<uint8_t>(code | 0x80), address);
    reply[5] = EncodeReportLength(n);
    if (n > 0) std::memcpy(reply.data() + kReportDataOffset, data, n);
  }
  void ReplyBytes(uint8_t code, uint32_t address, std::initializer_list<uint8_t> bytes) {
    ReplyData(code, address, bytes.begin(), static_cast<uint32_t>(bytes.size()));
  }

  void LinkDown() { link_check_seen = false; }

  void Execute(uint8_t command, uint32_t address, const uint8_t* payload, uint32_t n);
  void CheckLink(uint8_t command, uint32_t address);
  void ReadBlock(uint8_t command, uint32_t address);
  void RangeCrc(uint8_t command, uint32_t address, const uint8_t* payload);
  void WriteStatus(uint8_t command, uint32_t address, uint8_t value);
  void EraseChip(uint8_t command, uint32_t address);
  void ProgramPage(uint8_t command, uint32_t address, const uint8_t* page);
};

void VirtualProgrammer::State::Execute(uint8_t command, uint32_t address, const uint8_t* payload,
                                       uint32_t n) {
  if ((command & 0x80) != 0) {
    // Write-type: the programmer reset is the only one.
    if (command == 0x83) {
      LinkDown();
      ReplyStatus(kReplySuccess, address);
    } else {
      ReplyStatus(kReplyParamError, address);
    }
    return;
  }
  switch (command) {
    case 0x01:
      ReplyData(command, address, requester->info.data(), kInfoSize);
      return;
    case 0x40:
      CheckLink(command, address);
      return;
    case 0x41:
      if (no_contact) {
        ReplyBytes(command, address, {kOk, 0xFF, 0xFF, 0xFF, 0xFF});
      } else {
        ReplyBytes(command, address, {kOk, config.jedec[0], config.jedec[1], config.jedec[2], 0});
      }
      return;
    case 0x42:
      ReadBlock(command, address);
      return;
    case 0x43:
      if (n != 3) break;
      RangeCrc(command, address, payload);
      return;
    case 0x44:
      flash.set_write_enabled(true);
      ReplyBytes(command, address, {kOk});
      return;
    case 0x45:
      flash.set_write_enabled(false);
      ReplyBytes(command, address, {kOk});
      return;
    case 0x46:
      ReplyBytes(command, address, {kOk, no_contact ? uint8_t{0xFF} : flash.ReadStatus()});
      return;
    case 0x47:
      if (n != 1) break;
      WriteStatus(command, address, payload[0]);
      return;
    case 0x48:
      EraseChip(command, address);
      return;
    case 0x49:
    case 0x4A:
      if (n != kReportDataSize) break;
      ProgramPage(command, address, payload);
      return;
    case 0x4B:
      // The controller restarts and drops the programmer's link to the flash.
      LinkDown();
      ReplyBytes(command, address, {kOk});
      return;
    case 0x70:
      ReplyData(command, address, config.touch.data(), static_cast<uint32_t>(config.touch.size()));
      return;
    default:
      break;
  }
  ReplyStatus(kReplyParamError, address);
}

void VirtualProgrammer::State::CheckLink(uint8_t command, uint32_t address) {
  const uint32_t now = clock.TickCount();
  if (!link_check_seen) {
    link_check_seen = true;
    link_check_start = now;
  }
  const bool up = now - link_check_start >= config.link_up_ms;
  ReplyBytes(command, address, {static_cast<uint8_t>(up ? 0 : 1)});
}

void VirtualProgrammer::State::ReadBlock(uint8_t command, uint32_t address) {
  BeginReply(static_cast<uint8_t>(command | 0x80), address);
  reply[5] = EncodeReportLength(kReportDataSize);
  if (no_contact) {
    std::memset(reply.data() + kReportDataOffset, 0xFF, kReportDataSize);
  } else {
    flash.Read(address, reply.data() + kReportDataOffset, kReportDataSize);
  }
}

void VirtualProgrammer::State::RangeCrc(uint8_t command, uint32_t address,
                                        const uint8_t* payload) {
  const uint32_t last = uint32_t{payload[0]} << 16 | uint32_t{payload[1]} << 8 | payload[2];
  if (last < address || last >= flash.size()) {
    ReplyBytes(command, address, {kRefused});
  } else if (no_contact) {
    // The programmer's CRC runs over what it reads: 0xFF throughout.
    uint8_t crc = 0;
    uint8_t block[256];
    std::memset(block, 0xFF, sizeof block);
    for (uint32_t left = last - address + 1; left > 0;) {
      const uint32_t piece = std::min<uint32_t>(left, sizeof block);
      crc = SimCrc8(crc, block, piece);
      left -= piece;
    }
    ReplyBytes(command, address, {kOk, crc});
  } else {
    ReplyBytes(command, address, {kOk, flash.Crc(address, last)});
  }
}

void VirtualProgrammer::State::WriteStatus(uint8_t command, uint32_t address, uint8_t value) {
  if (!flash.write_enabled()) {
    ReplyBytes(command, address, {kRefused});
    return;
  }
  flash.WriteStatus(value);
  flash.set_write_enabled(false);
  ReplyBytes(command, address, {kOk});
}

void VirtualProgrammer::State::EraseChip(uint8_t command, uint32_t address) {
  if (!flash.write_enabled() || flash.Protected()) {
    ReplyBytes(command, address, {kRefused});
    return;
  }
  flash.EraseChip();
  flash.set_write_enabled(false);
  busy = config.erase_ms != 0;
  busy_start = clock.TickCount();
  busy_ms = config.erase_ms;
  ReplyBytes(command, address, {kOk});
}

void VirtualProgrammer::State::ProgramPage(uint8_t command, uint32_t address,
                                           const uint8_t* page) {
  // SST parts (manufacturer 0xBF) take their pages through the other
  // firmware routine; each routine refuses the other kind of chip.
  const uint8_t wanted = config.jedec[0] == 0xBF ? 0x4A : 0x49;
  if (command != wanted || !flash.write_enabled() || flash.Protected()) {
    ReplyBytes(command, address, {kRefused});
    return;
  }
  flash.ProgramPage(address, page);
  flash.set_write_enabled(false);
  ReplyBytes(command, address, {kOk});
}

VirtualProgrammer::VirtualProgrammer(SimConfig config, Clock& clock)
    : state_(std::make_unique<State>(std::move(config), clock)) {
  State& s = *state_;
  SimConfig& c = s.config;
  if (c.touch.size() > 127) c.touch.resize(127);
  s.attached = c.attached;
  s.library_loadable = c.library_loadable;
  s.entry_points = c.entry_points;
  for (const auto& f : c.faults) s.faults.push_back({f, 0, 0});
  // On failure the device keeps running on the in-memory chip; the front
  // end reports ImageError().
  if (!c.image.empty() && s.flash.AttachFile(c.image, s.image_error))
    s.chip_lock = ChipLock(c.image);


  auto add_decoy = [&s](const Decoy& d) {
    Device dev;
    dev.vendor_id = d.vendor_id;
    dev.product_id = d.product_id;
    dev.manufacturer = Utf8ToUtf16(d.manufacturer);
    dev.product = Utf8ToUtf16(d.product);
    dev.openable = d.openable;
    dev.strings_readable = d.strings_readable;
    s.devices.push_back(std::move(dev));
  };
  for (const auto& d : c.decoys)
    if (d.before_programmer) add_decoy(d);
  s.programmer = s.devices.size();
  c.programmers = std::clamp<uint32_t>(c.programmers, 1, kMaxProgrammers);
  for (uint32_t k = 0; k < c.programmers; ++k) {
    Device prog;
    prog.vendor_id = kProgrammerVendorId;
    prog.product_id = kProgrammerProductId;
    prog.manufacturer = u"QEL";
    prog.product = u"ZEZ2662-IDAD";
    prog.programmer = true;
    PutLe32(prog.info.data() + 0, c.app_version);
    PutLe32(prog.info.data() + 4, c.serial + k);
    PutLe32(prog.info.data() + 8, c.boot_version);
    std::memcpy(prog.info.data() + 16, c.name.data(), std::min(c.name.size(), kNameSize));
    s.devices.push_back(std::move(prog));
  }
  for (const auto& d : c.decoys)
    if (!d.before_programmer) add_decoy(d);
  for (std::size_t i = 0; i < s.devices.size(); ++i)
    s.devices[i].path = "sim:hid/" + std::to_string(i) +
                        (s.devices[i].programmer ? "/programmer" : "/decoy");
}

VirtualProgrammer::~VirtualProgrammer() {
  if (state_->flash_handed_out) state_->flash.Flush();
}

bool VirtualProgrammer::LoadLibrary() { return state_->library_loadable; }
bool VirtualProgrammer::ResolveEntryPoints() { return state_->entry_points; }
void VirtualProgrammer::SetLibraryLoadable(bool loadable) { state_->library_loadable = loadable; }
void VirtualProgrammer::SetEntryPointsPresent(bool present) { state_->entry_points = present; }

std::vector<std::string> VirtualProgrammer::EnumerateInterfaces() {
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < state_->devices.size(); ++i)
    if (state_->Present(i)) paths.push_back(state_->devices[i].path);
  return paths;
}

HidCandidates VirtualProgrammer::EnumerateWithIds(uint16_t vendor_id, uint16_t product_id) {
  HidCandidates found;
  found.ids_known = true;
  for (std::size_t i = 0; i < state_->devices.size(); ++i) {
    const Device& d = state_->devices[i];
    if (state_->Present(i) && d.vendor_id == vendor_id && d.product_id == product_id)
      found.paths.push_back(d.path);
  }
  return found;
}

HidHandle VirtualProgrammer::Open(const std::string& path) {
  State& s = *state_;
  s.last_open_error = ENOENT;
  for (std::size_t i = 0; i < s.devices.size(); ++i) {
    if (s.devices[i].path != path || !s.Present(i)) continue;
    if (!s.devices[i].openable) {
      s.last_open_error = EACCES;
      return nullptr;
    }
    s.last_open_error = 0;
    s.handles.push_back(std::make_unique<OpenHandle>(OpenHandle{i, s.generation}));
    return s.handles.back().get();
  }
  return nullptr;
}

std::string VirtualProgrammer::LastOpenError() const {
  if (state_->last_open_error == 0) return {};
  return std::generic_category().message(state_->last_open_error);
}

LockAttempt VirtualProgrammer::Lock(HidHandle handle) {
  State& s = *state_;
  OpenHandle* h = s.Find(handle);
  if (h == nullptr) return {LockOutcome::kFailed, {}, "not an open device"};
  if (h->locked || !s.devices[h->device].programmer) return {};
  bool first = false;
  const LockAttempt attempt = s.chip_lock.Take(&first);
  h->locked = attempt.outcome == LockOutcome::kTaken;
  if (first) s.flash.Reload();
  return attempt;
}

void VirtualProgrammer::Close(HidHandle handle) {
  const OpenHandle* open = state_->Find(handle);
  if (open != nullptr && open->locked) state_->chip_lock.Give();
  auto& hs = state_->handles;
  hs.erase(std::remove_if(hs.begin(), hs.end(), [handle](const auto& h) { return h.get() == handle; }),
           hs.end());
}

bool VirtualProgrammer::GetAttributes(HidHandle handle, HidAttributes& attributes) {
  const Device* d = state_->Live(handle);
  if (d == nullptr) return false;
  attributes.VendorID = d->vendor_id;
  attributes.ProductID = d->product_id;
  return true;
}

bool VirtualProgrammer::GetManufacturerString(HidHandle handle, std::u16string& text) {
  const Device* d = state_->Live(handle);
  if (d == nullptr || !d->strings_readable) return false;
  text = d->manufacturer;
  return true;
}

bool VirtualProgrammer::GetProductString(HidHandle handle, std::u16string& text) {
  const Device* d = state_->Live(handle);
  if (d == nullptr || !d->strings_readable) return false;
  text = d->product;
  return true;
}

bool VirtualProgrammer::SetFeature(HidHandle handle, const uint8_t* data, std::size_t length) {
  State& s = *state_;
  s.clock.SleepMicroseconds(s.config.transfer_us);
  const Device* d = s.Live(handle);
  if (d == nullptr || !d->programmer) return false;
  if (data == nullptr || length != kReportSize || data[0] != kReportId) return false;
  s.UnplugIfDue();
  if (!s.attached) return false;

  const uint8_t command = data[1];
  const uint32_t address = uint32_t{data[2]} << 16 | uint32_t{data[3]} << 8 | data[4];
  const uint8_t length_byte = data[5];
  const uint32_t n = DecodeReportLength(length_byte);
  const uint8_t* payload = data + kReportDataOffset;

  const std::optional<FaultKind> fault = s.MatchFault(command, address);
  if (fault == FaultKind::kTransferFailure) return false;

  ++s.exchanges;
  if (s.record) {
    SimRequest r;
    r.command = command;
    r.address = address;
    r.length = n;
    r.payload.assign(payload, payload + n);
    s.requests.push_back(std::move(r));
  }

  if (fault == FaultKind::kTimeout) {
    s.reply_state = State::Reply::kNever;
    return true;
  }
  s.reply_state = State::Reply::kReady;
  const bool malformed = (length_byte & 0x80) != 0 && length_byte != 0x80;
  if (FrameChecksum(0, data + 1, kReportChecksumOffset - 1) != data[kReportChecksumOffset] ||
      malformed) {
    s.ReplyStatus(kReplyParamError, address);
  } else if (fault == FaultKind::kStatus253) {
    s.ReplyStatus(kReplyFailed, address);
  } else if (fault == FaultKind::kStatus254) {
    s.ReplyStatus(kReplyParamError, address);
  } else {
    s.requester = d;
    s.Execute(command, address, payload, n);
  }

  if (fault == FaultKind::kWrongAddress) SetReportAddress(s.reply, address ^ 0x000101);
  if (fault == FaultKind::kShortBlock && s.reply[1] >= 0x80 && s.reply[1] < kReplyFailed) {
    const uint32_t had = DecodeReportLength(s.reply[5]);
    const uint32_t keep = had == kReportDataSize ? 100 : (had > 0 ? had - 1 : 0);
    s.reply[5] = static_cast<uint8_t>(keep);
    std::memset(s.reply.data() + kReportDataOffset + keep, 0, kReportDataSize - keep);
  }
  if (fault == FaultKind::kFlippedBit && s.reply[1] >= 0x80 && s.reply[1] < kReplyFailed &&
      DecodeReportLength(s.reply[5]) > 0)
    s.reply[kReportDataOffset] ^= 0x01;
  s.reply[kReportChecksumOffset] = ReportChecksum(s.reply);
  if (fault == FaultKind::kBadChecksum) s.reply[kReportChecksumOffset] ^= 0x5A;
  return true;
}

bool VirtualProgrammer::GetFeature(HidHandle handle, uint8_t* data, std::size_t length) {
  State& s = *state_;
  s.clock.SleepMicroseconds(s.config.transfer_us);
  const Device* d = s.Live(handle);
  if (d == nullptr || !d->programmer) return false;
  if (data == nullptr || length != kReportSize || data[0] != kReportId) return false;

  bool ready = s.reply_state == State::Reply::kReady;
  if (ready && s.busy) {
    if (s.clock.TickCount() - s.busy_start < s.busy_ms) {
      ready = false;
    } else {
      s.busy = false;
    }
  }
  if (!ready) {
    std::memset(data, 0, kReportSize);
    data[0] = kReportId;
    if (s.config.transfer_us < kIdlePollUs)
      s.clock.SleepMicroseconds(kIdlePollUs - s.config.transfer_us);
    return true;
  }
  std::memcpy(data, s.reply.data(), kReportSize);
  s.UnplugIfDue();
  return true;
}

void VirtualProgrammer::Plug() { state_->attached = true; }
void VirtualProgrammer::Unplug() {
  if (state_->attached) state_->Unplug();
}
bool VirtualProgrammer::Attached() const { return state_->attached; }

void VirtualProgrammer::AddFault(const Fault& fault) { state_->faults.push_back({fault, 0, 0}); }
void VirtualProgrammer::ClearFaults() { state_->faults.clear(); }

std::span<uint8_t> VirtualProgrammer::Flash() {
  state_->flash_handed_out = true;
  return state_->flash.cells();
}
uint8_t VirtualProgrammer::StatusRegister() const { return state_->flash.ReadStatus(); }
void VirtualProgrammer::SetStatusRegister(uint8_t value) { state_->flash.WriteStatus(value); }
bool VirtualProgrammer::WriteEnabled() const { return state_->flash.write_enabled(); }
void VirtualProgrammer::Flush() { state_->flash.Flush(); }
const std::string& VirtualProgrammer::ImageError() const { return state_->image_error; }

const std::vector<SimRequest>& VirtualProgrammer::Requests() const { return state_->requests; }
void VirtualProgrammer::ClearRequests() { state_->requests.clear(); }
void VirtualProgrammer::SetRecordRequests(bool on) { state_->record = on; }
uint64_t VirtualProgrammer::Exchanges() const { return state_->exchanges; }

const SimConfig& VirtualProgrammer::Config() const { return state_->config; }

std::string VirtualProgrammer::ProgrammerPath() const {
  return state_->devices[state_->programmer].path;
}

std::string VirtualProgrammer::HandlePath(HidHandle handle) const {
  const OpenHandle* h = state_->Find(handle);
  return h == nullptr ? std::string() : state_->devices[h->device].path;
}

std::size_t VirtualProgrammer::OpenHandles() const { return state_->handles.size(); }

}  // namespace rtd::sim
