#include "usbip/vhci.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

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

int Vhci::FreePort(std::string* error) const {
  // "status" lists the first controller's ports, "status.1" on those of
  // the next ones: "hs  0000 004 000 00000000 000000 0-0", where 004 is a
  // free port.
  for (int n = 0;; ++n) {
    const std::string path = directory_ + (n == 0 ? "/status" : "/status." + std::to_string(n));
    std::ifstream file(path);
    if (!file) {
      if (n == 0 && error != nullptr) {
        *error = SystemError(path);
      } else if (error != nullptr) {
        *error = "no free port on the virtual USB host controller";
      }
      return -1;
    }
    std::string line;
    std::getline(file, line);  // column titles
    while (std::getline(file, line)) {
      std::istringstream fields(line);
      std::string hub;
      int port = -1;
      int state = -1;
      if (fields >> hub >> port >> state && hub == "hs" && state == 4) return port;
    }
  }
}

bool Vhci::Attach(int port, int sockfd, unsigned devid, int speed, std::string* error) const {
  return WriteSysfs(directory_ + "/attach",
                    std::to_string(port) + " " + std::to_string(sockfd) + " " +
                        std::to_string(devid) + " " + std::to_string(speed),
                    error);
}

bool Vhci::Detach(int port, std::string* error) const {
  return WriteSysfs(directory_ + "/detach", std::to_string(port), error);
}

}  // namespace rtd::usbip
