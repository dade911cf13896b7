// Plain-CDR (XCDR1) codecs for the message types the tools record and replay, on top of Fast-CDR.
//
// Encoding runs twice over the message: once to count the exact size, once to write into a buffer
// of that size, so a multi-megabyte cloud is allocated once and its payload copied once.
// Decoding checks every length against the bytes that are left before it allocates anything, so a
// corrupt length can neither read past the buffer nor ask for gigabytes.
#include "cdr/cdr.hpp"

#include <fastcdr/Cdr.h>
#include <fastcdr/FastBuffer.h>
#include <fastcdr/exceptions/Exception.h>
#include <fastcdr/exceptions/NotEnoughMemoryException.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "builtin_interfaces/msg/duration.hpp"
#include "builtin_interfaces/msg/time.hpp"
#include "geometry_msgs/msg/quaternion.hpp"
#include "geometry_msgs/msg/transform.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "geometry_msgs/msg/vector3.hpp"
#include "livox_ros_driver2/msg/custom_msg.hpp"
#include "livox_ros_driver2/msg/custom_point.hpp"
#include "rcl_interfaces/msg/log.hpp"
#include "rcl_interfaces/msg/parameter_event.hpp"
#include "rmw_dds_common/msg/participant_entities_info.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "rosidl_runtime_cpp/message_traits.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "sensor_msgs/msg/point_field.hpp"
#include "std_msgs/msg/header.hpp"
#include "tf2_msgs/msg/tf_message.hpp"

namespace sweepmend
{
namespace cdr
{
namespace
{

namespace fcdr = eprosima::fastcdr;

constexpr std::size_t kEncapsulationSize = 4;

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kHostLittleEndian = true;
#else
constexpr bool kHostLittleEndian = false;
#endif

// A CustomPoint takes 19 bytes on the wire and the next one starts 4-aligned, 20 bytes later.
// When the C++ struct has exactly that layout, a little-endian point array is one block copy.
constexpr std::size_t kCustomPointWireSize = 19;
constexpr std::size_t kCustomPointStride = 20;
using livox_ros_driver2::msg::CustomPoint;
constexpr bool kCustomPointBlockCopy =
  kHostLittleEndian && std::is_trivially_copyable<CustomPoint>::value &&
  sizeof(CustomPoint) == kCustomPointStride && offsetof(CustomPoint, offset_time) == 0 &&
  offsetof(CustomPoint, x) == 4 && offsetof(CustomPoint, y) == 8 &&
  offsetof(CustomPoint, z) == 12 && offsetof(CustomPoint, reflectivity) == 16 &&
  offsetof(CustomPoint, tag) == 17 && offsetof(CustomPoint, line) == 18;

// Lower bounds on the wire size of one sequence element (padding and string bytes not counted);
// a count that cannot fit in the remaining bytes at this rate is rejected before resizing.
// name length, offset, datatype, count
constexpr std::size_t kPointFieldMinWireSize = 4 + 4 + 1 + 4;
// stamp, two string lengths, translation, rotation
constexpr std::size_t kTransformStampedMinWireSize = 8 + 4 + 4 + 24 + 32;

template<typename MessageT>
std::string type_name()
{
  return rosidl_generator_traits::name<MessageT>();
}

uint32_t checked_length(std::size_t n, const char * what)
{
  if (n > std::numeric_limits<uint32_t>::max()) {
    throw CdrError(
            std::string("cannot encode ") + what + " of " + std::to_string(n) +
            " elements: CDR lengths are 32-bit");
  }
  return static_cast<uint32_t>(n);
}

// ---- sinks: the same field walk either counts bytes or writes them ----

/// Counts the body size, applying the alignment rules Fast-CDR applies when writing.
class SizeCounter
{
public:
  template<typename T>
  void value(T /*v*/)
  {
    align(sizeof(T));
    size_ += sizeof(T);
  }

  template<typename T>
  void array(const T * /*p*/, std::size_t n)
  {
    if (n > 0) {
      align(sizeof(T));
      size_ += n * sizeof(T);
    }
  }

  void length(std::size_t n, const char * what)
  {
    value(checked_length(n, what));
  }

  void string(const std::string & s)
  {
    length(s.size() + 1, "a string");
    size_ += s.size() + 1;
  }

  void bytes(const std::vector<uint8_t> & v)
  {
    length(v.size(), "a byte sequence");
    size_ += v.size();
  }

