#ifndef RCL_INTERFACES__MSG__FLOATING_POINT_RANGE_HPP_
#define RCL_INTERFACES__MSG__FLOATING_POINT_RANGE_HPP_

#include <memory>

#include "rosidl_runtime_cpp/message_traits.hpp"

namespace rcl_interfaces
{
namespace msg
{
/// rcl_interfaces/msg/FloatingPointRange: inclusive [from_value, to_value], step 0 = continuous.
struct FloatingPointRange
{
  double from_value{0.0};
  double to_value{0.0};
  double step{0.0};

  SWEEPMEND_COMPAT_MSG_ALIASES(FloatingPointRange);
  bool operator==(const FloatingPointRange & o) const
  {
    return from_value == o.from_value && to_value == o.to_value && step == o.step;
  }
  bool operator!=(const FloatingPointRange & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace rcl_interfaces

SWEEPMEND_COMPAT_MSG_NAME(rcl_interfaces::msg::FloatingPointRange, "rcl_interfaces/msg/FloatingPointRange", "rcl_interfaces::msg::FloatingPointRange")

#endif  // RCL_INTERFACES__MSG__FLOATING_POINT_RANGE_HPP_
