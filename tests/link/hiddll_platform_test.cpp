// The HID.DLL backend against a scripted Windows: what it asks of the
// system, with which arguments, and what it makes of the answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "i18n/lang.h"
#include "link/hiddll_platform.h"
#include "link/transport.h"
#include "scripted_objects.h"

namespace rtd::test {
namespace {

struct ScriptedDevice {
  std::string path;
  uint16_t vendor_id = 0xFFFF;
  uint16_t product_id = 0x00FF;
  std::u16string manufacturer = u"QEL";
  std::u16string product = u"ZEZ2662-IDAD";
  bool openable = true;
  bool detail_readable = true;
  bool fill_string_buffer = false;  // a string with no terminator in the buffer
};

// A Windows with HID.DLL, the device setup functions, some HID devices and
// the named objects of the lock. Plain function pointers reach it through
// the one current instance.
struct ScriptedWindows : ScriptedObjects {
  static inline ScriptedWindows* current = nullptr;

  std::vector<ScriptedDevice> devices;
  bool library_present = true;
  std::string missing_entry_point;
  bool feature_fails = false;

  // What the backend asked.
  std::vector<std::string> libraries_loaded;
  std::vector<std::string> entry_points_asked;
  uint32_t class_flags = 0;
  const WinGuid* class_guid = nullptr;
  std::vector<uint32_t> interface_sizes, detail_sizes;
  int detail_calls_without_buffer = 0;
  std::vector<std::string> create_calls;
  uint32_t create_access = 0, create_share = 0, create_disposition = 0, create_flags = 99;
  int sets_open = 0, handles_open = 0;
  uint32_t attributes_size = 0, string_length = 0, feature_length = 0;
  std::vector<uint8_t> last_set_feature;

  static constexpr WinGuid kHidGuid{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0, 0x11, 0, 0, 0x30, 0}};

  ScriptedWindows() { current = this; }
  ~ScriptedWindows() { current = nullptr; }

  static WinHandle HandleOf(std::size_t index) { return reinterpret_cast<WinHandle>(index + 0x100); }
  static ScriptedDevice& DeviceOf(WinHandle h) {
    return current->devices[reinterpret_cast<uintptr_t>(h) - 0x100];
  }

  static HidDllFunctions Functions() {
    HidDllFunctions f;
    f.LoadLibraryA = [](const char* name) -> void* {
      current->libraries_loaded.push_back(name);
      return current->library_present ? current : nullptr;
    };
    f.GetProcAddress = [](void*, const char* name) -> WinProc {
      current->entry_points_asked.push_back(name);
      if (name == current->missing_entry_point) return nullptr;
      const std::string n = name;
      if (n == "HidD_GetHidGuid") return reinterpret_cast<WinProc>(GetHidGuid);
      if (n == "HidD_GetAttributes") return reinterpret_cast<WinProc>(GetAttributes);
      if (n == "HidD_GetManufacturerString") return reinterpret_cast<WinProc>(GetManufacturer);
      if (n == "HidD_GetProductString") return reinterpret_cast<WinProc>(GetProduct);
      if (n == "HidD_GetFeature") return reinterpret_cast<WinProc>(GetFeature);
      if (n == "HidD_SetFeature") return reinterpret_cast<WinProc>(SetFeature);
      return reinterpret_cast<WinProc>(Unused);  // present, never called
    };
    f.CreateFileA = [](const char* path, uint32_t access, uint32_t share, void*,
                       uint32_t disposition, uint32_t flags, WinHandle) -> WinHandle {
      ScriptedWindows& w = *current;
      w.create_calls.push_back(path);
      w.create_access = access, w.create_share = share;
      w.create_disposition = disposition, w.create_flags = flags;
      for (std::size_t i = 0; i < w.devices.size(); ++i) {
        if (w.devices[i].path != path || !w.devices[i].openable) continue;
        ++w.handles_open;
        return HandleOf(i);
      }
      return kWinInvalidHandle;
    };
    f.CloseHandle = [](WinHandle) -> int32_t { return --current->handles_open, 1; };
    f.SetupDiGetClassDevsA = [](const WinGuid* guid, const char* enumerator, void* parent,
                                uint32_t flags) -> WinHandle {
      EXPECT_EQ(enumerator, nullptr);
      EXPECT_EQ(parent, nullptr);
      current->class_guid = guid;
      current->class_flags = flags;
      ++current->sets_open;
      return current;
    };
    f.SetupDiEnumDeviceInterfaces = [](WinHandle, void* device_info, const WinGuid* guid,
                                       uint32_t index, WinDeviceInterfaceData* data) -> int32_t {
      EXPECT_EQ(device_info, nullptr);
      EXPECT_EQ(std::memcmp(guid, &kHidGuid, sizeof kHidGuid), 0);
      current->interface_sizes.push_back(data->cbSize);
      if (index >= current->devices.size()) return 0;
      data->Reserved = index;
      return 1;
    };
    f.SetupDiGetDeviceInterfaceDetailA = [](WinHandle, WinDeviceInterfaceData* data, void* detail,
                                            uint32_t size, uint32_t* required,
                                            void*) -> int32_t {
      const ScriptedDevice& d = current->devices[data->Reserved];
      const auto needed = static_cast<uint32_t>(kDevicePathOffset + d.path.size() + 1);
      if (detail == nullptr) {
        ++current->detail_calls_without_buffer;
        if (required != nullptr) *required = needed;
        return 0;  // ERROR_INSUFFICIENT_BUFFER
      }
      uint32_t cb_size = 0;
      std::memcpy(&cb_size, detail, sizeof cb_size);
      current->detail_sizes.push_back(cb_size);
      if (!d.detail_readable || size < needed) return 0;
      std::memcpy(static_cast<char*>(detail) + kDevicePathOffset, d.path.c_str(), d.path.size() + 1);
      return 1;
    };
    f.SetupDiDestroyDeviceInfoList = [](WinHandle) -> int32_t { return --current->sets_open, 1; };
    f.objects = ObjectFunctions();
    return f;
  }

