// Timer schedules on simulated time: first call one period after creation, a fixed grid, missed
// periods skipped, nothing before the first /clock; cancel/reset; wall timers.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "compat_test_support.hpp"
#include "rclcpp/detail/spin_control.hpp"
#include "rclcpp/rclcpp.hpp"

namespace
{

using namespace std::chrono_literals;
using compat_test::ClockDriver;

constexpr int64_t kMs = 1000000;

class SimTimerTest : public compat_test::RosTest
{
protected:
  void SetUp() override
  {
    RosTest::SetUp();
    node_ = std::make_shared<rclcpp::Node>(
      "timed", rclcpp::NodeOptions().append_parameter_override("use_sim_time", true));
    driver_node_ = std::make_shared<rclcpp::Node>("clock_driver");
    clock_ = std::make_unique<ClockDriver>(*driver_node_);
    executor_ = std::make_unique<rclcpp::executors::SingleThreadedExecutor>();
    executor_->add_node(node_);
  }

  void TearDown() override
  {
    executor_.reset();
    clock_.reset();
    driver_node_.reset();
    node_.reset();
    RosTest::TearDown();
  }

  /// Creates a 10 ms timer on the node clock that records the node time of every call.
  rclcpp::TimerBase::SharedPtr make_timer(std::chrono::nanoseconds period = 10ms)
  {
    return rclcpp::create_timer(
      node_.get(), node_->get_clock(), rclcpp::Duration(period),
      [this]() {calls_.push_back(node_->now().nanoseconds());});
  }

  /// Moves simulated time and runs whatever became due.
  void advance_to_ms(int64_t milliseconds)
  {
    clock_->set_ms(milliseconds);
    rclcpp::detail::spin_until_idle(*executor_);
  }

  rclcpp::Node::SharedPtr node_;
  rclcpp::Node::SharedPtr driver_node_;
  std::unique_ptr<ClockDriver> clock_;
  std::unique_ptr<rclcpp::executors::SingleThreadedExecutor> executor_;
  std::vector<int64_t> calls_;
};

TEST_F(SimTimerTest, NothingHappensBeforeTheFirstClockMessage)
{
  auto timer = make_timer();
  EXPECT_EQ(node_->now().nanoseconds(), 0);
  EXPECT_EQ(node_->now().get_clock_type(), RCL_ROS_TIME);
  EXPECT_EQ(rclcpp::detail::spin_until_idle(*executor_), 0u);
  executor_->spin_some();
  EXPECT_TRUE(calls_.empty());
  EXPECT_EQ(timer->time_until_trigger(), 10ms);
}

TEST_F(SimTimerTest, FiresOnePeriodAfterCreationOnAFixedGrid)
{
  auto timer = make_timer();
  advance_to_ms(5);
  EXPECT_TRUE(calls_.empty());
  advance_to_ms(10);
  EXPECT_EQ(calls_, (std::vector<int64_t>{10 * kMs}));
  advance_to_ms(19);
  EXPECT_EQ(calls_.size(), 1u);
  // A late executor does not move the grid: after a call at 23 ms the next one is due at 30 ms.
  advance_to_ms(23);
  EXPECT_EQ(calls_, (std::vector<int64_t>{10 * kMs, 23 * kMs}));
  EXPECT_EQ(timer->time_until_trigger(), 7ms);
  advance_to_ms(30);
  EXPECT_EQ(calls_.size(), 3u);
}

TEST_F(SimTimerTest, MissedPeriodsAreSkippedNotReplayed)
{
  auto timer = make_timer();
  advance_to_ms(10);
  // A jump over 99 periods gives one call, and the next grid point after now.
  advance_to_ms(1005);
  EXPECT_EQ(calls_, (std::vector<int64_t>{10 * kMs, 1005 * kMs}));
  EXPECT_EQ(timer->time_until_trigger(), 5ms);
  advance_to_ms(1009);
  EXPECT_EQ(calls_.size(), 2u);
  advance_to_ms(1010);
  EXPECT_EQ(calls_.size(), 3u);
}

TEST_F(SimTimerTest, JumpFromZeroToBagTimeCallsOnce)
{
  auto timer = make_timer();
  // A recording starting at a wall-clock epoch time.
  const int64_t bag_start = 1700000000LL * 1000000000LL + 3 * kMs;
  clock_->set(bag_start);
  rclcpp::detail::spin_until_idle(*executor_);
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0], bag_start);
  // The grid is still the one anchored at 0: next call at the next multiple of 10 ms.
  EXPECT_EQ(timer->time_until_trigger(), 7ms);
}

TEST_F(SimTimerTest, TimerCreatedLaterCountsFromItsCreation)
{
  clock_->set_ms(1003);
  auto timer = make_timer();
  advance_to_ms(1012);
  EXPECT_TRUE(calls_.empty());
  advance_to_ms(1013);
  EXPECT_EQ(calls_, (std::vector<int64_t>{1013 * kMs}));
}

