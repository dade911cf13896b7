// Time, Duration and Clock: arithmetic, message conversions, clock-type rules and the ROS-time
// override used for simulated time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "builtin_interfaces/msg/duration.hpp"
#include "builtin_interfaces/msg/time.hpp"
#include "rclcpp/clock.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/duration.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/time.hpp"

namespace
{

template<typename ExceptionT, typename Callable>
std::string what_of(Callable && callable)
{
  try {
    callable();
  } catch (const ExceptionT & e) {
    return e.what();
  }
  ADD_FAILURE() << "expected exception was not thrown";
  return {};
}

int64_t system_now_ns()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::system_clock::now().time_since_epoch()).count();
}

// Code written against Humble relies on which conversions exist and which do not.
static_assert(!std::is_default_constructible<rclcpp::Duration>::value, "no default Duration");
static_assert(!std::is_constructible<rclcpp::Duration, int64_t>::value, "no Duration(int64_t)");
static_assert(
  std::is_convertible<std::chrono::milliseconds, rclcpp::Duration>::value,
  "chrono durations convert implicitly");
static_assert(
  std::is_convertible<builtin_interfaces::msg::Duration, rclcpp::Duration>::value,
  "duration messages convert implicitly");
static_assert(!std::is_convertible<int64_t, rclcpp::Time>::value, "Time(int64_t) is explicit");
static_assert(std::is_default_constructible<rclcpp::Time>::value, "Time() is zero");
static_assert(
  std::is_convertible<builtin_interfaces::msg::Time, rclcpp::Time>::value,
  "time messages convert implicitly");

TEST(Duration, ConstructionAndAccessors)
{
  EXPECT_EQ(rclcpp::Duration(1, 500000000u).nanoseconds(), 1500000000);
  EXPECT_EQ(rclcpp::Duration(-2, 250000000u).nanoseconds(), -1750000000);
  EXPECT_DOUBLE_EQ(rclcpp::Duration(1, 500000000u).seconds(), 1.5);

  rclcpp::Duration from_chrono = std::chrono::milliseconds(10);
  EXPECT_EQ(from_chrono.nanoseconds(), 10000000);
  EXPECT_EQ(rclcpp::Duration(std::chrono::seconds(-3)).nanoseconds(), -3000000000);
  EXPECT_EQ(from_chrono.to_chrono<std::chrono::microseconds>().count(), 10000);

  EXPECT_EQ(rclcpp::Duration::from_nanoseconds(42).nanoseconds(), 42);
  EXPECT_EQ(rclcpp::Duration::from_seconds(0.25).nanoseconds(), 250000000);
  // seconds * 1e9 is truncated toward zero.
  EXPECT_EQ(rclcpp::Duration::from_seconds(1.0000000019).nanoseconds(), 1000000001);
  EXPECT_EQ(rclcpp::Duration::from_seconds(-1.0000000019).nanoseconds(), -1000000001);

  EXPECT_EQ(rclcpp::Duration::max().nanoseconds(), 2147483647LL * 1000000000LL + 999999999LL);

  builtin_interfaces::msg::Duration msg;
  msg.sec = -1;
  msg.nanosec = 250000000u;
  rclcpp::Duration from_msg = msg;
  EXPECT_EQ(from_msg.nanoseconds(), -750000000);
}

TEST(Duration, ComparisonsAndArithmetic)
{
  const auto a = rclcpp::Duration::from_nanoseconds(1500);
  const auto b = rclcpp::Duration::from_nanoseconds(-500);
  EXPECT_EQ((a + b).nanoseconds(), 1000);
  EXPECT_EQ((a - b).nanoseconds(), 2000);
  EXPECT_EQ((a * 2.5).nanoseconds(), 3750);
  EXPECT_EQ((a * -1.0).nanoseconds(), -1500);
  EXPECT_TRUE(b < a);
  EXPECT_TRUE(a > b);
  EXPECT_TRUE(a >= a);
  EXPECT_TRUE(b <= b);
  EXPECT_TRUE(a != b);
  EXPECT_TRUE(a == rclcpp::Duration(std::chrono::nanoseconds(1500)));

  rclcpp::Duration assigned = b;
  assigned = a;
  EXPECT_EQ(assigned.nanoseconds(), 1500);
}

