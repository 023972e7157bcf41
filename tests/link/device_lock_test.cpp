// The system's lock on a programmer (or a simulated chip's file): one
// holder at a time, the others told who it is.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>

#include "core/windows_api.h"
#else
#include <sys/prctl.h>
#include <unistd.h>
#endif

#include <fstream>
#include <string>

#include "core/utf8.h"
#include "link/device_lock.h"
#ifndef _WIN32
#include "link/file_lock.h"
#endif
#include "link/named_object_lock.h"
#include "scripted_objects.h"
#include "temp_dir.h"

namespace rtd::test {
namespace {

uint32_t OwnProcessId() {
#ifdef _WIN32
  return static_cast<uint32_t>(_getpid());
#else
  return static_cast<uint32_t>(getpid());
#endif
}

TEST(DeviceLock, OneHolderAtATimeAndTheOthersAreToldWhoItIs) {
  TempDir dir;
  const std::string path = dir.File("hidraw0");
  std::ofstream(path) << "";
  auto window = MakeSystemLock();
  auto cli = MakeSystemLock();
  ASSERT_EQ(window->Take(path).outcome, LockOutcome::kTaken);

  // Refused within one process as from another.
  const LockAttempt refused = cli->Take(path);
  EXPECT_EQ(refused.outcome, LockOutcome::kInUse);
  EXPECT_EQ(refused.holder.process_id, OwnProcessId());
  EXPECT_NE(refused.holder.program.find("link_tests"), std::string::npos)
      << refused.holder.program;

  window->Release();
  EXPECT_EQ(cli->Take(path).outcome, LockOutcome::kTaken);
  EXPECT_EQ(window->Take(path).outcome, LockOutcome::kInUse);
  cli.reset();  // gone with its owner
  EXPECT_EQ(window->Take(path).outcome, LockOutcome::kTaken);
}

TEST(ShowableText, WhatActsInsteadOfShowingIsReplaced) {
  const std::string r = "\uFFFD";
  const struct {
    std::string in, out;
  } cases[] = {
      {"rtdprog-cli", "rtdprog-cli"},
      {"Программатор №2", "Программатор №2"},
      {"\x1b]0;owned\x07\x1b[2J", r + "]0;owned" + r + r + "[2J"},  // title, clear
      {"a\tb\nc\x7f", "a" + r + "b" + r + "c" + r},
      {"\xc2\x9b" "31m", r + "31m"},       // the one-byte CSI of C1, in UTF-8
      {"\x9b" "31m", r + "31m"},            // and as a bare byte
      {"evil\u202Etxt.exe", "evil" + r + "txt.exe"},  // shown backwards after it
      {"a\u2066b\u2069c\u200Fd", "a" + r + "b" + r + "c" + r + "d"},  // isolates, marks
      {"one\u2028two\u2029three\u0085four", "one" + r + "two" + r + "three" + r + "four"},
      {"\u2027\u202F\u2065", "\u2027\u202F\u2065"},  // their neighbours show
      {"\xc0\xaf \xed\xa0\x80 \xe2\x82", r + r + " " + r + r + r + " " + r + r},
  };
  for (const auto& c : cases) EXPECT_EQ(ShowableText(c.in), c.out) << c.in;
}

// Two programs of one Windows session on one programmer: A may make objects
// in Global\, B may not and falls back to Local\. One starts its take, and
// before one of its calls the other takes the lock from start to end; the
// first then goes on. Whatever the order, one holds the lock and the other
// is told it is in use, and by whom.
TEST(NamedObjectLock, OneHolderWhateverTheOrderOfTwoProgramsCalls) {
  struct Program {
    uint32_t process_id;
    bool global_refused;
  };
  const Program a{4711, false}, b{815, true};
  const struct {
    const char* name;
    const Program& first;
    const char* call;          // the first pauses before this call
    const char16_t* space;     // on an object of this namespace,
    int occurrence;            // the nth such call
    bool first_holds;
  } cases[] = {
      {"B before making Local\\", b, "create", u"Local\\", 1, false},
      {"B before looking for Global\\ after it could not make it", b, "open", u"Global\\", 1,
       false},
      {"B before looking for Global\\ again", b, "open", u"Global\\", 2, true},
      {"A before making Global\\", a, "create", u"Global\\", 1, false},
      {"A before looking for Local\\", a, "open", u"Local\\", 1, true},
  };
  const std::string path = "\\\\?\\hid#vid_ffff&pid_00ff#1";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedObjects windows;
    const Program& second = &c.first == &a ? b : a;
    const auto be = [&windows](const Program& p) {
      windows.process_id = p.process_id;
      windows.global_refused = p.global_refused;
    };
    NamedObjectLock first_lock(ScriptedObjects::ObjectFunctions());
    NamedObjectLock second_lock(ScriptedObjects::ObjectFunctions());
    LockAttempt second_attempt;
    int seen = 0;
    bool paused = false;
    windows.before_call = [&](const std::string& call, const std::u16string& name) {
      if (paused || call != c.call || name.rfind(c.space, 0) != 0 || ++seen != c.occurrence)
        return;
      paused = true;
      be(second);
      second_attempt = second_lock.Take(path);
      be(c.first);
    };
    be(c.first);
    const LockAttempt first_attempt = first_lock.Take(path);
    ASSERT_TRUE(paused);
    const LockAttempt& holding = c.first_holds ? first_attempt : second_attempt;
    const LockAttempt& refused = c.first_holds ? second_attempt : first_attempt;
    EXPECT_EQ(holding.outcome, LockOutcome::kTaken);
    EXPECT_EQ(refused.outcome, LockOutcome::kInUse) << refused.reason;
    EXPECT_EQ(refused.holder.process_id, (c.first_holds ? c.first : second).process_id);
    first_lock.Release();
    second_lock.Release();
    EXPECT_TRUE(windows.objects.empty());
  }
}

#ifdef _WIN32
// Under Wine as on Windows: the object every session sees, and one of
// another kind squatting its name.
TEST(NamedObjectLock, TheLockIsTheSameInEverySessionAndNamesTheHoldersSession) {
  const std::string path =
      "\\\\?\\hid#vid_ffff&pid_00ff#rtdprog-test-" + std::to_string(OwnProcessId());
  auto holder = MakeSystemLock();
  ASSERT_EQ(holder->Take(path).outcome, LockOutcome::kTaken);
  const std::u16string global = LockObjectName(path, true);
  const std::u16string local = LockObjectName(path, false);
  HANDLE seen = ::OpenEventW(SYNCHRONIZE, FALSE, reinterpret_cast<const wchar_t*>(global.c_str()));
  EXPECT_NE(seen, nullptr) << ::GetLastError();
  if (seen != nullptr) ::CloseHandle(seen);
  EXPECT_EQ(::OpenEventW(SYNCHRONIZE, FALSE, reinterpret_cast<const wchar_t*>(local.c_str())),
            nullptr);
  const LockAttempt refused = MakeSystemLock()->Take(path);
  EXPECT_EQ(refused.outcome, LockOutcome::kInUse);
  EXPECT_EQ(refused.holder.process_id, OwnProcessId());
  DWORD session = 0;
  ASSERT_TRUE(::ProcessIdToSessionId(::GetCurrentProcessId(), &session));
  EXPECT_EQ(refused.holder.session, session);
  EXPECT_NE(refused.holder.program.find("link_tests"), std::string::npos);
}

TEST(NamedObjectLock, AnObjectOfAnotherKindUnderItsNameRefusesItWithTheSystemsReason) {
  const std::string path = "rtdprog-test-squatted-" + std::to_string(OwnProcessId());
  const std::u16string name = LockObjectName(path, true);
  HANDLE squatter = ::CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(name.c_str()));
  ASSERT_NE(squatter, nullptr);
  const LockAttempt attempt = MakeSystemLock()->Take(path);
  ::CloseHandle(squatter);
  EXPECT_EQ(attempt.outcome, LockOutcome::kFailed);
  EXPECT_FALSE(attempt.reason.empty());
  EXPECT_EQ(attempt.note, "");
}
#else
TEST(FileLock, AHolderNamedWithEscapeSequencesIsToldHarmlessly) {
  TempDir dir;
  const std::string path = dir.File("hidraw0");
  std::ofstream(path) << "";
  // The kernel shows a process under the name it gave itself.
  char own[17] = {};
  ASSERT_EQ(prctl(PR_GET_NAME, own), 0);
  ASSERT_EQ(prctl(PR_SET_NAME, "\x1b[31m\x1b]0;x\x07"), 0);
  auto holder = MakeSystemLock();
  const LockOutcome taken = holder->Take(path).outcome;
  const LockAttempt refused = MakeSystemLock()->Take(path);
  prctl(PR_SET_NAME, own);
  ASSERT_EQ(taken, LockOutcome::kTaken);
  EXPECT_EQ(refused.outcome, LockOutcome::kInUse);
  EXPECT_EQ(refused.holder.program, "\uFFFD[31m\uFFFD]0;x\uFFFD");
}

