// Sample messages with non-trivial contents and byte-comparison helpers for the CDR tests.
#ifndef TEST__TOOLS__CDR__CDR_TEST_MESSAGES_HPP_
#define TEST__TOOLS__CDR__CDR_TEST_MESSAGES_HPP_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "builtin_interfaces/msg/time.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "livox_ros_driver2/msg/custom_msg.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "std_msgs/msg/header.hpp"
#include "tf2_msgs/msg/tf_message.hpp"

namespace sweepmend
{
namespace cdr
{
namespace test
{

using Bytes = std::vector<uint8_t>;

/// Compares two encodings and names the first differing offset (absolute, header included).
inline ::testing::AssertionResult same_bytes(const Bytes & actual, const Bytes & expected)
{
  const std::size_t n = std::min(actual.size(), expected.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (actual[i] != expected[i]) {
      char text[96];
      std::snprintf(
        text, sizeof(text), "first difference at offset 0x%zx: got 0x%02x, expected 0x%02x", i,
        actual[i], expected[i]);
      return ::testing::AssertionFailure() << text;
    }
  }
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure() << "sizes differ: got " << actual.size() <<
           " bytes, expected " << expected.size();
  }
  return ::testing::AssertionSuccess();
}

inline std_msgs::msg::Header make_header(const std::string & frame, int32_t sec, uint32_t nsec)
{
  std_msgs::msg::Header h;
  h.stamp.sec = sec;
  h.stamp.nanosec = nsec;
  h.frame_id = frame;
  return h;
}

/// An IMU sample where every field, including each covariance element, is distinct.
inline sensor_msgs::msg::Imu make_imu(const std::string & frame)
{
  sensor_msgs::msg::Imu m;
  m.header = make_header(frame, 1700000123, 999999999u);
  m.orientation.x = 0.1;
  m.orientation.y = -0.2;
  m.orientation.z = 0.3;
  m.orientation.w = 0.9;
  m.angular_velocity.x = 0.01;
  m.angular_velocity.y = -0.02;
  m.angular_velocity.z = 1.5;
  m.linear_acceleration.x = 0.25;
  m.linear_acceleration.y = -0.125;
  m.linear_acceleration.z = 9.81;
  for (std::size_t i = 0; i < 9; ++i) {
    m.orientation_covariance[i] = 1.0 + static_cast<double>(i);
    m.angular_velocity_covariance[i] = -0.5 * static_cast<double>(i);
    m.linear_acceleration_covariance[i] = 1e-3 * static_cast<double>(i * i);
  }
  return m;
}

inline sensor_msgs::msg::PointField make_field(
  const std::string & name, uint32_t offset, uint8_t datatype, uint32_t count)
{
  sensor_msgs::msg::PointField f;
  f.name = name;
  f.offset = offset;
  f.datatype = datatype;
  f.count = count;
  return f;
}

/// A cloud of `points` points, 19-byte point step (odd on purpose: the payload is opaque
/// bytes), with field names of lengths 1 to 9 so that every name padding case occurs.
inline sensor_msgs::msg::PointCloud2 make_cloud(const std::string & frame, uint32_t points)
{
  using sensor_msgs::msg::PointField;
  sensor_msgs::msg::PointCloud2 m;
  m.header = make_header(frame, 42, 7u);
  m.height = 1;
  m.width = points;
  m.fields = {
    make_field("x", 0, PointField::FLOAT32, 1),
    make_field("y", 4, PointField::FLOAT32, 1),
    make_field("zz", 8, PointField::FLOAT32, 1),
    make_field("int", 12, PointField::UINT8, 1),
    make_field("ring", 13, PointField::UINT16, 1),
    make_field("tiime", 15, PointField::FLOAT32, 1),
    make_field("offset", 19, PointField::INT8, 0),
    make_field("curvatu", 19, PointField::FLOAT64, 0),
    make_field("intensity", 19, PointField::UINT32, 0),
  };
  m.is_bigendian = false;
  m.point_step = 19;
  m.row_step = 19 * points;
  m.data.resize(static_cast<std::size_t>(m.row_step));
  for (std::size_t i = 0; i < m.data.size(); ++i) {
    m.data[i] = static_cast<uint8_t>((i * 131u + 17u) & 0xffu);
  }
  m.is_dense = true;
  return m;
}

/// A Livox packet with `points` points whose fields all differ.
inline livox_ros_driver2::msg::CustomMsg make_custom(const std::string & frame, uint32_t points)
{
  livox_ros_driver2::msg::CustomMsg m;
  m.header = make_header(frame, 1700000000, 5u);
  m.timebase = 1700000000000000005ull;
  m.point_num = points;
  m.lidar_id = 3;
  m.rsvd = {0xaa, 0xbb, 0xcc};
  m.points.resize(points);
  for (uint32_t k = 0; k < points; ++k) {
    auto & p = m.points[k];
    p.offset_time = 1000u * k + 1u;
    p.x = 0.5f * static_cast<float>(k);
    p.y = -0.25f * static_cast<float>(k) - 1.0f;
    p.z = 3.0f + static_cast<float>(k);
    p.reflectivity = static_cast<uint8_t>(k * 7u);
    p.tag = static_cast<uint8_t>(k & 0x3fu);
    p.line = static_cast<uint8_t>(k % 4u);
  }
  return m;
}

inline geometry_msgs::msg::TransformStamped make_transform(
  const std::string & parent, const std::string & child, double seed)
{
  geometry_msgs::msg::TransformStamped t;
  t.header = make_header(parent, static_cast<int32_t>(seed * 10.0), 250000000u);
  t.child_frame_id = child;
  t.transform.translation.x = seed;
  t.transform.translation.y = -seed;
  t.transform.translation.z = seed * 0.5;
  t.transform.rotation.x = 0.0;
  t.transform.rotation.y = 0.0;
  t.transform.rotation.z = 0.6;
  t.transform.rotation.w = 0.8;
  return t;
}

/// Three transforms whose frame names have different lengths, so each element starts at a
/// different alignment phase.
inline tf2_msgs::msg::TFMessage make_tf()
{
  tf2_msgs::msg::TFMessage m;
  m.transforms.push_back(make_transform("odom", "base_link", 1.0));
  m.transforms.push_back(make_transform("base_link", "livox_frame", 2.0));
  m.transforms.push_back(make_transform("", "a", 3.0));
  return m;
}

inline rosgraph_msgs::msg::Clock make_clock()
{
  rosgraph_msgs::msg::Clock c;
  c.clock.sec = 1700000000;
  c.clock.nanosec = 123456789u;
  return c;
}

}  // namespace test
}  // namespace cdr
}  // namespace sweepmend

#endif  // TEST__TOOLS__CDR__CDR_TEST_MESSAGES_HPP_
