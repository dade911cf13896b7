#ifndef GEOMETRY_MSGS__MSG__TRANSFORM_HPP_
#define GEOMETRY_MSGS__MSG__TRANSFORM_HPP_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"
#include "geometry_msgs/msg/quaternion.hpp"
#include "geometry_msgs/msg/vector3.hpp"

namespace geometry_msgs
{
namespace msg
{
/// geometry_msgs/msg/Transform.
struct Transform
{
  geometry_msgs::msg::Vector3 translation;
  geometry_msgs::msg::Quaternion rotation;

  SWEEPMEND_COMPAT_MSG_ALIASES(Transform);
  bool operator==(const Transform & o) const
  {
    return translation == o.translation && rotation == o.rotation;
  }
  bool operator!=(const Transform & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace geometry_msgs

SWEEPMEND_COMPAT_MSG_NAME(geometry_msgs::msg::Transform, "geometry_msgs/msg/Transform", "geometry_msgs::msg::Transform")

#endif  // GEOMETRY_MSGS__MSG__TRANSFORM_HPP_
