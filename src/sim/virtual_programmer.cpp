// The virtual bus: the devices on it (programmers and decoys), their
// handles, the cable and the HID library, and the feature transfers that
// carry a programmer's requests and answers.
#include "sim/virtual_programmer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "core/utf8.h"
#include "link/transport.h"
#include "sim/programmer_state.h"

namespace rtd::sim {
namespace {

// A get-feature that finds no answer yet still takes one USB frame. Without
// this a poll loop on a clock that only moves with the transfers would never
// see an erase finish or a timeout run out.
constexpr uint32_t kIdlePollUs = 1000;

constexpr std::size_t kNameSize = 40;

void PutLe32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

OpenHandle* VirtualProgrammer::State::Find(HidHandle handle) {
  for (auto& h : handles)
    if (h.get() == handle) return h.get();
  return nullptr;
}

const OpenHandle* VirtualProgrammer::State::Find(HidHandle handle) const {
  for (const auto& h : handles)
    if (h.get() == handle) return h.get();
  return nullptr;
}

bool VirtualProgrammer::State::Present(std::size_t device) const {
  return !devices[device].programmer || attached;
}

const Device* VirtualProgrammer::State::Live(HidHandle handle) const {
  const OpenHandle* h = Find(handle);
  if (h == nullptr || !Present(h->device)) return nullptr;
  if (devices[h->device].programmer && h->generation != generation) return nullptr;
  return &devices[h->device];
}

void VirtualProgrammer::State::PowerUp() {
  link_check_seen = false;
  reply_state = Reply::kNone;
  busy = false;
}

void VirtualProgrammer::State::Unplug() {
  attached = false;
  ++generation;
  PowerUp();
}

void VirtualProgrammer::State::UnplugIfDue() {
  if (config.unplug_after != 0 && !unplug_fired && exchanges >= config.unplug_after) {
    unplug_fired = true;
    Unplug();
  }
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

// One claim on the bus: a share of the chip's lock while it is on a
// programmer's path.
class VirtualProgrammer::BusLock final : public DeviceLock {
 public:
  explicit BusLock(State& state) : state_(state) {}
  ~BusLock() override { Release(); }
  BusLock(const BusLock&) = delete;
  BusLock& operator=(const BusLock&) = delete;

  LockAttempt Take(const std::string& path) override {
    if (sharing_ && path == path_) return {};
    Release();
    const bool programmer =
        std::any_of(state_.devices.begin(), state_.devices.end(),
                    [&path](const Device& d) { return d.programmer && d.path == path; });
    if (!programmer) return {};
    // The PC's side refusing, as it refuses a lock on an image in a folder
    // the user may not search.
    if (!state_.config.lockable)
      return {LockOutcome::kFailed, {}, std::generic_category().message(EACCES), {}};
    bool first = false;
    const LockAttempt attempt = state_.chip_lock.Take(&first);
    sharing_ = attempt.outcome == LockOutcome::kTaken;
    if (sharing_) path_ = path;
    if (first) state_.flash.Reload();
    return attempt;
  }
  void Release() override {
    if (sharing_) state_.chip_lock.Give();
    sharing_ = false;
    path_.clear();
  }

 private:
  State& state_;
  bool sharing_ = false;
  std::string path_;
};

std::unique_ptr<DeviceLock> VirtualProgrammer::MakeLock() {
  return std::make_unique<BusLock>(*state_);
}

void VirtualProgrammer::Close(HidHandle handle) {
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

  return s.Receive(*d, data);
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
