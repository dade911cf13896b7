// Result of spinning until a future completes.
#ifndef RCLCPP__FUTURE_RETURN_CODE_HPP_
#define RCLCPP__FUTURE_RETURN_CODE_HPP_

#include <ostream>
#include <string>

namespace rclcpp
{

enum class FutureReturnCode {SUCCESS, INTERRUPTED, TIMEOUT};

inline std::string to_string(const FutureReturnCode & future_return_code)
{
  switch (future_return_code) {
    case FutureReturnCode::SUCCESS: return "SUCCESS (0)";
    case FutureReturnCode::INTERRUPTED: return "INTERRUPTED (1)";
    case FutureReturnCode::TIMEOUT: return "TIMEOUT (2)";
  }
  return "UNKNOWN";
}

inline std::ostream & operator<<(std::ostream & os, const FutureReturnCode & future_return_code)
{
  return os << to_string(future_return_code);
}

}  // namespace rclcpp

#endif  // RCLCPP__FUTURE_RETURN_CODE_HPP_
