#include "link/hiddll_platform.h"

#include <cstring>

namespace rtd {

namespace {

// The 16-bit units of a string call's buffer, up to the first zero. One unit
// fewer than the buffer holds, so that a string without its terminator
// never runs past the end.
std::u16string UnitsOf(const uint8_t* buffer) {
  std::u16string text;
  for (std::size_t i = 0; i + 2 < kHidStringBufferBytes; i += 2) {
    const auto unit = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

}  // namespace

bool HidDllPlatform::LoadLibrary() {
  // Asked again after a library without every entry point: Windows hands
  // back the module already loaded.
  module_ = system_.LoadLibraryA("HID.DLL");
  return module_ != nullptr;
}

bool HidDllPlatform::ResolveEntryPoints() {
  if (resolved_) return true;
  if (module_ == nullptr) return false;
  WinProc found[9] = {};
  bool complete = true;
  for (std::size_t i = 0; i < 9; ++i) {
    found[i] = system_.GetProcAddress(module_, kHidDllEntryPoints[i]);
    complete = complete && found[i] != nullptr;
  }
  if (!complete) return false;
  hid_.GetHidGuid = reinterpret_cast<decltype(hid_.GetHidGuid)>(found[0]);
  hid_.GetAttributes = reinterpret_cast<decltype(hid_.GetAttributes)>(found[1]);
  hid_.GetManufacturerString = reinterpret_cast<BufferCall>(found[2]);
  hid_.GetProductString = reinterpret_cast<BufferCall>(found[3]);
  hid_.GetFeature = reinterpret_cast<BufferCall>(found[5]);
  hid_.SetFeature = reinterpret_cast<BufferCall>(found[6]);
  resolved_ = true;
  return true;
}

std::vector<std::string> HidDllPlatform::EnumerateInterfaces() {
  std::vector<std::string> paths;
  if (!resolved_) return paths;
  WinGuid guid;
  hid_.GetHidGuid(&guid);
  const WinHandle set = system_.SetupDiGetClassDevsA(&guid, nullptr, nullptr,
                                                     kDigcfPresent | kDigcfDeviceInterface);
  if (set == kWinInvalidHandle || set == nullptr) return paths;

  std::vector<uint8_t> detail;  // reused from one interface to the next
  for (uint32_t index = 0;; ++index) {
    WinDeviceInterfaceData interface_data;
    interface_data.cbSize = kInterfaceDataSize;
    if (system_.SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &interface_data) == 0)
      break;
    // First without a buffer: the call fails and says how much it needs.
    uint32_t required = 0;
    system_.SetupDiGetDeviceInterfaceDetailA(set, &interface_data, nullptr, 0, &required, nullptr);
    // An interface whose path cannot be learnt cannot be opened either.
    if (required <= kDevicePathOffset) continue;
    detail.assign(required, 0);
    const uint32_t cb_size = kInterfaceDetailSize;
    std::memcpy(detail.data(), &cb_size, sizeof cb_size);
    if (system_.SetupDiGetDeviceInterfaceDetailA(set, &interface_data, detail.data(), required,
                                                 nullptr, nullptr) == 0)
      continue;
    detail.back() = 0;
    paths.emplace_back(reinterpret_cast<const char*>(detail.data() + kDevicePathOffset));
  }
  system_.SetupDiDestroyDeviceInfoList(set);
  return paths;
}

HidHandle HidDllPlatform::Open(const std::string& path) {
  // Flags 0: synchronous I/O, every call returns when it is done.
  const WinHandle handle =
      system_.CreateFileA(path.c_str(), kGenericRead | kGenericWrite,
                          kFileShareRead | kFileShareWrite, nullptr, kOpenExisting, 0, nullptr);
  return handle == kWinInvalidHandle ? nullptr : handle;
}

std::unique_ptr<DeviceLock> HidDllPlatform::MakeLock() {
  return std::make_unique<NamedObjectLock>(system_.objects);
}

void HidDllPlatform::Close(HidHandle handle) {
  if (handle != nullptr) system_.CloseHandle(handle);
}

bool HidDllPlatform::GetAttributes(HidHandle handle, HidAttributes& attributes) {
  if (!resolved_) return false;
  WinHidAttributes a;
  a.Size = sizeof a;
  if (hid_.GetAttributes(handle, &a) == 0) return false;
  attributes.VendorID = a.VendorID;
  attributes.ProductID = a.ProductID;
  return true;
}

bool HidDllPlatform::ReadString(BufferCall call, HidHandle handle, std::u16string& text) {
  if (!resolved_) return false;
  uint8_t buffer[kHidStringBufferBytes] = {};
  if (call(handle, buffer, kHidStringBufferBytes) == 0) return false;
  text = UnitsOf(buffer);
  return true;
}

bool HidDllPlatform::GetManufacturerString(HidHandle handle, std::u16string& text) {
  return ReadString(hid_.GetManufacturerString, handle, text);
}

bool HidDllPlatform::GetProductString(HidHandle handle, std::u16string& text) {
  return ReadString(hid_.GetProductString, handle, text);
}

bool HidDllPlatform::SetFeature(HidHandle handle, const uint8_t* data, std::size_t length) {
  if (!resolved_) return false;
  // HID.DLL takes the report through a non-const pointer; give it a copy.
  std::vector<uint8_t> report(data, data + length);
  return hid_.SetFeature(handle, report.data(), static_cast<uint32_t>(length)) != 0;
}

bool HidDllPlatform::GetFeature(HidHandle handle, uint8_t* data, std::size_t length) {
  if (!resolved_) return false;
  return hid_.GetFeature(handle, data, static_cast<uint32_t>(length)) != 0;
}

}  // namespace rtd
