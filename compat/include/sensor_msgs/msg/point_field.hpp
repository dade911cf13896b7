#ifndef SENSOR_MSGS__MSG__POINT_FIELD_HPP_
#define SENSOR_MSGS__MSG__POINT_FIELD_HPP_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"

namespace sensor_msgs
{
namespace msg
{
/// sensor_msgs/msg/PointField.
struct PointField
{
  static constexpr uint8_t INT8 = 1u;
  static constexpr uint8_t UINT8 = 2u;
  static constexpr uint8_t INT16 = 3u;
  static constexpr uint8_t UINT16 = 4u;
  static constexpr uint8_t INT32 = 5u;
  static constexpr uint8_t UINT32 = 6u;
  static constexpr uint8_t FLOAT32 = 7u;
  static constexpr uint8_t FLOAT64 = 8u;

  std::string name;
  uint32_t offset{0};
  uint8_t datatype{0};
  uint32_t count{0};

  SWEEPMEND_COMPAT_MSG_ALIASES(PointField);
  bool operator==(const PointField & o) const
  {
    return name == o.name && offset == o.offset && datatype == o.datatype && count == o.count;
  }
  bool operator!=(const PointField & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace sensor_msgs

SWEEPMEND_COMPAT_MSG_NAME(sensor_msgs::msg::PointField, "sensor_msgs/msg/PointField", "sensor_msgs::msg::PointField")

#endif  // SENSOR_MSGS__MSG__POINT_FIELD_HPP_
