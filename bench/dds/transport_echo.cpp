// The other end of the DDS round-trip benchmark on compat's transport: every PointCloud2 taken
// on /bench/ping goes straight back on /bench/pong. Runs until SIGINT/SIGTERM.
#include <memory>
#include <utility>

#include "rclcpp/rclcpp.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"

int main(int argc, char ** argv)
{
  rclcpp::init(argc, argv);
  auto node = std::make_shared<rclcpp::Node>("bench_echo");
  auto pong = node->create_publisher<sensor_msgs::msg::PointCloud2>(
    "/bench/pong", rclcpp::QoS(1).reliable());
  auto ping = node->create_subscription<sensor_msgs::msg::PointCloud2>(
    "/bench/ping", rclcpp::QoS(1).reliable(),
    [&pong](std::unique_ptr<sensor_msgs::msg::PointCloud2> msg) {pong->publish(std::move(msg));});
  rclcpp::spin(node);
  rclcpp::shutdown();
  return 0;
}
