#include "core/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace rtd {

uint32_t SystemClock::TickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

void SystemClock::SleepMicroseconds(uint32_t us) {
  if (us == 0) return;
  // Sleep most of the way, then spin: the scheduler overshoots a plain sleep
  // by tens of microseconds, which would swamp the per-transfer latencies
  // the virtual programmer models.
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(us);
  if (us > 300) std::this_thread::sleep_for(std::chrono::microseconds(us - 200));
  while (std::chrono::steady_clock::now() < until) {
  }
}

CalendarTime SystemClock::LocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
#ifdef _WIN32
  localtime_s(&t, &now);
#else
  localtime_r(&now, &t);
#endif
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

}  // namespace rtd
