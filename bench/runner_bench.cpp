// The offline runner end to end: bag reading, CDR, the node on simulated time, recording.
#include <benchmark/benchmark.h>
#include <glog/logging.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "rclcpp/rclcpp.hpp"
#include "runner/runner.hpp"
#include "bench_support.hpp"
#include "synth/recording.hpp"
#include "sweepmend/malloc_tuning.hpp"

namespace
{

namespace fs = std::filesystem;

// A scratch folder removed when the program ends.
struct ScratchDir
{
  fs::path path;
  ~ScratchDir()
  {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

// One 10-s recording per sensor and storage (IMU at 200 Hz; Mid-360 20 000 points per scan,
// Vanjee 38 400) shared by all iterations.
fs::path recording(sweepmend::synth::Lidar lidar, const std::string & storage)
{
  static const ScratchDir scratch{[] {
      fs::path d = fs::temp_directory_path() /
        ("sweepmend_runner_bench_" + std::to_string(::getpid()));
      fs::remove_all(d);
      fs::create_directories(d);
      return d;
    }()};
  const bool mid360 = lidar == sweepmend::synth::Lidar::kMid360;
  const fs::path in = scratch.path / ((mid360 ? "mid360_" : "vanjee_") + storage);
  if (!fs::exists(in)) {
    auto config = sweepmend::synth::SynthConfig::defaults(
      lidar, mid360 ? sweepmend::synth::Motion::kShake : sweepmend::synth::Motion::kSpin);
    config.duration = 10.0;
    sweepmend::synth::write_recording(config, in.string(), storage);
  }
  return in;
}

// sweepmend_bag's work on a 10-s recording, output written: "rtf" is seconds of recording per
// second of wall time; "x_floor" is the wall time per scan over the floor kernel at the scan's
// point count.
void run_bag(benchmark::State & state, sweepmend::synth::Lidar lidar, const std::string & storage)
{
  // As sweepmend_bag's main() does first.
  sweepmend::tune_malloc();
  // The node logs a few lines per scan; they are not what is measured here.
  FLAGS_minloglevel = google::GLOG_ERROR;
  // The runner brings rclcpp up and down itself; other benchmarks of this program may have left
  // it initialised.
  if (rclcpp::ok()) {
    rclcpp::shutdown();
  }
  const bool mid360 = lidar == sweepmend::synth::Lidar::kMid360;
  const std::size_t points_per_scan = mid360 ? 20000 : 38400;
  const fs::path in = recording(lidar, storage);
  sweepmend::runner::Options options;
  options.input = in.string();
  options.output = in.string() + "_out";
  options.overwrite = true;
  options.ros_args = {"--params-file",
    std::string(SWEEPMEND_SOURCE_DIR) + (mid360 ? "/config/mid360.yaml" : "/config/vanjee722.yaml"),
    "--log-level", "fatal"};
  double bag_seconds = 0.0;
  double wall = 0.0;
  uint64_t scans = 0;
  for (auto _ : state) {
    // The previous iteration's output goes first, outside the run: deleting a few hundred
    // megabytes is not the tool's work on a recording.
    state.PauseTiming();
    fs::remove_all(options.output);
    state.ResumeTiming();
    const auto s = sweepmend::runner::run(options);
    bag_seconds += s.bag_seconds;
    wall += s.wall_seconds;
    scans += s.scans_in;
  }
  state.counters["rtf"] = benchmark::Counter(bag_seconds / wall);
  state.counters["x_floor"] = benchmark::Counter(
    wall / static_cast<double>(scans) / sweepmend_bench::floor_seconds(points_per_scan));
  state.SetItemsProcessed(static_cast<int64_t>(scans * points_per_scan));
}

void BM_BagMid360TenSeconds(benchmark::State & state, const std::string & storage)
{
  run_bag(state, sweepmend::synth::Lidar::kMid360, storage);
}
void BM_BagVanjeeTenSeconds(benchmark::State & state, const std::string & storage)
{
  run_bag(state, sweepmend::synth::Lidar::kVanjee722, storage);
}
BENCHMARK_CAPTURE(BM_BagMid360TenSeconds, mcap, std::string("mcap"))
->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(BM_BagMid360TenSeconds, sqlite3, std::string("sqlite3"))
->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(BM_BagVanjeeTenSeconds, mcap, std::string("mcap"))
->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
