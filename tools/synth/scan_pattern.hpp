// Where each supported LiDAR fires, and when, within one scan.
#ifndef SYNTH__SCAN_PATTERN_HPP_
#define SYNTH__SCAN_PATTERN_HPP_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <Eigen/Core>

namespace sweepmend
{
namespace synth
{

/// The sensors the generator imitates.
enum class Lidar
{
  kMid360,     ///< Livox Mid-360: 200 000 points/s, 360° × −7°…+52°, non-repetitive, 4 lines
  kVanjee722,  ///< Vanjee 722: 32 rings from −12.76° to +50.76°, 1200 columns per 0.1 s turn
};

/// "mid360" or "vanjee722"; parse_lidar() returns false for anything else.
const char * lidar_name(Lidar lidar);
bool parse_lidar(const std::string & text, Lidar & lidar);

/// Both sensors deliver one scan per 100 ms.
constexpr int64_t kScanPeriodNs = 100000000;

/// Mid-360 timing: one point every 5 µs, so 20 000 points per scan.
constexpr int64_t kMid360PointPeriodNs = 5000;
constexpr std::size_t kMid360PointsPerScan = kScanPeriodNs / kMid360PointPeriodNs;
constexpr int kMid360Lines = 4;
constexpr double kMid360MinElevationDeg = -7.0;
constexpr double kMid360MaxElevationDeg = 52.0;

/// Vanjee 722 geometry: 32 rings evenly spread over the vertical field of view, 1200 columns.
constexpr int kVanjeeRings = 32;
constexpr int kVanjeeColumns = 1200;
constexpr double kVanjeeMinElevationDeg = -12.76;
constexpr double kVanjeeMaxElevationDeg = 50.76;

/// One shot of the sensor.
struct Beam
{
  double offset{0.0};        ///< s after the scan stamp (first shot of the scan)
  uint32_t offset_ns{0};     ///< the same in whole ns (Mid-360: exact; Vanjee: rounded)
  Eigen::Vector3d direction{Eigen::Vector3d::UnitX()};  ///< unit vector in the LiDAR frame
  uint8_t channel{0};        ///< Mid-360 laser line (0..3), Vanjee ring (0 = lowest)
};

/// Beams of scan number scan_index (0-based) in firing order. The Mid-360 pattern continues
/// from scan to scan without repeating; seed shifts its phases. The Vanjee pattern is the same
/// every turn: column-major, rings from the lowest up, all rings of a column at one instant.
void scan_beams(Lidar lidar, uint64_t seed, std::size_t scan_index, std::vector<Beam> & beams);

/// Elevation of Vanjee ring r (0..31), degrees.
double vanjee_ring_elevation_deg(int ring);

}  // namespace synth
}  // namespace sweepmend

#endif  // SYNTH__SCAN_PATTERN_HPP_
