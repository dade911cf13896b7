#ifndef ROSGRAPH_MSGS__MSG__CLOCK_HPP_
#define ROSGRAPH_MSGS__MSG__CLOCK_HPP_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"
#include "builtin_interfaces/msg/time.hpp"

namespace rosgraph_msgs
{
namespace msg
{
/// rosgraph_msgs/msg/Clock: the simulated time published on /clock.
struct Clock
{
  builtin_interfaces::msg::Time clock;

  SWEEPMEND_COMPAT_MSG_ALIASES(Clock);
  bool operator==(const Clock & o) const
  {
    return clock == o.clock;
  }
  bool operator!=(const Clock & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace rosgraph_msgs

SWEEPMEND_COMPAT_MSG_NAME(rosgraph_msgs::msg::Clock, "rosgraph_msgs/msg/Clock", "rosgraph_msgs::msg::Clock")

#endif  // ROSGRAPH_MSGS__MSG__CLOCK_HPP_
