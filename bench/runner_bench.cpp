// The offline runner end to end: bag reading, CDR, the node on simulated time, recording.
#include <benchmark/benchmark.h>
#include <glog/logging.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "rclcpp/rclcpp.hpp"
#include "runner/runner.hpp"
#include "synth/recording.hpp"

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

// One 10-s Mid-360 recording (20 000 points per scan, IMU at 200 Hz) shared by all iterations.
const fs::path & recording()
{
  static const ScratchDir scratch{[] {
      fs::path d = fs::temp_directory_path() /
        ("sweepmend_runner_bench_" + std::to_string(::getpid()));
      fs::remove_all(d);
      fs::create_directories(d);
      auto config = sweepmend::synth::SynthConfig::defaults(
        sweepmend::synth::Lidar::kMid360, sweepmend::synth::Motion::kShake);
      config.duration = 10.0;
      sweepmend::synth::write_recording(config, (d / "in").string(), "mcap");
      return d;
    }()};
  return scratch.path;
}

void BM_RunnerMid360TenSeconds(benchmark::State & state)
{
  // The node logs a few lines per scan; they are not what is measured here.
  FLAGS_minloglevel = google::GLOG_ERROR;
  // The runner brings rclcpp up and down itself; other benchmarks of this program may have left
  // it initialised.
  if (rclcpp::ok()) {
    rclcpp::shutdown();
  }
  const fs::path dir = recording();
  sweepmend::runner::Options options;
  options.input = (dir / "in").string();
  options.output = (dir / "out").string();
  options.overwrite = true;
  options.ros_args = {"-p", "extrinsic_T:=[-0.011, -0.02329, 0.04412]",
    "-p", "extrinsic_R:=[1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0]", "--log-level", "fatal"};
  double bag_seconds = 0.0;
  uint64_t points = 0;
  for (auto _ : state) {
    const auto s = sweepmend::runner::run(options);
    bag_seconds += s.bag_seconds;
    points += s.scans_in * 20000;
  }
  // Seconds of recorded data per second of wall time, and input points per second.
  state.counters["data_s_per_s"] = benchmark::Counter(bag_seconds, benchmark::Counter::kIsRate);
  state.SetItemsProcessed(static_cast<int64_t>(points));
}
BENCHMARK(BM_RunnerMid360TenSeconds)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
