// Ten minutes of synthetic Mid-360 data through the runner: resident memory must stay flat once
// the first minute has warmed the caches and queues up.
#include <gtest/gtest.h>
#include <glog/logging.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "runner/runner.hpp"
#include "synth/recording.hpp"

namespace fs = std::filesystem;

namespace
{

double resident_mib()
{
  std::ifstream statm("/proc/self/statm");
  long pages_total = 0, pages_resident = 0;
  statm >> pages_total >> pages_resident;
  return static_cast<double>(pages_resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) /
         (1024.0 * 1024.0);
}

TEST(RunnerSoak, TenMinutesOfDataKeepResidentMemoryFlat)
{
  FLAGS_minloglevel = google::GLOG_ERROR;
  const fs::path dir = fs::temp_directory_path() / ("sweepmend_soak_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);

  // One minute of data, played ten times in one process (the whole output of ten minutes at once
  // would not fit on a small disk); each run replaces the last output.
  auto config = sweepmend::synth::SynthConfig::defaults(
    sweepmend::synth::Lidar::kMid360, sweepmend::synth::Motion::kWalk);
  config.duration = 60.0;
  sweepmend::synth::write_recording(config, (dir / "in").string(), "mcap");

  sweepmend::runner::Options options;
  options.input = (dir / "in").string();
  options.output = (dir / "out").string();
  options.overwrite = true;
  options.ros_args = {"-p", "extrinsic_T:=[-0.011, -0.02329, 0.04412]",
    "-p", "extrinsic_R:=[1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0]", "--log-level", "fatal"};

  std::vector<double> peak_per_run;
  for (int run = 0; run < 10; ++run) {
    double peak = 0.0;
    const auto summary = sweepmend::runner::run(
      options, [&](const sweepmend::runner::Progress &) {peak = std::max(peak, resident_mib());});
    peak = std::max(peak, resident_mib());
    ASSERT_EQ(summary.scans_grouped, 600u) << "run " << run;
    peak_per_run.push_back(peak);
    std::printf("run %d: peak resident %.1f MiB\n", run, peak);
  }
  fs::remove_all(dir);

  // After the first run (warm-up), no run may hold much more than the second did.
  const double baseline = peak_per_run[1];
  for (size_t i = 2; i < peak_per_run.size(); ++i) {
    EXPECT_LT(peak_per_run[i], baseline + 16.0) << "run " << i << " grew from " << baseline;
  }
}

}  // namespace
