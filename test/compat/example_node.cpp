// A small talker/listener written only against the rclcpp API, as a ROS 2 package would write it:
// parameters (command line or params file), a publisher, a subscription on the same topic and a
// 10 ms timer on the node clock. It prints what it is configured with and what it hears, and shuts
// down after `count` messages (never, for count 0).

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "rcutils/allocator.h"
#include "std_msgs/msg/header.hpp"

class Echo : public rclcpp::Node
{
public:
  Echo()
  : Node("echo")
  {
    count_ = declare_parameter<int64_t>("count", 3);
    prefix_ = declare_parameter("prefix", "tick");
    scale_ = declare_parameter("scale", 1.0);
    declare_parameter("offsets", rclcpp::ParameterType::PARAMETER_DOUBLE_ARRAY);
    if (!get_parameter("offsets", offsets_)) {
      RCLCPP_WARN(get_logger(), "offsets not set");
    }
    publisher_ = create_publisher<std_msgs::msg::Header>("chatter", rclcpp::QoS(10));
    subscription_ = create_subscription<std_msgs::msg::Header>(
      "chatter", rclcpp::QoS(10), std::bind(&Echo::on_message, this, std::placeholders::_1));
    timer_ = rclcpp::create_timer(
      this, get_clock(), rclcpp::Duration(std::chrono::milliseconds(10)),
      std::bind(&Echo::on_timer, this));
    std::printf(
      "config count=%lld prefix=%s scale=%g offsets=%zu topic=%s\n",
      static_cast<long long>(count_), prefix_.c_str(), scale_, offsets_.size(),
      publisher_->get_topic_name());
    std::fflush(stdout);
  }

private:
  void on_timer()
  {
    if (sent_ >= count_) {
      return;
    }
    std_msgs::msg::Header message;
    message.frame_id = prefix_ + " " + std::to_string(sent_);
    message.stamp = now();
    publisher_->publish(message);
    ++sent_;
  }

  void on_message(const std_msgs::msg::Header::ConstSharedPtr & message)
  {
    std::printf("heard %s\n", message->frame_id.c_str());
    std::fflush(stdout);
    if (++heard_ == count_) {
      RCLCPP_INFO(get_logger(), "done after %lld messages", static_cast<long long>(heard_));
      rclcpp::shutdown();
    }
  }

  int64_t count_{0};
  std::string prefix_;
  double scale_{0.0};
  std::vector<double> offsets_;
  int64_t sent_{0};
  int64_t heard_{0};
  rclcpp::Publisher<std_msgs::msg::Header>::SharedPtr publisher_;
  rclcpp::Subscription<std_msgs::msg::Header>::SharedPtr subscription_;
  rclcpp::TimerBase::SharedPtr timer_;
};

int main(int argc, char ** argv)
{
  rclcpp::init(
    argc, argv, rclcpp::InitOptions(rcutils_get_default_allocator()),
    rclcpp::SignalHandlerOptions::All);
  auto node = std::make_shared<Echo>();
  rclcpp::spin(node);
  std::printf(
    "stopped: %s\n", rclcpp::contexts::get_global_default_context()->shutdown_reason().c_str());
  std::fflush(stdout);
  rclcpp::shutdown(nullptr, "user called rclcpp::shutdown()");
  return 0;
}
