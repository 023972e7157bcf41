// rtdprog-cli.exe and rtdprog.exe as the device test runs them under Wine 8:
// everything is the product's own code (the entry point, the command line or
// the window, the HID.DLL backend and its system calls) except two string
// calls of HID.DLL.
//
// Wine 8's HID stack on Linux (winebus over hidraw) asks the USB interface
// rather than the device for its strings: it answers the manufacturer string
// with the word "hidraw" and the product string with the kernel's name of
// the hidraw device, which is "<manufacturer> <product>" as the device gave
// them. The program's check of both strings rejects such a device, rightly,
// so that nothing would be sent to it at all. Here, and only here, those
// exact answers are turned back into the strings the device gave: "hidraw"
// becomes "QEL", and "QEL <product>" becomes "<product>". The product part
// is still the device's own and is still checked by the program.
#include <cstring>
#include <string>

#include "link/hiddll_platform.h"
#include "link/transport.h"

// The real system table under another name: the program then gets the
// table of SystemHidDllFunctions() below (the linker takes this program's
// definition and leaves the library's unused).
#define SystemHidDllFunctions ProductHidDllFunctions
#include "link/hiddll_platform_win.cpp"
#undef SystemHidDllFunctions

namespace rtd {

namespace {

using StringCall = uint8_t(RTD_WINAPI*)(WinHandle, void*, uint32_t);

WinProc (*g_get_proc_address)(void*, const char*) = nullptr;
StringCall g_manufacturer = nullptr;
StringCall g_product = nullptr;

// The zero-terminated UTF-16 string in a string call's buffer.
std::u16string Read(const void* buffer, uint32_t length) {
  std::u16string text;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  for (uint32_t i = 0; i + 1 < length; i += 2) {
    const auto unit = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

void Write(void* buffer, uint32_t length, const std::u16string& text) {
  auto* bytes = static_cast<uint8_t*>(buffer);
  std::memset(bytes, 0, length);
  for (std::size_t i = 0; i < text.size() && 2 * i + 3 < length; ++i) {
    bytes[2 * i] = static_cast<uint8_t>(text[i]);
    bytes[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
}

std::u16string Wide(const char* text) { return std::u16string(text, text + std::strlen(text)); }

uint8_t RTD_WINAPI Manufacturer(WinHandle handle, void* buffer, uint32_t length) {
  if (g_manufacturer(handle, buffer, length) == 0) return 0;
  if (Read(buffer, length) == u"hidraw") Write(buffer, length, Wide(kProgrammerManufacturer));
  return 1;
}

uint8_t RTD_WINAPI Product(WinHandle handle, void* buffer, uint32_t length) {
  if (g_product(handle, buffer, length) == 0) return 0;
  const std::u16string prefix = Wide(kProgrammerManufacturer) + u" ";
  const std::u16string text = Read(buffer, length);
  if (text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0)
    Write(buffer, length, text.substr(prefix.size()));
  return 1;
}

WinProc GetProcAddressWine8(void* module, const char* name) {
  const WinProc found = g_get_proc_address(module, name);
  if (found == nullptr) return nullptr;
  if (std::strcmp(name, "HidD_GetManufacturerString") == 0) {
    g_manufacturer = reinterpret_cast<StringCall>(found);
    return reinterpret_cast<WinProc>(Manufacturer);
  }
  if (std::strcmp(name, "HidD_GetProductString") == 0) {
    g_product = reinterpret_cast<StringCall>(found);
    return reinterpret_cast<WinProc>(Product);
  }
  return found;
}

}  // namespace

HidDllFunctions SystemHidDllFunctions() {
  HidDllFunctions f = ProductHidDllFunctions();
  g_get_proc_address = f.GetProcAddress;
  f.GetProcAddress = GetProcAddressWine8;
  return f;
}

}  // namespace rtd
