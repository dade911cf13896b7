// Synthetic recordings: ray casting a scan from the moving sensor, the trajectory itself, and a
// whole 10-s Mid-360 recording, streamed and written to a bag.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "synth/generator.hpp"
#include "synth/recording.hpp"

namespace
{

namespace fs = std::filesystem;
using sweepmend::synth::Generator;
using sweepmend::synth::Lidar;
using sweepmend::synth::Motion;
using sweepmend::synth::SynthConfig;

void BM_SimulateScan(benchmark::State & state)
{
  const Lidar lidar = state.range(0) == 0 ? Lidar::kMid360 : Lidar::kVanjee722;
  const Generator gen(SynthConfig::defaults(lidar, Motion::kShake));
  sweepmend::synth::SimulatedScan scan;
  std::size_t k = 20;
  int64_t points = 0;
  for (auto _ : state) {
    gen.simulate_scan(k++ % 100, scan);
    benchmark::DoNotOptimize(scan.points.data());
    points += static_cast<int64_t>(scan.points.size());
  }
  state.SetItemsProcessed(points);
  state.SetLabel(sweepmend::synth::lidar_name(lidar));
}
BENCHMARK(BM_SimulateScan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_TrajectoryAt(benchmark::State & state)
{
  const sweepmend::synth::Trajectory traj(
    sweepmend::synth::MotionParams::preset(static_cast<Motion>(state.range(0))));
  double t = 3.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(traj.at(t));
    t += 5e-6;
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(sweepmend::synth::motion_name(static_cast<Motion>(state.range(0))));
}
BENCHMARK(BM_TrajectoryAt)->Arg(static_cast<int>(Motion::kShake))
->Arg(static_cast<int>(Motion::kDrive));

// Every message of a 10-s Mid-360 recording, built but not stored.
void BM_StreamMid360TenSeconds(benchmark::State & state)
{
  SynthConfig config = SynthConfig::defaults(Lidar::kMid360, Motion::kShake);
  config.duration = 10.0;
  for (auto _ : state) {
    Generator gen(config);
    sweepmend::synth::SynthMessage m;
    while (gen.next(m)) {
      benchmark::DoNotOptimize(m.receive_time_ns);
    }
  }
  state.counters["recording_s_per_s"] = benchmark::Counter(
    10.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StreamMid360TenSeconds)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same recording written as sweepmend_synth writes it.
void BM_WriteMid360TenSeconds(benchmark::State & state)
{
  const fs::path dir = fs::temp_directory_path() /
    ("sweepmend_synth_bench_" + std::to_string(::getpid()));
  SynthConfig config = SynthConfig::defaults(Lidar::kMid360, Motion::kShake);
  config.duration = 10.0;
  const std::string storage = state.range(0) == 0 ? "mcap" : "sqlite3";
  for (auto _ : state) {
    fs::remove_all(dir);
    sweepmend::synth::write_recording(config, dir.string(), storage);
  }
  fs::remove_all(dir);
  state.SetLabel(storage);
}
BENCHMARK(BM_WriteMid360TenSeconds)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
