#include "usbip/usb_programmer.h"

#include <algorithm>
#include <string>
#include <utility>

#include "link/report.h"
#include "link/transport.h"

namespace rtd::usbip {
namespace {

uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void Put32(uint32_t v, std::vector<uint8_t>& out) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

uint8_t Lo(std::size_t v) { return static_cast<uint8_t>(v & 0xFF); }
uint8_t Hi(std::size_t v) { return static_cast<uint8_t>((v >> 8) & 0xFF); }

// Standard and HID class request codes.
constexpr uint8_t kGetStatus = 0x00;
constexpr uint8_t kClearFeature = 0x01;
constexpr uint8_t kSetFeature = 0x03;
constexpr uint8_t kSetAddress = 0x05;
constexpr uint8_t kGetDescriptor = 0x06;
constexpr uint8_t kGetConfiguration = 0x08;
constexpr uint8_t kSetConfiguration = 0x09;
constexpr uint8_t kGetInterface = 0x0A;
constexpr uint8_t kSetInterface = 0x0B;
constexpr uint8_t kHidGetReport = 0x01;
constexpr uint8_t kHidGetIdle = 0x02;
constexpr uint8_t kHidSetReport = 0x09;
constexpr uint8_t kHidSetIdle = 0x0A;
constexpr uint8_t kHidSetProtocol = 0x0B;

constexpr uint8_t kDescDevice = 1;
constexpr uint8_t kDescConfiguration = 2;
constexpr uint8_t kDescString = 3;
constexpr uint8_t kDescHid = 0x21;
constexpr uint8_t kDescReport = 0x22;
constexpr uint16_t kFeatureReport1 = 0x0301;  // report type 3 (feature), id 1

}  // namespace

UsbDescriptors DescriptorsFor(uint16_t vendor_id, uint16_t product_id) {
  UsbDescriptors d;
  // Feature report 1: the report id byte and kReportSize - 1 bytes of data.
  constexpr std::size_t kFeatureBytes = kReportSize - 1;
  // clang-format off
  d.report = {
      0x06, 0x00, 0xFF,  // Usage Page (vendor defined 0xFF00)
      0x09, 0x01,        // Usage (1)
      0xA1, 0x01,        // Collection (Application)
      0x85, kReportId,   //   Report ID (1)
      0x09, 0x01,        //   Usage (1)
      0x15, 0x00,        //   Logical Minimum (0)
      0x26, 0xFF, 0x00,  //   Logical Maximum (255)
      0x75, 0x08,        //   Report Size (8 bits)
      0x96, Lo(kFeatureBytes), Hi(kFeatureBytes),  // Report Count
      0xB1, 0x02,        //   Feature (Data, Variable, Absolute)
      0xC0,              // End Collection
  };
  d.device = {
      18, kDescDevice,
      0x10, 0x01,  // USB 1.1
      0, 0, 0,     // class defined per interface
      64,          // control endpoint packet size
      Lo(vendor_id), Hi(vendor_id),
      Lo(product_id), Hi(product_id),
      0x00, 0x01,  // device release 1.00
      1, 2, 3,     // manufacturer, product, serial number strings
      1,           // one configuration
  };
  // clang-format on
  d.hid = {9, kDescHid, 0x11, 0x01, 0, 1, kDescReport, Lo(d.report.size()), Hi(d.report.size())};
  const std::vector<uint8_t> interface = {9, 4, 0, 0, 1, 0x03, 0, 0, 0};  // HID, one endpoint
  const std::vector<uint8_t> endpoint = {7, 5, 0x81, 0x03, 64, 0, 10};    // interrupt IN, 10 ms
  const std::size_t total = 9 + interface.size() + d.hid.size() + endpoint.size();
  d.configuration = {9, kDescConfiguration, Lo(total), Hi(total), 1, 1, 0, 0x80, 50};
  for (const std::vector<uint8_t>* part : {&interface, &std::as_const(d.hid), &endpoint})
    d.configuration.insert(d.configuration.end(), part->begin(), part->end());
  return d;
}

namespace {

std::vector<uint8_t> StringBytes(const std::u16string& text) {
  const std::size_t units = std::min<std::size_t>(text.size(), 126);
  std::vector<uint8_t> out = {static_cast<uint8_t>(2 + 2 * units), kDescString};
  for (std::size_t i = 0; i < units; ++i) {
    out.push_back(Lo(text[i]));
    out.push_back(Hi(text[i]));
  }
  return out;
}

}  // namespace

UsbipHeader ParseHeader(const uint8_t* bytes) {
  UsbipHeader h;
  uint32_t* fields[] = {&h.command, &h.seqnum, &h.devid,       &h.direction,         &h.ep,
                        &h.word5,   &h.length, &h.start_frame, &h.number_of_packets, &h.word9};
  for (std::size_t i = 0; i < std::size(fields); ++i) *fields[i] = Get32(bytes + 4 * i);
  std::copy(bytes + 40, bytes + 48, h.setup.begin());
  return h;
}

void AppendHeader(const UsbipHeader& h, std::vector<uint8_t>& out) {
  for (uint32_t v : {h.command, h.seqnum, h.devid, h.direction, h.ep, h.word5, h.length,
                     h.start_frame, h.number_of_packets, h.word9})
    Put32(v, out);
  out.insert(out.end(), h.setup.begin(), h.setup.end());
}

UsbProgrammer::UsbProgrammer(sim::VirtualProgrammer& programmer, std::string path)
    : programmer_(programmer) {
  if (path.empty()) path = programmer_.ProgrammerPath();
  handle_ = programmer_.Open(path);
  HidAttributes ids;
  gone_ = handle_ == nullptr || !programmer_.GetAttributes(handle_, ids);
  descriptors_ = DescriptorsFor(ids.VendorID, ids.ProductID);
  // The programmers follow one another on the bus from the first one on,
  // their serial numbers counting on from the configured one.
  const std::vector<std::string> paths = programmer_.EnumerateInterfaces();
  const auto first = std::find(paths.begin(), paths.end(), programmer_.ProgrammerPath());
  const auto self = std::find(paths.begin(), paths.end(), path);
  const auto count = static_cast<std::ptrdiff_t>(programmer_.Config().programmers);
  is_programmer_ =
      first != paths.end() && self != paths.end() && self >= first && self - first < count;
  serial_ =
      programmer_.Config().serial + (is_programmer_ ? static_cast<uint32_t>(self - first) : 0);
}

bool UsbProgrammer::OffTheBus() {
  // A programmer's handle dies with an unplug; a decoy's stays.
  HidAttributes ids;
  return is_programmer_ && !programmer_.GetAttributes(handle_, ids);
}

UsbProgrammer::~UsbProgrammer() {
  if (handle_ != nullptr) programmer_.Close(handle_);
}

bool UsbProgrammer::Receive(const uint8_t* data, std::size_t size, std::vector<uint8_t>& out) {
  buffer_.insert(buffer_.end(), data, data + size);
  std::size_t used = 0;
  while (!gone_ && buffer_.size() - used >= kHeaderSize) {
    const UsbipHeader cmd = ParseHeader(buffer_.data() + used);
    std::size_t packet = kHeaderSize;
    if (cmd.command == kCmdSubmit) {
      // Only OUT transfers carry data. Packet descriptors (16 bytes each)
      // follow only for an isochronous endpoint, which this device has not:
      // a submit that brings some is skipped whole and refused.
      if (cmd.direction == kDirOut) packet += cmd.length;
      if (cmd.length > 64 * 1024) return false;
      const bool packets = cmd.number_of_packets != 0 && cmd.number_of_packets != 0xFFFFFFFF;
      if (packets) {
        if (cmd.number_of_packets > kMaxIsoPackets) return false;
        packet += 16 * static_cast<std::size_t>(cmd.number_of_packets);
      }
      if (buffer_.size() - used < packet) break;
      HandleSubmit(cmd, buffer_.data() + used + kHeaderSize, out);
    } else if (cmd.command == kCmdUnlink) {
      HandleUnlink(cmd, out);
    } else {
      return false;
    }
    used += packet;
  }
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(used));
  return true;
}

