// Writing a synthetic recording as a rosbag2 bag, and the node settings that go with it.
#ifndef SYNTH__RECORDING_HPP_
#define SYNTH__RECORDING_HPP_

#include <cstddef>
#include <string>
#include <vector>

#include "synth/generator.hpp"

namespace sweepmend
{
namespace synth
{

/// What write_recording() wrote.
struct RecordingSummary
{
  std::size_t scans{0};
  std::size_t imu_samples{0};
  std::size_t points{0};        ///< scan points sent
  std::size_t truth_points{0};  ///< points with a truth (the rest found no surface)
};

/// Generates the recording of config into the new bag directory `directory` (which must not
/// exist) with storage "mcap" or "sqlite3". Throws sweepmend::bag::BagError on storage errors.
RecordingSummary write_recording(const SynthConfig & config, const std::string & directory,
  const std::string & storage_id);

/// The package's parameter file for the sensor of config: "config/mid360.yaml" (lidar_type 0,
/// extrinsic_T [-0.011, -0.02329, 0.04412]) or "config/vanjee722.yaml" (lidar_type 1, zero
/// extrinsic_T); both with an identity extrinsic_R.
const char * node_parameter_file(const SynthConfig & config);

/// The "name:=value" overrides (for -p) the node needs for this recording on top of
/// node_parameter_file(); empty when the file fits as it is.
std::vector<std::string> node_parameter_overrides(const SynthConfig & config);

}  // namespace synth
}  // namespace sweepmend

#endif  // SYNTH__RECORDING_HPP_
