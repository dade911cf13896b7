// sweepmend_synth: writes a synthetic recording with ground truth for scoring the undistortion.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.hpp"
#include "synth/generator.hpp"
#include "synth/recording.hpp"

namespace
{

namespace fs = std::filesystem;
using sweepmend::cli::OptionValues;
using sweepmend::cli::UsageError;
using sweepmend::synth::SynthConfig;

constexpr const char * kProgram = "sweepmend_synth";

constexpr const char * kUsage =
  R"(usage: sweepmend_synth OUT [options]

Writes a deterministic synthetic recording into the new rosbag2 bag directory OUT: a hall of
planes (floor, ceiling, walls, pillars, crates) scanned by a moving LiDAR, its IMU at 200 Hz,
and for every scan the ground truth on /sweepmend/ground_truth (sensor_msgs/PointCloud2 with
x, y, z, intensity, curvature): each point where the sensor would have seen it at the scan's
end time, in the node's output frame, stamped with that end time.

options:
  --lidar mid360|vanjee722   sensor (default mid360). Mid-360: livox_ros_driver2/CustomMsg,
                             IMU in g. Vanjee 722: PointCloud2 (x, y, z, intensity, ring,
                             float64 timestamp at byte 18), IMU in m/s². Both on /livox/lidar
                             and /livox/imu.
  --motion rest|spin|walk|shake|drive
                             trajectory (default walk); every one rests level for 1 s first
  --duration S               length in seconds (default 10)
  --seed N                   scan-pattern phases and noise draws (default 1)
  --imu-units g|mps2         unit of the recorded acceleration (default: the sensor's own)
  --gyro-noise SIGMA         white noise per gyro sample, rad/s (default 0)
  --accel-noise SIGMA        white noise per accelerometer sample, m/s² (default 0)
  --gyro-bias X,Y,Z          constant gyro bias, rad/s (default 0,0,0)
  --accel-bias X,Y,Z         constant accelerometer bias, m/s² (default 0,0,0)
  --range-noise SIGMA        white noise of each measured range, m (default 0)
  --extrinsic-T X,Y,Z        LiDAR-to-IMU translation as the node's extrinsic_T, m
                             (default: Mid-360 -0.011,-0.02329,0.04412; Vanjee 0,0,0)
  --start-time SEC           time of the first point, s since the epoch (default 1700000000)
  --storage mcap|sqlite3     bag storage (default mcap)
  --overwrite                replace OUT if it is an existing bag
  --help                     this text
)";

double parse_double(const std::string & option, const std::string & text)
{
  char * end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(v)) {
    throw UsageError{option + ": not a number: '" + text + "'"};
  }
  return v;
}

Eigen::Vector3d parse_vector(const std::string & option, const std::string & text)
{
  std::vector<double> values;
  std::stringstream ss(text);
  std::string item;
  while (std::getline(ss, item, ',')) {
    values.push_back(parse_double(option, item));
  }
  if (values.size() != 3) {
    throw UsageError{option + ": expected X,Y,Z, got '" + text + "'"};
  }
  return {values[0], values[1], values[2]};
}

// Only a directory that holds nothing but a bag's files may be replaced.
bool looks_like_bag(const fs::path & dir)
{
  if (!fs::is_directory(dir)) {
    return false;
  }
  for (const fs::directory_entry & e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    const std::string ext = e.path().extension().string();
    if (!e.is_regular_file() ||
      (name != "metadata.yaml" && ext != ".mcap" && ext != ".db3" && ext != ".db3-wal" &&
      ext != ".db3-shm"))
    {
      return false;
    }
  }
  return true;
}