void UsbProgrammer::HandleSubmit(const UsbipHeader& cmd, const uint8_t* out_data,
                                 std::vector<uint8_t>& out) {
  Reply reply;
  if (cmd.number_of_packets != 0 && cmd.number_of_packets != 0xFFFFFFFF) {
    reply.status = kStatusStall;
  } else if (cmd.ep == 0) {
    reply = Control(cmd.setup, out_data, cmd.direction == kDirOut ? cmd.length : 0);
    if (reply.data.size() > cmd.length) reply.data.resize(cmd.length);
  } else if (cmd.ep == 1 && cmd.direction == kDirIn) {
    reply.pending = true;  // input reports never come; the host unlinks it when done
  } else {
    reply.status = kStatusStall;
  }
  if (gone_) return;  // off the bus: the host sees the URB fail at the detach
  if (reply.pending) {
    pending_.push_back(cmd.seqnum);
    return;
  }
  UsbipHeader ret;
  ret.command = kRetSubmit;
  ret.seqnum = cmd.seqnum;
  ret.word5 = static_cast<uint32_t>(reply.status);
  ret.length = cmd.direction == kDirIn ? static_cast<uint32_t>(reply.data.size()) : cmd.length;
  if (reply.status != 0) ret.length = 0;
  ret.number_of_packets = 0xFFFFFFFF;  // not isochronous
  AppendHeader(ret, out);
  if (cmd.direction == kDirIn && reply.status == 0)
    out.insert(out.end(), reply.data.begin(), reply.data.end());
  // A programmer unplugged just after an answer has still delivered it.
  if (OffTheBus()) gone_ = true;
}

