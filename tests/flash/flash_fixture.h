// A board on the bench for the flash operation tests: the virtual
// programmer with its flash, the link, a chip database and a settings file in
// a temporary directory, and the recording output.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "config/chip_database.h"
#include "config/settings.h"
#include "flash/operations.h"
#include "i18n/lang.h"
#include "link/commands.h"
#include "link/exchange.h"
#include "link/report.h"
#include "recording_output.h"
#include "sim/virtual_programmer.h"
#include "temp_dir.h"

namespace rtd::test {

namespace fs = std::filesystem;

inline void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
}

inline std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Bytes that differ from address to address, so a misplaced block shows,
// and that do not repeat every 64 KiB (a dump that did would be taken for
// one of a smaller chip).
inline std::vector<uint8_t> Pattern(std::size_t size, uint8_t seed = 0) {
  std::vector<uint8_t> v(size);
  for (std::size_t i = 0; i < size; ++i)
    v[i] = static_cast<uint8_t>((i * 7 + (i >> 8) * 13 + (i >> 16) * 29 + seed) & 0xFF);
  return v;
}

// FlashOperations whose buffer allocation can be made to fail.
class TestableOperations : public FlashOperations {
 public:
  using FlashOperations::FlashOperations;
  bool fail_allocation = false;

 protected:
  std::unique_ptr<uint8_t[]> AllocateImageBuffer(uint32_t size) override {
    if (fail_allocation) return nullptr;
    return FlashOperations::AllocateImageBuffer(size);
  }
};

// The bus as the link sees it: the virtual programmer, with a hook that may
// change a reply on its way back (answers the device never gives by itself,
// such as a refused JEDEC id read).
class TamperingBus : public HidPlatform {
 public:
  explicit TamperingBus(HidPlatform& device) : device_(device) {}
  // Called with every complete reply; the checksum is fixed up afterwards.
  std::function<void(uint8_t* report)> on_reply;

  bool LoadLibrary() override { return device_.LoadLibrary(); }
  bool ResolveEntryPoints() override { return device_.ResolveEntryPoints(); }
  std::vector<std::string> EnumerateInterfaces() override { return device_.EnumerateInterfaces(); }
  HidHandle Open(const std::string& path) override { return device_.Open(path); }
  std::unique_ptr<DeviceLock> MakeLock() override { return device_.MakeLock(); }
  void Close(HidHandle handle) override { device_.Close(handle); }
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override {
    return device_.GetAttributes(handle, attributes);
  }
  bool GetManufacturerString(HidHandle handle, std::u16string& text) override {
    return device_.GetManufacturerString(handle, text);
  }
  bool GetProductString(HidHandle handle, std::u16string& text) override {
    return device_.GetProductString(handle, text);
  }
  bool SetFeature(HidHandle handle, const uint8_t* data, std::size_t length) override {
    return device_.SetFeature(handle, data, length);
  }
  bool GetFeature(HidHandle handle, uint8_t* data, std::size_t length) override {
    if (!device_.GetFeature(handle, data, length)) return false;
    if (on_reply && length == kReportSize && data[1] != 0) {
      on_reply(data);
      data[kReportChecksumOffset] = FrameChecksum(0, data + 1, kReportChecksumOffset - 1);
    }
    return true;
  }

 private:
  HidPlatform& device_;
};

class FlashBench : public ::testing::Test {
 protected:
  static constexpr uint32_t kFlashSize = 512 * 1024;

  void SetUp() override {
    saved_language_ = CurrentLanguage;
    CurrentLanguage = kLanguageEnglish;
    WriteText(dir_ / "jedec.ini",
              "[EF4013]\r\nManufacturer=Winbond W25Q40\r\nSizeInBytes=524288\r\n"
              "[BF258D]\r\nManufacturer=SST 25VF040B\r\nSizeInBytes=524288\r\n");
  }
  void TearDown() override {
    Stop();
    CurrentLanguage = saved_language_;
  }

  // Plugs in a programmer with this configuration (the flash erased unless
  // content is given).
  void Start(sim::SimConfig config = {}, const std::vector<uint8_t>& content = {}) {
    Stop();
    device_ = std::make_unique<sim::VirtualProgrammer>(config, clock_);
    // As much of the content as the chip holds.
    const auto cells = device_->Flash();
    std::copy_n(content.begin(), std::min(content.size(), cells.size()), cells.begin());
    bus_ = std::make_unique<TamperingBus>(*device_);
    link_ = std::make_unique<Link>(*bus_, clock_, out_);
    programmer_ = std::make_unique<Programmer>(*link_);
    chips_ = std::make_unique<ChipDatabase>((dir_ / "jedec.ini").string(), out_);
    settings_ = std::make_unique<SettingsFile>((dir_ / "rtdprog.ini").string(), out_);
    ops_ = std::make_unique<TestableOperations>(*programmer_, *chips_, *settings_);
  }

  // Unplugs the bench, the link before the device it holds open.
  void Stop() {
    ops_.reset();
    settings_.reset();
    chips_.reset();
    programmer_.reset();
    link_.reset();
    bus_.reset();
    device_.reset();
  }

  // As after a connect check that found this chip; nothing recorded yet.
  void Identify(uint32_t size = kFlashSize, JedecBytes id = {0xEF, 0x40, 0x13}) {
    ops_->CurrentFlash.JedecId = id;
    ops_->CurrentFlash.Manufacturer = "Winbond W25Q40";
    ops_->CurrentFlash.SizeInBytes = size;
  }

  // Writes an image file and makes it the open chooser's answer.
  std::string OfferImage(const std::vector<uint8_t>& bytes, const std::string& name = "in.bin") {
    const fs::path path = dir_ / name;
    WriteFile(path, bytes);
    out_.open_answer = path.string();
    return path.string();
  }

  // Commands sent since the last ClearRequests, in order.
  std::vector<uint8_t> Commands() const {
    std::vector<uint8_t> v;
    for (const auto& r : device_->Requests()) v.push_back(r.command);
    return v;
  }
  std::vector<uint32_t> AddressesOf(uint8_t command) const {
    std::vector<uint32_t> v;
    for (const auto& r : device_->Requests())
      if (r.command == command) v.push_back(r.address);
    return v;
  }
  void Forget() {
    out_.events.clear();
    out_.steps.clear();
    out_.pumps = 0;
    device_->ClearRequests();
  }
  // Stops the running operation from inside its message pump, as a second
  // click on its button would, once the given pump has been reached.
  void StopAtPump(int pump, OpResult (FlashOperations::*click)()) {
    out_.on_pump = [this, pump, click](int n) {
      if (n == pump) {
        EXPECT_EQ((ops_.get()->*click)(), OpResult::kNotStarted);
      }
    };
  }

  ManualClock clock_{1000, 1};
  RecordingOutput out_{&clock_};
  TempDir temp_;
  fs::path dir_ = temp_.fs_path();
  std::unique_ptr<sim::VirtualProgrammer> device_;
  std::unique_ptr<TamperingBus> bus_;
  std::unique_ptr<Link> link_;
  std::unique_ptr<Programmer> programmer_;
  std::unique_ptr<ChipDatabase> chips_;
  std::unique_ptr<SettingsFile> settings_;
  std::unique_ptr<TestableOperations> ops_;

 private:
  int32_t saved_language_ = 0;
};

}  // namespace rtd::test
