// Executor behaviour: order of work, spin variants, wake-ups, cancel, shutdown, exceptions.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "compat_test_support.hpp"
#include "rclcpp/detail/spin_control.hpp"
#include "rclcpp/rclcpp.hpp"

namespace
{

using namespace std::chrono_literals;
using compat_test::ClockDriver;
using compat_test::make_header;
using Header = std_msgs::msg::Header;

class ExecutorTest : public compat_test::RosTest
{
protected:
  void SetUp() override
  {
    RosTest::SetUp();
    node_ = std::make_shared<rclcpp::Node>("exec_node");
  }

  void TearDown() override
  {
    node_.reset();
    RosTest::TearDown();
  }

  rclcpp::Subscription<Header>::SharedPtr record(const std::string & topic, size_t depth = 10)
  {
    return node_->create_subscription<Header>(
      topic, depth, [this, topic](const Header & msg) {log_.push_back(topic + ":" + msg.frame_id);});
  }

  rclcpp::Node::SharedPtr node_;
  std::vector<std::string> log_;
};

TEST_F(ExecutorTest, ReadyTimersRunBeforeSubscriptionsAndEachSubscriptionTakesOneMessagePerTurn)
{
  auto sim_node = std::make_shared<rclcpp::Node>(
    "sim", rclcpp::NodeOptions().append_parameter_override("use_sim_time", true));
  ClockDriver clock(*node_);
  auto timer = rclcpp::create_timer(
    sim_node.get(), sim_node->get_clock(), rclcpp::Duration(10ms),
    [this]() {log_.push_back("timer");});
  auto sub_a = record("a");
  auto sub_b = record("b");
  auto pub_a = node_->create_publisher<Header>("a", 10);
  auto pub_b = node_->create_publisher<Header>("b", 10);
  pub_a->publish(make_header("1"));
  pub_a->publish(make_header("2"));
  pub_b->publish(make_header("1"));
  pub_b->publish(make_header("2"));
  clock.set_ms(10);

  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);
  executor.add_node(sim_node);
  // One turn: the due timer, then one message of each subscription.
  executor.spin_some();
  EXPECT_EQ(log_, (std::vector<std::string>{"timer", "a:1", "b:1"}));
  executor.spin_some();
  EXPECT_EQ(log_, (std::vector<std::string>{"timer", "a:1", "b:1", "a:2", "b:2"}));
}

TEST_F(ExecutorTest, SpinAllLooksAgainUntilNothingIsReady)
{
  auto sub_a = record("a");
  auto sub_b = record("b");
  auto pub_a = node_->create_publisher<Header>("a", 10);
  auto pub_b = node_->create_publisher<Header>("b", 10);
  pub_a->publish(make_header("1"));
  pub_a->publish(make_header("2"));
  pub_b->publish(make_header("1"));
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);
  executor.spin_all(0s);
  EXPECT_EQ(log_, (std::vector<std::string>{"a:1", "b:1", "a:2"}));
  EXPECT_THROW(executor.spin_all(-1ns), std::invalid_argument);
}

TEST_F(ExecutorTest, SpinUntilIdleFollowsChainsOfCallbacks)
{
  // Each message on "ping" makes the callback publish on "pong", which is recorded.
  auto pong_pub = node_->create_publisher<Header>("pong", 10);
  auto ping_sub = node_->create_subscription<Header>(
    "ping", 10, [&pong_pub](const Header & msg) {pong_pub->publish(make_header(msg.frame_id));});
  auto pong_sub = record("pong");
  auto ping_pub = node_->create_publisher<Header>("ping", 10);
  ping_pub->publish(make_header("x"));
  ping_pub->publish(make_header("y"));

  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);
  EXPECT_EQ(rclcpp::detail::spin_until_idle(executor), 4u);
  EXPECT_EQ(log_, (std::vector<std::string>{"pong:x", "pong:y"}));
  EXPECT_EQ(rclcpp::detail::spin_until_idle(executor), 0u);
}

TEST_F(ExecutorTest, SpinOnceRunsOneCallbackOrTimesOut)
{
  auto sub = record("once");
  auto pub = node_->create_publisher<Header>("once", 10);
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);
  executor.spin_once(0ns);
  EXPECT_TRUE(log_.empty());
  pub->publish(make_header("1"));
  pub->publish(make_header("2"));
  executor.spin_once(0ns);
  EXPECT_EQ(log_, std::vector<std::string>{"once:1"});
  executor.spin_once(0ns);
  EXPECT_EQ(log_, (std::vector<std::string>{"once:1", "once:2"}));
}

TEST_F(ExecutorTest, SpinWakesOnPublishFromAnotherThreadAndEndsOnShutdown)
{
  auto sub = node_->create_subscription<Header>(
    "wake", 10, [this](const Header & msg) {
      log_.push_back(msg.frame_id);
      rclcpp::shutdown();
    });
  auto pub = node_->create_publisher<Header>("wake", 10);
  std::thread publisher([&pub]() {
      std::this_thread::sleep_for(20ms);
      pub->publish(make_header("from thread"));
    });
  rclcpp::spin(node_);
  publisher.join();
  EXPECT_EQ(log_, std::vector<std::string>{"from thread"});
  EXPECT_FALSE(rclcpp::ok());
  EXPECT_EQ(rclcpp::contexts::get_global_default_context()->shutdown_reason(),
    "user called rclcpp::shutdown()");
}

