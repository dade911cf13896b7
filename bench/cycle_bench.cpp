// One processing cycle: grouping, motion compensation, two transforms, two conversions and two
// publishes, for a 20 000-point scan with 21 IMU samples, in points per second.
#include <cmath>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "node_harness.hpp"

namespace
{

/// rclcpp for the whole program; the node's start-up warnings (no extrinsics given) and its
/// INFO lines stay off the console.
void init_ros_once()
{
  if (!rclcpp::ok()) {
    const char * argv[] = {"sweepmend_bench"};
    rclcpp::init(1, argv, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::None);
  }
  rclcpp::get_logger("harrow_node").set_level(rclcpp::Logger::Level::Error);
}

/// Queues scan k (start 0.105 k s, 0.1 s long) and the 21 IMU samples that cover it, at 200 Hz
/// from its start to its end, while the sensor turns and shakes.
void feed(
  DataSubscriberTestAccess & access, const std::vector<livox_ros_driver2::msg::CustomPoint> & points,
  int k)
{
  const double start = 10.0 + 0.105 * k;
  for (int j = 0; j <= 20; ++j) {
    const double t = start + 0.005 * j;
    access.imu_callback(
      std::make_shared<sensor_msgs::msg::Imu>(
        sweepmend_test::imu_sample(
          t, 0.05 * std::sin(3 * t), 0.02, 0.8, 0.3 * std::sin(5 * t), 0.1, 9.81)));
  }
  access.livox_pcl_callback(
    std::make_shared<livox_ros_driver2::msg::CustomMsg>(
      sweepmend_test::livox_scan(start, points)));
}

void BM_ProcessingCycle(benchmark::State & state)
{
  sweepmend_test::quiet_glog();
  init_ros_once();
  auto node = std::make_shared<DataSubscriber>();
  DataSubscriberTestAccess access(*node);
  // Somebody listens, so that publishing hands the messages on.
  auto listener = std::make_shared<rclcpp::Node>("sweepmend_bench_listener");
  auto undistorted = listener->create_subscription<sensor_msgs::msg::PointCloud2>(
    lidar_topic_undistorted, 1, [](sensor_msgs::msg::PointCloud2::ConstSharedPtr) {});
  auto raw = listener->create_subscription<sensor_msgs::msg::PointCloud2>(
    lidar_topic_undistorted_raw, 1, [](sensor_msgs::msg::PointCloud2::ConstSharedPtr) {});
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(listener);
  rclcpp::detail::spin_until_idle(executor);

  const int count = static_cast<int>(state.range(0));
  std::vector<livox_ros_driver2::msg::CustomPoint> points;
  for (int i = 0; i <= count; ++i) {
    const double a = 0.0005 * i;
    points.push_back(
      sweepmend_test::livox_point(
        static_cast<float>(6.0 * std::cos(a)), static_cast<float>(6.0 * std::sin(a)),
        static_cast<float>(0.5 * std::sin(11 * a)),
        static_cast<uint32_t>(100000000.0 * i / count)));
  }

  // The first measurement only initialises the IMU processor.
  int k = 0;
  feed(access, points, k);
  access.timer_callback();
  for (auto _ : state) {
    state.PauseTiming();
    feed(access, points, ++k);
    state.ResumeTiming();
    access.timer_callback();
  }
  state.SetItemsProcessed(state.iterations() * count);
  executor.remove_node(listener);
}
BENCHMARK(BM_ProcessingCycle)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace
