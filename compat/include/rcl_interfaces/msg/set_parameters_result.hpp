#ifndef RCL_INTERFACES__MSG__SET_PARAMETERS_RESULT_HPP_
#define RCL_INTERFACES__MSG__SET_PARAMETERS_RESULT_HPP_

#include <memory>
#include <string>

#include "rosidl_runtime_cpp/message_traits.hpp"

namespace rcl_interfaces
{
namespace msg
{
/// rcl_interfaces/msg/SetParametersResult: whether a set succeeded and, if not, why.
struct SetParametersResult
{
  bool successful{false};
  std::string reason;

  SWEEPMEND_COMPAT_MSG_ALIASES(SetParametersResult);
  bool operator==(const SetParametersResult & o) const
  {
    return successful == o.successful && reason == o.reason;
  }
  bool operator!=(const SetParametersResult & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace rcl_interfaces

SWEEPMEND_COMPAT_MSG_NAME(rcl_interfaces::msg::SetParametersResult, "rcl_interfaces/msg/SetParametersResult", "rcl_interfaces::msg::SetParametersResult")

#endif  // RCL_INTERFACES__MSG__SET_PARAMETERS_RESULT_HPP_
