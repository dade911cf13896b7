#ifndef RCL_INTERFACES__MSG__PARAMETER_EVENT_HPP_
#define RCL_INTERFACES__MSG__PARAMETER_EVENT_HPP_

#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"
#include "builtin_interfaces/msg/time.hpp"
#include "rcl_interfaces/msg/parameter.hpp"

namespace rcl_interfaces
{
namespace msg
{
/// rcl_interfaces/msg/ParameterEvent: the parameters a node declared, changed or removed.
struct ParameterEvent
{
  builtin_interfaces::msg::Time stamp;
  std::string node;
  std::vector<rcl_interfaces::msg::Parameter> new_parameters;
  std::vector<rcl_interfaces::msg::Parameter> changed_parameters;
  std::vector<rcl_interfaces::msg::Parameter> deleted_parameters;

  SWEEPMEND_COMPAT_MSG_ALIASES(ParameterEvent);
  bool operator==(const ParameterEvent & o) const
  {
    return stamp == o.stamp && node == o.node && new_parameters == o.new_parameters &&
           changed_parameters == o.changed_parameters &&
           deleted_parameters == o.deleted_parameters;
  }
  bool operator!=(const ParameterEvent & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace rcl_interfaces

SWEEPMEND_COMPAT_MSG_NAME(rcl_interfaces::msg::ParameterEvent, "rcl_interfaces/msg/ParameterEvent", "rcl_interfaces::msg::ParameterEvent")

#endif  // RCL_INTERFACES__MSG__PARAMETER_EVENT_HPP_