  static void GetHidGuid(WinGuid* guid) { *guid = kHidGuid; }
  static uint8_t GetAttributes(WinHandle h, WinHidAttributes* a) {
    current->attributes_size = a->Size;
    a->VendorID = DeviceOf(h).vendor_id;
    a->ProductID = DeviceOf(h).product_id;
    return 1;
  }
  static uint8_t PutString(WinHandle h, const std::u16string& s, void* buffer, uint32_t length) {
    current->string_length = length;
    auto* units = static_cast<char16_t*>(buffer);
    if (DeviceOf(h).fill_string_buffer) {
      for (uint32_t i = 0; i < length / 2; ++i) units[i] = u'A';
      return 1;
    }
    std::memcpy(units, s.c_str(), (s.size() + 1) * 2);
    return 1;
  }
  static uint8_t GetManufacturer(WinHandle h, void* b, uint32_t n) {
    return PutString(h, DeviceOf(h).manufacturer, b, n);
  }
  static uint8_t GetProduct(WinHandle h, void* b, uint32_t n) {
    return PutString(h, DeviceOf(h).product, b, n);
  }
  static uint8_t SetFeature(WinHandle, void* report, uint32_t length) {
    current->feature_length = length;
    const auto* bytes = static_cast<const uint8_t*>(report);
    current->last_set_feature.assign(bytes, bytes + length);
    return current->feature_fails ? 0 : 1;
  }
  static uint8_t GetFeature(WinHandle, void* report, uint32_t length) {
    current->feature_length = length;
    static_cast<uint8_t*>(report)[1] = 0xFF;
    return current->feature_fails ? 0 : 1;
  }
  static void Unused() { ADD_FAILURE() << "an entry point that is never called was called"; }
};

TEST(HidDllPlatform, LoadsHidDllAndNeedsAllNineEntryPoints) {
  ScriptedWindows windows;
  HidDllPlatform platform(ScriptedWindows::Functions());
  HidTransport transport(platform);

  windows.library_present = false;
  EXPECT_EQ(transport.HidLoad(), kLinkNoLibrary);
  EXPECT_EQ(windows.libraries_loaded, std::vector<std::string>{"HID.DLL"});

  windows.library_present = true;
  windows.missing_entry_point = "HidD_SetNumInputBuffers";
  EXPECT_EQ(transport.HidLoad(), kLinkNoEntryPoint);
  const std::vector<std::string> nine(std::begin(kHidDllEntryPoints), std::end(kHidDllEntryPoints));
  EXPECT_EQ(windows.entry_points_asked, nine);
  EXPECT_EQ(transport.HidLoad(), kLinkNoEntryPoint);  // tried again, in full
  EXPECT_EQ(windows.entry_points_asked.size(), 18u);

  windows.missing_entry_point.clear();
  EXPECT_EQ(transport.HidLoad(), kLinkOk);
  EXPECT_EQ(transport.HidLoad(), kLinkOk);
  EXPECT_EQ(windows.libraries_loaded.size(), 4u);
  EXPECT_EQ(windows.entry_points_asked.size(), 27u);
}

TEST(HidDllPlatform, ListsHidInterfacesWithTheDeviceSetupCalls) {
  ScriptedWindows windows;
  windows.devices = {{.path = "\\\\?\\hid#a"},
                     {.path = "\\\\?\\hid#unreadable", .detail_readable = false},
                     {.path = "\\\\?\\hid#" + std::string(300, 'c')}};
  HidDllPlatform platform(ScriptedWindows::Functions());
  EXPECT_TRUE(platform.EnumerateInterfaces().empty());  // nothing before HID.DLL is loaded
  ASSERT_TRUE(platform.LoadLibrary() && platform.ResolveEntryPoints());

  const std::vector<std::string> paths = platform.EnumerateInterfaces();
  EXPECT_EQ(paths, (std::vector<std::string>{windows.devices[0].path, windows.devices[2].path}));
  EXPECT_EQ(windows.class_flags, 0x12u);
  EXPECT_EQ(windows.sets_open, 0);
  EXPECT_EQ(windows.detail_calls_without_buffer, 3);
  // The sizes Windows checks: those of its structures in this program's own
  // layout (a 32-bit program passes 28 and 5).
  const uint32_t interface_size = sizeof(void*) == 8 ? 32 : 28;
  const uint32_t detail_size = sizeof(void*) == 8 ? 8 : 5;
  EXPECT_EQ(windows.interface_sizes, std::vector<uint32_t>(4, interface_size));
  EXPECT_EQ(windows.detail_sizes, std::vector<uint32_t>(3, detail_size));
}

TEST(HidDllPlatform, OpensDevicesAndMovesFeatureReports) {
  ScriptedWindows windows;
  windows.devices = {{.path = "busy", .openable = false},
                     {.path = "decoy", .manufacturer = u"qel"},
                     {.path = "programmer"}};
  HidDllPlatform platform(ScriptedWindows::Functions());
  HidTransport transport(platform);

  HidReport request{};
  request[0] = kReportId;
  request[1] = 0x42;
  request[261] = 0x5A;
  ASSERT_EQ(transport.ReportSend(request), kLinkOk);
  EXPECT_EQ(windows.create_calls, (std::vector<std::string>{"busy", "decoy", "programmer"}));
  EXPECT_EQ(windows.create_access, 0xC0000000u);  // GENERIC_READ | GENERIC_WRITE
  EXPECT_EQ(windows.create_share, 3u);
  EXPECT_EQ(windows.create_disposition, 3u);  // OPEN_EXISTING
  EXPECT_EQ(windows.create_flags, 0u);        // synchronous
  EXPECT_EQ(windows.attributes_size, 12u);
  EXPECT_EQ(windows.string_length, 512u);
  EXPECT_EQ(windows.handles_open, 1);  // the decoy was closed again
  EXPECT_EQ(windows.feature_length, 263u);
  EXPECT_EQ(windows.last_set_feature, std::vector<uint8_t>(request.begin(), request.end()));

  HidReport reply{};
  reply[0] = kReportId;
  ASSERT_EQ(transport.ReportReceive(reply), kLinkOk);
  EXPECT_EQ(reply[1], 0xFF);

  windows.feature_fails = true;
  EXPECT_EQ(transport.ReportReceive(reply), kLinkCommFailure);
  EXPECT_EQ(windows.handles_open, 0);
}

TEST(HidDllPlatform, OneProgrammerServesOneProgramAtATime) {
  ScriptedWindows windows;
  windows.devices = {{.path = "\\\\?\\hid#vid_ffff&pid_00ff#1"}};
  HidDllPlatform window_platform(ScriptedWindows::Functions());
  HidDllPlatform cli_platform(ScriptedWindows::Functions());
  HidTransport window(window_platform);
  HidTransport cli(cli_platform);
  ASSERT_EQ(window.LinkOpen(), kLinkOk);

  windows.process_id = 815;
  EXPECT_EQ(cli.LinkOpen(), kLinkInUse);
  EXPECT_EQ(cli.Refusal().path, windows.devices[0].path);
  EXPECT_EQ(cli.Refusal().holder.program, "rtdprog.exe");
  EXPECT_EQ(cli.Refusal().holder.process_id, 4711u);
  EXPECT_EQ(windows.handles_open, 1);  // the refused program's handle closed again
  // One object for every session, whatever the case of the path.
  ASSERT_EQ(windows.objects.size(), 1u);
  EXPECT_EQ(windows.objects.begin()->first.rfind(u"Global\\rtdprog-lock-", 0), 0u);
  EXPECT_EQ(LockObjectName("\\\\?\\HID#VID_FFFF&PID_00FF#1"), windows.objects.begin()->first);

  window.LinkClose();
  EXPECT_TRUE(windows.objects.empty());
  EXPECT_EQ(cli.LinkOpen(), kLinkOk);
  EXPECT_EQ(window.LinkOpen(), kLinkInUse);
  EXPECT_EQ(window.Refusal().holder.process_id, 815u);
  cli.LinkClose();

  // No lock to be had is no programmer to use, and no fault of its access
  // rights either; the system's reason is kept.
  windows.objects_fail = true;
  EXPECT_EQ(window.LinkOpen(), kLinkNotLocked);
  EXPECT_EQ(window.Refusal().reason, "system error 1450");
  EXPECT_EQ(window.OpenFailure(), "");
  EXPECT_EQ(windows.handles_open, 0);
}

// Fast user switching, a remote desktop: another user's program in another
// session.
TEST(HidDllPlatform, OneLockServesEverySessionOrSaysItCannot) {
  const int32_t language = CurrentLanguage;
  CurrentLanguage = kLanguageEnglish;
  ScriptedWindows windows;
  windows.devices = {{.path = "\\\\?\\hid#vid_ffff&pid_00ff#1"}};
  HidDllPlatform a_platform(ScriptedWindows::Functions());
  HidDllPlatform b_platform(ScriptedWindows::Functions());
  HidTransport user_a(a_platform);
  HidTransport user_b(b_platform);
  ASSERT_EQ(user_a.LinkOpen(), kLinkOk);
  EXPECT_EQ(user_a.ClaimNote(), "");
  // Every user may open the object and read its access list, where the
  // holder is; nobody may do more.
  const std::vector<uint8_t>& security = windows.objects.begin()->second.security;
  const std::vector<uint8_t> everyone = {0, 0, 20, 0, 0, 0, 0x12, 0, 1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
  EXPECT_NE(std::search(security.begin(), security.end(), everyone.begin(), everyone.end()),
            security.end());

  windows.process_id = 815;
  windows.session_id = 2;
  EXPECT_EQ(user_b.LinkOpen(), kLinkInUse);
  EXPECT_EQ(LockHolderText(user_b.Refusal().holder), "rtdprog.exe (process 4711, session 1)");
  user_a.LinkClose();

  // A session that may not make objects in Global\: Local\, and the user is
  // told what that leaves open.
  windows.global_refused = true;
  ASSERT_EQ(user_b.LinkOpen(), kLinkOk);
  EXPECT_EQ(windows.objects.begin()->first.rfind(u"Local\\rtdprog-lock-", 0), 0u);
  EXPECT_EQ(user_b.ClaimNote(),
            "The programmer is locked for this program in this Windows session only (no object "
            "could be made in Global\\: system error 5): a program of another user logged on at "
            "the same time may talk to it as well");
  // A program of the same session that may make objects in Global\ still
  // finds the programmer held.
  windows.global_refused = false;
  windows.process_id = 816;
  EXPECT_EQ(user_a.LinkOpen(), kLinkInUse);
  EXPECT_EQ(user_a.Refusal().holder.process_id, 815u);
  user_b.LinkClose();
  EXPECT_TRUE(windows.objects.empty());

  // An object of another kind under the name: no lock, and the system's
  // reason why.
  windows.other_kind.insert(LockObjectName(windows.devices[0].path));
  EXPECT_EQ(user_a.LinkOpen(), kLinkNotLocked);
  EXPECT_EQ(user_a.Refusal().reason, "system error 6");
  EXPECT_EQ(windows.handles_open, 0);
  CurrentLanguage = language;
}

// The record is written by whatever made an object of the lock's name.
TEST(HidDllPlatform, TheHoldersRecordIsReadWithoutTrustingIt) {
  const LockHolder holder{"\x1b[2J" + std::string(60, 'x'), 4711, 3};
  const std::vector<uint8_t> security = LockSecurity(holder);
  const LockHolder read = HolderInSecurity(security);
  EXPECT_EQ(read.program, "\uFFFD[2J" + std::string(44, 'x'));  // cut to what a record holds
  EXPECT_EQ(read.process_id, 4711u);
  EXPECT_EQ(read.session, 3u);
  for (std::size_t cut = 0; cut < security.size(); ++cut) {
    const LockHolder partial =
        HolderInSecurity(std::vector<uint8_t>(security.begin(), security.begin() + cut));
    EXPECT_EQ(partial.process_id, 0u) << cut;
  }
  std::vector<uint8_t> lying = security;
  lying[24] = 0xFF;  // more entries than the list holds
  lying[30] = 0xFF;  // and the first one larger than the list
  EXPECT_EQ(HolderInSecurity(lying).process_id, 0u);
}

TEST(HidDllPlatform, AStringWithoutTerminatorStaysInsideItsBuffer) {
  ScriptedWindows windows;
  windows.devices = {{.path = "long", .fill_string_buffer = true}};
  HidDllPlatform platform(ScriptedWindows::Functions());
  ASSERT_TRUE(platform.LoadLibrary() && platform.ResolveEntryPoints());
  const HidHandle handle = platform.Open("long");
  std::u16string text;
  ASSERT_TRUE(platform.GetProductString(handle, text));
  EXPECT_EQ(text, std::u16string(255, u'A'));
  platform.Close(handle);
  EXPECT_EQ(platform.Open("absent"), nullptr);
}

}  // namespace
}  // namespace rtd::test
