// Fuzzes the reading of the holder's record from a Windows lock object's
// security descriptor, which whatever program made an object of the lock's
// name wrote. Any bytes are read without a step outside them; the name that
// comes out shows harmlessly; and the record written again for that holder
// reads back the same.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/utf8.h"
#include "fuzz_support.h"
#include "link/named_object_lock.h"

using rtd::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::vector<uint8_t> descriptor(data, data + size);
  const rtd::LockHolder holder = rtd::HolderInSecurity(descriptor);
  Check(rtd::ShowableText(holder.program) == holder.program, "the name shows harmlessly");
  if (holder.process_id == 0 && !holder.session && holder.program.empty()) return 0;
  const rtd::LockHolder again = rtd::HolderInSecurity(rtd::LockSecurity(holder));
  Check(again.process_id == holder.process_id, "the process id reads back");
  Check(again.session == holder.session, "the session reads back");
  Check(again.program == holder.program || holder.program.size() > 48, "the name reads back");
  return 0;
}
