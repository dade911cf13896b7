#ifndef SENSOR_MSGS__MSG__POINT_CLOUD2_HPP_
#define SENSOR_MSGS__MSG__POINT_CLOUD2_HPP_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"
#include "sensor_msgs/msg/point_field.hpp"
#include "std_msgs/msg/header.hpp"

namespace sensor_msgs
{
namespace msg
{
/// sensor_msgs/msg/PointCloud2.
struct PointCloud2
{
  std_msgs::msg::Header header;
  uint32_t height{0};
  uint32_t width{0};
  std::vector<sensor_msgs::msg::PointField> fields;
  bool is_bigendian{false};
  uint32_t point_step{0};
  uint32_t row_step{0};
  std::vector<uint8_t> data;
  bool is_dense{false};

  SWEEPMEND_COMPAT_MSG_ALIASES(PointCloud2);
  bool operator==(const PointCloud2 & o) const
  {
    return header == o.header && height == o.height && width == o.width && fields == o.fields &&
           is_bigendian == o.is_bigendian && point_step == o.point_step &&
           row_step == o.row_step && data == o.data && is_dense == o.is_dense;
  }
  bool operator!=(const PointCloud2 & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace sensor_msgs

SWEEPMEND_COMPAT_MSG_NAME(sensor_msgs::msg::PointCloud2, "sensor_msgs/msg/PointCloud2", "sensor_msgs::msg::PointCloud2")

#endif  // SENSOR_MSGS__MSG__POINT_CLOUD2_HPP_
