#ifndef RCL_INTERFACES__MSG__PARAMETER_TYPE_HPP_
#define RCL_INTERFACES__MSG__PARAMETER_TYPE_HPP_

#include <cstdint>
#include <memory>

#include "rosidl_runtime_cpp/message_traits.hpp"

namespace rcl_interfaces
{
namespace msg
{
/// rcl_interfaces/msg/ParameterType: the type codes of a parameter value (constants only).
struct ParameterType
{
  static constexpr uint8_t PARAMETER_NOT_SET = 0u;
  static constexpr uint8_t PARAMETER_BOOL = 1u;
  static constexpr uint8_t PARAMETER_INTEGER = 2u;
  static constexpr uint8_t PARAMETER_DOUBLE = 3u;
  static constexpr uint8_t PARAMETER_STRING = 4u;
  static constexpr uint8_t PARAMETER_BYTE_ARRAY = 5u;
  static constexpr uint8_t PARAMETER_BOOL_ARRAY = 6u;
  static constexpr uint8_t PARAMETER_INTEGER_ARRAY = 7u;
  static constexpr uint8_t PARAMETER_DOUBLE_ARRAY = 8u;
  static constexpr uint8_t PARAMETER_STRING_ARRAY = 9u;

  SWEEPMEND_COMPAT_MSG_ALIASES(ParameterType);
  bool operator==(const ParameterType &) const {return true;}
  bool operator!=(const ParameterType &) const {return false;}
};
}  // namespace msg
}  // namespace rcl_interfaces

SWEEPMEND_COMPAT_MSG_NAME(rcl_interfaces::msg::ParameterType, "rcl_interfaces/msg/ParameterType", "rcl_interfaces::msg::ParameterType")

#endif  // RCL_INTERFACES__MSG__PARAMETER_TYPE_HPP_
