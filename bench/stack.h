// The whole stack on a virtual programmer, for the benchmarks: one Session,
// as the window and the command line have it, in a scratch directory.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "quiet_output.h"
#include "shell/session.h"
#include "sim/virtual_programmer.h"

namespace rtd::bench {

struct Stack {
  explicit Stack(uint32_t size, uint32_t transfer_us = 0)
      : dir(std::filesystem::temp_directory_path() /
            ("rtdbench-" + std::to_string(::getpid()))),
        out(clock) {
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "jedec.ini") << "[EF4018]\nManufacturer=Winbond W25Q128\nSizeInBytes=16777216\n"
                                     << "[EF4013]\nManufacturer=Winbond W25Q40\nSizeInBytes=524288\n";
    sim::SimConfig config;
    config.jedec = size > 524288 ? std::array<uint8_t, 3>{0xEF, 0x40, 0x18}
                                 : std::array<uint8_t, 3>{0xEF, 0x40, 0x13};
    config.size = size;
    config.transfer_us = transfer_us;
    config.erase_ms = 0;
    session = std::make_unique<shell::Session>(
        std::make_unique<sim::VirtualProgrammer>(config, clock), clock, out,
        shell::SessionPaths{(dir / "jedec.ini").string(), (dir / "settings.ini").string()});
    ops = &session->ops();
    out.image_path = (dir / "image.bin").string();
  }
  ~Stack() {
    session.reset();
    std::filesystem::remove_all(dir);
  }

  std::filesystem::path dir;
  SystemClock clock;
  QuietOutput out;
  std::unique_ptr<shell::Session> session;
  FlashOperations* ops = nullptr;
};

}  // namespace rtd::bench
