// rtdprog-usbip: the virtual programmer on this machine's own USB stack.
// It plugs a USB device into the kernel's virtual host controller
// (vhci-hcd), so that rtdprog and rtdprog-cli find it through hidraw exactly
// as they find the real programmer.
//
//   rtdprog-usbip --attach [FILE]
//
// FILE holds the virtual programmer's settings, as for --simulate=FILE.
// SIGUSR1 unplugs the device, SIGUSR2 plugs it back in; SIGINT and SIGTERM
// unplug it and end the program.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "i18n/lang.h"
#include "sim/virtual_programmer.h"
#include "usbip/usb_programmer.h"
#include "usbip/vhci.h"

namespace {

// Set by the signal handlers, which can reach nothing but globals. Unplug
// (SIGUSR1) and plug (SIGUSR2) are carried out in the order they were
// delivered: a plug followed at once by an unplug ends unplugged. The
// handler holds the other signals off, so one that comes while another is
// being taken waits for the next wait instead of overtaking it. (Two that
// are both pending before a wait begins are handed over by the system in
// its own order, by number; nothing records which came first.)
volatile std::sig_atomic_t g_quit = 0;
constexpr int kMaxPlugEvents = 64;
volatile std::sig_atomic_t g_plug_events[kMaxPlugEvents];
volatile std::sig_atomic_t g_plug_event_count = 0;

void OnSignal(int signal) {
  if (signal == SIGUSR1 || signal == SIGUSR2) {
    // More than the queue holds in one wait: the last one still decides.
    const int at = g_plug_event_count < kMaxPlugEvents ? g_plug_event_count : kMaxPlugEvents - 1;
    g_plug_events[at] = signal;
    g_plug_event_count = at + 1;
  } else {
    g_quit = 1;
  }
}

// Messages of the virtual programmer (its settings file) follow the locale,
// as in rtdprog-cli.
int32_t LanguageOfLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0')
      return std::string(v).rfind("ru", 0) == 0 ? rtd::kLanguageRussian : rtd::kLanguageEnglish;
  }
  return rtd::kLanguageEnglish;
}

constexpr const char* kUsage =
    "usage: rtdprog-usbip --attach [FILE]\n"
    "  Plugs the virtual programmer (settings in FILE, as for rtdprog-cli --simulate=FILE)\n"
    "  into this machine's virtual USB host controller (needs root and the vhci-hcd module).\n"
    "  SIGUSR1 unplugs it, SIGUSR2 plugs it back in, Ctrl-C or SIGTERM unplugs it and ends.\n";

// Bus 1, device number after the port: only the kernel's own bookkeeping
// looks at it.
unsigned DevidFor(int port) { return (1u << 16) | static_cast<unsigned>(port + 2); }

