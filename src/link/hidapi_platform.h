// The HID services of Linux, through hidapi's hidraw backend. Device paths
// are /dev/hidrawN nodes; the user needs read and write access to them
// (see packaging/udev).
#pragma once

#include <memory>
#include <string>

#include "link/hid_platform.h"

namespace rtd {

class HidapiPlatform final : public HidPlatform {
 public:
  HidapiPlatform() = default;
  ~HidapiPlatform() override;
  HidapiPlatform(const HidapiPlatform&) = delete;
  HidapiPlatform& operator=(const HidapiPlatform&) = delete;

  bool LoadLibrary() override;
  // Linked at build time: every entry point is there.
  bool ResolveEntryPoints() override;
  std::vector<std::string> EnumerateInterfaces() override;
  // hidapi reads the ids from sysfs: no device is opened by the search.
  HidCandidates EnumerateWithIds(uint16_t vendor_id, uint16_t product_id) override;
  HidHandle Open(const std::string& path) override;
  // hidapi's own text, which carries the errno text of the failed open(2)
  // (in the program's language, as every system reason is).
  std::string LastOpenError() const override { return last_open_error_; }
  // A flock on the device node (link/file_lock.h).
  std::unique_ptr<DeviceLock> MakeLock() override { return MakeSystemLock(); }
  void Close(HidHandle handle) override;
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override;
  bool GetManufacturerString(HidHandle handle, std::u16string& text) override;
  bool GetProductString(HidHandle handle, std::u16string& text) override;
  bool SetFeature(HidHandle handle, const uint8_t* data, std::size_t length) override;
  bool GetFeature(HidHandle handle, uint8_t* data, std::size_t length) override;

 private:
  bool initialised_ = false;
  std::string last_open_error_;
};

// wchar_t text (UTF-32 here) as UTF-8; an invalid code point becomes U+FFFD.
std::string WideToUtf8(const wchar_t* text);

// wchar_t text (UTF-32 here) as UTF-16 code units, up to the first zero and
// at most max_units long; a character that would not fit whole is left out.
std::u16string WideToUtf16(const wchar_t* text, std::size_t max_units);

}  // namespace rtd
