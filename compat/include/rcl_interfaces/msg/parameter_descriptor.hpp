#ifndef RCL_INTERFACES__MSG__PARAMETER_DESCRIPTOR_HPP_
#define RCL_INTERFACES__MSG__PARAMETER_DESCRIPTOR_HPP_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"
#include "rcl_interfaces/msg/floating_point_range.hpp"
#include "rcl_interfaces/msg/integer_range.hpp"

namespace rcl_interfaces
{
namespace msg
{
/// rcl_interfaces/msg/ParameterDescriptor. The two ranges hold at most one element (bounded
/// sequences of size 1 in the interface definition).
struct ParameterDescriptor
{
  std::string name;
  uint8_t type{0};
  std::string description;
  std::string additional_constraints;
  bool read_only{false};
  bool dynamic_typing{false};
  std::vector<rcl_interfaces::msg::FloatingPointRange> floating_point_range;
  std::vector<rcl_interfaces::msg::IntegerRange> integer_range;

  SWEEPMEND_COMPAT_MSG_ALIASES(ParameterDescriptor);
  bool operator==(const ParameterDescriptor & o) const
  {
    return name == o.name && type == o.type && description == o.description &&
           additional_constraints == o.additional_constraints && read_only == o.read_only &&
           dynamic_typing == o.dynamic_typing &&
           floating_point_range == o.floating_point_range && integer_range == o.integer_range;
  }
  bool operator!=(const ParameterDescriptor & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace rcl_interfaces

SWEEPMEND_COMPAT_MSG_NAME(rcl_interfaces::msg::ParameterDescriptor, "rcl_interfaces/msg/ParameterDescriptor", "rcl_interfaces::msg::ParameterDescriptor")

#endif  // RCL_INTERFACES__MSG__PARAMETER_DESCRIPTOR_HPP_
