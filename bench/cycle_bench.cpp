// One processing cycle: grouping, motion compensation, two transforms, two conversions and two
// publishes, for a 20 000-point Mid-360 scan and a 38 400-point Vanjee scan with 21 IMU samples
// each. Every figure is also stated as a multiple of the floor kernel at the same point count
// ("x_floor"), with the cloud-sized allocations per cycle ("big_allocs").
//
// The *Tuned benchmarks run after sweepmend::tune_malloc(), which sweepmend_node's and
// sweepmend_bag's main() call first: that is how the programs run, however they were started.
// The *Default ones keep glibc's own settings, under which the heap hands back the published
// messages' pages after every cycle and the next cycle faults them in again; what that costs
// depends on the machine's page faults far more than on this code. The tuning cannot be undone
// within a process, so run the two groups separately:
//   sweepmend_bench --benchmark_filter='Cycle.*Default' ...; sweepmend_bench --benchmark_filter='Cycle.*Tuned' ...
#include <cmath>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_support.hpp"
#include "node_harness.hpp"
#include "sweepmend/malloc_tuning.hpp"

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

/// Queues the 21 IMU samples that cover scan k (start 0.105 k s, 0.1 s long), at 200 Hz from its
/// start to its end, while the sensor turns and shakes.
void feed_imu(DataSubscriberTestAccess & access, double start)
{
  for (int j = 0; j <= 20; ++j) {
    const double t = start + 0.005 * j;
    access.imu_callback(
      std::make_shared<sensor_msgs::msg::Imu>(
        sweepmend_test::imu_sample(
          t, 0.05 * std::sin(3 * t), 0.02, 0.8, 0.3 * std::sin(5 * t), 0.1, 9.81)));
  }
}

enum class Sensor { kMid360, kVanjee };

/// Scans of one sensor, fed with their IMU samples.
class ScanSource
{
public:
  ScanSource(Sensor sensor, int count)
  : sensor_(sensor)
  {
    if (sensor == Sensor::kMid360) {
      for (int i = 0; i <= count; ++i) {
        const double a = 0.0005 * i;
        livox_.push_back(
          sweepmend_test::livox_point(
            static_cast<float>(6.0 * std::cos(a)), static_cast<float>(6.0 * std::sin(a)),
            static_cast<float>(0.5 * std::sin(11 * a)),
            static_cast<uint32_t>(100000000.0 * i / count)));
      }
    } else {
      // 32 points per firing time, as the sensor delivers them: the sort has ties to order.
      for (int i = 0; i < count; ++i) {
        const double a = 0.0003 * i;
        vanjee_.push_back(
          {static_cast<float>(8.0 * std::cos(a)), static_cast<float>(8.0 * std::sin(a)),
            static_cast<float>(0.01 * (i % 32)), 20.0f, 0.1 * (i / 32) / (count / 32)});
      }
    }
  }

  void feed(DataSubscriberTestAccess & access, int k) const
  {
    const double start = 10.0 + 0.105 * k;
    feed_imu(access, start);
    if (sensor_ == Sensor::kMid360) {
      access.livox_pcl_callback(
        std::make_shared<livox_ros_driver2::msg::CustomMsg>(
          sweepmend_test::livox_scan(start, livox_)));
    } else {
      access.vanjee_pcl_callback(
        std::make_shared<sensor_msgs::msg::PointCloud2>(
          sweepmend_test::vanjee_scan(start, vanjee_, 32, 1)));
    }
  }

private:
  Sensor sensor_;
  std::vector<livox_ros_driver2::msg::CustomPoint> livox_;
  std::vector<sweepmend_test::VanjeePoint> vanjee_;
};

void run_cycles(benchmark::State & state, Sensor sensor, bool tuned)
{
  if (tuned) {
    sweepmend::tune_malloc();
  }
  sweepmend_test::quiet_glog();
  init_ros_once();
  auto node = std::make_shared<DataSubscriber>();
  DataSubscriberTestAccess access(*node);
  // Somebody listens, so that publishing hands the messages on (and drops them again, as a
  // subscriber that is done with them would).
  auto listener = std::make_shared<rclcpp::Node>("sweepmend_bench_listener");
  auto undistorted = listener->create_subscription<sensor_msgs::msg::PointCloud2>(
    lidar_topic_undistorted, 1, [](sensor_msgs::msg::PointCloud2::ConstSharedPtr) {});
  auto raw = listener->create_subscription<sensor_msgs::msg::PointCloud2>(
    lidar_topic_undistorted_raw, 1, [](sensor_msgs::msg::PointCloud2::ConstSharedPtr) {});
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(listener);
  rclcpp::detail::spin_until_idle(executor);

  const int count = static_cast<int>(state.range(0));
  const ScanSource source(sensor, count);
  // The first measurement only initialises the IMU processor; a few more warm the buffers.
  int k = 0;
  for (; k < 4; ++k) {
    source.feed(access, k);
    access.timer_callback();
    rclcpp::detail::spin_until_idle(executor);
  }
  uint64_t big = 0;
  for (auto _ : state) {
    state.PauseTiming();
    source.feed(access, k++);
    const uint64_t before = sweepmend_bench::cloud_sized_allocations();
    state.ResumeTiming();
    access.timer_callback();
    state.PauseTiming();
    big += sweepmend_bench::cloud_sized_allocations() - before;
    rclcpp::detail::spin_until_idle(executor);  // the listener takes and drops both messages
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["x_floor"] = sweepmend_bench::x_floor(static_cast<std::size_t>(count));
  state.counters["big_allocs"] = benchmark::Counter(
    static_cast<double>(big), benchmark::Counter::kAvgIterations);
  executor.remove_node(listener);
}

void BM_CycleMid360Default(benchmark::State & state) {run_cycles(state, Sensor::kMid360, false);}
void BM_CycleVanjeeDefault(benchmark::State & state) {run_cycles(state, Sensor::kVanjee, false);}
void BM_CycleMid360Tuned(benchmark::State & state) {run_cycles(state, Sensor::kMid360, true);}
void BM_CycleVanjeeTuned(benchmark::State & state) {run_cycles(state, Sensor::kVanjee, true);}
BENCHMARK(BM_CycleMid360Default)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CycleVanjeeDefault)->Arg(38400)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CycleMid360Tuned)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CycleVanjeeTuned)->Arg(38400)->Unit(benchmark::kMicrosecond);

}  // namespace