TEST(Duration, OverflowAndAbnormalScale)
{
  const auto big = rclcpp::Duration::from_nanoseconds(std::numeric_limits<int64_t>::max());
  const auto one = rclcpp::Duration::from_nanoseconds(1);
  const auto small = rclcpp::Duration::from_nanoseconds(std::numeric_limits<int64_t>::min() + 1);
  EXPECT_EQ(
    what_of<std::overflow_error>([&] {(void)(big + one);}),
    "addition leads to int64_t overflow");
  EXPECT_EQ(
    what_of<std::underflow_error>([&] {(void)(small + rclcpp::Duration::from_nanoseconds(-2));}),
    "addition leads to int64_t underflow");
  EXPECT_EQ(
    what_of<std::overflow_error>([&] {(void)(big - rclcpp::Duration::from_nanoseconds(-1));}),
    "duration subtraction leads to int64_t overflow");
  EXPECT_EQ(
    what_of<std::underflow_error>([&] {(void)(small - rclcpp::Duration::from_nanoseconds(2));}),
    "duration subtraction leads to int64_t underflow");
  EXPECT_EQ(
    what_of<std::overflow_error>([&] {(void)(big * 2.0);}),
    "duration scaling leads to int64_t overflow");
  EXPECT_EQ(
    what_of<std::underflow_error>([&] {(void)(big * -2.0);}),
    "duration scaling leads to int64_t underflow");
  EXPECT_EQ(
    what_of<std::runtime_error>([&] {(void)(one * std::numeric_limits<double>::infinity());}),
    "abnormal scale in rclcpp::Duration");
  EXPECT_EQ(
    what_of<std::runtime_error>([&] {(void)(one * std::numeric_limits<double>::quiet_NaN());}),
    "abnormal scale in rclcpp::Duration");
}

TEST(Duration, MessageConversionFloorsAndSaturates)
{
  struct Case
  {
    int64_t ns;
    int32_t sec;
    uint32_t nanosec;
  };
  const std::vector<Case> cases = {
    {0, 0, 0u},
    {1500000000, 1, 500000000u},
    {-1, -1, 999999999u},
    {-1500000000, -2, 500000000u},
    {-1000000000, -1, 0u},
    // Beyond the int32 seconds range the message saturates.
    {std::numeric_limits<int64_t>::max(), std::numeric_limits<int32_t>::max(),
      std::numeric_limits<uint32_t>::max()},
    {std::numeric_limits<int64_t>::min(), std::numeric_limits<int32_t>::min(), 0u},
  };
  for (const auto & c : cases) {
    const builtin_interfaces::msg::Duration msg = rclcpp::Duration::from_nanoseconds(c.ns);
    EXPECT_EQ(msg.sec, c.sec) << c.ns;
    EXPECT_EQ(msg.nanosec, c.nanosec) << c.ns;
  }
}