// A programmer plugged in again is a new device node under the same name:
// the lock held is let go only once the new node's is taken, so this
// program never holds nothing in between; a take that fails keeps it.
TEST(FileLock, TakingTheHeldPathAgainNeverLetsTheHeldLockGoFirst) {
  TempDir dir;
  const std::string path = dir.File("hidraw0");
  const std::string first_node = dir.File("first");  // the node held, still reachable
  std::ofstream(path) << "";
  ASSERT_EQ(::link(path.c_str(), first_node.c_str()), 0);
  FileLock held, rival, other;
  ASSERT_EQ(held.Take(path).outcome, LockOutcome::kTaken);

  ASSERT_EQ(::unlink(path.c_str()), 0);  // unplugged
  EXPECT_EQ(held.Take(path).outcome, LockOutcome::kFailed);
  EXPECT_EQ(other.Take(first_node).outcome, LockOutcome::kInUse);

  std::ofstream(path) << "";  // plugged in again, and another program first
  ASSERT_EQ(rival.Take(path).outcome, LockOutcome::kTaken);
  const LockAttempt refused = held.Take(path);
  EXPECT_EQ(refused.outcome, LockOutcome::kInUse);
  EXPECT_EQ(refused.holder.process_id, OwnProcessId());
  EXPECT_EQ(other.Take(first_node).outcome, LockOutcome::kInUse);

  rival.Release();
  EXPECT_EQ(held.Take(path).outcome, LockOutcome::kTaken);
  EXPECT_EQ(rival.Take(path).outcome, LockOutcome::kInUse);
  EXPECT_EQ(other.Take(first_node).outcome, LockOutcome::kTaken);
}

