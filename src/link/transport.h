// Finding, opening and talking to the programmer: one open handle, opened
// lazily by the first transfer, closed by a failed one and searched for
// again by the next. The programmer is claimed (link/device_lock.h) by its
// path before it is asked anything, and stays claimed while its handle is
// open, or for as long as a command or an operation holds it.
#pragma once

#include <cstdint>
#include <memory>
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
// The programmer's lock could not be taken at all (the system refused it);
// nothing was sent.
inline constexpr LinkStatus kLinkNotLocked = 8;
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

// Why a programmer that is there may not be used.
struct ProgrammerRefusal {
  std::string path;     // its interface
  LockHolder holder;    // kLinkInUse: the program that holds it
  std::string reason;   // kLinkNotLocked: the system's words
};

class HidTransport {
 public:
  explicit HidTransport(HidPlatform& platform) : platform_(platform) {}
  ~HidTransport();
  HidTransport(const HidTransport&) = delete;
  HidTransport& operator=(const HidTransport&) = delete;

  LinkStatus HidLoad();
  // Null texts match any strings. On 0 the device's handle is left open in
  // *handle, and the device claimed; without a handle to leave it in, it is
  // closed and let go again.
  LinkStatus HidFindDevice(uint16_t vendor_id, const char* manufacturer, uint16_t product_id,
                           const char* product, HidHandle* handle);
  LinkStatus LinkOpen();
  // Closes the handle on its owner's behalf (a window that closes, a
  // listing that moves on) and lets the programmer go, held or not: counted
  // in Closings(). The next transfer searches for the programmer again.
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
  // After a search that found the programmer but may not use it
  // (kLinkInUse, kLinkNotLocked): what to tell the user; an empty path
  // otherwise.
  const ProgrammerRefusal& Refusal() const { return refusal_; }
  // Limits the search to the interface with this path (empty: any), for a
  // bench with more than one programmer; takes effect at the next open.
  void SelectDevicePath(std::string path) { device_path_ = std::move(path); }
  const std::string& SelectedDevicePath() const { return device_path_; }

  // A command, or an operation of the window, works with one programmer from
  // its start to its end. While held, the programmer claimed stays claimed:
  // a failed transfer closes the handle but keeps the lock, and the next
  // transfer opens that path again, or finds no programmer when it is gone,
  // rather than take the next one found (which may sit on another board).
  // A reopen that fails (the device there does not answer, or is another,
  // or its lock is refused) closes its handle only.
  // Holds nest; when the last one ends, a programmer whose handle is closed
  // is let go.
  void Hold();
  void EndHold();
  // The interface whose lock this program holds; empty when none.
  const std::string& ClaimedPath() const { return claimed_path_; }
  // What the user must know of that lock: on Windows, that it keeps out the
  // programs of this session only. Empty normally.
  const std::string& ClaimNote() const { return claim_note_; }

  HidPlatform& platform() { return platform_; }

 private:
  HidPlatform& platform_;
  bool loaded_ = false;
  void DropHandle();
  LockAttempt Claim(const std::string& path);
  void LetGo();

  HidHandle handle_ = nullptr;  // the programmer handle
  std::unique_ptr<DeviceLock> claim_;
  std::string claimed_path_;
  std::string claim_note_;
  int holds_ = 0;
  std::string held_path_;       // the only interface searched while held
  uint32_t closings_ = 0;
  std::string open_failure_;
  ProgrammerRefusal refusal_;
  std::string device_path_;     // the only interface searched; empty: all
};

// Holds the transport's programmer for as long as it lives.
class ProgrammerHold {
 public:
  explicit ProgrammerHold(HidTransport& transport) : transport_(transport) { transport_.Hold(); }
  ~ProgrammerHold() { transport_.EndHold(); }
  ProgrammerHold(const ProgrammerHold&) = delete;
  ProgrammerHold& operator=(const ProgrammerHold&) = delete;

 private:
  HidTransport& transport_;
};

// What a front end tells the user when OpenFailure() is set: the programmer
// is there but cannot be opened, the reason, and how to let a normal user
// open it. Several lines, no final line break.
std::string ProgrammerNotOpenedText(const std::string& reason);

// The program holding a lock as the user reads it: "rtdprog-cli (process
// 4711)", "rtdprog.exe (process 4711, session 2)", or as much of that as is
// known; empty when nothing is.
std::string LockHolderText(const LockHolder& holder);
// The one text of each refusal, which the command line, its listing and the
// window all show, and LinkStatusText gives without the details: "The
// programmer PATH is in use by another program: HOLDER", "The programmer
// PATH could not be locked for this program: REASON". The path is left out
// when empty (a line that starts with it), and so is the holder or reason
// where unknown. Any other status: its LinkStatusText. One line.
std::string RefusalText(LinkStatus status, const ProgrammerRefusal& refusal);

}  // namespace rtd
