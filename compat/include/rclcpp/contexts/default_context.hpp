// The process-wide context that rclcpp::init/ok/shutdown use when given none.
#ifndef RCLCPP__CONTEXTS__DEFAULT_CONTEXT_HPP_
#define RCLCPP__CONTEXTS__DEFAULT_CONTEXT_HPP_

#include "rclcpp/context.hpp"

namespace rclcpp
{
namespace contexts
{

/// The type of the global default context.
class DefaultContext : public rclcpp::Context
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(DefaultContext)

  DefaultContext();
};

/// The global default context (created on first use, lives for the whole process).
DefaultContext::SharedPtr get_global_default_context();

}  // namespace contexts
}  // namespace rclcpp

#endif  // RCLCPP__CONTEXTS__DEFAULT_CONTEXT_HPP_
