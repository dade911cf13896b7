// Fixtures shared by the compat runtime tests: a fresh global context per test, and a recorder
// that remembers what subscription callbacks received.
#ifndef COMPAT_TEST_SUPPORT_HPP_
#define COMPAT_TEST_SUPPORT_HPP_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "std_msgs/msg/header.hpp"

namespace compat_test
{

/// Initialises the global context with `arguments` (argv[0] is added), without signal handlers.
inline void init_with(const std::vector<std::string> & arguments)
{
  std::vector<const char *> argv{"compat_test"};
  for (const auto & argument : arguments) {
    argv.push_back(argument.c_str());
  }
  rclcpp::init(
    static_cast<int>(argv.size()), argv.data(), rclcpp::InitOptions(),
    rclcpp::SignalHandlerOptions::None);
}

/// Every test starts with an initialised global context and ends with it shut down.
class RosTest : public ::testing::Test
{
protected:
  void SetUp() override {init_with({});}
  void TearDown() override {rclcpp::shutdown();}

  /// Replaces the process arguments (shuts the context down and initialises it again).
  void reinit(const std::vector<std::string> & arguments)
  {
    rclcpp::shutdown();
    init_with(arguments);
  }
};

/// A header whose frame_id carries the text; the test message type of choice.
inline std_msgs::msg::Header make_header(const std::string & text, int32_t sec = 0)
{
  std_msgs::msg::Header header;
  header.frame_id = text;
  header.stamp.sec = sec;
  return header;
}

/// Publishes simulated time the way a bag player does.
class ClockDriver
{
public:
  explicit ClockDriver(rclcpp::Node & node)
  : publisher_(node.create_publisher<rosgraph_msgs::msg::Clock>("/clock", rclcpp::ClockQoS())) {}

  void set(int64_t nanoseconds)
  {
    rosgraph_msgs::msg::Clock message;
    message.clock.sec = static_cast<int32_t>(nanoseconds / 1000000000);
    message.clock.nanosec = static_cast<uint32_t>(nanoseconds % 1000000000);
    publisher_->publish(message);
  }

  void set_ms(int64_t milliseconds) {set(milliseconds * 1000000);}

private:
  rclcpp::Publisher<rosgraph_msgs::msg::Clock>::SharedPtr publisher_;
};

/// Collects the frame ids a subscription delivers.
struct Received
{
  std::vector<std::string> texts;
  std::vector<const void *> addresses;

  void add(const std_msgs::msg::Header & message)
  {
    texts.push_back(message.frame_id);
    addresses.push_back(&message);
  }
};

}  // namespace compat_test

#endif  // COMPAT_TEST_SUPPORT_HPP_