TEST_F(SimTimerTest, LandingExactlyOnAGridPointAfterAJumpCallsTwice)
{
  // Skipping rounds the next call up to the grid; when now is itself a grid point the next call
  // is due at once, so the timer runs a second time before waiting again (rcl's arithmetic).
  auto timer = make_timer();
  advance_to_ms(50);
  EXPECT_EQ(calls_, (std::vector<int64_t>{50 * kMs, 50 * kMs}));
  EXPECT_EQ(timer->time_until_trigger(), 10ms);
}

TEST_F(SimTimerTest, BackwardJumpRestartsTheGridFromTheNewTime)
{
  auto timer = make_timer();
  advance_to_ms(45);
  ASSERT_EQ(calls_.size(), 1u);
  advance_to_ms(20);
  EXPECT_EQ(calls_.size(), 1u);
  EXPECT_EQ(timer->time_until_trigger(), 10ms);
  advance_to_ms(30);
  EXPECT_EQ(calls_, (std::vector<int64_t>{45 * kMs, 30 * kMs}));
}

TEST_F(SimTimerTest, CancelAndReset)
{
  auto timer = make_timer();
  timer->cancel();
  EXPECT_TRUE(timer->is_canceled());
  EXPECT_EQ(timer->time_until_trigger(), std::chrono::nanoseconds::max());
  advance_to_ms(100);
  EXPECT_TRUE(calls_.empty());

  // reset() un-cancels and starts a full period from now.
  timer->reset();
  EXPECT_FALSE(timer->is_canceled());
  EXPECT_EQ(timer->time_until_trigger(), 10ms);
  EXPECT_FALSE(timer->is_ready());
  advance_to_ms(109);
  EXPECT_TRUE(calls_.empty());
  advance_to_ms(110);
  EXPECT_EQ(calls_, (std::vector<int64_t>{110 * kMs}));
}

TEST_F(SimTimerTest, CallbackMayTakeTheTimerAndCancelItself)
{
  int count = 0;
  auto timer = rclcpp::create_timer(
    node_, node_->get_clock(), rclcpp::Duration::from_nanoseconds(10 * kMs),
    [&count](rclcpp::TimerBase & self) {
      if (++count == 2) {
        self.cancel();
      }
    });
  for (int ms = 10; ms <= 60; ms += 10) {
    advance_to_ms(ms);
  }
  EXPECT_EQ(count, 2);
}

TEST_F(SimTimerTest, SwitchingUseSimTimeAtRunTime)
{
  clock_->set_ms(500);
  EXPECT_EQ(node_->now().nanoseconds(), 500 * kMs);
  ASSERT_TRUE(node_->set_parameter(rclcpp::Parameter("use_sim_time", false)).successful);
  // Back on system time (after 2001), and /clock is no longer listened to.
  EXPECT_GT(node_->now().nanoseconds(), 1000000000LL * 1000000000LL);
  clock_->set_ms(700);
  EXPECT_NE(node_->now().nanoseconds(), 700 * kMs);
  // Switching back resumes at the newest /clock received while it was on.
  ASSERT_TRUE(node_->set_parameter(rclcpp::Parameter("use_sim_time", true)).successful);
  EXPECT_EQ(node_->now().nanoseconds(), 500 * kMs);
  clock_->set_ms(800);
  EXPECT_EQ(node_->now().nanoseconds(), 800 * kMs);
}

TEST_F(SimTimerTest, NegativePeriodIsRefused)
{
  try {
    rclcpp::create_timer(
      node_.get(), node_->get_clock(), rclcpp::Duration::from_nanoseconds(-1), []() {});
    FAIL() << "expected an exception";
  } catch (const rclcpp::exceptions::RCLInvalidArgument & e) {
    EXPECT_EQ(
      std::string(e.what()).rfind(
        "Couldn't initialize rcl timer handle: timer period must be non-negative", 0), 0u)
      << e.what();
  }
  EXPECT_THROW(node_->create_wall_timer(-1ms, []() {}), std::invalid_argument);
  try {
    node_->create_wall_timer(-1ms, []() {});
  } catch (const std::invalid_argument & e) {
    EXPECT_STREQ(e.what(), "timer period cannot be negative");
  }
  rclcpp::Node * null_node = nullptr;
  try {
    rclcpp::create_timer(null_node, node_->get_clock(), rclcpp::Duration(10ms), []() {});
    FAIL() << "expected an exception";
  } catch (const std::invalid_argument & e) {
    EXPECT_STREQ(e.what(), "node cannot be nullptr");
  }
}

TEST_F(SimTimerTest, ZeroPeriodIsAlwaysReady)
{
  int count = 0;
  auto timer = rclcpp::create_timer(
    node_.get(), node_->get_clock(), rclcpp::Duration(0ms), [&count]() {++count;});
  executor_->spin_some();
  executor_->spin_some();
  EXPECT_EQ(count, 2);
}

TEST_F(SimTimerTest, WallTimerIgnoresSimulatedTime)
{
  int count = 0;
  auto timer = node_->create_wall_timer(1ms, [&count]() {++count;});
  EXPECT_TRUE(timer->is_steady());
  // Simulated time stands still at 0; the steady clock still moves the timer.
  while (count == 0) {
    executor_->spin_once(1s);
  }
  EXPECT_EQ(count, 1);
  EXPECT_EQ(node_->now().nanoseconds(), 0);
}

}  // namespace
