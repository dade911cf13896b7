#ifndef RCL_INTERFACES__MSG__PARAMETER_VALUE_HPP_
#define RCL_INTERFACES__MSG__PARAMETER_VALUE_HPP_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"

namespace rcl_interfaces
{
namespace msg
{
/// rcl_interfaces/msg/ParameterValue: a tagged union; `type` (a ParameterType code) says which
/// member holds the value.
struct ParameterValue
{
  uint8_t type{0};
  bool bool_value{false};
  int64_t integer_value{0};
  double double_value{0.0};
  std::string string_value;
  std::vector<unsigned char> byte_array_value;
  std::vector<bool> bool_array_value;
  std::vector<int64_t> integer_array_value;
  std::vector<double> double_array_value;
  std::vector<std::string> string_array_value;

  SWEEPMEND_COMPAT_MSG_ALIASES(ParameterValue);
  bool operator==(const ParameterValue & o) const
  {
    return type == o.type && bool_value == o.bool_value && integer_value == o.integer_value &&
           double_value == o.double_value && string_value == o.string_value &&
           byte_array_value == o.byte_array_value && bool_array_value == o.bool_array_value &&
           integer_array_value == o.integer_array_value &&
           double_array_value == o.double_array_value &&
           string_array_value == o.string_array_value;
  }
  bool operator!=(const ParameterValue & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace rcl_interfaces

SWEEPMEND_COMPAT_MSG_NAME(rcl_interfaces::msg::ParameterValue, "rcl_interfaces/msg/ParameterValue", "rcl_interfaces::msg::ParameterValue")

#endif  // RCL_INTERFACES__MSG__PARAMETER_VALUE_HPP_