  void custom_points(const std::vector<CustomPoint> & points);

  std::size_t size() const {return size_;}

private:
  void align(std::size_t n) {size_ += (n - size_ % n) % n;}

  std::size_t size_{0};
};

/// Writes through Fast-CDR into a buffer sized by SizeCounter (little endian).
class Writer
{
public:
  /// Alignment counts from where the writer starts, right after the encapsulation header.
  explicit Writer(fcdr::Cdr & cdr)
  : cdr_(cdr), origin_(cdr.getCurrentPosition()) {}

  template<typename T>
  void value(T v)
  {
    pad<T>();
    cdr_.serialize(v);
  }

  template<typename T>
  void array(const T * p, std::size_t n)
  {
    if (n > 0) {
      pad<T>();
      cdr_.serializeArray(p, n);
    }
  }

  void length(std::size_t n, const char * what) {value(checked_length(n, what));}

  // Written by hand: Fast-CDR 1.0 measures std::string with strlen and would drop everything
  // after an embedded NUL, disagreeing with the size counted beforehand.
  void string(const std::string & s)
  {
    length(s.size() + 1, "a string");
    array(s.data(), s.size());
    cdr_.serialize('\0');
  }

  void bytes(const std::vector<uint8_t> & v)
  {
    length(v.size(), "a byte sequence");
    array(v.data(), v.size());
  }

  void custom_points(const std::vector<CustomPoint> & points);

private:
  // Fast-CDR skips the bytes that align a value without writing them; they are written as
  // zeros here, so the output does not depend on what the buffer held before.
  template<typename T>
  void pad()
  {
    char * at = cdr_.getCurrentPosition();
    const auto offset = static_cast<std::size_t>(at - origin_);
    std::memset(at, 0, (sizeof(T) - offset % sizeof(T)) % sizeof(T));
  }

