#include "link/hidapi_platform.h"

#include <hidapi.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "core/system_error_text.h"
#include "core/utf8.h"
#include "i18n/lang.h"

namespace rtd {

namespace {

hid_device* Device(HidHandle handle) { return static_cast<hid_device*>(handle); }

// A USB string descriptor carries at most 126 UTF-16 units; this is room to spare.
constexpr std::size_t kMaxStringUnits = 255;

// hidapi ends its message with the system's reason in the process's language
// (the environment's); that end is told in the program's language instead,
// and so is its failed open of a path, the message the user meets (a
// programmer without the udev rule).
std::string InProgramsLanguage(std::string message, int error) {
  if (error == 0) return message;
  const std::string said = std::string(": ") + std::strerror(error);
  if (message.size() < said.size() ||
      message.compare(message.size() - said.size(), said.size(), said) != 0)
    return message;
  message.resize(message.size() - said.size());
  constexpr std::string_view kOpenFailed = "Failed to open a device with path ";
  if (message.starts_with(kOpenFailed))
    message = PickLangText(LANG_TEXT("Не удалось открыть устройство ",
                                     "Failed to open a device with path ")) +
              message.substr(kOpenFailed.size());
  return message + ": " + SystemErrorText(error);
}

}  // namespace

std::u16string WideToUtf16(const wchar_t* text, std::size_t max_units) {
  std::u16string result;
  if (text == nullptr) return result;
  for (const wchar_t* p = text; *p != 0; ++p) {
    auto code = static_cast<uint32_t>(*p);
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    if (code < 0x10000) {
      if (result.size() + 1 > max_units) break;
      result.push_back(static_cast<char16_t>(code));
    } else {
      if (result.size() + 2 > max_units) break;
      code -= 0x10000;
      result.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      result.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    }
  }
  return result;
}

HidapiPlatform::~HidapiPlatform() {
  if (initialised_) hid_exit();
}

bool HidapiPlatform::LoadLibrary() {
  if (!initialised_) initialised_ = hid_init() == 0;
  return initialised_;
}

bool HidapiPlatform::ResolveEntryPoints() { return true; }

std::string WideToUtf8(const wchar_t* text) {
  std::string result;
  if (text == nullptr) return result;
  for (const wchar_t* p = text; *p != 0; ++p) {
    auto code = static_cast<uint32_t>(*p);
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    AppendUtf8(result, static_cast<char32_t>(code));
  }
  return result;
}

namespace {

// Paths of hid_enumerate(vendor_id, product_id); 0, 0 lists every device.
std::vector<std::string> EnumeratePaths(uint16_t vendor_id, uint16_t product_id) {
  std::vector<std::string> paths;
  hid_device_info* list = hid_enumerate(vendor_id, product_id);
  for (const hid_device_info* info = list; info != nullptr; info = info->next) {
    // hidraw lists a device once per top-level usage, all with one path;
    // opening it once is enough.
    if (info->path != nullptr && std::find(paths.begin(), paths.end(), info->path) == paths.end())
      paths.emplace_back(info->path);
  }
  hid_free_enumeration(list);
  return paths;
}

}  // namespace

std::vector<std::string> HidapiPlatform::EnumerateInterfaces() { return EnumeratePaths(0, 0); }

HidCandidates HidapiPlatform::EnumerateWithIds(uint16_t vendor_id, uint16_t product_id) {
  // 0 is hidapi's wildcard; a search for id 0 must not list everything as
  // carrying it.
  if (vendor_id == 0 || product_id == 0) return {EnumerateInterfaces(), false};
  return {EnumeratePaths(vendor_id, product_id), true};
}

HidHandle HidapiPlatform::Open(const std::string& path) {
  errno = 0;
  hid_device* device = hid_open_path(path.c_str());
  const int error = errno;
  last_open_error_.clear();
  // hid_error(NULL) holds the reason of the last failed call without a device.
  if (device == nullptr)
    last_open_error_ = InProgramsLanguage(WideToUtf8(hid_error(nullptr)), error);
  return device;
}

void HidapiPlatform::Close(HidHandle handle) {
  if (handle != nullptr) hid_close(Device(handle));
}

bool HidapiPlatform::GetAttributes(HidHandle handle, HidAttributes& attributes) {
  // Owned by the device; valid until it is closed.
  const hid_device_info* info = hid_get_device_info(Device(handle));
  if (info == nullptr) return false;
  attributes.VendorID = info->vendor_id;
  attributes.ProductID = info->product_id;
  return true;
}

bool HidapiPlatform::GetManufacturerString(HidHandle handle, std::u16string& text) {
  wchar_t buffer[kMaxStringUnits + 1] = {};
  if (hid_get_manufacturer_string(Device(handle), buffer, kMaxStringUnits + 1) != 0) return false;
  buffer[kMaxStringUnits] = 0;
  // hidapi gives the strings the kernel read when the device was plugged
  // in; one the device could not deliver then (or has none) comes back
  // empty, with success. The transport must see it as unreadable, not as a
  // string that differs.
  if (buffer[0] == 0) return false;
  text = WideToUtf16(buffer, kMaxStringUnits);
  return true;
}

bool HidapiPlatform::GetProductString(HidHandle handle, std::u16string& text) {
  wchar_t buffer[kMaxStringUnits + 1] = {};
  if (hid_get_product_string(Device(handle), buffer, kMaxStringUnits + 1) != 0) return false;
  buffer[kMaxStringUnits] = 0;
  if (buffer[0] == 0) return false;  // not delivered, as above
  text = WideToUtf16(buffer, kMaxStringUnits);
  return true;
}

bool HidapiPlatform::SetFeature(HidHandle handle, const uint8_t* data, std::size_t length) {
  const int sent = hid_send_feature_report(Device(handle), data, length);
  return sent >= 0 && static_cast<std::size_t>(sent) == length;
}

bool HidapiPlatform::GetFeature(HidHandle handle, uint8_t* data, std::size_t length) {
  // data[0] holds the report id asked for; hidraw counts it in the result.
  const int received = hid_get_feature_report(Device(handle), data, length);
  return received >= 0 && static_cast<std::size_t>(received) == length;
}

}  // namespace rtd
