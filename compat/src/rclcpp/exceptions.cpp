#include "rclcpp/exceptions/exceptions.hpp"

#include <string>
#include <utility>
#include <vector>

using namespace std::string_literals;

namespace rclcpp
{
namespace exceptions
{

std::string
NameValidationError::format_error(
  const char * name_type, const char * name, const char * error_msg, size_t invalid_index)
{
  std::string msg = "";
  msg += "Invalid "s + name_type + ": "s + error_msg + ":\n"s;
  msg += "  '"s + name + "'\n"s;
  msg += "   "s + std::string(invalid_index, ' ') + "^\n"s;
  return msg;
}

std::exception_ptr
from_rcl_error(
  rcl_ret_t ret, const std::string & prefix, const rcl_error_state_t * error_state,
  void (* reset_error)())
{
  if (RCL_RET_OK == ret) {
    throw std::invalid_argument("ret is RCL_RET_OK");
  }
  if (!error_state) {
    error_state = rcl_get_error_state();
  }
  if (!error_state) {
    throw std::runtime_error("rcl error state is not set");
  }
  std::string formatted_prefix = prefix;
  if (!prefix.empty()) {
    formatted_prefix += ": ";
  }
  RCLErrorBase base_exc(ret, error_state);
  if (reset_error) {
    reset_error();
  }
  switch (ret) {
    case RCL_RET_BAD_ALLOC:
      return std::make_exception_ptr(RCLBadAlloc(base_exc));
    case RCL_RET_INVALID_ARGUMENT:
      return std::make_exception_ptr(RCLInvalidArgument(base_exc, formatted_prefix));
    case RCL_RET_INVALID_ROS_ARGS:
      return std::make_exception_ptr(RCLInvalidROSArgsError(base_exc, formatted_prefix));
    default:
      return std::make_exception_ptr(RCLError(base_exc, formatted_prefix));
  }
}

void
throw_from_rcl_error(
  rcl_ret_t ret, const std::string & prefix, const rcl_error_state_t * error_state,
  void (* reset_error)())
{
  std::rethrow_exception(from_rcl_error(ret, prefix, error_state, reset_error));
}

// The formatted text is built from the given state (rather than from whatever the thread's error
// is now) so that a saved state still describes itself.
RCLErrorBase::RCLErrorBase(rcl_ret_t ret, const rcl_error_state_t * error_state)
: ret(ret), message(error_state->message), file(error_state->file),
  line(static_cast<size_t>(error_state->line_number)),
  formatted_message(message + ", at " + file + ":" + std::to_string(line))
{}

RCLError::RCLError(
  rcl_ret_t ret, const rcl_error_state_t * error_state, const std::string & prefix)
: RCLError(RCLErrorBase(ret, error_state), prefix)
{}

RCLError::RCLError(const RCLErrorBase & base_exc, const std::string & prefix)
: RCLErrorBase(base_exc), std::runtime_error(prefix + base_exc.formatted_message)
{}

RCLBadAlloc::RCLBadAlloc(rcl_ret_t ret, const rcl_error_state_t * error_state)
: RCLBadAlloc(RCLErrorBase(ret, error_state))
{}

RCLBadAlloc::RCLBadAlloc(const RCLErrorBase & base_exc)
: RCLErrorBase(base_exc), std::bad_alloc()
{}

RCLInvalidArgument::RCLInvalidArgument(
  rcl_ret_t ret, const rcl_error_state_t * error_state, const std::string & prefix)
: RCLInvalidArgument(RCLErrorBase(ret, error_state), prefix)
{}

RCLInvalidArgument::RCLInvalidArgument(const RCLErrorBase & base_exc, const std::string & prefix)
: RCLErrorBase(base_exc), std::invalid_argument(prefix + base_exc.formatted_message)
{}

RCLInvalidROSArgsError::RCLInvalidROSArgsError(
  rcl_ret_t ret, const rcl_error_state_t * error_state, const std::string & prefix)
: RCLInvalidROSArgsError(RCLErrorBase(ret, error_state), prefix)
{}

RCLInvalidROSArgsError::RCLInvalidROSArgsError(
  const RCLErrorBase & base_exc, const std::string & prefix)
: RCLErrorBase(base_exc), std::runtime_error(prefix + base_exc.formatted_message)
{}

namespace
{
std::string join_unknown(const std::vector<std::string> & args)
{
  std::string joined;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) {
      joined += "', '";
    }
    joined += args[i];
  }
  return joined;
}
}  // namespace

UnknownROSArgsError::UnknownROSArgsError(std::vector<std::string> && unknown_ros_args_in)
: std::runtime_error("found unknown ROS arguments: '" + join_unknown(unknown_ros_args_in) + "'"),
  unknown_ros_args(std::move(unknown_ros_args_in))
{}

}  // namespace exceptions
}  // namespace rclcpp