// One device plugged into one vhci port over one socket.
class Connection {
 public:
  Connection(rtd::sim::VirtualProgrammer& programmer, const std::string& path,
             const rtd::usbip::Vhci& vhci)
      : vhci_(vhci), path_(path), device_(programmer, path) {}
  ~Connection() { Unplug(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Plug(std::string* error) {
    port_ = vhci_.FreePort(error);
    if (port_ < 0) return false;
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
      *error = std::string("socketpair: ") + std::strerror(errno);
      return false;
    }
    socket_ = fds[0];
    // The kernel takes its own reference to its end of the pair.
    attached_sockfd_ = fds[1];
    const bool attached =
        vhci_.Attach(port_, fds[1], DevidFor(port_), rtd::usbip::kSpeedFull, error);
    close(fds[1]);
    if (!attached) {
      close(socket_);
      socket_ = -1;
      return false;
    }
    std::cerr << "rtdprog-usbip: attached to port " << port_ << " of the virtual USB host "
              << "controller\n";
    return true;
  }

  void Unplug() {
    if (socket_ < 0) return;
    std::string error;
    // The host may have dropped the device already; then there is nothing
    // to detach, and the port may by now hold another device.
    if (!vhci_.Detach(port_, DevidFor(port_), attached_sockfd_, &error) && errno != EINVAL)
      std::cerr << "rtdprog-usbip: " << error << '\n';
    close(socket_);
    socket_ = -1;
    std::cerr << "rtdprog-usbip: detached\n";
  }

  int socket() const { return socket_; }
  const std::string& path() const { return path_; }
  bool Attached() const { return socket_ >= 0; }
  bool IsProgrammer() const { return device_.IsProgrammer(); }
  // False for a device that cannot be opened: it never goes on the bus.
  bool Usable() const { return !device_.Gone(); }

  // Reads what the host sent and answers it. False when the connection
  // ended (the host let go of the device, or the programmer left the bus).
  bool Serve() {
    uint8_t buffer[4096];
    const ssize_t n = read(socket_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (n <= 0) {
      std::cerr << "rtdprog-usbip: the host closed the connection"
                << (n < 0 ? std::string(": ") + std::strerror(errno) : std::string()) << '\n';
      return false;
    }
    out_.clear();
    const bool sane = device_.Receive(buffer, static_cast<std::size_t>(n), out_);
    if (!out_.empty() && !WriteAll()) return false;
    if (!sane) {
      std::cerr << "rtdprog-usbip: the host sent something that is no USB/IP command\n";
      return false;
    }
    return !device_.Gone();
  }

 private:
  bool WriteAll() {
    std::size_t done = 0;
    while (done < out_.size()) {
      const ssize_t n = write(socket_, out_.data() + done, out_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        std::cerr << "rtdprog-usbip: sending to the host: " << std::strerror(errno) << '\n';
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  const rtd::usbip::Vhci& vhci_;
  std::string path_;
  rtd::usbip::UsbProgrammer device_;
  int port_ = -1;
  int socket_ = -1;
  int attached_sockfd_ = -1;  // the number the kernel knows the socket by
  std::vector<uint8_t> out_;
};

// The devices on the bus: the programmers and the decoys, plugged in the
// order the virtual programmer enumerates them, each over its own socket.
class Bus {
 public:
  explicit Bus(rtd::sim::VirtualProgrammer& programmer) : programmer_(programmer) {}

  // Plugs in every device of the virtual programmer not on the bus yet;
  // false when the host controller refused one (told on stderr).
  bool PlugMissing() {
    for (const std::string& path : programmer_.EnumerateInterfaces()) {
      if (std::any_of(devices_.begin(), devices_.end(),
                      [&](const auto& d) { return d->path() == path; }))
        continue;
      auto connection = std::make_unique<Connection>(programmer_, path, vhci_);
      if (!connection->Usable()) continue;  // cannot be opened: never on the bus
      std::string error;
      if (!connection->Plug(&error)) {
        std::cerr << "rtdprog-usbip: cannot attach to the virtual USB host controller: " << error
                  << '\n';
        return false;
      }
      devices_.push_back(std::move(connection));
    }
    return true;
  }

  // The programmers leave the bus together, as they do in the virtual
  // programmer.
  void UnplugProgrammers() {
    programmer_.Unplug();
    std::erase_if(devices_, [](const auto& d) { return d->IsProgrammer(); });
  }

  // Carries out the plug and unplug signals in the order they came.
  void TakePlugEvents() {
    // The handlers run only inside ppoll, so the queue holds still here.
    for (int i = 0; i < g_plug_event_count; ++i) {
      if (g_plug_events[i] == SIGUSR1) {
        UnplugProgrammers();
      } else {
        programmer_.Plug();
        PlugMissing();
      }
    }
    g_plug_event_count = 0;
  }

  // Waits for the host (or a signal, taken with the mask waiting) and
  // answers what it sent; false when the wait itself failed.
  bool ServeOnce(const sigset_t& waiting) {
    std::vector<pollfd> fds;
    for (const auto& d : devices_) fds.push_back({d->socket(), POLLIN, 0});
    const int ready = ppoll(fds.data(), fds.size(), nullptr, &waiting);
    if (ready < 0 && errno != EINTR) {
      std::cerr << "rtdprog-usbip: " << std::strerror(errno) << '\n';
      return false;
    }
    bool programmer_gone = false;
    for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
      if (fds[i].revents == 0 || devices_[i]->Serve()) continue;
      // Gone from the bus: unplugged by the programmer itself or by the
      // host. The programmers stay off until SIGUSR2.
      if (devices_[i]->IsProgrammer()) programmer_gone = true;
      devices_[i]->Unplug();
    }
    std::erase_if(devices_, [](const auto& d) { return !d->Attached(); });
    if (programmer_gone) UnplugProgrammers();
    return true;
  }

  void UnplugAll() { devices_.clear(); }

 private:
  rtd::sim::VirtualProgrammer& programmer_;
  const rtd::usbip::Vhci vhci_;
  std::vector<std::unique_ptr<Connection>> devices_;
};

// The signals are taken only while waiting in ppoll, so none is lost
// between a look at the flags and the wait; the mask to wait with.
sigset_t TakeSignalsOnlyWhileWaiting() {
  sigset_t blocked;
  sigset_t waiting;
  sigemptyset(&blocked);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&blocked, s);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sa.sa_mask = blocked;
    sigaction(s, &sa, nullptr);
  }
  sigprocmask(SIG_BLOCK, &blocked, &waiting);
  // Taken in ppoll even when the parent had them blocked (the mask is
  // inherited), and one at a time, so the handler never meets itself.
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) sigdelset(&waiting, s);
  signal(SIGPIPE, SIG_IGN);
  return waiting;
}

}  // namespace

int main(int argc, char** argv) {
  rtd::CurrentLanguage = LanguageOfLocale();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] != "--attach" || args.size() > 2) {
    std::cerr << kUsage;
    return 2;
  }
  rtd::sim::SimConfig config;
  if (args.size() == 2) {
    std::string error;
    if (!rtd::sim::LoadSimConfig(args[1], config, error)) {
      std::cerr << "rtdprog-usbip: " << error << '\n';
      return 2;
    }
  }
  rtd::SystemClock clock;
  rtd::sim::VirtualProgrammer programmer(std::move(config), clock);
  programmer.SetRecordRequests(false);
  if (!programmer.ImageError().empty()) {
    std::cerr << "rtdprog-usbip: " << programmer.ImageError() << '\n';
    return 1;
  }

  const sigset_t waiting = TakeSignalsOnlyWhileWaiting();
  Bus bus(programmer);
  if (!bus.PlugMissing()) return 1;
  while (g_quit == 0) {
    bus.TakePlugEvents();
    if (!bus.ServeOnce(waiting)) break;
  }
  bus.UnplugAll();
  programmer.Flush();
  return 0;
}
