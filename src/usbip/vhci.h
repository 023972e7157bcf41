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

  // The first free USB 2 ("hs") port, or -1 with the reason in *error
  // (which names the file and carries the system's text).
  int FreePort(std::string* error) const;
  // Hands the connected socket to the kernel; it keeps its own reference,
  // so the caller may close its descriptor afterwards.
  bool Attach(int port, int sockfd, unsigned devid, int speed, std::string* error) const;
  bool Detach(int port, std::string* error) const;

  const std::string& directory() const { return directory_; }

 private:
  std::string directory_;
};

}  // namespace rtd::usbip
