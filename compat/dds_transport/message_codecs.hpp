// How each ROS message type goes on a DDS wire: its DDS type name and its CDR codec (the same
// codec the bag tools use), type-erased for the transport.
#ifndef DDS_TRANSPORT__MESSAGE_CODECS_HPP_
#define DDS_TRANSPORT__MESSAGE_CODECS_HPP_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "rclcpp/detail/transport.hpp"

namespace sweepmend
{
namespace dds_transport
{

/// Encoder and decoder of one message type.
struct MessageCodec
{
  /// e.g. "sensor_msgs/msg/Imu"
  std::string ros_type;
  /// e.g. "sensor_msgs::msg::dds_::Imu_"
  std::string dds_type;
  /// The wire payload of a message of this type: encapsulation header, CDR body, zero padding to
  /// a multiple of 4 bytes.
  std::function<std::vector<uint8_t>(const void * message)> encode;
  /// A message decoded from a payload; throws sweepmend::cdr::CdrError on malformed bytes.
  std::function<rclcpp::detail::MessagePtr(const uint8_t * data, std::size_t size)> decode;
};

/// The codec of a ROS type ("pkg/msg/Name"), or nullptr if the transport cannot carry it.
const MessageCodec * find_codec(const std::string & ros_type);

/// Every ROS type find_codec() knows.
std::vector<std::string> carried_types();

/// "pkg/msg/Name" -> "pkg::msg::dds_::Name_" (empty for a name without two slashes).
std::string dds_type_name(const std::string & ros_type);

/// "/a/b" -> "rt/a/b".
std::string dds_topic_name(const std::string & ros_topic);

/// Decodes bytes received under `ros_type`. Returns the message, or nullptr with `error` set
/// when the bytes are not a valid encoding or the type is unknown. Never throws for bad bytes.
rclcpp::detail::MessagePtr decode_received(
  const std::string & ros_type, const uint8_t * data, std::size_t size, std::string & error);

/// Counts undecodable messages on one subscription and says when to report them, so that a
/// stream of garbage cannot flood the log: the first drop at once, then at most one report per
/// `interval` carrying the number dropped since the last one.
class DropThrottle
{
public:
  explicit DropThrottle(std::chrono::steady_clock::duration interval = std::chrono::seconds(5))
  : interval_(interval) {}

  /// Records one drop at `now`; returns the number of drops to report (0: stay quiet).
  std::size_t record(std::chrono::steady_clock::time_point now);

private:
  std::mutex mutex_;
  std::chrono::steady_clock::duration interval_;
  bool reported_{false};
  std::chrono::steady_clock::time_point last_report_{};
  std::size_t pending_{0};
};

}  // namespace dds_transport
}  // namespace sweepmend

#endif  // DDS_TRANSPORT__MESSAGE_CODECS_HPP_
