// A scripted HID platform: devices with ids, strings and failure flags, and
// a queue of replies for the programmer's get-feature transfers.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "link/hid_platform.h"
#include "link/report.h"

namespace rtd::test {

struct FakeDevice {
  std::string path;
  uint16_t vendor_id = 0xFFFF;
  uint16_t product_id = 0x00FF;
  std::u16string manufacturer = u"QEL";
  std::u16string product = u"ZEZ2662-IDAD";
  bool present = true;
  bool openable = true;
  bool attributes_readable = true;
  bool strings_readable = true;
  // Another program holds its lock: this one. Set on a device whose lock
  // this program holds, it refuses the next take of it (a node made anew
  // at that path, which another program locked first) and the lock held is
  // kept, as the system's lock does.
  std::optional<LockHolder> held_by;
  // Its lock cannot be taken at all: the system's reason (likewise).
  std::string lock_failure;
};

// A reply with a correct checksum.
inline HidReport MakeReply(uint8_t command, uint32_t address,
                           const std::vector<uint8_t>& data = {}, int length_byte = -1) {
  HidReport r{};
  r[0] = kReportId;
  r[1] = command;
  SetReportAddress(r, address);
  r[5] = length_byte >= 0 ? static_cast<uint8_t>(length_byte)
                          : EncodeReportLength(static_cast<uint32_t>(data.size()));
  std::copy_n(data.begin(), std::min(data.size(), kReportDataSize), r.begin() + kReportDataOffset);
  r[kReportChecksumOffset] = ReportChecksum(r);
  return r;
}

class FakeHid : public HidPlatform {
 public:
  explicit FakeHid(ManualClock* clock = nullptr) : clock_(clock) {}

  std::vector<FakeDevice> devices;
  bool library_loadable = true;
  bool entry_points = true;
  // List only the devices with the searched ids, as hidapi does; otherwise
  // the search gets every device and checks the ids after opening.
  bool filters_by_ids = false;
  // The system's reason for a device that cannot be opened.
  std::string open_error = "Permission denied";
  bool set_feature_fails = false;
  uint32_t set_feature_ms = 0;  // time the set-feature transfer takes
  // Answers to get-feature, in order; nullopt is a failed transfer. When the
  // queue is empty the programmer has not answered yet (command byte 0).
  std::deque<std::optional<HidReport>> replies;

  // What happened.
  int load_calls = 0;
  int enumerations = 0;
  int open_handles = 0;
  std::vector<std::size_t> opened;  // device index of every successful open
  std::vector<HidReport> sent;
  int string_reads = 0;                  // requests for a device's strings
  std::map<std::string, int> claims;     // this program's locks now, by path

  FakeDevice& Add(FakeDevice d = {}) {
    if (d.path.empty()) d.path = "/dev/hidraw" + std::to_string(devices.size());
    devices.push_back(std::move(d));
    return devices.back();
  }
  void Answer(const HidReport& r) { replies.emplace_back(r); }
  void FailTransfer() { replies.emplace_back(std::nullopt); }

  bool LoadLibrary() override {
    ++load_calls;
    return library_loadable;
  }
  bool ResolveEntryPoints() override {
    return entry_points;
  }
  std::vector<std::string> EnumerateInterfaces() override {
    ++enumerations;
    std::vector<std::string> paths;
    for (const auto& d : devices)
      if (d.present) paths.push_back(d.path);
    return paths;
  }
  HidCandidates EnumerateWithIds(uint16_t vendor_id, uint16_t product_id) override {
    if (!filters_by_ids) return HidPlatform::EnumerateWithIds(vendor_id, product_id);
    ++enumerations;
    HidCandidates found{{}, true};
    for (const auto& d : devices)
      if (d.present && d.vendor_id == vendor_id && d.product_id == product_id)
        found.paths.push_back(d.path);
    return found;
  }
  std::string LastOpenError() const override { return last_open_error_; }
  HidHandle Open(const std::string& path) override {
    last_open_error_.clear();
    for (std::size_t i = 0; i < devices.size(); ++i) {
      if (devices[i].path != path || !devices[i].present) continue;
      if (!devices[i].openable) {
        last_open_error_ = open_error;
        return nullptr;
      }
      ++open_handles;
      opened.push_back(i);
      return reinterpret_cast<HidHandle>(i + 1);
    }
    return nullptr;
  }
  std::unique_ptr<DeviceLock> MakeLock() override { return std::make_unique<Lock>(*this); }
  void Close(HidHandle handle) override {
    if (handle != nullptr) --open_handles;
  }
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override {
    const FakeDevice& d = Dev(handle);
    if (!d.attributes_readable) return false;
    attributes.VendorID = d.vendor_id;
    attributes.ProductID = d.product_id;
    return true;
  }
  bool GetManufacturerString(HidHandle handle, std::u16string& text) override {
    ++string_reads;
    if (!Dev(handle).strings_readable) return false;
    text = Dev(handle).manufacturer;
    return true;
  }
  bool GetProductString(HidHandle handle, std::u16string& text) override {
    ++string_reads;
    if (!Dev(handle).strings_readable) return false;
    text = Dev(handle).product;
    return true;
  }
  bool SetFeature(HidHandle handle, const uint8_t* data, std::size_t length) override {
    if (!Dev(handle).present || set_feature_fails || length != kReportSize) return false;
    HidReport r;
    std::memcpy(r.data(), data, kReportSize);
    sent.push_back(r);
    if (clock_ != nullptr) clock_->AdvanceMs(set_feature_ms);
    return true;
  }
  bool GetFeature(HidHandle handle, uint8_t* data, std::size_t length) override {
    if (!Dev(handle).present || length != kReportSize || data[0] != kReportId) return false;
    if (replies.empty()) {
      std::memset(data + 1, 0, kReportSize - 1);
      return true;
    }
    const std::optional<HidReport> r = replies.front();
    replies.pop_front();
    if (!r) return false;
    std::memcpy(data, r->data(), kReportSize);
    return true;
  }

 private:
  // A device's lock as the devices say: held by another program, failing,
  // or this program's (counted in claims).
  class Lock final : public DeviceLock {
   public:
    explicit Lock(FakeHid& hid) : hid_(hid) {}
    ~Lock() override { Release(); }
    LockAttempt Take(const std::string& path) override {
      if (path != path_) Release();
      for (const FakeDevice& d : hid_.devices) {
        if (d.path != path) continue;
        if (d.held_by) return {LockOutcome::kInUse, *d.held_by, {}, {}};
        if (!d.lock_failure.empty()) return {LockOutcome::kFailed, {}, d.lock_failure, {}};
      }
      if (path == path_) return {};
      path_ = path;
      ++hid_.claims[path];
      return {};
    }
    void Release() override {
      if (!path_.empty() && --hid_.claims[path_] == 0) hid_.claims.erase(path_);
      path_.clear();
    }

   private:
    FakeHid& hid_;
    std::string path_;
  };

  FakeDevice& Dev(HidHandle handle) { return devices.at(reinterpret_cast<std::size_t>(handle) - 1); }
  ManualClock* clock_;
  std::string last_open_error_;
};

}  // namespace rtd::test