TEST_F(ExecutorTest, BlockedSpinWakesWhenSimulatedTimeReachesATimer)
{
  auto sim_node = std::make_shared<rclcpp::Node>(
    "sim", rclcpp::NodeOptions().append_parameter_override("use_sim_time", true));
  int64_t fired_at = -1;
  auto timer = rclcpp::create_timer(
    sim_node.get(), sim_node->get_clock(), rclcpp::Duration(10ms),
    [&fired_at, &sim_node]() {
      fired_at = sim_node->now().nanoseconds();
      rclcpp::shutdown();
    });
  ClockDriver clock(*node_);
  std::thread driver([&clock]() {
      std::this_thread::sleep_for(20ms);
      clock.set_ms(5);
      std::this_thread::sleep_for(20ms);
      clock.set_ms(12);
      // Watchdog: a spin that never wakes fails the test instead of hanging it.
      for (int i = 0; i < 500 && rclcpp::ok(); ++i) {
        std::this_thread::sleep_for(10ms);
      }
      rclcpp::shutdown();
    });
  // Nothing wakes this spin but /clock: simulated time has no wall-clock deadline.
  rclcpp::spin(sim_node);
  driver.join();
  EXPECT_EQ(fired_at, 12000000);
}

TEST_F(ExecutorTest, SpinEndsOnShutdownFromAnotherThread)
{
  std::thread stopper([]() {
      std::this_thread::sleep_for(20ms);
      rclcpp::shutdown(nullptr, "stopped by test");
    });
  rclcpp::spin(node_);
  stopper.join();
  EXPECT_EQ(
    rclcpp::contexts::get_global_default_context()->shutdown_reason(), "stopped by test");
  // A second shutdown reports that nothing was left to shut down.
  EXPECT_FALSE(rclcpp::shutdown());
}

TEST_F(ExecutorTest, CancelEndsSpinButKeepsTheContext)
{
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);
  std::thread canceller([&executor]() {
      while (!executor.is_spinning()) {
        std::this_thread::sleep_for(1ms);
      }
      executor.cancel();
    });
  executor.spin();
  canceller.join();
  EXPECT_TRUE(rclcpp::ok());
  EXPECT_FALSE(executor.is_spinning());
}

TEST_F(ExecutorTest, SpinningTwiceAndAddingANodeTwiceAreErrors)
{
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);
  rclcpp::executors::SingleThreadedExecutor other;
  try {
    other.add_node(node_);
    FAIL() << "expected an exception";
  } catch (const std::runtime_error & e) {
    EXPECT_STREQ(e.what(), "Node '/exec_node' has already been added to an executor.");
  }

  std::string reentry_error;
  auto timer = node_->create_wall_timer(
    0ms, [&]() {
      try {
        executor.spin();
      } catch (const std::runtime_error & e) {
        reentry_error = e.what();
      }
      executor.cancel();
    });
  executor.spin();
  EXPECT_EQ(reentry_error, "spin() called while already spinning");

  // Once removed, the node may join another executor.
  executor.remove_node(node_);
  EXPECT_NO_THROW(other.add_node(node_));
}

TEST_F(ExecutorTest, RemovedNodeIsNotServed)
{
  auto sub = record("removed");
  auto pub = node_->create_publisher<Header>("removed", 10);
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);
  executor.remove_node(node_);
  pub->publish(make_header("1"));
  executor.spin_some();
  EXPECT_TRUE(log_.empty());
  // The message is still waiting for whoever spins the node next.
  rclcpp::spin_some(node_);
  EXPECT_EQ(log_, std::vector<std::string>{"removed:1"});
}

TEST_F(ExecutorTest, CallbackExceptionsLeaveSpin)
{
  auto sub = node_->create_subscription<Header>(
    "throws", 10, [](const Header &) {throw std::logic_error("from callback");});
  auto pub = node_->create_publisher<Header>("throws", 10);
  pub->publish(make_header("x"));
  try {
    rclcpp::spin(node_);
    FAIL() << "expected the callback's exception";
  } catch (const std::logic_error & e) {
    EXPECT_STREQ(e.what(), "from callback");
  }
  // The executor was released: the node can be spun again.
  EXPECT_NO_THROW(rclcpp::spin_some(node_));
}

TEST_F(ExecutorTest, SpinUntilFutureComplete)
{
  std::promise<int> promise;
  auto future = promise.get_future().share();
  auto timer = node_->create_wall_timer(1ms, [&promise, fired = false]() mutable {
        if (!fired) {
          fired = true;
          promise.set_value(42);
        }
      });
  EXPECT_EQ(rclcpp::spin_until_future_complete(node_, future, 5s), rclcpp::FutureReturnCode::SUCCESS);
  EXPECT_EQ(future.get(), 42);

  std::promise<int> never;
  auto never_future = never.get_future();
  EXPECT_EQ(
    rclcpp::spin_until_future_complete(node_, never_future, 10ms),
    rclcpp::FutureReturnCode::TIMEOUT);
}

TEST_F(ExecutorTest, SleepForIsCutShortByShutdown)
{
  std::thread stopper([]() {
      std::this_thread::sleep_for(20ms);
      rclcpp::shutdown();
    });
  EXPECT_FALSE(rclcpp::sleep_for(60s));
  stopper.join();
}

TEST_F(ExecutorTest, NothingRunsAfterShutdown)
{
  auto sub = record("late");
  auto pub = node_->create_publisher<Header>("late", 10);
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node_);
  pub->publish(make_header("queued"));
  rclcpp::shutdown();
  executor.spin_some();
  executor.spin();
  EXPECT_TRUE(log_.empty());
}

}  // namespace
