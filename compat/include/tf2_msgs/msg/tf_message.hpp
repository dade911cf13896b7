#ifndef TF2_MSGS__MSG__TF_MESSAGE_HPP_
#define TF2_MSGS__MSG__TF_MESSAGE_HPP_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"

namespace tf2_msgs
{
namespace msg
{
/// tf2_msgs/msg/TFMessage.
struct TFMessage
{
  std::vector<geometry_msgs::msg::TransformStamped> transforms;

  SWEEPMEND_COMPAT_MSG_ALIASES(TFMessage);
  bool operator==(const TFMessage & o) const
  {
    return transforms == o.transforms;
  }
  bool operator!=(const TFMessage & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace tf2_msgs

SWEEPMEND_COMPAT_MSG_NAME(tf2_msgs::msg::TFMessage, "tf2_msgs/msg/TFMessage", "tf2_msgs::msg::TFMessage")

#endif  // TF2_MSGS__MSG__TF_MESSAGE_HPP_