int run(int argc, char ** argv)
{
  std::string out;
  std::string lidar_text = "mid360";
  std::string motion_text = "walk";
  std::string storage = "mcap";
  std::string units_text;
  bool overwrite = false;
  bool have_extrinsic = false;
  Eigen::Vector3d extrinsic_t = Eigen::Vector3d::Zero();
  SynthConfig opts;  // collects the numeric options; sensor defaults are applied below

  const bool go = sweepmend::cli::parse_command_line(
    argc, argv, {kProgram, kUsage, {
        {"--lidar", [&](OptionValues & values) {lidar_text = values.value();}},
        {"--motion", [&](OptionValues & values) {motion_text = values.value();}},
        {"--duration", [&](OptionValues & values) {
            opts.duration = parse_double(values.option(), values.value());
            if (opts.duration < 0.1) {
              throw UsageError{"--duration must be at least 0.1 s (one scan)"};
            }
          }},
        {"--seed", [&](OptionValues & values) {
            const std::string v = values.value();
            char * end = nullptr;
            errno = 0;
            opts.seed = std::strtoull(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || errno != 0 || v[0] == '-') {
              throw UsageError{"--seed: not a non-negative integer: '" + v + "'"};
            }
          }},
        {"--imu-units", [&](OptionValues & values) {units_text = values.value();}},
        {"--gyro-noise", [&](OptionValues & values) {
            opts.imu_noise.gyro_sigma = parse_double(values.option(), values.value());
          }},
        {"--accel-noise", [&](OptionValues & values) {
            opts.imu_noise.accel_sigma = parse_double(values.option(), values.value());
          }},
        {"--gyro-bias", [&](OptionValues & values) {
            opts.imu_noise.gyro_bias = parse_vector(values.option(), values.value());
          }},
        {"--accel-bias", [&](OptionValues & values) {
            opts.imu_noise.accel_bias = parse_vector(values.option(), values.value());
          }},
        {"--range-noise", [&](OptionValues & values) {
            opts.range_noise = parse_double(values.option(), values.value());
          }},
        {"--extrinsic-T", [&](OptionValues & values) {
            extrinsic_t = parse_vector(values.option(), values.value());
            have_extrinsic = true;
          }},
        {"--start-time", [&](OptionValues & values) {
            const double s = parse_double(values.option(), values.value());
            if (s < 0.0 || s > 2147483647.0) {
              throw UsageError{"--start-time must lie within 0 and 2147483647"};
            }
            opts.start_time_ns = std::llround(s * 1e9);
          }},
        {"--storage", [&](OptionValues & values) {storage = values.value();}},
        {"--overwrite", [&](OptionValues &) {overwrite = true;}},
      }, [&](const std::string & operand) {
        if (!out.empty()) {
          throw UsageError{"more than one output given ('" + out + "', '" + operand + "')"};
        }
        out = operand;
      }});
  if (!go) {
    return 0;
  }
  if (out.empty()) {
    throw UsageError{"no output bag given"};
  }

  sweepmend::synth::Lidar lidar;
  if (!sweepmend::synth::parse_lidar(lidar_text, lidar)) {
    throw UsageError{"--lidar: expected mid360 or vanjee722, got '" + lidar_text + "'"};
  }
  sweepmend::synth::Motion motion;
  if (!sweepmend::synth::parse_motion(motion_text, motion)) {
    throw UsageError{"--motion: expected rest, spin, walk, shake or drive, got '" + motion_text +
            "'"};
  }
  if (storage != "mcap" && storage != "sqlite3") {
    throw UsageError{"--storage: expected mcap or sqlite3, got '" + storage + "'"};
  }

  SynthConfig config = SynthConfig::defaults(lidar, motion);
  config.duration = opts.duration;
  config.seed = opts.seed;
  config.imu_noise = opts.imu_noise;
  config.range_noise = opts.range_noise;
  config.start_time_ns = opts.start_time_ns;
  if (have_extrinsic) {
    config.extrinsic.translation = extrinsic_t;
  }
  if (units_text == "g") {
    config.imu_units = sweepmend::synth::ImuUnits::kG;
  } else if (units_text == "mps2") {
    config.imu_units = sweepmend::synth::ImuUnits::kMps2;
  } else if (!units_text.empty()) {
    throw UsageError{"--imu-units: expected g or mps2, got '" + units_text + "'"};
  }

  if (fs::exists(out)) {
    if (!overwrite) {
      std::cerr << "sweepmend_synth: " << out << " exists (use --overwrite to replace a bag)\n";
      return 1;
    }
    if (!looks_like_bag(out)) {
      std::cerr << "sweepmend_synth: " << out << " exists and is not a bag; not replacing it\n";
      return 1;
    }
    fs::remove_all(out);
  }

  const sweepmend::synth::RecordingSummary s = sweepmend::synth::write_recording(config, out,
    storage);

  std::cout << "wrote " << out << " (" << storage << "): " << s.scans << " scans of " <<
    sweepmend::synth::lidar_name(lidar) << " (" << s.points << " points), " << s.imu_samples <<
    " IMU samples in " << (config.imu_units == sweepmend::synth::ImuUnits::kG ? "g" : "m/s²") <<
    ", motion " << sweepmend::synth::motion_name(motion) << ", ground truth for " <<
    s.truth_points << " points on " << sweepmend::synth::kTruthTopic << "\n";
  const std::vector<std::string> overrides = sweepmend::synth::node_parameter_overrides(config);
  std::cout << "node arguments: --ros-args --params-file " <<
    sweepmend::synth::node_parameter_file(config);
  for (const std::string & o : overrides) {
    std::cout << " -p " << o;
  }
  std::cout << "\n";
  return 0;
}

}  // namespace

int main(int argc, char ** argv)
{
  return sweepmend::cli::run_program(kProgram, argc, argv, run);
}