  fcdr::Cdr & cdr_;
  const char * origin_;
};

// ---- field walks for encoding (sink is SizeCounter or Writer) ----

template<typename Sink>
void put(Sink & s, const builtin_interfaces::msg::Time & m)
{
  s.value(m.sec);
  s.value(m.nanosec);
}

template<typename Sink>
void put(Sink & s, const builtin_interfaces::msg::Duration & m)
{
  s.value(m.sec);
  s.value(m.nanosec);
}

template<typename Sink>
void put(Sink & s, const std_msgs::msg::Header & m)
{
  put(s, m.stamp);
  s.string(m.frame_id);
}

template<typename Sink>
void put(Sink & s, const geometry_msgs::msg::Vector3 & m)
{
  s.value(m.x);
  s.value(m.y);
  s.value(m.z);
}

template<typename Sink>
void put(Sink & s, const geometry_msgs::msg::Quaternion & m)
{
  s.value(m.x);
  s.value(m.y);
  s.value(m.z);
  s.value(m.w);
}

template<typename Sink>
void put(Sink & s, const geometry_msgs::msg::Transform & m)
{
  put(s, m.translation);
  put(s, m.rotation);
}

template<typename Sink>
void put(Sink & s, const geometry_msgs::msg::TransformStamped & m)
{
  put(s, m.header);
  s.string(m.child_frame_id);
  put(s, m.transform);
}

template<typename Sink>
void put(Sink & s, const tf2_msgs::msg::TFMessage & m)
{
  s.length(m.transforms.size(), "TFMessage.transforms");
  for (const auto & t : m.transforms) {
    put(s, t);
  }
}

template<typename Sink>
void put(Sink & s, const rosgraph_msgs::msg::Clock & m)
{
  put(s, m.clock);
}

template<typename Sink>
void put(Sink & s, const rcl_interfaces::msg::Log & m)
{
  put(s, m.stamp);
  s.value(m.level);
  s.string(m.name);
  s.string(m.msg);
  s.string(m.file);
  s.string(m.function);
  s.value(m.line);
}

template<typename Sink>
void put(Sink & s, const rcl_interfaces::msg::ParameterValue & m)
{
  s.value(m.type);
  s.value(m.bool_value);
  s.value(m.integer_value);
  s.value(m.double_value);
  s.string(m.string_value);
  s.bytes(m.byte_array_value);
  s.length(m.bool_array_value.size(), "ParameterValue.bool_array_value");
  for (bool b : m.bool_array_value) {
    s.value(static_cast<uint8_t>(b ? 1 : 0));
  }
  s.length(m.integer_array_value.size(), "ParameterValue.integer_array_value");
  s.array(m.integer_array_value.data(), m.integer_array_value.size());
  s.length(m.double_array_value.size(), "ParameterValue.double_array_value");
  s.array(m.double_array_value.data(), m.double_array_value.size());
  s.length(m.string_array_value.size(), "ParameterValue.string_array_value");
  for (const auto & str : m.string_array_value) {
    s.string(str);
  }
}

template<typename Sink>
void put(Sink & s, const rcl_interfaces::msg::Parameter & m)
{
  s.string(m.name);
  put(s, m.value);
}

template<typename Sink>
void put(Sink & s, const std::vector<rcl_interfaces::msg::Parameter> & v, const char * what)
{
  s.length(v.size(), what);
  for (const auto & p : v) {
    put(s, p);
  }
}

template<typename Sink>
void put(Sink & s, const rcl_interfaces::msg::ParameterEvent & m)
{
  put(s, m.stamp);
  s.string(m.node);
  put(s, m.new_parameters, "ParameterEvent.new_parameters");
  put(s, m.changed_parameters, "ParameterEvent.changed_parameters");
  put(s, m.deleted_parameters, "ParameterEvent.deleted_parameters");
}

template<typename Sink>
void put(Sink & s, const rmw_dds_common::msg::Gid & m)
{
  s.array(m.data.data(), m.data.size());
}

template<typename Sink>
void put(Sink & s, const std::vector<rmw_dds_common::msg::Gid> & v, const char * what)
{
  s.length(v.size(), what);
  for (const auto & gid : v) {
    put(s, gid);
  }
}

template<typename Sink>
void put(Sink & s, const rmw_dds_common::msg::NodeEntitiesInfo & m)
{
  s.string(m.node_namespace);
  s.string(m.node_name);
  put(s, m.reader_gid_seq, "NodeEntitiesInfo.reader_gid_seq");
  put(s, m.writer_gid_seq, "NodeEntitiesInfo.writer_gid_seq");
}

template<typename Sink>
void put(Sink & s, const rmw_dds_common::msg::ParticipantEntitiesInfo & m)
{
  put(s, m.gid);
  s.length(m.node_entities_info_seq.size(), "ParticipantEntitiesInfo.node_entities_info_seq");
  for (const auto & node : m.node_entities_info_seq) {
    put(s, node);
  }
}

template<typename Sink>
void put(Sink & s, const sensor_msgs::msg::Imu & m)
{
  put(s, m.header);
  put(s, m.orientation);
  s.array(m.orientation_covariance.data(), m.orientation_covariance.size());
  put(s, m.angular_velocity);
  s.array(m.angular_velocity_covariance.data(), m.angular_velocity_covariance.size());
  put(s, m.linear_acceleration);
  s.array(m.linear_acceleration_covariance.data(), m.linear_acceleration_covariance.size());
}

template<typename Sink>
void put(Sink & s, const sensor_msgs::msg::PointField & m)
{
  s.string(m.name);
  s.value(m.offset);
  s.value(m.datatype);
  s.value(m.count);
}

template<typename Sink>
void put(Sink & s, const sensor_msgs::msg::PointCloud2 & m)
{
  put(s, m.header);
  s.value(m.height);
  s.value(m.width);
  s.length(m.fields.size(), "PointCloud2.fields");
  for (const auto & f : m.fields) {
    put(s, f);
  }
  s.value(m.is_bigendian);
  s.value(m.point_step);
  s.value(m.row_step);
  s.bytes(m.data);
  s.value(m.is_dense);
}

template<typename Sink>
void put(Sink & s, const CustomPoint & m)
{
  s.value(m.offset_time);
  s.value(m.x);
  s.value(m.y);
  s.value(m.z);
  s.value(m.reflectivity);
  s.value(m.tag);
  s.value(m.line);
}

template<typename Sink>
void put(Sink & s, const livox_ros_driver2::msg::CustomMsg & m)
{
  put(s, m.header);
  s.value(m.timebase);
  s.value(m.point_num);
  s.value(m.lidar_id);
  s.array(m.rsvd.data(), m.rsvd.size());
  s.custom_points(m.points);
}

void SizeCounter::custom_points(const std::vector<CustomPoint> & points)
{
  // The count leaves the position 4-aligned, so every point but the last takes a full stride.
  length(points.size(), "CustomMsg.points");
  if (!points.empty()) {
    size_ += kCustomPointStride * (points.size() - 1) + kCustomPointWireSize;
  }
}

void Writer::custom_points(const std::vector<CustomPoint> & points)
{
  length(points.size(), "CustomMsg.points");
  if (points.empty()) {
    return;
  }
  if constexpr (kCustomPointBlockCopy) {
    // The count left the position 4-aligned, exactly where the first point starts.
    char * start = cdr_.getCurrentPosition();
    const std::size_t n = points.size();
    cdr_.serializeArray(
      reinterpret_cast<const char *>(points.data()),
      kCustomPointStride * (n - 1) + kCustomPointWireSize);
    // The struct's padding byte is indeterminate in memory; keep the output deterministic.
    for (std::size_t k = 0; k + 1 < n; ++k) {
      start[kCustomPointStride * k + kCustomPointWireSize] = 0;
    }
  } else {
    for (const auto & p : points) {
      put(*this, p);
    }
  }
}

// ---- decoding ----

/// Reads through Fast-CDR and owns every length check; errors name the message type.
class Reader
{
public:
  Reader(fcdr::Cdr & cdr, std::size_t size, std::string type)
  : cdr_(cdr), size_(size), type_(std::move(type)) {}

