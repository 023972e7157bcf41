// The operating system's HID services, as the transport needs them. One
// backend per platform (hidapi/hidraw on Linux, HID.DLL on Windows) and the
// virtual programmer implement this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/device_lock.h"

namespace rtd {

// An open device; nullptr is "no handle".
using HidHandle = void*;

struct HidAttributes {
  uint16_t VendorID = 0;
  uint16_t ProductID = 0;
};

// The interfaces a search for one device's USB ids should try.
struct HidCandidates {
  std::vector<std::string> paths;  // in enumeration order
  // True when the platform read the ids without opening the devices, so
  // every path is known to carry them (a failed open is then the device
  // itself refusing); false when paths lists every HID interface.
  bool ids_known = false;
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
  // The HID interfaces present now that carry these USB ids, in enumeration
  // order. This default lists every interface and leaves the ids to be
  // checked after opening; a platform that can read them without opening a
  // device does better.
  virtual HidCandidates EnumerateWithIds(uint16_t /*vendor_id*/, uint16_t /*product_id*/) {
    return {EnumerateInterfaces(), false};
  }
  // Opens a device for reading and writing; nullptr when it cannot be opened.
  virtual HidHandle Open(const std::string& path) = 0;
  // Why the last Open returned nullptr, in the system's words (for example
  // "Permission denied"); empty when the platform cannot tell.
  virtual std::string LastOpenError() const { return {}; }
  // A lock of this system's kind (see link/device_lock.h), taken by a
  // device's path: the transport claims a device before it asks it anything,
  // and keeps the claim apart from any handle. Nothing may be sent to a
  // device whose lock another program holds.
  virtual std::unique_ptr<DeviceLock> MakeLock() = 0;
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
