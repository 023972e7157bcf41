// The report frame and the HID transport: finding, opening and losing the
// programmer.
#include <gtest/gtest.h>

#include "fake_hid.h"
#include "i18n/lang.h"
#ifndef _WIN32
#include "link/hidapi_platform.h"
#endif
#include "link/transport.h"

namespace rtd::test {
namespace {

TEST(Report, ChecksumAndEncoding) {
  const uint8_t abc[] = {'a', 'b', 'c'};
  const uint8_t b80 = 0x80;
  const uint8_t bff = 0xFF;
  EXPECT_EQ(FrameChecksum(0, abc, 3), 0x04);
  EXPECT_EQ(FrameChecksum(0, &b80, 1), 0x21);
  EXPECT_EQ(FrameChecksum(0, &bff, 1), 0xDF);
  // Whole requests; neither the report id nor the checksum byte take part.
  EXPECT_EQ(ReportChecksum(MakeReply(0x01, 0)), 0x2A);
  EXPECT_EQ(ReportChecksum(MakeReply(0x83, 0)), 0x89);
  EXPECT_EQ(ReportChecksum(MakeReply(0x42, 0x010000)), 0xAA);
  EXPECT_EQ(ReportChecksum(MakeReply(0x43, 0x010000, {0x01, 0xFF, 0xFF})), 0xBA);

  EXPECT_EQ(EncodeReportLength(127), 127);
  EXPECT_EQ(EncodeReportLength(128), 0x80);
  EXPECT_EQ(DecodeReportLength(127), 127u);
  EXPECT_EQ(DecodeReportLength(0x80), 256u);
  EXPECT_EQ(DecodeReportLength(0xFF), 256u);

  HidReport r{};
  SetReportAddress(r, 0xAB01FFFF);  // bits above 23 never travel
  EXPECT_EQ(ReportAddress(r), 0x01FFFFu);
  EXPECT_EQ(r[2], 0x01);
}

TEST(Transport, StatusTextsInBothLanguages) {
  const int32_t saved = CurrentLanguage;
  CurrentLanguage = kLanguageEnglish;
  EXPECT_EQ(LinkStatusText(-253), "Failed result");
  EXPECT_EQ(LinkStatusText(4), "Controller is disconnected");
  EXPECT_EQ(LinkStatusText(7), "Unknown error USB: 7");
  CurrentLanguage = kLanguageRussian;
  EXPECT_EQ(LinkStatusText(-253), "Ошибка результата");
  EXPECT_EQ(LinkStatusText(-254), "Ошибка в параметрах");
  EXPECT_EQ(LinkStatusText(7), "Неизвестная ошибка USB: 7");
  CurrentLanguage = saved;
}

TEST(Transport, StringConversion) {
  EXPECT_EQ(HidStringTo8Bit(u"QEL"), "QEL");
  EXPECT_EQ(HidStringTo8Bit(u"КЭЛ"), "???");
  EXPECT_EQ(HidStringTo8Bit(std::u16string(u"QE\0L", 4)), "QE");
  EXPECT_EQ(HidStringTo8Bit(u"\u00FF"), "\xFF");
}

TEST(Transport, LibraryFailuresAreRetried) {
  FakeHid hid;
  hid.Add();
  HidTransport t(hid);
  HidReport r{};
  r[0] = kReportId;

  hid.library_loadable = false;
  EXPECT_EQ(t.ReportSend(r), kLinkNoLibrary);
  EXPECT_EQ(t.ReportSend(r), kLinkNoLibrary);
  EXPECT_EQ(hid.load_calls, 2);

  hid.library_loadable = true;
  hid.entry_points = false;
  EXPECT_EQ(t.ReportSend(r), kLinkNoEntryPoint);
  EXPECT_EQ(t.ReportReceive(r), kLinkNoEntryPoint);
  EXPECT_EQ(hid.load_calls, 4);
  EXPECT_EQ(hid.enumerations, 0);

  hid.entry_points = true;
  EXPECT_EQ(t.ReportSend(r), kLinkOk);
  EXPECT_EQ(t.ReportSend(r), kLinkOk);
  EXPECT_EQ(hid.load_calls, 5);  // loaded once for good
  EXPECT_EQ(hid.enumerations, 1);  // and the handle kept
  EXPECT_EQ(hid.sent.size(), 2u);
}

struct SearchCase {
  const char* name;
  std::vector<FakeDevice> devices;
  LinkStatus expected;
  int opened_device;  // index of the device left open, -1 none
};

TEST(Transport, SearchRules) {
  auto dev = [](auto change) {
    FakeDevice d;
    change(d);
    return d;
  };
  const FakeDevice good;
  const FakeDevice other_ids = dev([](FakeDevice& d) { d.product_id = 0x0100; });
  const FakeDevice lower = dev([](FakeDevice& d) { d.manufacturer = u"qel"; });
  const FakeDevice cyrillic = dev([](FakeDevice& d) { d.manufacturer = u"КЭЛ"; });
  const FakeDevice mute = dev([](FakeDevice& d) { d.strings_readable = false; });
  const FakeDevice closed = dev([](FakeDevice& d) { d.openable = false; });
  const FakeDevice no_attrs = dev([](FakeDevice& d) { d.attributes_readable = false; });
  const FakeDevice wrong_product = dev([](FakeDevice& d) { d.product = u"ZEZ2662-IDA"; });
  const FakeDevice held = dev([](FakeDevice& d) { d.held_by = LockHolder{"rtdprog", 12, {}}; });
  const FakeDevice unlockable = dev([](FakeDevice& d) { d.lock_failure = "Access is denied"; });

  const std::vector<SearchCase> cases = {
      {"nothing present", {}, kLinkNotFound, -1},
      {"two programmers: the first", {other_ids, good, good}, kLinkOk, 1},
      {"case matters", {lower}, kLinkNotFound, -1},
      {"Cyrillic becomes ???", {cyrillic}, kLinkNotFound, -1},
      {"wrong product string", {wrong_product}, kLinkNotFound, -1},
      {"unreadable strings", {mute}, kLinkCommFailure, -1},
      {"unreadable strings, then wrong ids", {mute, other_ids}, kLinkCommFailure, -1},
      {"unreadable strings, then right ids", {mute, lower}, kLinkNotFound, -1},
      {"unreadable strings, then the programmer", {mute, good}, kLinkOk, 1},
      {"unopenable skipped", {closed, good}, kLinkOk, 1},
      {"unopenable only", {closed}, kLinkNotFound, -1},
      {"attributes unreadable: not matching", {no_attrs}, kLinkNotFound, -1},
      {"held by another program", {lower, held}, kLinkInUse, -1},
      // The next may sit on another board: never taken in its place.
      {"held, then a free one", {held, good}, kLinkInUse, -1},
      {"its lock refused, then a free one", {unlockable, good}, kLinkNotLocked, -1},
      {"another device, then one whose lock is refused", {other_ids, unlockable}, kLinkNotLocked,
       -1},
  };
  // A platform that lists only devices with the programmer's ids (hidapi)
  // must come to the same result as one that lists every device.
  for (const bool filter : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (filter ? ", filtered" : ""));
      FakeHid hid;
      hid.filters_by_ids = filter;
      for (const auto& d : c.devices) hid.Add(d);
      HidTransport t(hid);
      EXPECT_EQ(t.LinkOpen(), c.expected);
      EXPECT_EQ(t.IsOpen(), c.expected == kLinkOk);
      EXPECT_EQ(hid.open_handles, c.expected == kLinkOk ? 1 : 0);
      EXPECT_EQ(t.Refusal().path.empty(), c.expected != kLinkInUse && c.expected != kLinkNotLocked);
      EXPECT_EQ(hid.claims.size(), c.expected == kLinkOk ? 1u : 0u);
      if (c.opened_device >= 0) {
        EXPECT_EQ(hid.opened.back(), static_cast<std::size_t>(c.opened_device));
      }
      if (filter) {
        for (const std::size_t i : hid.opened) EXPECT_EQ(hid.devices[i].product_id, 0x00FF);
      }
      t.LinkClose();
      EXPECT_EQ(hid.open_handles, 0);
    }
  }
}

