// The programmer as a USB device on a USB/IP connection: a full-speed HID
// device with the programmer's ids and strings whose feature report 1 is
// answered by the virtual programmer. The kernel's vhci-hcd sends URBs
// (USBIP_CMD_SUBMIT / USBIP_CMD_UNLINK) and expects the replies in the same
// stream; this class turns the bytes of that stream into the bytes to send
// back, without touching a socket itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/hid_platform.h"
#include "sim/virtual_programmer.h"

namespace rtd::usbip {

// Packet header of the URB traffic: 48 bytes, every field big-endian.
inline constexpr std::size_t kHeaderSize = 48;
inline constexpr uint32_t kCmdSubmit = 1;
inline constexpr uint32_t kCmdUnlink = 2;
inline constexpr uint32_t kRetSubmit = 3;
inline constexpr uint32_t kRetUnlink = 4;
inline constexpr uint32_t kDirOut = 0;
inline constexpr uint32_t kDirIn = 1;

// URB status values as the kernel reads them (negative errno).
inline constexpr int32_t kStatusStall = -32;      // -EPIPE
// The most packet descriptors one submit may bring (the kernel's limit).
inline constexpr uint32_t kMaxIsoPackets = 1024;
inline constexpr int32_t kStatusUnlinked = -104;  // -ECONNRESET

struct UsbipHeader {
  uint32_t command = 0;
  uint32_t seqnum = 0;
  uint32_t devid = 0;
  uint32_t direction = 0;
  uint32_t ep = 0;
  // CMD_SUBMIT: transfer_flags; RET_SUBMIT and RET_UNLINK: status;
  // CMD_UNLINK: the seqnum to unlink.
  uint32_t word5 = 0;
  // CMD_SUBMIT: transfer_buffer_length; RET_SUBMIT: actual_length.
  uint32_t length = 0;
  uint32_t start_frame = 0;
  uint32_t number_of_packets = 0;
  uint32_t word9 = 0;  // interval / error_count
  std::array<uint8_t, 8> setup{};
};

UsbipHeader ParseHeader(const uint8_t* bytes);
void AppendHeader(const UsbipHeader& header, std::vector<uint8_t>& out);

// What the device presents to the host.
struct UsbDescriptors {
  std::vector<uint8_t> device;
  std::vector<uint8_t> configuration;  // with interface, HID and endpoint descriptors
  std::vector<uint8_t> hid;            // the HID descriptor alone
  std::vector<uint8_t> report;         // the HID report descriptor
};
// The descriptors of a device with these ids: strings 1, 2 and 3
// (manufacturer, product, serial number), one HID interface with an
// interrupt IN endpoint and feature report 1 of the report's size.
UsbDescriptors DescriptorsFor(uint16_t vendor_id, uint16_t product_id);

class UsbProgrammer {
 public:
  // One device of the virtual programmer's bus: by default the programmer,
  // or another (a decoy) by its path. The device is opened here; Gone() is
  // true at once when it cannot be.
  explicit UsbProgrammer(sim::VirtualProgrammer& programmer, std::string path = {});
  ~UsbProgrammer();
  UsbProgrammer(const UsbProgrammer&) = delete;
  UsbProgrammer& operator=(const UsbProgrammer&) = delete;

  // Takes bytes received from the host and appends every reply due to
  // `out`. False when the stream makes no sense (the connection is then
  // useless and should be dropped).
  bool Receive(const uint8_t* data, std::size_t size, std::vector<uint8_t>& out);

  // The programmer left the bus (it was unplugged while answering): the
  // device must be detached, and nothing more is answered.
  bool Gone() const { return gone_; }
  // One of the programmers, not a decoy: it leaves the bus with the others
  // when the programmer is unplugged.
  bool IsProgrammer() const { return is_programmer_; }

  // URBs taken but not answered (the interrupt IN endpoint; the programmer
  // never sends input reports).
  std::size_t PendingUrbs() const { return pending_.size(); }

 private:
  struct Reply {
    int32_t status = 0;
    std::vector<uint8_t> data;  // IN data
    bool pending = false;       // no reply now
  };
  void HandleSubmit(const UsbipHeader& cmd, const uint8_t* out_data, std::vector<uint8_t>& out);
  void HandleUnlink(const UsbipHeader& cmd, std::vector<uint8_t>& out);
  Reply Control(const std::array<uint8_t, 8>& setup, const uint8_t* out_data, uint32_t out_length);
  Reply StringDescriptor(uint8_t index);
  Reply SetReport(const uint8_t* data, uint32_t length);
  Reply GetReport();

  sim::VirtualProgrammer& programmer_;
  bool OffTheBus();

  bool is_programmer_ = true;  // not a decoy
  uint32_t serial_ = 0;
  HidHandle handle_ = nullptr;
  UsbDescriptors descriptors_;
  std::vector<uint8_t> buffer_;    // received bytes not yet a whole packet
  std::vector<uint32_t> pending_;  // seqnums of URBs left unanswered
  uint8_t configuration_ = 0;
  bool gone_ = false;
};

}  // namespace rtd::usbip
