#ifndef GEOMETRY_MSGS__MSG__TRANSFORM_STAMPED_HPP_
#define GEOMETRY_MSGS__MSG__TRANSFORM_STAMPED_HPP_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"
#include "geometry_msgs/msg/transform.hpp"
#include "std_msgs/msg/header.hpp"

namespace geometry_msgs
{
namespace msg
{
/// geometry_msgs/msg/TransformStamped.
struct TransformStamped
{
  std_msgs::msg::Header header;
  std::string child_frame_id;
  geometry_msgs::msg::Transform transform;

  SWEEPMEND_COMPAT_MSG_ALIASES(TransformStamped);
  bool operator==(const TransformStamped & o) const
  {
    return header == o.header && child_frame_id == o.child_frame_id && transform == o.transform;
  }
  bool operator!=(const TransformStamped & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace geometry_msgs

SWEEPMEND_COMPAT_MSG_NAME(geometry_msgs::msg::TransformStamped, "geometry_msgs/msg/TransformStamped", "geometry_msgs::msg::TransformStamped")

#endif  // GEOMETRY_MSGS__MSG__TRANSFORM_STAMPED_HPP_
