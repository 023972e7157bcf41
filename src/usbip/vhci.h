// The kernel's virtual USB host controller (vhci-hcd), driven through its
// sysfs files: a free port is taken from the "status" files, a device is
// plugged into it by writing "PORT SOCKFD DEVID SPEED" to "attach", and
// unplugged by writing the port to "detach".
#pragma once

#include <string>

namespace rtd::usbip {

// The first controller's directory, where attach and detach live.
inline constexpr const char* kVhciDirectory = "/sys/devices/platform/vhci_hcd.0";

// Device speed as the kernel numbers it (USB_SPEED_FULL).
inline constexpr int kSpeedFull = 2;

class Vhci {
 public:
  explicit Vhci(std::string directory = kVhciDirectory) : directory_(std::move(directory)) {}

  // The first free USB 2 ("hs") port, or -1 with the reason in *error:
  // "no free port on vhci-hcd", or the status file that cannot be read
  // with the system's text and the hint to load the module.
  int FreePort(std::string* error) const;
  // Hands the connected socket to the kernel; it keeps its own reference,
  // so the caller may close its descriptor afterwards.
  bool Attach(int port, int sockfd, unsigned devid, int speed, std::string* error) const;
  // Unplugs the device only while port still holds the one attached with
  // devid and sockfd: once the host has let go of it, the port may be
  // someone else's. True when that device is gone from the port.
  bool Detach(int port, unsigned devid, int sockfd, std::string* error) const;

  const std::string& directory() const { return directory_; }

 private:
  std::string directory_;
};

}  // namespace rtd::usbip
