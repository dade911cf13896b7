// CDR (XCDR1, little endian) encoding of the message types the package records and replays.
#ifndef CDR__CDR_HPP_
#define CDR__CDR_HPP_

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace sweepmend
{
namespace cdr
{

/// A buffer that is not a valid CDR encoding of the requested type (truncated, bad header,
/// a length beyond the end, ...). what() names the type and the problem.
class CdrError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/// Encodes msg as rosbag2 and DDS carry it: the 4-byte encapsulation header (CDR_LE, 00 01 00 00)
/// followed by the plain-CDR body, alignment counted from the end of the header.
/// Specialised for builtin_interfaces Time, std_msgs Header, sensor_msgs Imu, PointField and
/// PointCloud2, livox_ros_driver2 CustomMsg and CustomPoint, tf2_msgs TFMessage and
/// rosgraph_msgs Clock; also for builtin_interfaces Duration, geometry_msgs Vector3,
/// Quaternion, Transform and TransformStamped, rcl_interfaces Log and ParameterEvent, and
/// rmw_dds_common ParticipantEntitiesInfo (what a DDS transport announces). Padding bytes are written as zero, so equal
/// messages give equal bytes. Throws CdrError if a string or sequence exceeds 2^32 - 1 bytes.
template<typename MessageT>
std::vector<uint8_t> serialize(const MessageT & msg);

/// Size in bytes of serialize(msg), header included.
template<typename MessageT>
std::size_t serialized_size(const MessageT & msg);

/// Writes serialize(msg) into `out`, which holds exactly serialized_size(msg) bytes; every one
/// of them is written, padding included, whatever `out` held before.
template<typename MessageT>
void serialize_into(const MessageT & msg, uint8_t * out, std::size_t size);

/// Decodes a buffer written by serialize() or by any ROS 2 Humble writer (little or big endian
/// encapsulation, any options value, any padding content, trailing bytes ignored). Throws
/// CdrError on malformed input and then leaves msg unchanged; never reads outside
/// [data, data + size) and never allocates more than the buffer could describe.
template<typename MessageT>
void deserialize(const uint8_t * data, std::size_t size, MessageT & msg);

template<typename MessageT>
MessageT deserialize(const std::vector<uint8_t> & buffer)
{
  MessageT msg;
  deserialize(buffer.data(), buffer.size(), msg);
  return msg;
}

}  // namespace cdr
}  // namespace sweepmend

#endif  // CDR__CDR_HPP_
