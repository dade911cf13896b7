#ifndef RCL_INTERFACES__MSG__LOG_HPP_
#define RCL_INTERFACES__MSG__LOG_HPP_

#include <cstdint>
#include <memory>
#include <string>

#include "rosidl_runtime_cpp/message_traits.hpp"
#include "builtin_interfaces/msg/time.hpp"

namespace rcl_interfaces
{
namespace msg
{
/// rcl_interfaces/msg/Log: one log record as nodes publish it on /rosout.
struct Log
{
  static constexpr uint8_t DEBUG = 10;
  static constexpr uint8_t INFO = 20;
  static constexpr uint8_t WARN = 30;
  static constexpr uint8_t ERROR = 40;
  static constexpr uint8_t FATAL = 50;

  builtin_interfaces::msg::Time stamp;
  uint8_t level{0};
  /// Logger name, e.g. "harrow_node".
  std::string name;
  std::string msg;
  std::string file;
  std::string function;
  uint32_t line{0};

  SWEEPMEND_COMPAT_MSG_ALIASES(Log);
  bool operator==(const Log & o) const
  {
    return stamp == o.stamp && level == o.level && name == o.name && msg == o.msg &&
           file == o.file && function == o.function && line == o.line;
  }
  bool operator!=(const Log & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace rcl_interfaces

SWEEPMEND_COMPAT_MSG_NAME(rcl_interfaces::msg::Log, "rcl_interfaces/msg/Log", "rcl_interfaces::msg::Log")

#endif  // RCL_INTERFACES__MSG__LOG_HPP_
