// The operating system's HID services, as the transport needs them. One
// backend per platform (hidapi/hidraw on Linux, HID.DLL on Windows) and the
// virtual programmer implement this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rtd {

// An open device; nullptr is "no handle".
using HidHandle = void*;

struct HidAttributes {
  uint16_t VendorID = 0;
  uint16_t ProductID = 0;
};

class HidPlatform {
 public:
  virtual ~HidPlatform() = default;

  // Loads the system's HID library. False: it cannot be loaded.
  virtual bool LoadLibrary() = 0;
  // Resolves the library's entry points. False: one of them is missing.
  virtual bool ResolveEntryPoints() = 0;
  // Paths of the HID interfaces present now, in enumeration order.
  virtual std::vector<std::string> EnumerateInterfaces() = 0;
  // Opens a device for reading and writing; nullptr when it cannot be opened.
  virtual HidHandle Open(const std::string& path) = 0;
  virtual void Close(HidHandle handle) = 0;
  virtual bool GetAttributes(HidHandle handle, HidAttributes& attributes) = 0;
  // USB string descriptors as UTF-16 code units (at most 255, no terminator).
  virtual bool GetManufacturerString(HidHandle handle, std::u16string& text) = 0;
  virtual bool GetProductString(HidHandle handle, std::u16string& text) = 0;
  // Feature reports; byte 0 of data is the report id.
  virtual bool SetFeature(HidHandle handle, const uint8_t* data, std::size_t length) = 0;
  virtual bool GetFeature(HidHandle handle, uint8_t* data, std::size_t length) = 0;
};

}  // namespace rtd