TEST(Transport, AProgrammerThatCannotBeOpenedKeepsTheSystemsReason) {
  FakeDevice closed;
  closed.openable = false;
  FakeDevice other = closed;
  other.product_id = 0x0100;

  FakeHid hid;
  hid.filters_by_ids = true;
  hid.Add(other);
  hid.Add(closed);
  HidTransport t(hid);
  EXPECT_EQ(t.LinkOpen(), kLinkNotFound);  // the search's result is unchanged
  EXPECT_EQ(t.OpenFailure(), "Permission denied");
  EXPECT_NE(ProgrammerNotOpenedText(t.OpenFailure()).find("Permission denied"), std::string::npos);

  // Plugged in with access: found, and the reason is gone.
  hid.Add();
  EXPECT_EQ(t.LinkOpen(), kLinkOk);
  EXPECT_EQ(t.OpenFailure(), "");

  // A platform that cannot tell the ids before opening knows nothing about
  // the device it could not open.
  FakeHid unfiltered;
  unfiltered.Add(closed);
  HidTransport u(unfiltered);
  EXPECT_EQ(u.LinkOpen(), kLinkNotFound);
  EXPECT_EQ(u.OpenFailure(), "");
}

TEST(Transport, BesideAProgrammerInUseAnotherOneCanBeChosen) {
  FakeHid hid;
  hid.Add().held_by = LockHolder{"rtdprog", 12, {}};
  hid.Add();
  HidTransport t(hid);
  EXPECT_EQ(t.LinkOpen(), kLinkInUse);
  EXPECT_EQ(hid.open_handles, 0);
  // Its strings are requests to the device: a program that waits for it
  // sends it none.
  EXPECT_EQ(hid.string_reads, 0);
  t.SelectDevicePath("/dev/hidraw1");
  EXPECT_EQ(t.LinkOpen(), kLinkOk);
  EXPECT_EQ(t.Refusal().path, "");
}