void UsbProgrammer::HandleUnlink(const UsbipHeader& cmd, std::vector<uint8_t>& out) {
  // A URB still held is dropped and never answered; one already answered
  // is reported as done.
  const auto it = std::find(pending_.begin(), pending_.end(), cmd.word5);
  int32_t status = 0;
  if (it != pending_.end()) {
    pending_.erase(it);
    status = kStatusUnlinked;
  }
  UsbipHeader ret;
  ret.command = kRetUnlink;
  ret.seqnum = cmd.seqnum;
  ret.word5 = static_cast<uint32_t>(status);
  AppendHeader(ret, out);
}

UsbProgrammer::Reply UsbProgrammer::Control(const std::array<uint8_t, 8>& setup,
                                            const uint8_t* out_data, uint32_t out_length) {
  const uint8_t type = setup[0];
  const uint8_t request = setup[1];
  const uint16_t value = static_cast<uint16_t>(setup[2] | setup[3] << 8);
  const UsbDescriptors& d = descriptors_;
  Reply r;
  switch (type) {
    case 0x80:  // standard, device to host, device
      if (request == kGetDescriptor) {
        const uint8_t kind = Hi(value);
        if (kind == kDescDevice) return {0, d.device, false};
        if (kind == kDescConfiguration && Lo(value) == 0) return {0, d.configuration, false};
        if (kind == kDescString) return StringDescriptor(Lo(value));
      } else if (request == kGetStatus) {
        return {0, {0, 0}, false};
      } else if (request == kGetConfiguration) {
        return {0, {configuration_}, false};
      }
      break;
    case 0x00:  // standard, host to device, device
      if (request == kSetConfiguration && value <= 1) {
        configuration_ = static_cast<uint8_t>(value);
        return r;
      }
      if (request == kSetAddress || request == kSetFeature || request == kClearFeature) return r;
      break;
    case 0x81:  // standard, device to host, interface
      if (request == kGetDescriptor && Hi(value) == kDescReport) return {0, d.report, false};
      if (request == kGetDescriptor && Hi(value) == kDescHid) return {0, d.hid, false};
      if (request == kGetStatus) return {0, {0, 0}, false};
      if (request == kGetInterface) return {0, {0}, false};
      break;
    case 0x01:  // standard, host to device, interface
      if (request == kSetInterface && value == 0) return r;
      break;
    case 0x02:  // standard, host to device, endpoint (clearing a halt)
      if (request == kClearFeature) return r;
      break;
    case 0x82:
      if (request == kGetStatus) return {0, {0, 0}, false};
      break;
    case 0x21:  // HID class, host to device
      if (request == kHidSetIdle || request == kHidSetProtocol) return r;
      if (request == kHidSetReport && value == kFeatureReport1)
        return SetReport(out_data, out_length);
      break;
    case 0xA1:  // HID class, device to host
      if (request == kHidGetReport && value == kFeatureReport1) return GetReport();
      if (request == kHidGetIdle) return {0, {0}, false};
      break;
    default:
      break;
  }
  r.status = kStatusStall;  // a request the device does not know
  return r;
}

UsbProgrammer::Reply UsbProgrammer::StringDescriptor(uint8_t index) {
  std::u16string text;
  bool known = true;
  if (index == 0) {
    return {0, {4, kDescString, 0x09, 0x04}, false};  // English (United States)
  } else if (index == 1) {
    known = programmer_.GetManufacturerString(handle_, text);
  } else if (index == 2) {
    known = programmer_.GetProductString(handle_, text);
  } else if (index == 3) {
    for (const char c : std::to_string(serial_)) text.push_back(c);
  } else {
    known = false;
  }
  if (!known) return {kStatusStall, {}, false};
  return {0, StringBytes(text), false};
}

UsbProgrammer::Reply UsbProgrammer::SetReport(const uint8_t* data, uint32_t length) {
  // The whole report with its id, or the firmware refuses it.
  if (length != kReportSize || data[0] != kReportId) return {kStatusStall, {}, false};
  if (!programmer_.SetFeature(handle_, data, length)) {
    gone_ = OffTheBus();
    return {kStatusStall, {}, false};
  }
  return {};
}

UsbProgrammer::Reply UsbProgrammer::GetReport() {
  std::vector<uint8_t> report(kReportSize);
  report[0] = kReportId;
  if (!programmer_.GetFeature(handle_, report.data(), report.size())) {
    gone_ = OffTheBus();
    return {kStatusStall, {}, false};
  }
  // At most wLength bytes go back: HandleSubmit cuts the reply.
  return {0, std::move(report), false};
}

}  // namespace rtd::usbip
