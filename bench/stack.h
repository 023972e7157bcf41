// The whole stack on a virtual programmer, for the benchmarks.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "config/chip_database.h"
#include "config/settings.h"
#include "flash/operations.h"
#include "link/commands.h"
#include "link/exchange.h"
#include "quiet_output.h"
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
    device = std::make_unique<sim::VirtualProgrammer>(config, clock);
    link = std::make_unique<Link>(*device, clock, out);
    programmer = std::make_unique<Programmer>(*link);
    chips = std::make_unique<ChipDatabase>((dir / "jedec.ini").string(), out);
    settings = std::make_unique<SettingsFile>((dir / "settings.ini").string(), out);
    ops = std::make_unique<FlashOperations>(*programmer, *chips, *settings);
    out.image_path = (dir / "image.bin").string();
  }
  ~Stack() {
    // The link closes its handle on the device: tear down top to bottom.
    ops.reset();
    settings.reset();
    chips.reset();
    programmer.reset();
    link.reset();
    device.reset();
    std::filesystem::remove_all(dir);
  }

  std::filesystem::path dir;
  SystemClock clock;
  QuietOutput out;
  std::unique_ptr<sim::VirtualProgrammer> device;
  std::unique_ptr<Link> link;
  std::unique_ptr<Programmer> programmer;
  std::unique_ptr<ChipDatabase> chips;
  std::unique_ptr<SettingsFile> settings;
  std::unique_ptr<FlashOperations> ops;
};

}  // namespace rtd::bench