// Each refusal has one text: the command line's, its listing's (the path
// leads the line there), the window's, and the status text's.
TEST(Transport, EachRefusalIsToldInOneText) {
  const ProgrammerRefusal in_use{"/dev/hidraw0", {"rtdprog", 12, {}}, ""};
  const ProgrammerRefusal refused{"/dev/hidraw0", {}, "Permission denied"};
  const struct {
    int32_t language;
    LinkStatus status;
    ProgrammerRefusal refusal;
    const char* text;
  } cases[] = {
      {kLanguageEnglish, kLinkInUse, in_use,
       "The programmer /dev/hidraw0 is in use by another program: rtdprog (process 12)"},
      {kLanguageEnglish, kLinkInUse, {"", in_use.holder, ""},
       "The programmer is in use by another program: rtdprog (process 12)"},
      {kLanguageEnglish, kLinkInUse, {"/dev/hidraw0", {}, ""},
       "The programmer /dev/hidraw0 is in use by another program"},
      {kLanguageEnglish, kLinkInUse, {"\\\\?\\hid#1", {"rtdprog.exe", 4711, 2}, ""},
       "The programmer \\\\?\\hid#1 is in use by another program: rtdprog.exe (process 4711, "
       "session 2)"},
      {kLanguageEnglish, kLinkNotLocked, refused,
       "The programmer /dev/hidraw0 could not be locked for this program: Permission denied"},
      {kLanguageRussian, kLinkInUse, in_use,
       "Программатор /dev/hidraw0 занят другой программой: rtdprog (процесс 12)"},
      {kLanguageRussian, kLinkNotLocked, refused,
       "Программатор /dev/hidraw0 не удалось закрепить за этой программой: Permission denied"},
      {kLanguageEnglish, kLinkNotFound, in_use, "Controller is disconnected"},
  };
  const int32_t saved = CurrentLanguage;
  for (const auto& c : cases) {
    CurrentLanguage = c.language;
    EXPECT_EQ(RefusalText(c.status, c.refusal), c.text);
  }
  CurrentLanguage = kLanguageEnglish;
  EXPECT_EQ(LinkStatusText(kLinkInUse), "The programmer is in use by another program");
  EXPECT_EQ(LinkStatusText(kLinkNotLocked), "The programmer could not be locked for this program");
  CurrentLanguage = saved;
}

