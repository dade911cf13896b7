// The node on hostile input: bytes decoded as CDR into IMU samples and scans (CustomMsg or
// PointCloud2, by lidar_type), published on the node's topics while simulated time moves on in
// 10-ms timer periods. Every cloud the node publishes must hold finite coordinates only.
//
// Input layout: one byte of configuration (bit 0: lidar_type), then records of
//   kind (1 byte) | n (2 bytes, little endian) | n bytes
// kind % 4: 0 an IMU sample, 1 a scan, 2 move the clock on by n % 64 + 1 periods,
// 3 move it by one period. Messages that do not decode are skipped, as a subscription of a real
// middleware never sees them.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cdr/cdr.hpp"
#include "fuzz_support.hpp"
#include "node_harness.hpp"

namespace
{

constexpr std::size_t kMaxRecords = 256;
constexpr int kDrainPeriods = 30;

void check_finite(const std::vector<sensor_msgs::msg::PointCloud2> & clouds, std::size_t from,
  const char * topic)
{
  for (std::size_t c = from; c < clouds.size(); ++c) {
    for (const auto & p : sweepmend_test::read_points(clouds[c])) {
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
        sweepmend_fuzz::fail(std::string("a cloud on ") + topic + " holds a non-finite point");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  sweepmend_test::quiet_glog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, std::size_t size)
{
  using sweepmend::cdr::CdrError;
  if (size < 1) {
    return 0;
  }
  const bool pointcloud2 = (data[0] & 1) != 0;
  std::size_t pos = 1;

  sweepmend_test::NodeHarness h(
    pointcloud2 ? std::vector<std::string>{"-p", "lidar_type:=1", "--log-level", "fatal"} :
    std::vector<std::string>{"--log-level", "fatal"});
  std::size_t checked_undistorted = 0;
  std::size_t checked_raw = 0;
  auto check_new_outputs = [&]() {
      check_finite(h.undistorted(), checked_undistorted, "the undistorted topic");
      check_finite(h.raw(), checked_raw, "the raw topic");
      checked_undistorted = h.undistorted().size();
      checked_raw = h.raw().size();
    };

  for (std::size_t records = 0; records < kMaxRecords && pos + 3 <= size; ++records) {
    const uint8_t kind = data[pos] % 4;
    std::size_t n = data[pos + 1] | (std::size_t{data[pos + 2]} << 8);
    pos += 3;
    if (n > size - pos) {
      n = size - pos;
    }
    const uint8_t * payload = data + pos;
    pos += n;
    try {
      if (kind == 0) {
        h.publish(sweepmend::cdr::deserialize<sensor_msgs::msg::Imu>({payload, payload + n}));
      } else if (kind == 1 && pointcloud2) {
        h.publish(
          sweepmend::cdr::deserialize<sensor_msgs::msg::PointCloud2>({payload, payload + n}));
      } else if (kind == 1) {
        h.publish(
          sweepmend::cdr::deserialize<livox_ros_driver2::msg::CustomMsg>({payload, payload + n}));
      } else if (kind == 2) {
        h.advance(static_cast<int>(n % 64) + 1);
      } else {
        h.advance(1);
      }
    } catch (const CdrError &) {
      continue;
    }
    check_new_outputs();
  }
  h.advance(kDrainPeriods);
  check_new_outputs();
  return 0;
}
