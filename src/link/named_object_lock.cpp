#include "link/named_object_lock.h"

#include <algorithm>
#include <array>

#include "core/output_services.h"
#include "core/utf8.h"
#include "i18n/lang.h"

namespace rtd {
namespace {

// Self-relative security descriptors as Windows lays them out: a 20-byte
// header, then the access list (8 bytes) and its entries, each a type, flags,
// its size, an access mask and an identifier (SID).
constexpr uint16_t kDaclPresent = 0x0004;
constexpr uint16_t kDaclProtected = 0x1000;
constexpr uint16_t kSelfRelative = 0x8000;
constexpr std::size_t kHeaderSize = 20;
constexpr std::size_t kDaclOffsetAt = 16;
constexpr std::size_t kAclHeaderSize = 8;
constexpr std::size_t kAceHeaderSize = 8;
constexpr uint8_t kAccessAllowed = 0;
// SYNCHRONIZE | READ_CONTROL: what opening the object and reading its
// access list take.
constexpr uint32_t kOpenAndRead = 0x00100000 | 0x00020000;
// Everyone: S-1-1-0.
constexpr std::array<uint8_t, 6> kWorldAuthority = {0, 0, 0, 0, 0, 1};
// The authority of the holder's record: no real account has it.
constexpr std::array<uint8_t, 6> kRecordAuthority = {'r', 't', 'd', 'p', 'r', 'g'};
// A SID carries at most 15 parts: process id, session, name length, and
// the name in the other twelve.
constexpr std::size_t kMaxParts = 15;
constexpr std::size_t kNameBytes = (kMaxParts - 3) * 4;

void Put16(std::vector<uint8_t>& out, std::size_t at, uint16_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& out, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t Get16(const std::vector<uint8_t>& in, std::size_t at) {
  return static_cast<uint16_t>(in[at] | in[at + 1] << 8);
}

uint32_t Get32(const std::vector<uint8_t>& in, std::size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | in[at + i];
  return v;
}

// An access-allowed entry for the SID with this authority and parts.
void AppendEntry(std::vector<uint8_t>& out, uint32_t mask, const std::array<uint8_t, 6>& authority,
                 const std::vector<uint32_t>& parts) {
  const std::size_t at = out.size();
  const std::size_t size = kAceHeaderSize + 8 + 4 * parts.size();
  out.resize(at + size);
  out[at] = kAccessAllowed;
  Put16(out, at + 2, static_cast<uint16_t>(size));
  Put32(out, at + 4, mask);
  out[at + 8] = 1;  // SID revision
  out[at + 9] = static_cast<uint8_t>(parts.size());
  std::copy(authority.begin(), authority.end(), out.begin() + static_cast<std::ptrdiff_t>(at + 10));
  for (std::size_t i = 0; i < parts.size(); ++i) Put32(out, at + 16 + 4 * i, parts[i]);
}

}  // namespace

std::u16string LockObjectName(const std::string& path, bool global) {
  // FNV-1a over the path's bytes in lower case: the whole path would not fit
  // in a name, and its backslashes are not allowed in one.
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : path) {
    const auto byte = static_cast<uint8_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    hash = (hash ^ byte) * 0x100000001b3ull;
  }
  std::u16string name = global ? u"Global\\rtdprog-lock-" : u"Local\\rtdprog-lock-";
  for (int shift = 60; shift >= 0; shift -= 4)
    name.push_back(static_cast<char16_t>(u"0123456789abcdef"[(hash >> shift) & 0xF]));
  return name;
}

std::vector<uint8_t> LockSecurity(const LockHolder& holder) {
  const std::string name = ClipUtf8(holder.program, kNameBytes);
  std::vector<uint32_t> record = {holder.process_id, holder.session.value_or(UINT32_MAX),
                                  static_cast<uint32_t>(name.size())};
  for (std::size_t i = 0; i < name.size(); i += 4) {
    uint32_t part = 0;
    for (std::size_t k = 0; k < 4 && i + k < name.size(); ++k)
      part |= static_cast<uint32_t>(static_cast<uint8_t>(name[i + k])) << (8 * k);
    record.push_back(part);
  }
  std::vector<uint8_t> out(kHeaderSize + kAclHeaderSize);
  out[0] = 1;  // revision
  Put16(out, 2, kDaclPresent | kDaclProtected | kSelfRelative);
  Put32(out, kDaclOffsetAt, kHeaderSize);
  AppendEntry(out, kOpenAndRead, kWorldAuthority, {0});
  AppendEntry(out, 0, kRecordAuthority, record);  // grants nothing
  out[kHeaderSize] = 2;  // access list revision
  Put16(out, kHeaderSize + 2, static_cast<uint16_t>(out.size() - kHeaderSize));
  Put16(out, kHeaderSize + 4, 2);
  return out;
}

LockHolder HolderInSecurity(const std::vector<uint8_t>& d) {
  LockHolder holder;
  // Whoever made an object of this name wrote this: every offset is checked.
  if (d.size() < kHeaderSize || (Get16(d, 2) & kDaclPresent) == 0) return holder;
  const std::size_t acl = Get32(d, kDaclOffsetAt);
  if (acl == 0 || acl > d.size() || d.size() - acl < kAclHeaderSize) return holder;
  const std::size_t end = std::min<std::size_t>(d.size(), acl + Get16(d, acl + 2));
  std::size_t at = acl + kAclHeaderSize;
  for (uint16_t n = Get16(d, acl + 4); n > 0 && at + kAceHeaderSize + 8 <= end; --n) {
    const std::size_t size = Get16(d, at + 2);
    if (size < kAceHeaderSize + 8 || size > end - at) break;
    const std::size_t parts = d[at + 9];
    const bool record = d[at] == kAccessAllowed && parts >= 3 &&
                        kAceHeaderSize + 8 + 4 * parts <= size &&
                        std::equal(kRecordAuthority.begin(), kRecordAuthority.end(),
                                   d.begin() + static_cast<std::ptrdiff_t>(at + 10));
    if (record) {
      const std::size_t first = at + 16;
      holder.process_id = Get32(d, first);
      const uint32_t session = Get32(d, first + 4);
      if (session != UINT32_MAX) holder.session = session;
      const std::size_t length = std::min<std::size_t>(Get32(d, first + 8), 4 * (parts - 3));
      std::string name;
      for (std::size_t i = 0; i < length; ++i)
        name.push_back(static_cast<char>(d[first + 12 + i]));
      holder.program = ShowableText(name);
      return holder;
    }
    at += size;
  }
  return holder;
}

LockHolder NamedObjectLock::HolderOf(WinHandle object) {
  const LockHolder holder = HolderInSecurity(system_.GetKernelObjectSecurity(object));
  system_.CloseHandle(object);
  return holder;
}

LockAttempt NamedObjectLock::Take(const std::string& path) {
  LockAttempt attempt;
  const std::u16string global = LockObjectName(path, true);
  // The object of this name is ours already: kept, never free in between.
  if (object_ != nullptr && global == name_) {
    attempt.note = note_;
    return attempt;
  }
  Release();
  LockHolder self{system_.ProgramName(), system_.GetCurrentProcessId(),
                  system_.CurrentSessionId()};
  const std::vector<uint8_t> security = LockSecurity(self);
  bool existed = false;
  uint32_t error = 0;
  WinHandle object = system_.CreateEventExW(global.c_str(), security, &existed, &error);
  const std::u16string local = LockObjectName(path, false);
  // Whoever makes its object in one namespace looks into the other one
  // afterwards: of a program in each that make theirs at the same time, at
  // least one sees the other's and backs off (both, at worst; the next
  // attempt settles it), and never do both hold the programmer.
  const std::u16string* other = &local;
  if (object == nullptr) {
    // Made meanwhile by a program that may make it: the programmer is in
    // use, whatever kept this program from making the object itself.
    uint32_t open_error = 0;
    const WinHandle there = system_.OpenEventW(global.c_str(), &open_error);
    if (there != nullptr) {
      attempt.outcome = LockOutcome::kInUse;
      attempt.holder = HolderOf(there);
      return attempt;
    }
    // An object there that this program may not open, or one of another
    // kind, holds the name: the lock cannot be had. Only a Global\ this
    // session may not make objects in sends it to Local\.
    if (open_error != kWinErrorFileNotFound && open_error != kWinErrorPathNotFound) {
      attempt.outcome = LockOutcome::kFailed;
      attempt.reason = system_.ErrorText(error);
      return attempt;
    }
    const std::string global_refused = system_.ErrorText(error);
    object = system_.CreateEventExW(local.c_str(), security, &existed, &error);
    if (object == nullptr) {
      attempt.outcome = LockOutcome::kFailed;
      attempt.reason = system_.ErrorText(error);
      return attempt;
    }
    constexpr LangText kThisSessionOnly = LANG_TEXT(
        "Программатор закреплён за этой программой только в этом сеансе Windows (объект в "
        "Global\\ создать не удалось: %s): программа другого пользователя, вошедшего в "
        "систему, может обратиться к нему одновременно с ней",
        "The programmer is locked for this program in this Windows session only (no object "
        "could be made in Global\\: %s): a program of another user logged on at the same time "
        "may talk to it as well");
    note_ = FormatText(PickLangText(kThisSessionOnly), global_refused.c_str());
    other = &global;
  }
  if (!existed) {
    uint32_t open_error = 0;
    const WinHandle rival = system_.OpenEventW(other->c_str(), &open_error);
    if (rival != nullptr) {
      system_.CloseHandle(object);
      attempt.outcome = LockOutcome::kInUse;
      attempt.holder = HolderOf(rival);
      note_.clear();
      return attempt;
    }
  }
  if (existed) {
    attempt.outcome = LockOutcome::kInUse;
    attempt.holder = HolderOf(object);
    note_.clear();
    return attempt;
  }
  object_ = object;
  name_ = global;
  attempt.note = note_;
  return attempt;
}

void NamedObjectLock::Release() {
  if (object_ != nullptr) system_.CloseHandle(object_);
  object_ = nullptr;
  name_.clear();
  note_.clear();
}

}  // namespace rtd