  template<typename T>
  void value(T & v) {cdr_.deserialize(v);}

  template<typename T>
  void array(T * p, std::size_t n) {cdr_.deserializeArray(p, n);}

  /// Reads a sequence count and rejects it unless count elements of at least min_element_size
  /// bytes each fit in what is left.
  uint32_t length(const char * field, std::size_t min_element_size)
  {
    uint32_t n = 0;
    cdr_.deserialize(n);
    if (static_cast<uint64_t>(n) * min_element_size > remaining()) {
      fail(
        std::string(field) + ": sequence of " + std::to_string(n) +
        " elements runs past the end (" + std::to_string(remaining()) + " bytes left at offset " +
        std::to_string(position()) + ")");
    }
    return n;
  }

  void string(std::string & s, const char * field)
  {
    uint32_t n = 0;
    cdr_.deserialize(n);
    if (n == 0) {
      // Not what ROS writers emit (they count the NUL), but Humble's readers take it as "".
      s.clear();
      return;
    }
    if (n > remaining()) {
      fail(
        std::string(field) + ": string of " + std::to_string(n) + " bytes runs past the end (" +
        std::to_string(remaining()) + " bytes left at offset " + std::to_string(position()) + ")");
    }
    const char * p = cdr_.getCurrentPosition();
    if (p[n - 1] != '\0') {
      fail(
        std::string(field) + ": string at offset " + std::to_string(position()) +
        " lacks its terminating NUL");
    }
    s.assign(p, n - 1);
    skip(n);
  }

  void bytes(std::vector<uint8_t> & v, const char * field)
  {
    const uint32_t n = length(field, 1);
    const auto * p = reinterpret_cast<const uint8_t *>(cdr_.getCurrentPosition());
    v.assign(p, p + n);
    skip(n);
  }

  void custom_points(std::vector<CustomPoint> & points);

  [[noreturn]] void fail(const std::string & problem) const
  {
    throw CdrError("cannot decode " + type_ + ": " + problem);
  }

  std::size_t position() const {return cdr_.getSerializedDataLength();}
  std::size_t remaining() const {return size_ - position();}

private:
  /// Moves past n bytes already copied out. Fast-CDR omits the alignment of a value that is no
  /// wider than the one read before it, and jump() does not update that record, so the last
  /// byte is read as an octet to leave the stream as a byte array would.
  void skip(std::size_t n)
  {
    if (n > 0) {
      cdr_.jump(n - 1);
      uint8_t last = 0;
      cdr_.deserialize(last);
    }
  }

