// CDR decoding of every message type the package reads from a bag or a wire. Each input is
// offered to every decoder: it must either throw CdrError or give a message that encodes to a
// canonical buffer, which in turn decodes and encodes to the same bytes; no decoded sequence may
// hold more elements than the input has bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cdr/cdr.hpp"
#include "fuzz_support.hpp"
#include "livox_ros_driver2/msg/custom_msg.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "tf2_msgs/msg/tf_message.hpp"

namespace
{

using sweepmend::cdr::CdrError;

std::size_t elements(const sensor_msgs::msg::PointCloud2 & m)
{
  return m.data.size() + m.fields.size() + m.header.frame_id.size();
}
std::size_t elements(const livox_ros_driver2::msg::CustomMsg & m)
{
  return m.points.size() + m.header.frame_id.size();
}
std::size_t elements(const tf2_msgs::msg::TFMessage & m)
{
  std::size_t n = m.transforms.size();
  for (const auto & t : m.transforms) {
    n += t.header.frame_id.size() + t.child_frame_id.size();
  }
  return n;
}
std::size_t elements(const sensor_msgs::msg::Imu & m) {return m.header.frame_id.size();}
std::size_t elements(const rosgraph_msgs::msg::Clock &) {return 0;}

template<typename MessageT>
void check(const uint8_t * data, std::size_t size, const char * type)
{
  MessageT msg;
  try {
    sweepmend::cdr::deserialize(data, size, msg);
  } catch (const CdrError &) {
    return;
  }
  if (elements(msg) > size) {
    sweepmend_fuzz::fail(std::string(type) + ": decoded more elements than the input has bytes");
  }
  const std::vector<uint8_t> once = sweepmend::cdr::serialize(msg);
  MessageT again;
  try {
    sweepmend::cdr::deserialize(once.data(), once.size(), again);
  } catch (const CdrError & e) {
    sweepmend_fuzz::fail(std::string(type) + ": own encoding does not decode: " + e.what());
  }
  if (sweepmend::cdr::serialize(again) != once) {
    sweepmend_fuzz::fail(std::string(type) + ": decode/encode is not stable");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, std::size_t size)
{
  check<sensor_msgs::msg::Imu>(data, size, "Imu");
  check<sensor_msgs::msg::PointCloud2>(data, size, "PointCloud2");
  check<livox_ros_driver2::msg::CustomMsg>(data, size, "CustomMsg");
  check<rosgraph_msgs::msg::Clock>(data, size, "Clock");
  check<tf2_msgs::msg::TFMessage>(data, size, "TFMessage");
  return 0;
}
