#ifndef STD_MSGS__MSG__HEADER_HPP_
#define STD_MSGS__MSG__HEADER_HPP_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"
#include "builtin_interfaces/msg/time.hpp"

namespace std_msgs
{
namespace msg
{
/// std_msgs/msg/Header (no seq in ROS 2).
struct Header
{
  builtin_interfaces::msg::Time stamp;
  std::string frame_id;

  SWEEPMEND_COMPAT_MSG_ALIASES(Header);
  bool operator==(const Header & o) const
  {
    return stamp == o.stamp && frame_id == o.frame_id;
  }
  bool operator!=(const Header & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace std_msgs

SWEEPMEND_COMPAT_MSG_NAME(std_msgs::msg::Header, "std_msgs/msg/Header", "std_msgs::msg::Header")

#endif  // STD_MSGS__MSG__HEADER_HPP_