#ifndef _WIN32  // hidapi is the Linux backend
TEST(HidapiPlatform, AFailedOpenKeepsTheSystemsReason) {
  HidapiPlatform hid;
  ASSERT_TRUE(hid.LoadLibrary());
  EXPECT_EQ(hid.Open("/nonexistent/hidraw9"), nullptr);
  EXPECT_NE(hid.LastOpenError().find("No such file or directory"), std::string::npos)
      << hid.LastOpenError();
  // hidapi's texts are wide; they reach the user as UTF-8.
  EXPECT_EQ(WideToUtf8(L"d\u00FC\u20AC\U0001F600"), "d\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80");
}
#endif

TEST(Transport, FailedTransfersCloseTheHandle) {
  FakeHid hid;
  hid.Add();
  HidTransport t(hid);
  HidReport r{};
  r[0] = kReportId;

  hid.set_feature_fails = true;
  EXPECT_EQ(t.ReportSend(r), kLinkCommFailure);
  EXPECT_FALSE(t.IsOpen());
  hid.set_feature_fails = false;

  hid.FailTransfer();
  EXPECT_EQ(t.ReportReceive(r), kLinkCommFailure);
  EXPECT_FALSE(t.IsOpen());

  HidReport wrong_id = MakeReply(0xC2, 0);
  wrong_id[0] = 2;
  hid.Answer(wrong_id);
  r[0] = kReportId;
  EXPECT_EQ(t.ReportReceive(r), kLinkCommFailure);
  EXPECT_FALSE(t.IsOpen());
  EXPECT_EQ(hid.open_handles, 0);

  r[0] = kReportId;
  EXPECT_EQ(t.ReportReceive(r), kLinkOk);  // reopened by the next transfer
  EXPECT_EQ(hid.opened.size(), 4u);
}

// A command or an operation keeps its programmer: a bench where another
// programmer is plugged in ahead of it meanwhile.
TEST(Transport, AHeldProgrammerIsOpenedAgainByItsPathAloneAndGoneIsGone) {
  FakeHid hid;
  hid.Add().present = false;  // /dev/hidraw0, plugged in later
  hid.Add();                  // /dev/hidraw1
  HidTransport t(hid);
  HidReport r{};
  r[0] = kReportId;
  ASSERT_EQ(t.ReportSend(r), kLinkOk);
  ProgrammerHold hold(t);
  hid.devices[0].present = true;

  hid.set_feature_fails = true;
  EXPECT_EQ(t.ReportSend(r), kLinkCommFailure);
  hid.set_feature_fails = false;
  // No moment without the lock, for another program to step in.
  EXPECT_EQ(hid.claims, (std::map<std::string, int>{{"/dev/hidraw1", 1}}));
  EXPECT_EQ(t.ReportSend(r), kLinkOk);
  EXPECT_EQ(hid.opened.back(), 1u);

  hid.devices[1].present = false;
  EXPECT_EQ(t.ReportSend(r), kLinkCommFailure);
  EXPECT_EQ(t.ReportSend(r), kLinkNotFound);  // an unplug, not the other board
  EXPECT_EQ(hid.opened.back(), 1u);
  EXPECT_EQ(hid.open_handles, 0);
}

