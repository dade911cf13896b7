// Scan intake: a Livox Mid-360 message of 20 000 points and a Vanjee PointCloud2 of 38 400 points
// turned into queued clouds, in points per second and as multiples of the floor kernel.
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_support.hpp"
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

void BM_LivoxIntake(benchmark::State & state)
{
  sweepmend_test::quiet_glog();
  init_ros_once();
  auto node = std::make_shared<DataSubscriber>();
  DataSubscriberTestAccess access(*node);

  // A Mid-360 scan: four lines, mostly good tags, a few repeats and zero returns, 0.1 s long.
  const int count = static_cast<int>(state.range(0));
  std::vector<livox_ros_driver2::msg::CustomPoint> points;
  for (int i = 0; i < count; ++i) {
    const double a = 0.001 * i;
    const uint8_t tag = (i % 50 == 0) ? 0x02 : 0x10;
    const uint32_t offset = static_cast<uint32_t>(100000000.0 * i / count);
    if (i % 97 == 0) {
      points.push_back(sweepmend_test::livox_point(0, 0, 0, offset, tag, i % 4));
    } else {
      points.push_back(
        sweepmend_test::livox_point(
          static_cast<float>(5.0 * std::cos(a)), static_cast<float>(5.0 * std::sin(a)),
          static_cast<float>(0.3 * std::sin(7 * a)), offset, tag, static_cast<uint8_t>(i % 4)));
    }
  }
  const auto msg = std::make_shared<const livox_ros_driver2::msg::CustomMsg>(
    sweepmend_test::livox_scan(1.0, points));

  for (auto _ : state) {
    access.livox_pcl_callback(msg);
    state.PauseTiming();
    access.clear_scans();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["x_floor"] = sweepmend_bench::x_floor(static_cast<std::size_t>(count));
}
BENCHMARK(BM_LivoxIntake)->Arg(20000)->Unit(benchmark::kMicrosecond);

void BM_PointCloud2Intake(benchmark::State & state)
{
  sweepmend_test::quiet_glog();
  init_ros_once();
  auto node = std::make_shared<DataSubscriber>();
  DataSubscriberTestAccess access(*node);

  // 64 rings of 600 points, 0.1 s long.
  const int count = static_cast<int>(state.range(0));
  std::vector<sweepmend_test::VanjeePoint> points;
  for (int i = 0; i < count; ++i) {
    const double a = 0.0003 * i;
    points.push_back({static_cast<float>(8.0 * std::cos(a)), static_cast<float>(8.0 * std::sin(a)),
        static_cast<float>(0.01 * (i % 64)), 20.0f, 0.1 * i / count});
  }
  const auto msg = std::make_shared<const sensor_msgs::msg::PointCloud2>(
    sweepmend_test::vanjee_scan(1.0, points, 32, 64));

  for (auto _ : state) {
    access.vanjee_pcl_callback(msg);
    state.PauseTiming();
    access.clear_scans();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["x_floor"] = sweepmend_bench::x_floor(static_cast<std::size_t>(count));
}
// The Vanjee 722's intake.
BENCHMARK(BM_PointCloud2Intake)->Arg(38400)->Unit(benchmark::kMicrosecond);

}  // namespace