TEST(FileLock, ANodeThatCannotBeOpenedKeepsTheSystemsReason) {
  FileLock lock;
  const LockAttempt attempt = lock.Take("/nonexistent/hidraw9");
  EXPECT_EQ(attempt.outcome, LockOutcome::kFailed);
  EXPECT_EQ(attempt.reason, "No such file or directory");
}

TEST(FileLock, TheHolderIsFoundInTheKernelsListOfLocks) {
  // As /proc/locks shows them: device numbers in hexadecimal, inodes in
  // decimal, waiters marked "->", record locks of other kinds beside.
  const std::string locks =
      "1: POSIX  ADVISORY  WRITE 300 00:1a:77 0 EOF\n"
      "2: FLOCK  ADVISORY  WRITE 4711 00:05:1234 0 EOF\n"
      "2: -> FLOCK  ADVISORY  WRITE 4712 00:05:1234 0 EOF\n"
      "3: FLOCK  ADVISORY  WRITE 815 fd:01:77 0 EOF\n"
      "4: OFDLCK ADVISORY  WRITE -1 00:05:99 0 EOF\n"
      "5: FLOCK  ADVISORY  WRITE 0 00:05:55 0 EOF\n";
  struct Case {
    uint32_t major, minor;
    uint64_t inode;
    uint32_t pid;
  };
  for (const Case c : {Case{0x00, 0x05, 1234, 4711}, Case{0xfd, 0x01, 77, 815},
                       Case{0x00, 0x1a, 77, 0},    // a POSIX record lock is not ours
                       Case{0x00, 0x05, 99, 0},    // nor an open file's record lock
                       Case{0x00, 0x05, 55, 0},    // a holder outside our view
                       Case{0x00, 0x05, 1235, 0}}) {
    SCOPED_TRACE(c.inode);
    EXPECT_EQ(FlockHolderPid(locks, c.major, c.minor, c.inode), c.pid);
  }
}
#endif

}  // namespace
}  // namespace rtd::test
