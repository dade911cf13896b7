#ifndef LIVOX_ROS_DRIVER2__MSG__CUSTOM_POINT_HPP_
#define LIVOX_ROS_DRIVER2__MSG__CUSTOM_POINT_HPP_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"

namespace livox_ros_driver2
{
namespace msg
{
/// livox_ros_driver2/msg/CustomPoint: one Livox point.
struct CustomPoint
{
  uint32_t offset_time{0};  // ns after CustomMsg::timebase
  float x{0.0f};  // m
  float y{0.0f};
  float z{0.0f};
  uint8_t reflectivity{0};
  uint8_t tag{0};  // 2-bit confidence fields
  uint8_t line{0};  // laser number

  SWEEPMEND_COMPAT_MSG_ALIASES(CustomPoint);
  bool operator==(const CustomPoint & o) const
  {
    return offset_time == o.offset_time && x == o.x && y == o.y && z == o.z &&
           reflectivity == o.reflectivity && tag == o.tag && line == o.line;
  }
  bool operator!=(const CustomPoint & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace livox_ros_driver2

SWEEPMEND_COMPAT_MSG_NAME(livox_ros_driver2::msg::CustomPoint, "livox_ros_driver2/msg/CustomPoint", "livox_ros_driver2::msg::CustomPoint")

#endif  // LIVOX_ROS_DRIVER2__MSG__CUSTOM_POINT_HPP_
