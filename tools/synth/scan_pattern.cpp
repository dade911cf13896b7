#include "synth/scan_pattern.hpp"

#include <cmath>

#include "synth/rng.hpp"

namespace sweepmend
{
namespace synth
{

namespace
{

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr uint64_t kPatternStream = 0x70617474;  // "patt"

// Mid-360 stand-in: every line turns in azimuth at kTurnRate while its elevation follows two
// fast, incommensurate sinusoids. Because none of the frequencies divides the scan rate, no
// scan repeats an earlier one, and the field of view fills up over successive scans as a real
// non-repetitive pattern does.
constexpr double kTurnRate = 24.7;       // turns per second
constexpr double kElevationRateA = 1531.3;  // Hz
constexpr double kElevationRateB = 977.7;   // Hz
constexpr double kWeightA = 0.27;
constexpr double kWeightB = 0.23;  // 0.5 ± (0.27 + 0.23) stays within [0, 1]

void mid360_beams(uint64_t seed, std::size_t scan_index, std::vector<Beam> & beams)
{
  Rng rng(seed, kPatternStream, 0);
  const double azimuth_phase = rng.uniform();
  double phase_a[kMid360Lines];
  double phase_b[kMid360Lines];
  for (int l = 0; l < kMid360Lines; ++l) {
    phase_a[l] = 2.0 * kPi * rng.uniform();
    phase_b[l] = 2.0 * kPi * rng.uniform();
  }
  const double min_el = kMid360MinElevationDeg * kDeg;
  const double span_el = (kMid360MaxElevationDeg - kMid360MinElevationDeg) * kDeg;

  beams.resize(kMid360PointsPerScan);
  const uint64_t first = static_cast<uint64_t>(scan_index) * kMid360PointsPerScan;
  for (std::size_t i = 0; i < kMid360PointsPerScan; ++i) {
    const int line = static_cast<int>(i % kMid360Lines);
    // Time since the pattern started, for the phases only.
    const double tau = static_cast<double>(first + i) * (kMid360PointPeriodNs * 1e-9);
    const double turns = kTurnRate * tau;
    const double azimuth = 2.0 * kPi *
      ((turns - std::floor(turns)) + azimuth_phase + 0.25 * line);
    const double u = 0.5 + kWeightA * std::sin(2.0 * kPi * kElevationRateA * tau + phase_a[line]) +
      kWeightB * std::sin(2.0 * kPi * kElevationRateB * tau + phase_b[line]);
    const double elevation = min_el + span_el * u;
    Beam & b = beams[i];
    b.offset_ns = static_cast<uint32_t>(i * kMid360PointPeriodNs);
    b.offset = static_cast<double>(b.offset_ns) * 1e-9;
    b.direction = {std::cos(elevation) * std::cos(azimuth), std::cos(elevation) * std::sin(azimuth),
      std::sin(elevation)};
    b.channel = static_cast<uint8_t>(line);
  }
}

void vanjee_beams(std::vector<Beam> & beams)
{
  double sin_el[kVanjeeRings];
  double cos_el[kVanjeeRings];
  for (int r = 0; r < kVanjeeRings; ++r) {
    sin_el[r] = std::sin(vanjee_ring_elevation_deg(r) * kDeg);
    cos_el[r] = std::cos(vanjee_ring_elevation_deg(r) * kDeg);
  }
  beams.resize(static_cast<std::size_t>(kVanjeeRings) * kVanjeeColumns);
  const double column_period = kScanPeriodNs * 1e-9 / kVanjeeColumns;
  std::size_t n = 0;
  for (int c = 0; c < kVanjeeColumns; ++c) {
    // The turn starts and ends behind the sensor, counter-clockwise seen from above.
    const double azimuth = -kPi + 2.0 * kPi * (c + 0.5) / kVanjeeColumns;
    const double ca = std::cos(azimuth);
    const double sa = std::sin(azimuth);
    const double offset = c * column_period;
    for (int r = 0; r < kVanjeeRings; ++r) {
      Beam & b = beams[n++];
      b.offset = offset;
      b.offset_ns = static_cast<uint32_t>(std::llround(offset * 1e9));
      b.direction = {cos_el[r] * ca, cos_el[r] * sa, sin_el[r]};
      b.channel = static_cast<uint8_t>(r);
    }
  }
}

}  // namespace

const char * lidar_name(Lidar lidar)
{
  return lidar == Lidar::kMid360 ? "mid360" : "vanjee722";
}

bool parse_lidar(const std::string & text, Lidar & lidar)
{
  if (text == "mid360") {
    lidar = Lidar::kMid360;
    return true;
  }
  if (text == "vanjee722") {
    lidar = Lidar::kVanjee722;
    return true;
  }
  return false;
}

double vanjee_ring_elevation_deg(int ring)
{
  return kVanjeeMinElevationDeg +
         (kVanjeeMaxElevationDeg - kVanjeeMinElevationDeg) * ring / (kVanjeeRings - 1);
}

void scan_beams(Lidar lidar, uint64_t seed, std::size_t scan_index, std::vector<Beam> & beams)
{
  if (lidar == Lidar::kMid360) {
    mid360_beams(seed, scan_index, beams);
  } else {
    vanjee_beams(beams);
  }
}

}  // namespace synth
}  // namespace sweepmend