  fcdr::Cdr & cdr_;
  std::size_t size_;
  std::string type_;
};

void get(Reader & r, builtin_interfaces::msg::Time & m)
{
  r.value(m.sec);
  r.value(m.nanosec);
}

void get(Reader & r, builtin_interfaces::msg::Duration & m)
{
  r.value(m.sec);
  r.value(m.nanosec);
}

void get(Reader & r, std_msgs::msg::Header & m)
{
  get(r, m.stamp);
  r.string(m.frame_id, "header.frame_id");
}

void get(Reader & r, geometry_msgs::msg::Vector3 & m)
{
  r.value(m.x);
  r.value(m.y);
  r.value(m.z);
}

void get(Reader & r, geometry_msgs::msg::Quaternion & m)
{
  r.value(m.x);
  r.value(m.y);
  r.value(m.z);
  r.value(m.w);
}

void get(Reader & r, geometry_msgs::msg::Transform & m)
{
  get(r, m.translation);
  get(r, m.rotation);
}

void get(Reader & r, geometry_msgs::msg::TransformStamped & m)
{
  get(r, m.header);
  r.string(m.child_frame_id, "child_frame_id");
  get(r, m.transform);
}

void get(Reader & r, tf2_msgs::msg::TFMessage & m)
{
  m.transforms.resize(r.length("transforms", kTransformStampedMinWireSize));
  for (auto & t : m.transforms) {
    get(r, t);
  }
}

void get(Reader & r, rosgraph_msgs::msg::Clock & m)
{
  get(r, m.clock);
}

void get(Reader & r, rcl_interfaces::msg::Log & m)
{
  get(r, m.stamp);
  r.value(m.level);
  r.string(m.name, "Log.name");
  r.string(m.msg, "Log.msg");
  r.string(m.file, "Log.file");
  r.string(m.function, "Log.function");
  r.value(m.line);
}

void get(Reader & r, rcl_interfaces::msg::ParameterValue & m)
{
  r.value(m.type);
  r.value(m.bool_value);
  r.value(m.integer_value);
  r.value(m.double_value);
  r.string(m.string_value, "ParameterValue.string_value");
  r.bytes(m.byte_array_value, "ParameterValue.byte_array_value");
  m.bool_array_value.resize(r.length("ParameterValue.bool_array_value", 1));
  for (size_t i = 0; i < m.bool_array_value.size(); ++i) {
    bool b = false;
    r.value(b);
    m.bool_array_value[i] = b;
  }
  m.integer_array_value.resize(r.length("ParameterValue.integer_array_value", 8));
  r.array(m.integer_array_value.data(), m.integer_array_value.size());
  m.double_array_value.resize(r.length("ParameterValue.double_array_value", 8));
  r.array(m.double_array_value.data(), m.double_array_value.size());
  m.string_array_value.resize(r.length("ParameterValue.string_array_value", 4));
  for (auto & str : m.string_array_value) {
    r.string(str, "ParameterValue.string_array_value");
  }
}

void get(Reader & r, rcl_interfaces::msg::Parameter & m)
{
  r.string(m.name, "Parameter.name");
  get(r, m.value);
}

// name length + the smallest ParameterValue: type, bool, int64, double, string length and five
// sequence counts.
constexpr std::size_t kParameterMinWireSize = 4 + 1 + 1 + 8 + 8 + 4 + 5 * 4;

void get(Reader & r, std::vector<rcl_interfaces::msg::Parameter> & v, const char * field)
{
  v.resize(r.length(field, kParameterMinWireSize));
  for (auto & p : v) {
    get(r, p);
  }
}

void get(Reader & r, rcl_interfaces::msg::ParameterEvent & m)
{
  get(r, m.stamp);
  r.string(m.node, "ParameterEvent.node");
  get(r, m.new_parameters, "ParameterEvent.new_parameters");
  get(r, m.changed_parameters, "ParameterEvent.changed_parameters");
  get(r, m.deleted_parameters, "ParameterEvent.deleted_parameters");
}

void get(Reader & r, std::vector<rmw_dds_common::msg::Gid> & v, const char * field)
{
  v.resize(r.length(field, 24));
  for (auto & gid : v) {
    r.array(gid.data.data(), gid.data.size());
  }
}

void get(Reader & r, rmw_dds_common::msg::NodeEntitiesInfo & m)
{
  r.string(m.node_namespace, "NodeEntitiesInfo.node_namespace");
  r.string(m.node_name, "NodeEntitiesInfo.node_name");
  get(r, m.reader_gid_seq, "NodeEntitiesInfo.reader_gid_seq");
  get(r, m.writer_gid_seq, "NodeEntitiesInfo.writer_gid_seq");
}

void get(Reader & r, rmw_dds_common::msg::ParticipantEntitiesInfo & m)
{
  r.array(m.gid.data.data(), m.gid.data.size());
  // namespace and name lengths, two gid counts
  m.node_entities_info_seq.resize(r.length("node_entities_info_seq", 4 * 4));
  for (auto & node : m.node_entities_info_seq) {
    get(r, node);
  }
}

void get(Reader & r, sensor_msgs::msg::Imu & m)
{
  get(r, m.header);
  get(r, m.orientation);
  r.array(m.orientation_covariance.data(), m.orientation_covariance.size());
  get(r, m.angular_velocity);
  r.array(m.angular_velocity_covariance.data(), m.angular_velocity_covariance.size());
  get(r, m.linear_acceleration);
  r.array(m.linear_acceleration_covariance.data(), m.linear_acceleration_covariance.size());
}

void get(Reader & r, sensor_msgs::msg::PointField & m)
{
  r.string(m.name, "PointField.name");
  r.value(m.offset);
  r.value(m.datatype);
  r.value(m.count);
}

void get(Reader & r, sensor_msgs::msg::PointCloud2 & m)
{
  get(r, m.header);
  r.value(m.height);
  r.value(m.width);
  m.fields.resize(r.length("fields", kPointFieldMinWireSize));
  for (auto & f : m.fields) {
    get(r, f);
  }
  r.value(m.is_bigendian);
  r.value(m.point_step);
  r.value(m.row_step);
  r.bytes(m.data, "data");
  r.value(m.is_dense);
}

void get(Reader & r, CustomPoint & m)
{
  r.value(m.offset_time);
  r.value(m.x);
  r.value(m.y);
  r.value(m.z);
  r.value(m.reflectivity);
  r.value(m.tag);
  r.value(m.line);
}

void get(Reader & r, livox_ros_driver2::msg::CustomMsg & m)
{
  get(r, m.header);
  r.value(m.timebase);
  r.value(m.point_num);
  r.value(m.lidar_id);
  r.array(m.rsvd.data(), m.rsvd.size());
  r.custom_points(m.points);
}

void Reader::custom_points(std::vector<CustomPoint> & points)
{
  // The last point has no trailing padding, so n points need 20n - 1 bytes; with the 1-byte
  // lower bound per element the exact check follows.
  const uint32_t n = length("points", 1);
  const std::size_t needed = n == 0 ? 0 : kCustomPointStride * (n - 1) + kCustomPointWireSize;
  if (needed > remaining()) {
    fail(
      "points: sequence of " + std::to_string(n) + " points needs " + std::to_string(needed) +
      " bytes, " + std::to_string(remaining()) + " left at offset " + std::to_string(position()));
  }
  points.resize(n);
  if (n == 0) {
    return;
  }
  if constexpr (kCustomPointBlockCopy) {
    if (cdr_.endianness() == fcdr::Cdr::LITTLE_ENDIANNESS) {
      cdr_.deserializeArray(reinterpret_cast<char *>(points.data()), needed);
      return;
    }
  }
  for (auto & p : points) {
    get(*this, p);
  }
}

}  // namespace

template<typename MessageT>
std::size_t serialized_size(const MessageT & msg)
{
  SizeCounter counter;
  put(counter, msg);
  return kEncapsulationSize + counter.size();
}

template<typename MessageT>
void serialize_into(const MessageT & msg, uint8_t * out, std::size_t size)
{
  fcdr::FastBuffer buffer(reinterpret_cast<char *>(out), size);
  fcdr::Cdr cdr(buffer, fcdr::Cdr::LITTLE_ENDIANNESS, fcdr::Cdr::DDS_CDR);
  try {
    cdr.serialize_encapsulation();
    Writer writer(cdr);
    put(writer, msg);
  } catch (const fcdr::exception::Exception & e) {
    // Only possible if the size count and the writer disagree.
    throw std::logic_error("cdr: encoding " + type_name<MessageT>() + " overran: " + e.what());
  }
  if (cdr.getSerializedDataLength() != size) {
    throw std::logic_error(
            "cdr: encoding " + type_name<MessageT>() + " wrote " +
            std::to_string(cdr.getSerializedDataLength()) + " bytes, expected " +
            std::to_string(size));
  }
}

template<typename MessageT>
std::vector<uint8_t> serialize(const MessageT & msg)
{
  std::vector<uint8_t> out(serialized_size(msg));
  serialize_into(msg, out.data(), out.size());
  return out;
}

template<typename MessageT>
void deserialize(const uint8_t * data, std::size_t size, MessageT & msg)
{
  const std::string name = type_name<MessageT>();
  if (size < kEncapsulationSize) {
    throw CdrError(
            "cannot decode " + name + ": " + std::to_string(size) +
            "-byte buffer is shorter than the 4-byte encapsulation header");
  }
  if (data == nullptr) {
    throw CdrError("cannot decode " + name + ": null buffer of " + std::to_string(size) + " bytes");
  }
  // Only plain CDR is valid for ROS 2 Humble data; parameter lists and XCDR2 are refused.
  if (data[0] != 0x00 || (data[1] != 0x00 && data[1] != 0x01)) {
    static const char * hex = "0123456789abcdef";
    const std::string id{hex[data[0] >> 4], hex[data[0] & 0xf], ' ', hex[data[1] >> 4],
      hex[data[1] & 0xf]};
    throw CdrError(
            "cannot decode " + name + ": unsupported encapsulation " + id +
            " (expected 00 01 little-endian or 00 00 big-endian plain CDR)");
  }
  // Fast-CDR reads through a mutable pointer but never writes while deserialising.
  fcdr::FastBuffer buffer(reinterpret_cast<char *>(const_cast<uint8_t *>(data)), size);
  fcdr::Cdr cdr(buffer, fcdr::Cdr::DEFAULT_ENDIAN, fcdr::Cdr::DDS_CDR);
  Reader reader(cdr, size, name);
  // Decode into a fresh message so that msg is untouched when the buffer turns out bad.
  MessageT result;
  try {
    cdr.read_encapsulation();  // sets the byte order and skips the options, which carry no meaning
    get(reader, result);
  } catch (const fcdr::exception::NotEnoughMemoryException &) {
    reader.fail(
      "truncated: the " + std::to_string(size) + "-byte buffer ends inside the field at offset " +
      std::to_string(reader.position()));
  } catch (const fcdr::exception::Exception & e) {
    reader.fail(
      "bad value near offset " + std::to_string(reader.position()) + " (" + e.what() + ")");
  }
  msg = std::move(result);
}

#define SWEEPMEND_CDR_INSTANTIATE(Type) \
  template std::vector<uint8_t> serialize<Type>(const Type &); \
  template std::size_t serialized_size<Type>(const Type &); \
  template void serialize_into<Type>(const Type &, uint8_t *, std::size_t); \
  template void deserialize<Type>(const uint8_t *, std::size_t, Type &)

SWEEPMEND_CDR_INSTANTIATE(builtin_interfaces::msg::Time);
SWEEPMEND_CDR_INSTANTIATE(builtin_interfaces::msg::Duration);
SWEEPMEND_CDR_INSTANTIATE(std_msgs::msg::Header);
SWEEPMEND_CDR_INSTANTIATE(geometry_msgs::msg::Vector3);
SWEEPMEND_CDR_INSTANTIATE(geometry_msgs::msg::Quaternion);
SWEEPMEND_CDR_INSTANTIATE(geometry_msgs::msg::Transform);
SWEEPMEND_CDR_INSTANTIATE(geometry_msgs::msg::TransformStamped);
SWEEPMEND_CDR_INSTANTIATE(sensor_msgs::msg::Imu);
SWEEPMEND_CDR_INSTANTIATE(sensor_msgs::msg::PointField);
SWEEPMEND_CDR_INSTANTIATE(sensor_msgs::msg::PointCloud2);
SWEEPMEND_CDR_INSTANTIATE(livox_ros_driver2::msg::CustomPoint);
SWEEPMEND_CDR_INSTANTIATE(livox_ros_driver2::msg::CustomMsg);
SWEEPMEND_CDR_INSTANTIATE(tf2_msgs::msg::TFMessage);
SWEEPMEND_CDR_INSTANTIATE(rosgraph_msgs::msg::Clock);
SWEEPMEND_CDR_INSTANTIATE(rcl_interfaces::msg::Log);
SWEEPMEND_CDR_INSTANTIATE(rcl_interfaces::msg::ParameterEvent);
SWEEPMEND_CDR_INSTANTIATE(rmw_dds_common::msg::ParticipantEntitiesInfo);

#undef SWEEPMEND_CDR_INSTANTIATE

}  // namespace cdr
}  // namespace sweepmend
