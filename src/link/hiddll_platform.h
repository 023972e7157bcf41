// The HID services of Windows: HID.DLL, loaded at run time, and the device
// setup functions that list the HID interfaces present.
//
// Every system call goes through a table of function pointers, so that the
// same code runs on Linux against a scripted table in the tests; on Windows
// SystemHidDllFunctions() fills it with the real calls. The nine HID.DLL
// entry points are not in the table: they are looked up with its
// GetProcAddress, exactly as on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/hid_platform.h"
#include "link/named_object_lock.h"

// HID.DLL exports use the Windows calling convention, which differs from the
// default only on 32-bit x86.
#if defined(_WIN32) && !defined(_WIN64)
#define RTD_WINAPI __stdcall
#else
#define RTD_WINAPI
#endif

namespace rtd {

// Windows data structures as the calls take them, laid out as in the
// Windows headers (checked against them in the Windows build).
struct WinGuid {
  uint32_t Data1 = 0;
  uint16_t Data2 = 0;
  uint16_t Data3 = 0;
  uint8_t Data4[8] = {};
};

// SP_DEVICE_INTERFACE_DATA.
struct WinDeviceInterfaceData {
  uint32_t cbSize = 0;
  WinGuid InterfaceClassGuid;
  uint32_t Flags = 0;
  uintptr_t Reserved = 0;
};

// HIDD_ATTRIBUTES.
struct WinHidAttributes {
  uint32_t Size = 0;
  uint16_t VendorID = 0;
  uint16_t ProductID = 0;
  uint16_t VersionNumber = 0;
};

// INVALID_HANDLE_VALUE: what CreateFileA and SetupDiGetClassDevsA return on failure.
inline const WinHandle kWinInvalidHandle = reinterpret_cast<WinHandle>(~uintptr_t{0});

// SetupDiGetClassDevsA flags: DIGCF_PRESENT | DIGCF_DEVICEINTERFACE.
inline constexpr uint32_t kDigcfPresent = 0x02;
inline constexpr uint32_t kDigcfDeviceInterface = 0x10;
// CreateFileA arguments: GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ |
// FILE_SHARE_WRITE, OPEN_EXISTING.
inline constexpr uint32_t kGenericRead = 0x80000000u;
inline constexpr uint32_t kGenericWrite = 0x40000000u;
inline constexpr uint32_t kFileShareRead = 0x1;
inline constexpr uint32_t kFileShareWrite = 0x2;
inline constexpr uint32_t kOpenExisting = 3;

// The cbSize values the device setup functions insist on. They are the sizes
// of the structures in the running program's own layout: 28 and 5 in a
// 32-bit program, 32 and 8 in a 64-bit one (the interface detail's size
// counts its cbSize and one character of the path, padded as the structure
// is).
inline constexpr uint32_t kInterfaceDataSize = sizeof(WinDeviceInterfaceData);
inline constexpr uint32_t kInterfaceDetailSize = sizeof(void*) == 8 ? 8 : 5;
// Where DevicePath starts in SP_DEVICE_INTERFACE_DETAIL_DATA_A.
inline constexpr std::size_t kDevicePathOffset = 4;

// The 512-byte buffer the string calls are given: 256 UTF-16 units.
inline constexpr uint32_t kHidStringBufferBytes = 512;

// Any exported function, as GetProcAddress delivers it.
using WinProc = void (*)();

// The system calls the backend makes, each with the Windows function's
// arguments and results (BOOL as int32_t, DWORD as uint32_t).
struct HidDllFunctions {
  // kernel32: a module handle or null; an exported function or null.
  void* (*LoadLibraryA)(const char* file_name) = nullptr;
  WinProc (*GetProcAddress)(void* module, const char* name) = nullptr;
  // kernel32: a device handle or kWinInvalidHandle; nonzero on success.
  WinHandle (*CreateFileA)(const char* path, uint32_t access, uint32_t share, void* security,
                           uint32_t disposition, uint32_t flags, WinHandle template_file) = nullptr;
  int32_t (*CloseHandle)(WinHandle handle) = nullptr;
  // setupapi: a device information set or kWinInvalidHandle.
  WinHandle (*SetupDiGetClassDevsA)(const WinGuid* guid, const char* enumerator, void* parent,
                                    uint32_t flags) = nullptr;
  // Nonzero while index lies inside the list.
  int32_t (*SetupDiEnumDeviceInterfaces)(WinHandle set, void* device_info, const WinGuid* guid,
                                         uint32_t index, WinDeviceInterfaceData* data) = nullptr;
  // Without a buffer it fails and stores the size needed in *required.
  int32_t (*SetupDiGetDeviceInterfaceDetailA)(WinHandle set, WinDeviceInterfaceData* data,
                                              void* detail, uint32_t detail_size,
                                              uint32_t* required, void* device_info) = nullptr;
  int32_t (*SetupDiDestroyDeviceInfoList)(WinHandle set) = nullptr;
  // The programmer's lock.
  NamedObjectFunctions objects;
};

// The nine HID.DLL entry points in the order they are resolved. The last
// three are never called, but a library without them is not used.
inline constexpr const char* kHidDllEntryPoints[9] = {
    "HidD_GetHidGuid",           "HidD_GetAttributes",      "HidD_GetManufacturerString",
    "HidD_GetProductString",     "HidD_GetSerialNumberString", "HidD_GetFeature",
    "HidD_SetFeature",           "HidD_GetNumInputBuffers", "HidD_SetNumInputBuffers"};

class HidDllPlatform final : public HidPlatform {
 public:
  explicit HidDllPlatform(const HidDllFunctions& system) : system_(system) {}

  // LoadLibraryA("HID.DLL"); the library is never unloaded.
  bool LoadLibrary() override;
  // All nine entry points, in order; usable only when every one is there.
  bool ResolveEntryPoints() override;
  // The device paths of the present HID interfaces.
  std::vector<std::string> EnumerateInterfaces() override;
  // Synchronous read-write handle, shared with other programs (the lock
  // keeps the other copies of this one away, and only them).
  HidHandle Open(const std::string& path) override;
  // A named object derived from the device path (link/named_object_lock.h).
  std::unique_ptr<DeviceLock> MakeLock() override;
  void Close(HidHandle handle) override;
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override;
  bool GetManufacturerString(HidHandle handle, std::u16string& text) override;
  bool GetProductString(HidHandle handle, std::u16string& text) override;
  bool SetFeature(HidHandle handle, const uint8_t* data, std::size_t length) override;
  bool GetFeature(HidHandle handle, uint8_t* data, std::size_t length) override;

 private:
  using BufferCall = uint8_t(RTD_WINAPI*)(WinHandle, void*, uint32_t);
  // HID.DLL's BOOLEAN results are one byte wide.
  struct EntryPoints {
    void(RTD_WINAPI* GetHidGuid)(WinGuid*) = nullptr;
    uint8_t(RTD_WINAPI* GetAttributes)(WinHandle, WinHidAttributes*) = nullptr;
    BufferCall GetManufacturerString = nullptr;
    BufferCall GetProductString = nullptr;
    BufferCall GetFeature = nullptr;
    BufferCall SetFeature = nullptr;
  };

  bool ReadString(BufferCall call, HidHandle handle, std::u16string& text);

  HidDllFunctions system_;
  void* module_ = nullptr;
  bool resolved_ = false;
  EntryPoints hid_;
};

#ifdef _WIN32
// The real calls of kernel32 and setupapi.
HidDllFunctions SystemHidDllFunctions();
#endif

}  // namespace rtd
