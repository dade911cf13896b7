#ifndef GEOMETRY_MSGS__MSG__QUATERNION_HPP_
#define GEOMETRY_MSGS__MSG__QUATERNION_HPP_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"

namespace geometry_msgs
{
namespace msg
{
/// geometry_msgs/msg/Quaternion; w defaults to 1 as in the .msg file.
struct Quaternion
{
  double x{0.0};
  double y{0.0};
  double z{0.0};
  double w{1.0};

  SWEEPMEND_COMPAT_MSG_ALIASES(Quaternion);
  bool operator==(const Quaternion & o) const
  {
    return x == o.x && y == o.y && z == o.z && w == o.w;
  }
  bool operator!=(const Quaternion & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace geometry_msgs

SWEEPMEND_COMPAT_MSG_NAME(geometry_msgs::msg::Quaternion, "geometry_msgs/msg/Quaternion", "geometry_msgs::msg::Quaternion")

#endif  // GEOMETRY_MSGS__MSG__QUATERNION_HPP_
