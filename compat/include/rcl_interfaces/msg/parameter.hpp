#ifndef RCL_INTERFACES__MSG__PARAMETER_HPP_
#define RCL_INTERFACES__MSG__PARAMETER_HPP_

#include <memory>
#include <string>

#include "rosidl_runtime_cpp/message_traits.hpp"
#include "rcl_interfaces/msg/parameter_value.hpp"

namespace rcl_interfaces
{
namespace msg
{
/// rcl_interfaces/msg/Parameter: a named parameter value.
struct Parameter
{
  std::string name;
  rcl_interfaces::msg::ParameterValue value;

  SWEEPMEND_COMPAT_MSG_ALIASES(Parameter);
  bool operator==(const Parameter & o) const {return name == o.name && value == o.value;}
  bool operator!=(const Parameter & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace rcl_interfaces

SWEEPMEND_COMPAT_MSG_NAME(rcl_interfaces::msg::Parameter, "rcl_interfaces/msg/Parameter", "rcl_interfaces::msg::Parameter")

#endif  // RCL_INTERFACES__MSG__PARAMETER_HPP_
