#include "link/named_object_lock.h"

#include <algorithm>
#include <cstring>

#include "core/utf8.h"

namespace rtd {
namespace {

// What the holder writes into the object: its process id, then its program
// name in UTF-8, ended by a zero byte.
constexpr uint32_t kRecordSize = 64;
constexpr std::size_t kNameOffset = 4;

LockHolder ReadHolder(const uint8_t* record) {
  LockHolder holder;
  std::memcpy(&holder.process_id, record, sizeof holder.process_id);
  const char* name = reinterpret_cast<const char*>(record + kNameOffset);
  // Written by whatever program made an object of this name.
  holder.program = ShowableText(
      std::string_view(name, std::find(name, name + (kRecordSize - kNameOffset - 1), '\0') - name));
  return holder;
}

void WriteHolder(uint8_t* record, uint32_t process_id, const std::string& program) {
  std::memset(record, 0, kRecordSize);
  std::memcpy(record, &process_id, sizeof process_id);
  // Cut at a byte, not a character: a name longer than this is not ours.
  std::memcpy(record + kNameOffset, program.data(),
              std::min<std::size_t>(program.size(), kRecordSize - kNameOffset - 1));
}

}  // namespace

std::u16string LockObjectName(const std::string& path) {
  // FNV-1a over the path's bytes in lower case: the whole path would not fit
  // in a name, and its backslashes are not allowed in one.
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : path) {
    const auto byte = static_cast<uint8_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    hash = (hash ^ byte) * 0x100000001b3ull;
  }
  std::u16string name = u"Local\\rtdprog-lock-";
  for (int shift = 60; shift >= 0; shift -= 4)
    name.push_back(static_cast<char16_t>(u"0123456789abcdef"[(hash >> shift) & 0xF]));
  return name;
}

LockAttempt NamedObjectLock::Take(const std::string& path) {
  LockAttempt attempt;
  const std::u16string name = LockObjectName(path);
  // The object of this name is ours already: kept, never free in between.
  if (object_ != nullptr && name == name_) return attempt;
  Release();
  bool existed = false;
  uint32_t error = 0;
  const WinHandle object = system_.CreateFileMappingW(name.c_str(), kRecordSize, &existed, &error);
  if (object == nullptr) {
    attempt.outcome = LockOutcome::kFailed;
    attempt.reason = system_.ErrorText(error);
    return attempt;
  }
  // A record that cannot be mapped only leaves the holder unnamed.
  auto* record = static_cast<uint8_t*>(system_.MapViewOfFile(object, kRecordSize));
  if (existed) {
    attempt.outcome = LockOutcome::kInUse;
    if (record != nullptr) attempt.holder = ReadHolder(record);
  } else if (record != nullptr) {
    WriteHolder(record, system_.GetCurrentProcessId(), system_.ProgramName());
  }
  if (record != nullptr) system_.UnmapViewOfFile(record);
  if (existed) {
    system_.CloseHandle(object);
  } else {
    object_ = object;
    name_ = name;
  }
  return attempt;
}

void NamedObjectLock::Release() {
  if (object_ == nullptr) return;
  system_.CloseHandle(object_);
  object_ = nullptr;
}

}  // namespace rtd
