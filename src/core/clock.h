// Time as the program sees it: a millisecond tick counter that wraps at 2^32,
// and a way to let time pass. Everything that waits or measures goes through
// here, so tests can run a 20-second erase timeout in no time at all.
#pragma once

#include <cstdint>

namespace rtd {

// A moment of the local calendar, to the second (month and day from 1).
struct CalendarTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since some fixed origin; wraps around. Compare ticks only
  // by unsigned difference.
  virtual uint32_t TickCount() = 0;
  // Lets the given time pass (the virtual programmer's transfer latency).
  virtual void SleepMicroseconds(uint32_t us) = 0;
  // The local date and time, for names a person reads (the backups).
  virtual CalendarTime LocalTime() = 0;
};

// The real clock of the machine (monotonic).
class SystemClock final : public Clock {
 public:
  uint32_t TickCount() override;
  void SleepMicroseconds(uint32_t us) override;
  CalendarTime LocalTime() override;
};

// A clock that moves only when told to. Every TickCount() call may advance it
// by a fixed step, so that a loop polling for a timeout ends without waiting.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(uint32_t start_ms = 1000, uint32_t step_per_read_ms = 0)
      : now_us_(uint64_t{start_ms} * 1000), step_us_(uint64_t{step_per_read_ms} * 1000) {}
  uint32_t TickCount() override {
    const auto now = static_cast<uint32_t>(now_us_ / 1000);
    now_us_ += step_us_;
    return now;
  }
  void SleepMicroseconds(uint32_t us) override { now_us_ += us; }
  // The calendar stands still: 2026-12-07 14:12:03.
  CalendarTime LocalTime() override { return calendar_; }
  void AdvanceMs(uint32_t ms) { now_us_ += uint64_t{ms} * 1000; }
  void SetStepPerRead(uint32_t ms) { step_us_ = uint64_t{ms} * 1000; }
  uint32_t Peek() const { return static_cast<uint32_t>(now_us_ / 1000); }

 private:
  uint64_t now_us_;
  uint64_t step_us_;
  CalendarTime calendar_{2026, 12, 7, 14, 12, 3};
};

}  // namespace rtd
