#ifndef LIVOX_ROS_DRIVER2__MSG__CUSTOM_MSG_HPP_
#define LIVOX_ROS_DRIVER2__MSG__CUSTOM_MSG_HPP_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"
#include "livox_ros_driver2/msg/custom_point.hpp"
#include "std_msgs/msg/header.hpp"

namespace livox_ros_driver2
{
namespace msg
{
/// livox_ros_driver2/msg/CustomMsg: one Livox scan packet.
struct CustomMsg
{
  std_msgs::msg::Header header;
  uint64_t timebase{0};  // ns, time of the first point
  uint32_t point_num{0};
  uint8_t lidar_id{0};
  std::array<uint8_t, 3> rsvd{};
  std::vector<livox_ros_driver2::msg::CustomPoint> points;

  SWEEPMEND_COMPAT_MSG_ALIASES(CustomMsg);
  bool operator==(const CustomMsg & o) const
  {
    return header == o.header && timebase == o.timebase && point_num == o.point_num &&
           lidar_id == o.lidar_id && rsvd == o.rsvd && points == o.points;
  }
  bool operator!=(const CustomMsg & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace livox_ros_driver2

SWEEPMEND_COMPAT_MSG_NAME(livox_ros_driver2::msg::CustomMsg, "livox_ros_driver2/msg/CustomMsg", "livox_ros_driver2::msg::CustomMsg")

#endif  // LIVOX_ROS_DRIVER2__MSG__CUSTOM_MSG_HPP_
