#include "rclcpp/logger.hpp"

#include <string>

#include "rcl/types.h"
#include "rclcpp/exceptions.hpp"
#include "rcutils/error_handling.h"

namespace rclcpp
{

Logger
get_logger(const std::string & name)
{
  return rclcpp::Logger(name);
}

void
Logger::set_level(Level level)
{
  const rcutils_ret_t ret =
    rcutils_logging_set_logger_level(get_name(), static_cast<int>(level));
  if (ret == RCUTILS_RET_OK) {
    return;
  }
  if (ret == RCUTILS_RET_INVALID_ARGUMENT) {
    exceptions::throw_from_rcl_error(
      RCL_RET_INVALID_ARGUMENT, "Invalid parameter", rcutils_get_error_state(),
      rcutils_reset_error);
  }
  exceptions::throw_from_rcl_error(
    RCL_RET_ERROR, "Couldn't set logger level", rcutils_get_error_state(), rcutils_reset_error);
}

}  // namespace rclcpp