// Whatever the reopen of a held programmer meets at its path, the lock stays
// this program's until the operation ends: nobody else's requests come in
// between, and the operation's next transfer finds the programmer again.
TEST(Transport, AHeldProgrammerStaysHeldWhateverItsReopenMeets) {
  struct Case {
    const char* name;
    void (*meets)(FakeDevice&);
    LinkStatus status;
  };
  const Case cases[] = {
      {"gone", [](FakeDevice& d) { d.present = false; }, kLinkNotFound},
      {"not opened", [](FakeDevice& d) { d.openable = false; }, kLinkNotFound},
      {"attributes unreadable", [](FakeDevice& d) { d.attributes_readable = false; },
       kLinkNotFound},
      {"another device at its path", [](FakeDevice& d) { d.product_id = 0x0100; }, kLinkNotFound},
      {"strings unreadable", [](FakeDevice& d) { d.strings_readable = false; }, kLinkCommFailure},
      {"other strings", [](FakeDevice& d) { d.product = u"ZEZ2662-IDA"; }, kLinkNotFound},
      {"its lock taken anew by another program",
       [](FakeDevice& d) { d.held_by = LockHolder{"rtdprog", 12, {}}; }, kLinkInUse},
      {"its lock taken anew refused", [](FakeDevice& d) { d.lock_failure = "Access is denied"; },
       kLinkNotLocked},
  };
  const std::map<std::string, int> held = {{"/dev/hidraw0", 1}};
  for (const bool filter : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (filter ? ", filtered" : ""));
      FakeHid hid;
      hid.filters_by_ids = filter;
      hid.Add();
      HidTransport t(hid);
      HidReport r{};
      r[0] = kReportId;
      {
        const ProgrammerHold hold(t);
        ASSERT_EQ(t.ReportSend(r), kLinkOk);
        hid.set_feature_fails = true;
        EXPECT_EQ(t.ReportSend(r), kLinkCommFailure);
        hid.set_feature_fails = false;
        const FakeDevice healthy = hid.devices[0];
        c.meets(hid.devices[0]);
        EXPECT_EQ(t.ReportSend(r), c.status);
        EXPECT_EQ(hid.open_handles, 0);
        EXPECT_EQ(hid.claims, held);
        EXPECT_EQ(t.ClaimedPath(), "/dev/hidraw0");
        hid.devices[0] = healthy;
        EXPECT_EQ(t.ReportSend(r), kLinkOk);
        EXPECT_EQ(hid.claims, held);
      }
      EXPECT_EQ(hid.claims, held);  // open: the window's programmer
      t.LinkClose();
      EXPECT_TRUE(hid.claims.empty());
    }
  }
}

TEST(Transport, UnheldTheLockGoesWithTheHandleAndEndsWithTheHold) {
  FakeHid hid;
  hid.Add();
  HidTransport t(hid);
  HidReport r{};
  r[0] = kReportId;
  {
    ProgrammerHold hold(t);
    hid.set_feature_fails = true;
    EXPECT_EQ(t.ReportSend(r), kLinkCommFailure);
    EXPECT_EQ(t.ClaimedPath(), "/dev/hidraw0");
  }
  EXPECT_TRUE(hid.claims.empty());
  hid.set_feature_fails = false;
  ASSERT_EQ(t.ReportSend(r), kLinkOk);
  hid.set_feature_fails = true;
  EXPECT_EQ(t.ReportSend(r), kLinkCommFailure);  // a window between operations
  EXPECT_TRUE(hid.claims.empty());
}

TEST(Transport, UnplugAndReplug) {
  FakeHid hid;
  hid.Add();
  HidTransport t(hid);
  HidReport r{};
  r[0] = kReportId;
  ASSERT_EQ(t.ReportSend(r), kLinkOk);

  hid.devices[0].present = false;
  EXPECT_EQ(t.ReportSend(r), kLinkCommFailure);
  EXPECT_EQ(t.ReportSend(r), kLinkNotFound);
  EXPECT_EQ(t.ReportSend(r), kLinkNotFound);
  EXPECT_EQ(hid.open_handles, 0);

  hid.devices[0].present = true;
  EXPECT_EQ(t.ReportSend(r), kLinkOk);
  EXPECT_TRUE(t.IsOpen());
}

}  // namespace
}  // namespace rtd::test
