#ifndef RCL_INTERFACES__MSG__INTEGER_RANGE_HPP_
#define RCL_INTERFACES__MSG__INTEGER_RANGE_HPP_

#include <cstdint>
#include <memory>

#include "rosidl_runtime_cpp/message_traits.hpp"

namespace rcl_interfaces
{
namespace msg
{
/// rcl_interfaces/msg/IntegerRange: inclusive [from_value, to_value], step 0 = any integer.
struct IntegerRange
{
  int64_t from_value{0};
  int64_t to_value{0};
  uint64_t step{0};

  SWEEPMEND_COMPAT_MSG_ALIASES(IntegerRange);
  bool operator==(const IntegerRange & o) const
  {
    return from_value == o.from_value && to_value == o.to_value && step == o.step;
  }
  bool operator!=(const IntegerRange & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace rcl_interfaces

SWEEPMEND_COMPAT_MSG_NAME(rcl_interfaces::msg::IntegerRange, "rcl_interfaces/msg/IntegerRange", "rcl_interfaces::msg::IntegerRange")

#endif  // RCL_INTERFACES__MSG__INTEGER_RANGE_HPP_
