#include "usbip/vhci.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace rtd::usbip {
namespace {

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// Writes one short command to a sysfs file in a single write, as the kernel
// parses each write on its own. The file's reply (EINVAL, EBUSY...) is the
// error.
bool WriteSysfs(const std::string& path, const std::string& text, std::string* error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (error != nullptr) *error = SystemError(path);
    return false;
  }
  const ssize_t written = write(fd, text.data(), text.size());
  const int saved = errno;
  close(fd);
  if (written != static_cast<ssize_t>(text.size())) {
    errno = written < 0 ? saved : EIO;
    if (error != nullptr) *error = SystemError(path);
    return false;
  }
  return true;
}

}  // namespace

namespace {

// One port's line of a status file.
struct PortStatus {
  std::string hub;
  int port = -1;
  int state = -1;  // 4 free, 5 attached but not yet enumerated, 6 in use
  unsigned devid = 0;  // shown only in use
  long long sockfd = -1;  // as the attaching process numbered it
};

// Every port of every controller: "status" lists the first controller's
// ports, "status.1" on those of the next ones:
// "hs  0000 004 000 00000000 000000 0-0", where 004 is a free port and 006
// one in use by the device in the fifth column. False with the reason when
// not even the first file can be read.
bool ReadPorts(const std::string& directory, std::vector<PortStatus>& ports,
               std::string* error) {
  for (int n = 0;; ++n) {
    const std::string path = directory + (n == 0 ? "/status" : "/status." + std::to_string(n));
    std::ifstream file(path);
    if (!file) {
      if (n > 0) return true;
      if (error != nullptr)
        *error = SystemError(path) + " (is the vhci-hcd module loaded? sudo modprobe vhci-hcd)";
      return false;
    }
    std::string line;
    std::getline(file, line);  // column titles
    while (std::getline(file, line)) {
      std::istringstream fields(line);
      PortStatus p;
      std::string speed;
      std::string dev;
      if (fields >> p.hub >> p.port >> p.state >> speed >> dev) {
        p.devid = static_cast<unsigned>(std::strtoul(dev.c_str(), nullptr, 16));
        fields >> p.sockfd;
        ports.push_back(p);
      }
    }
  }
}

}  // namespace

int Vhci::FreePort(std::string* error) const {
  std::vector<PortStatus> ports;
  if (!ReadPorts(directory_, ports, error)) return -1;
  for (const PortStatus& p : ports)
    if (p.hub == "hs" && p.state == 4) return p.port;
  if (error != nullptr) *error = "no free port on vhci-hcd";
  return -1;
}

bool Vhci::Attach(int port, int sockfd, unsigned devid, int speed, std::string* error) const {
  return WriteSysfs(directory_ + "/attach",
                    std::to_string(port) + " " + std::to_string(sockfd) + " " +
                        std::to_string(devid) + " " + std::to_string(speed),
                    error);
}

bool Vhci::Detach(int port, unsigned devid, int sockfd, std::string* error) const {
  std::vector<PortStatus> ports;
  if (!ReadPorts(directory_, ports, error)) return false;
  // Before the host has enumerated it, the kernel shows no device id yet.
  const bool ours = std::any_of(ports.begin(), ports.end(), [&](const PortStatus& p) {
    return p.port == port && p.state != 4 && p.sockfd == sockfd &&
           (p.state != 6 || p.devid == devid);
  });
  return !ours || WriteSysfs(directory_ + "/detach", std::to_string(port), error);
}

}  // namespace rtd::usbip
