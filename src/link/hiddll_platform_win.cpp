// The real system calls behind HidDllPlatform.
#include "link/hiddll_platform.h"

#include "core/windows_api.h"
// clang-format off: setupapi.h needs windows.h first.
#include <setupapi.h>
#include <hidsdi.h>
// clang-format on

#include <cstddef>

namespace rtd {

static_assert(sizeof(WinGuid) == sizeof(GUID));
static_assert(sizeof(WinDeviceInterfaceData) == sizeof(SP_DEVICE_INTERFACE_DATA));
static_assert(offsetof(WinDeviceInterfaceData, Flags) == offsetof(SP_DEVICE_INTERFACE_DATA, Flags));
static_assert(sizeof(WinHidAttributes) == sizeof(HIDD_ATTRIBUTES));
static_assert(offsetof(WinHidAttributes, ProductID) == offsetof(HIDD_ATTRIBUTES, ProductID));
static_assert(kInterfaceDetailSize == sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
static_assert(kDevicePathOffset == offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath));
static_assert(kDigcfPresent == DIGCF_PRESENT && kDigcfDeviceInterface == DIGCF_DEVICEINTERFACE);
static_assert(kGenericRead == GENERIC_READ && kGenericWrite == GENERIC_WRITE);
static_assert(kFileShareRead == FILE_SHARE_READ && kFileShareWrite == FILE_SHARE_WRITE);
static_assert(kOpenExisting == OPEN_EXISTING);

namespace {

// From the system directory only: a plain LoadLibraryA looks in the
// program's own folder first, where any HID.DLL lying in a downloads folder
// would be loaded and run. Windows 7 without its loader update does not
// know the flag and gets the plain search.
void* SystemLoadLibrary(const char* file_name) {
  HMODULE module = ::LoadLibraryExA(file_name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER)
    module = ::LoadLibraryA(file_name);
  return module;
}

WinProc SystemGetProcAddress(void* module, const char* name) {
  return reinterpret_cast<WinProc>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

WinHandle SystemCreateFile(const char* path, uint32_t access, uint32_t share, void* security,
                           uint32_t disposition, uint32_t flags, WinHandle template_file) {
  return ::CreateFileA(path, access, share, static_cast<LPSECURITY_ATTRIBUTES>(security),
                       disposition, flags, template_file);
}

int32_t SystemCloseHandle(WinHandle handle) { return ::CloseHandle(handle); }

WinHandle SystemGetClassDevs(const WinGuid* guid, const char* enumerator, void* parent,
                             uint32_t flags) {
  return ::SetupDiGetClassDevsA(reinterpret_cast<const GUID*>(guid), enumerator,
                                static_cast<HWND>(parent), flags);
}

int32_t SystemEnumDeviceInterfaces(WinHandle set, void* device_info, const WinGuid* guid,
                                   uint32_t index, WinDeviceInterfaceData* data) {
  return ::SetupDiEnumDeviceInterfaces(set, static_cast<PSP_DEVINFO_DATA>(device_info),
                                       reinterpret_cast<const GUID*>(guid), index,
                                       reinterpret_cast<PSP_DEVICE_INTERFACE_DATA>(data));
}

int32_t SystemGetDeviceInterfaceDetail(WinHandle set, WinDeviceInterfaceData* data, void* detail,
                                       uint32_t detail_size, uint32_t* required,
                                       void* device_info) {
  DWORD needed = 0;
  const BOOL ok = ::SetupDiGetDeviceInterfaceDetailA(
      set, reinterpret_cast<PSP_DEVICE_INTERFACE_DATA>(data),
      static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(detail), detail_size,
      required != nullptr ? &needed : nullptr, static_cast<PSP_DEVINFO_DATA>(device_info));
  if (required != nullptr) *required = needed;
  return ok;
}

int32_t SystemDestroyDeviceInfoList(WinHandle set) { return ::SetupDiDestroyDeviceInfoList(set); }

}  // namespace

HidDllFunctions SystemHidDllFunctions() {
  HidDllFunctions f;
  f.LoadLibraryA = SystemLoadLibrary;
  f.GetProcAddress = SystemGetProcAddress;
  f.CreateFileA = SystemCreateFile;
  f.CloseHandle = SystemCloseHandle;
  f.SetupDiGetClassDevsA = SystemGetClassDevs;
  f.SetupDiEnumDeviceInterfaces = SystemEnumDeviceInterfaces;
  f.SetupDiGetDeviceInterfaceDetailA = SystemGetDeviceInterfaceDetail;
  f.SetupDiDestroyDeviceInfoList = SystemDestroyDeviceInfoList;
  f.objects = SystemNamedObjectFunctions();
  return f;
}

}  // namespace rtd
