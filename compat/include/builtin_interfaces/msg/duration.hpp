#ifndef BUILTIN_INTERFACES__MSG__DURATION_HPP_
#define BUILTIN_INTERFACES__MSG__DURATION_HPP_

#include <cstdint>
#include <memory>

#include "rosidl_runtime_cpp/message_traits.hpp"

namespace builtin_interfaces
{
namespace msg
{
/// builtin_interfaces/msg/Duration: seconds and nanoseconds.
struct Duration
{
  int32_t sec{0};
  uint32_t nanosec{0};

  SWEEPMEND_COMPAT_MSG_ALIASES(Duration);
  bool operator==(const Duration & o) const {return sec == o.sec && nanosec == o.nanosec;}
  bool operator!=(const Duration & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace builtin_interfaces

SWEEPMEND_COMPAT_MSG_NAME(builtin_interfaces::msg::Duration, "builtin_interfaces/msg/Duration", "builtin_interfaces::msg::Duration")

#endif  // BUILTIN_INTERFACES__MSG__DURATION_HPP_