TEST(Duration, RmwTime)
{
  const rmw_time_t t = rclcpp::Duration(3, 7u).to_rmw_time();
  EXPECT_EQ(t.sec, 3u);
  EXPECT_EQ(t.nsec, 7u);
  EXPECT_EQ(
    what_of<std::runtime_error>([] {rclcpp::Duration::from_nanoseconds(-1).to_rmw_time();}),
    "rmw_time_t cannot be negative");
  rmw_time_t huge{std::numeric_limits<uint64_t>::max(), 0u};
  EXPECT_EQ(
    rclcpp::Duration::from_rmw_time(huge).nanoseconds(), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(rclcpp::Duration::from_rmw_time(rmw_time_t{2u, 5u}).nanoseconds(), 2000000005);
}

TEST(Time, ConstructorsAndDefaultClockTypes)
{
  EXPECT_EQ(rclcpp::Time().nanoseconds(), 0);
  EXPECT_EQ(rclcpp::Time().get_clock_type(), RCL_SYSTEM_TIME);
  EXPECT_EQ(rclcpp::Time(3, 250u).nanoseconds(), 3000000250);
  EXPECT_EQ(rclcpp::Time(3, 250u).get_clock_type(), RCL_SYSTEM_TIME);
  EXPECT_EQ(rclcpp::Time(int64_t{-5}).nanoseconds(), -5);  // negative ns are accepted
  EXPECT_EQ(rclcpp::Time(int64_t{7}, RCL_STEADY_TIME).get_clock_type(), RCL_STEADY_TIME);

  builtin_interfaces::msg::Time msg;
  msg.sec = 12;
  msg.nanosec = 345u;
  const rclcpp::Time from_msg = msg;
  EXPECT_EQ(from_msg.nanoseconds(), 12000000345);
  EXPECT_EQ(from_msg.get_clock_type(), RCL_ROS_TIME);
  EXPECT_EQ(rclcpp::Time(msg, RCL_SYSTEM_TIME).get_clock_type(), RCL_SYSTEM_TIME);

  rclcpp::Time assigned(int64_t{1}, RCL_STEADY_TIME);
  assigned = msg;
  EXPECT_EQ(assigned.get_clock_type(), RCL_ROS_TIME);
  EXPECT_EQ(assigned.nanoseconds(), 12000000345);

  EXPECT_DOUBLE_EQ(rclcpp::Time(2, 500000000u).seconds(), 2.5);
  EXPECT_EQ(rclcpp::Time::max().nanoseconds(), 2147483647LL * 1000000000LL + 999999999LL);
  EXPECT_EQ(rclcpp::Time::max().get_clock_type(), RCL_SYSTEM_TIME);
}

TEST(Time, NegativeSecondsAreRejected)
{
  const std::string text = "cannot store a negative time point in rclcpp::Time";
  EXPECT_EQ(what_of<std::runtime_error>([] {rclcpp::Time(-1, 0u);}), text);
  builtin_interfaces::msg::Time msg;
  msg.sec = -1;
  EXPECT_EQ(what_of<std::runtime_error>([&] {rclcpp::Time t(msg); (void)t;}), text);
  EXPECT_EQ(
    what_of<std::runtime_error>([&] {rclcpp::Time t; t = msg;}), text);
}

TEST(Time, MessageConversionFloorsNegativeValues)
{
  struct Case
  {
    int64_t ns;
    int32_t sec;
    uint32_t nanosec;
  };
  const std::vector<Case> cases = {
    {1700000000123456789LL, 1700000000, 123456789u},
    {-1, -1, 999999999u},
    {-1500000000, -2, 500000000u},
    {-1000000000, -1, 0u},
  };
  for (const auto & c : cases) {
    const builtin_interfaces::msg::Time msg = rclcpp::Time(c.ns);
    EXPECT_EQ(msg.sec, c.sec) << c.ns;
    EXPECT_EQ(msg.nanosec, c.nanosec) << c.ns;
  }
}

TEST(Time, MixedClockTypesThrow)
{
  builtin_interfaces::msg::Time msg;
  msg.sec = 1;
  const rclcpp::Time ros = msg;  // RCL_ROS_TIME
  const rclcpp::Time system(int64_t{1000000000});  // RCL_SYSTEM_TIME, same instant
  const std::string compare_text = "can't compare times with different time sources";
  EXPECT_EQ(what_of<std::runtime_error>([&] {(void)(ros == system);}), compare_text);
  EXPECT_EQ(what_of<std::runtime_error>([&] {(void)(ros != system);}), compare_text);
  EXPECT_EQ(what_of<std::runtime_error>([&] {(void)(ros < system);}), compare_text);
  EXPECT_EQ(what_of<std::runtime_error>([&] {(void)(ros <= system);}), compare_text);
  EXPECT_EQ(what_of<std::runtime_error>([&] {(void)(ros > system);}), compare_text);
  EXPECT_EQ(what_of<std::runtime_error>([&] {(void)(ros >= system);}), compare_text);
  EXPECT_EQ(
    what_of<std::runtime_error>([&] {(void)(ros - system);}),
    "can't subtract times with different time sources [1 != 2]");
  EXPECT_TRUE(ros == rclcpp::Time(int64_t{1000000000}, RCL_ROS_TIME));
}

TEST(Time, ArithmeticKeepsClockType)
{
  const rclcpp::Time t(int64_t{1000}, RCL_ROS_TIME);
  const auto d = rclcpp::Duration::from_nanoseconds(250);

  const rclcpp::Time later = t + d;
  EXPECT_EQ(later.nanoseconds(), 1250);
  EXPECT_EQ(later.get_clock_type(), RCL_ROS_TIME);
  const rclcpp::Time also_later = d + t;
  EXPECT_EQ(also_later.nanoseconds(), 1250);
  EXPECT_EQ(also_later.get_clock_type(), RCL_ROS_TIME);
  const rclcpp::Time earlier = t - d;
  EXPECT_EQ(earlier.nanoseconds(), 750);
  EXPECT_EQ(earlier.get_clock_type(), RCL_ROS_TIME);
  EXPECT_EQ((later - earlier).nanoseconds(), 500);
  EXPECT_EQ((earlier - later).nanoseconds(), -500);

  rclcpp::Time accumulated = t;
  accumulated += d;
  accumulated += d;
  accumulated -= rclcpp::Duration::from_nanoseconds(100);
  EXPECT_EQ(accumulated.nanoseconds(), 1400);
  EXPECT_EQ(accumulated.get_clock_type(), RCL_ROS_TIME);
}

TEST(Time, Overflow)
{
  const rclcpp::Time top(std::numeric_limits<int64_t>::max());
  const rclcpp::Time bottom(std::numeric_limits<int64_t>::min());
  const auto one = rclcpp::Duration::from_nanoseconds(1);
  EXPECT_EQ(
    what_of<std::overflow_error>([&] {(void)(top + one);}), "addition leads to int64_t overflow");
  EXPECT_EQ(
    what_of<std::overflow_error>([&] {(void)(one + top);}), "addition leads to int64_t overflow");
  EXPECT_EQ(
    what_of<std::underflow_error>([&] {(void)(bottom - one);}),
    "time subtraction leads to int64_t underflow");
  EXPECT_EQ(
    what_of<std::overflow_error>([&] {(void)(top - rclcpp::Time(int64_t{-1}));}),
    "time subtraction leads to int64_t overflow");
  EXPECT_EQ(
    what_of<std::overflow_error>([&] {rclcpp::Time t = top; t += one;}),
    "addition leads to int64_t overflow");
  EXPECT_EQ(
    what_of<std::underflow_error>([&] {rclcpp::Time t = bottom; t -= one;}),
    "time subtraction leads to int64_t underflow");
}

TEST(Clock, SystemAndSteadyClocks)
{
  rclcpp::Clock system;
  EXPECT_EQ(system.get_clock_type(), RCL_SYSTEM_TIME);
  const int64_t before = system_now_ns();
  const rclcpp::Time now = system.now();
  const int64_t after = system_now_ns();
  EXPECT_EQ(now.get_clock_type(), RCL_SYSTEM_TIME);
  EXPECT_LE(before, now.nanoseconds());
  EXPECT_GE(after, now.nanoseconds());

  rclcpp::Clock steady(RCL_STEADY_TIME);
  const rclcpp::Time s1 = steady.now();
  const rclcpp::Time s2 = steady.now();
  EXPECT_EQ(s1.get_clock_type(), RCL_STEADY_TIME);
  EXPECT_LE(s1, s2);

  EXPECT_THROW(system.ros_time_is_active(), rclcpp::exceptions::RCLError);
  try {
    steady.ros_time_is_active();
    ADD_FAILURE() << "a steady clock has no ROS time override";
  } catch (const rclcpp::exceptions::RCLError & e) {
    EXPECT_EQ(
      std::string(e.what()).rfind(
        "Failed to check ros_time_override_status: Clock is not of type RCL_ROS_TIME, cannot "
        "query override state., at ", 0), 0u) << e.what();
  }
}

TEST(Clock, UninitializedClockCannotTellTime)
{
  rclcpp::Clock clock(RCL_CLOCK_UNINITIALIZED);
  EXPECT_FALSE(clock.ros_time_is_active());
  try {
    clock.now();
    ADD_FAILURE() << "now() on an uninitialised clock must throw";
  } catch (const rclcpp::exceptions::RCLError & e) {
    EXPECT_EQ(std::string(e.what()).rfind("could not get current time stamp: ", 0), 0u);
  }
}

TEST(Clock, RosTimeOverrideIsSharedBetweenCopies)
{
  auto clock = std::make_shared<rclcpp::Clock>(RCL_ROS_TIME);
  rclcpp::Clock copy = *clock;
  EXPECT_FALSE(clock->ros_time_is_active());

  // Without override: system time, tagged ROS time.
  const int64_t before = system_now_ns();
  const rclcpp::Time wall = clock->now();
  const int64_t after = system_now_ns();
  EXPECT_EQ(wall.get_clock_type(), RCL_ROS_TIME);
  EXPECT_LE(before, wall.nanoseconds());
  EXPECT_GE(after, wall.nanoseconds());

  // Enabled before any value arrives: time stands at 0.
  rclcpp::detail::enable_ros_time_override(*clock);
  EXPECT_TRUE(copy.ros_time_is_active());
  EXPECT_EQ(copy.now().nanoseconds(), 0);

  rclcpp::detail::set_ros_time_override(copy, true, 1700000000000000000LL);
  EXPECT_EQ(clock->now().nanoseconds(), 1700000000000000000LL);
  EXPECT_EQ(clock->now().get_clock_type(), RCL_ROS_TIME);

  // Values set while disabled are kept for the next activation.
  rclcpp::detail::disable_ros_time_override(*clock);
  EXPECT_FALSE(copy.ros_time_is_active());
  rclcpp::detail::set_ros_time_override_value(*clock, 42);
  const int64_t wall_again = copy.now().nanoseconds();
  EXPECT_GT(wall_again, 42);
  rclcpp::detail::enable_ros_time_override(copy);
  EXPECT_EQ(clock->now().nanoseconds(), 42);

  // Other clock types ignore the override.
  rclcpp::Clock system(RCL_SYSTEM_TIME);
  rclcpp::detail::set_ros_time_override(system, true, 5);
  EXPECT_NE(system.now().nanoseconds(), 5);
}

TEST(Clock, JumpCallbacksFollowThresholds)
{
  rclcpp::Clock clock(RCL_ROS_TIME);
  struct Record
  {
    int pre = 0;
    std::vector<rcl_time_jump_t> post;
  };
  Record on_change;
  Record forward_1s;
  Record backward_any;

  rcl_jump_threshold_t change_threshold{true, {0}, {0}};
  auto h1 = clock.create_jump_callback(
    [&] {++on_change.pre;}, [&](const rcl_time_jump_t & j) {on_change.post.push_back(j);},
    change_threshold);
  rcl_jump_threshold_t forward_threshold{false, {1000000000}, {0}};
  auto h2 = clock.create_jump_callback(
    [&] {++forward_1s.pre;}, [&](const rcl_time_jump_t & j) {forward_1s.post.push_back(j);},
    forward_threshold);
  rcl_jump_threshold_t backward_threshold{false, {0}, {-1}};
  auto h3 = clock.create_jump_callback(
    [&] {++backward_any.pre;}, [&](const rcl_time_jump_t & j) {backward_any.post.push_back(j);},
    backward_threshold);

  rclcpp::detail::set_ros_time_override(clock, true, 500000000);  // activation, then +0.5 s
  ASSERT_EQ(on_change.post.size(), 1u);
  EXPECT_EQ(on_change.pre, 1);
  EXPECT_EQ(on_change.post[0].clock_change, RCL_ROS_TIME_ACTIVATED);
  EXPECT_TRUE(forward_1s.post.empty());

  rclcpp::detail::set_ros_time_override_value(clock, 2000000000);  // +1.5 s
  ASSERT_EQ(forward_1s.post.size(), 1u);
  EXPECT_EQ(forward_1s.pre, 1);
  EXPECT_EQ(forward_1s.post[0].clock_change, RCL_ROS_TIME_NO_CHANGE);
  EXPECT_EQ(forward_1s.post[0].delta.nanoseconds, 1500000000);
  EXPECT_TRUE(backward_any.post.empty());

  rclcpp::detail::set_ros_time_override_value(clock, 1999999999);  // -1 ns
  ASSERT_EQ(backward_any.post.size(), 1u);
  EXPECT_EQ(backward_any.post[0].delta.nanoseconds, -1);
  EXPECT_EQ(forward_1s.post.size(), 1u);

  // A released handler is not called any more.
  h1.reset();
  rclcpp::detail::disable_ros_time_override(clock);
  EXPECT_EQ(on_change.post.size(), 1u);

  rcl_jump_threshold_t bad_forward{false, {-1}, {0}};
  EXPECT_THROW(
    clock.create_jump_callback(nullptr, nullptr, bad_forward),
    rclcpp::exceptions::RCLInvalidArgument);
  rcl_jump_threshold_t bad_backward{false, {0}, {1}};
  EXPECT_THROW(
    clock.create_jump_callback(nullptr, nullptr, bad_backward),
    rclcpp::exceptions::RCLInvalidArgument);
}

class ClockSleep : public ::testing::Test
{
protected:
  void SetUp() override
  {
    const char * argv[] = {"time_test"};
    context_->init(1, argv);
  }
  void TearDown() override
  {
    if (context_->is_valid()) {
      context_->shutdown("test done");
    }
  }

  rclcpp::Context::SharedPtr context_ = std::make_shared<rclcpp::Context>();
};

TEST_F(ClockSleep, ArgumentChecks)
{
  rclcpp::Clock steady(RCL_STEADY_TIME);
  builtin_interfaces::msg::Time msg;
  EXPECT_EQ(
    what_of<std::runtime_error>([&] {steady.sleep_until(rclcpp::Time(msg), context_);}),
    "until's clock type does not match this clock's type");
  auto never_initialised = std::make_shared<rclcpp::Context>();
  EXPECT_EQ(
    what_of<std::runtime_error>(
      [&] {steady.sleep_for(rclcpp::Duration::from_nanoseconds(1), never_initialised);}),
    "context cannot be slept with because it's invalid");
}

TEST_F(ClockSleep, WallClocksReachTheTarget)
{
  for (rcl_clock_type_t type : {RCL_STEADY_TIME, RCL_SYSTEM_TIME, RCL_ROS_TIME}) {
    rclcpp::Clock clock(type);
    const rclcpp::Time until = clock.now() + rclcpp::Duration(std::chrono::milliseconds(2));
    EXPECT_TRUE(clock.sleep_until(until, context_)) << type;
    EXPECT_GE(clock.now(), until) << type;
    // A target in the past returns at once.
    EXPECT_TRUE(clock.sleep_until(until, context_)) << type;
  }
}

TEST_F(ClockSleep, SimulatedTimeWakesOnNewValues)
{
  rclcpp::Clock clock(RCL_ROS_TIME);
  rclcpp::detail::set_ros_time_override(clock, true, 0);
  std::atomic<bool> result{false};
  std::thread sleeper([&] {
      result = clock.sleep_until(rclcpp::Time(int64_t{5000000000}, RCL_ROS_TIME), context_);
    });
  // Whether or not the sleeper is already waiting, it can only return once 5 s is reached.
  rclcpp::detail::set_ros_time_override_value(clock, 2000000000);
  rclcpp::detail::set_ros_time_override_value(clock, 5000000000);
  sleeper.join();
  EXPECT_TRUE(result);
  EXPECT_EQ(clock.now().nanoseconds(), 5000000000);
}

TEST_F(ClockSleep, TimeSourceChangeEndsTheSleep)
{
  rclcpp::Clock clock(RCL_ROS_TIME);
  std::atomic<bool> done{false};
  std::atomic<bool> result{true};
  std::thread sleeper([&] {
      result = clock.sleep_for(std::chrono::hours(1), context_);
      done = true;
    });
  // Toggle until the sleeper has seen a change; each toggle is a change of time source.
  while (!done) {
    rclcpp::detail::enable_ros_time_override(clock);
    rclcpp::detail::disable_ros_time_override(clock);
    std::this_thread::yield();
  }
  sleeper.join();
  EXPECT_FALSE(result);
}

TEST_F(ClockSleep, ShutdownEndsTheSleep)
{
  rclcpp::Clock steady(RCL_STEADY_TIME);
  std::atomic<bool> done{false};
  std::atomic<bool> result{true};
  std::thread sleeper([&] {
      result = steady.sleep_for(std::chrono::hours(1), context_);
      done = true;
    });
  // Wait until the sleeper holds a reference to the shutdown callbacks, i.e. it is inside.
  while (context_->get_on_shutdown_callbacks().empty() && !done) {
    std::this_thread::yield();
  }
  context_->shutdown("stop sleeping");
  sleeper.join();
  EXPECT_FALSE(result);
}

}  // namespace
