// What rclcpp throws when an entity is created in a context that was never initialised or has
// been shut down (by rclcpp::shutdown or by SIGINT/SIGTERM while a node is still starting).
#ifndef RCLCPP__CONTEXT_CHECK_HPP_
#define RCLCPP__CONTEXT_CHECK_HPP_

#include "rcl/error_handling.h"
#include "rcl/types.h"
#include "rclcpp/context.hpp"
#include "rclcpp/exceptions.hpp"

namespace rclcpp
{
namespace detail
{

/// rcl's complaint about a context for guard conditions, timers and nodes.
inline constexpr const char * kInvalidContextText =
  "the given context is not valid, either rcl_init() was not called or rcl_shutdown() was "
  "called.";

/// Entities that need an rcl guard condition (nodes, executors): RCLError
/// "failed to create guard condition: <kInvalidContextText>, at <file>:<line>".
inline void check_context_for_guard_condition(const rclcpp::Context::SharedPtr & context)
{
  if (!context || !context->is_valid()) {
    RCL_SET_ERROR_MSG(kInvalidContextText);
    exceptions::throw_from_rcl_error(RCL_RET_NOT_INIT, "failed to create guard condition");
  }
}

/// Publishers and subscriptions: rcl finds their node invalid once its context is, and rclcpp
/// throws RCLError "<prefix>: rcl node's context is invalid, at <file>:<line>".
inline void check_context_for_node_entity(
  const rclcpp::Context::SharedPtr & context, const char * prefix)
{
  if (!context || !context->is_valid()) {
    RCL_SET_ERROR_MSG("rcl node's context is invalid");
    exceptions::throw_from_rcl_error(RCL_RET_NODE_INVALID, prefix);
  }
}

/// Timers: RCLError "Couldn't initialize rcl timer handle: <kInvalidContextText>, at ...".
inline void check_context_for_timer(const rclcpp::Context::SharedPtr & context)
{
  if (!context || !context->is_valid()) {
    RCL_SET_ERROR_MSG(kInvalidContextText);
    exceptions::throw_from_rcl_error(RCL_RET_NOT_INIT, "Couldn't initialize rcl timer handle");
  }
}

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__CONTEXT_CHECK_HPP_
