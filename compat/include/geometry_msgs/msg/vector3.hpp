#ifndef GEOMETRY_MSGS__MSG__VECTOR3_HPP_
#define GEOMETRY_MSGS__MSG__VECTOR3_HPP_

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
/// geometry_msgs/msg/Vector3.
struct Vector3
{
  double x{0.0};
  double y{0.0};
  double z{0.0};

  SWEEPMEND_COMPAT_MSG_ALIASES(Vector3);
  bool operator==(const Vector3 & o) const
  {
    return x == o.x && y == o.y && z == o.z;
  }
  bool operator!=(const Vector3 & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace geometry_msgs

SWEEPMEND_COMPAT_MSG_NAME(geometry_msgs::msg::Vector3, "geometry_msgs/msg/Vector3", "geometry_msgs::msg::Vector3")

#endif  // GEOMETRY_MSGS__MSG__VECTOR3_HPP_
