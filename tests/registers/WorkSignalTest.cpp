// The signal an idle worker sleeps on: a notification between taking the count and starting
// to wait is never lost, and one from another thread ends a wait at once.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "registers/WorkSignal.h"

namespace registers {

namespace {

using namespace std::chrono_literals;

TEST(WorkSignal, ANotificationBeforeOrDuringTheWaitEndsIt) {
  TWorkSignal signal;
  // Notified after the worker looked for work but before it waits: the wait does not begin.
  std::uint64_t seen = signal.Count();
  signal.Notify();
  EXPECT_EQ(signal.WaitPast(seen, 1h), seen + 1);

  // Notified from another thread while the worker waits.
  seen = signal.Count();
  auto waiting = std::async(std::launch::async, [&] { return signal.WaitPast(seen, 1h); });
  EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
  signal.Notify();
  ASSERT_EQ(waiting.wait_for(60s), std::future_status::ready);
  EXPECT_EQ(waiting.get(), seen + 1);

  // Nothing notified: the wait lasts its bound and the count is unchanged.
  EXPECT_EQ(signal.WaitPast(signal.Count(), 1ms), seen + 1);
}

}  // namespace

}  // namespace registers
