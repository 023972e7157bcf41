// Finding, opening and talking to the programmer: one open handle, opened
// lazily by the first transfer, closed by a failed one and searched for
// again by the next.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "link/hid_platform.h"
#include "link/report.h"

namespace rtd {

// Result of every programmer operation.
using LinkStatus = int32_t;
inline constexpr LinkStatus kLinkOk = 0;
inline constexpr LinkStatus kLinkNoLibrary = 1;
inline constexpr LinkStatus kLinkNoEntryPoint = 2;
inline constexpr LinkStatus kLinkCommFailure = 3;
inline constexpr LinkStatus kLinkNotFound = 4;
inline constexpr LinkStatus kLinkTimeout = 5;
// Another program holds the programmer's lock (link/device_lock.h); nothing
// was sent.
inline constexpr LinkStatus kLinkInUse = 6;
inline constexpr LinkStatus kLinkParamError = -254;
inline constexpr LinkStatus kLinkFailedResult = -253;

// Text of a LinkStatus in the current language.
std::string LinkStatusText(LinkStatus status);

// The programmer's identity.
inline constexpr uint16_t kProgrammerVendorId = 0xFFFF;
inline constexpr uint16_t kProgrammerProductId = 0x00FF;
inline constexpr const char* kProgrammerManufacturer = "QEL";
inline constexpr const char* kProgrammerProduct = "ZEZ2662-IDAD";

// UTF-16 to 8-bit text: code units below 256 keep their value, others
// become '?'; stops at the first zero unit.
std::string HidStringTo8Bit(const std::u16string& text);

class HidTransport {
 public:
  explicit HidTransport(HidPlatform& platform) : platform_(platform) {}
  ~HidTransport() { DropHandle(); }
  HidTransport(const HidTransport&) = delete;
  HidTransport& operator=(const HidTransport&) = delete;

  LinkStatus HidLoad();
  // Null texts match any strings. On 0 the device's handle is left open in
  // *handle.
  LinkStatus HidFindDevice(uint16_t vendor_id, const char* manufacturer, uint16_t product_id,
                           const char* product, HidHandle* handle);
  LinkStatus LinkOpen();
  // Closes the handle on its owner's behalf (a window that closes, a
  // listing that moves on): counted in Closings(). The next transfer opens
  // the programmer again.
  void LinkClose();
  // How often LinkClose was called. An operation that sees it change
  // between two steps knows the programmer was closed under it, and stops
  // rather than let its next transfer open the programmer again. A failed
  // transfer's own close does not count.
  uint32_t Closings() const { return closings_; }
  LinkStatus ReportSend(const HidReport& report);
  // The caller puts report id 1 into byte 0 beforehand.
  LinkStatus ReportReceive(HidReport& report);

  bool IsOpen() const { return handle_ != nullptr; }
  // After a search that opened nothing: why a device that carries the
  // searched ids could not be opened (the system's reason, or a note that
  // it gave none), when there was such a device; empty otherwise. On Linux
  // this is the programmer plugged in without the udev rule that lets a
  // normal user open it.
  const std::string& OpenFailure() const { return open_failure_; }
  // After a search that ended in kLinkInUse: the programmer's path and the
  // program holding it; an empty path otherwise.
  const std::string& InUsePath() const { return in_use_path_; }
  const LockHolder& InUseHolder() const { return in_use_holder_; }
  // Limits the search to the interface with this path (empty: any), for a
  // bench with more than one programmer; takes effect at the next open.
  void SelectDevicePath(std::string path) { device_path_ = std::move(path); }
  const std::string& SelectedDevicePath() const { return device_path_; }
  HidPlatform& platform() { return platform_; }

 private:
  HidPlatform& platform_;
  bool loaded_ = false;
  void DropHandle();

  HidHandle handle_ = nullptr;  // the programmer handle
  uint32_t closings_ = 0;
  std::string open_failure_;
  std::string in_use_path_;
  LockHolder in_use_holder_;
  std::string device_path_;     // the only interface searched; empty: all
};

// What a front end tells the user when OpenFailure() is set: the programmer
// is there but cannot be opened, the reason, and how to let a normal user
// open it. Several lines, no final line break.
std::string ProgrammerNotOpenedText(const std::string& reason);

// The program holding a lock as the user reads it: "rtdprog-cli (process
// 4711)", or as much of that as is known; empty when nothing is.
std::string LockHolderText(const LockHolder& holder);
// What every front end says of a programmer another program holds: the
// programmer's path, and that program where the system tells it. One line.
std::string ProgrammerInUseText(const std::string& path, const LockHolder& holder);

}  // namespace rtd
