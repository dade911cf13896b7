// The rate limit for repeated log records, on a hand-driven clock.
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "sweepmend/log_throttle.hpp"

namespace
{

using sweepmend::LogThrottle;
using std::chrono::milliseconds;

class LogThrottleTest : public ::testing::Test
{
protected:
  /// A throttle of period 1 s on the clock `now_`, which only moves when a test moves it.
  LogThrottle make() {return LogThrottle(std::chrono::seconds(1), [this] {return now_;});}

  LogThrottle::Clock::time_point now_{};
};

TEST_F(LogThrottleTest, FirstOccurrenceIsWrittenWithoutNote)
{
  auto throttle = make();
  EXPECT_TRUE(throttle.due());
  EXPECT_EQ(0u, throttle.suppressed());
  EXPECT_EQ("", throttle.note());
}

TEST_F(LogThrottleTest, OccurrencesWithinThePeriodAreCountedAndReportedWithTheNextRecord)
{
  auto throttle = make();
  ASSERT_TRUE(throttle.due());
  for (int i = 0; i < 199; ++i) {
    now_ += milliseconds(5);
    EXPECT_FALSE(throttle.due()) << i;
  }
  // 995 ms after the first record: still within the period.
  EXPECT_EQ(0u, throttle.suppressed());
  now_ += milliseconds(5);
  ASSERT_TRUE(throttle.due());
  EXPECT_EQ(199u, throttle.suppressed());
  EXPECT_EQ(" (199 similar suppressed since the last report)", throttle.note());

  // The count starts again after each written record.
  now_ += milliseconds(10);
  EXPECT_FALSE(throttle.due());
  now_ += std::chrono::seconds(5);
  ASSERT_TRUE(throttle.due());
  EXPECT_EQ(1u, throttle.suppressed());
  now_ += std::chrono::seconds(1);
  ASSERT_TRUE(throttle.due());
  EXPECT_EQ("", throttle.note());
}

TEST_F(LogThrottleTest, PeriodCountsFromTheLastWrittenRecordNotTheLastOccurrence)
{
  // A steady stream every 400 ms is written every 1.2 s, not silenced for good.
  auto throttle = make();
  int written = 0;
  for (int i = 0; i < 10; ++i) {
    written += throttle.due() ? 1 : 0;
    now_ += milliseconds(400);
  }
  EXPECT_EQ(4, written);  // at 0, 1.2, 2.4 and 3.6 s
}

TEST_F(LogThrottleTest, ClockBeforeItsEpochStillWritesTheFirstRecord)
{
  now_ = LogThrottle::Clock::time_point(std::chrono::seconds(-100));
  auto throttle = make();
  EXPECT_TRUE(throttle.due());
  EXPECT_FALSE(throttle.due());
}

}  // namespace
