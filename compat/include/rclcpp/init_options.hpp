// Options of rclcpp::init: allocator, domain id, logging and signal behaviour.
#ifndef RCLCPP__INIT_OPTIONS_HPP_
#define RCLCPP__INIT_OPTIONS_HPP_

#include <cstddef>
#include <cstdint>

#include "rcl/allocator.h"

namespace rclcpp
{

/// Options for initialising a context (rclcpp::init / Context::init).
class InitOptions
{
public:
  /// When true (the default) SIGINT/SIGTERM shut the context down.
  bool shutdown_on_signal = true;

  explicit InitOptions(rcl_allocator_t allocator = rcl_get_default_allocator());
  InitOptions(const InitOptions & other);
  InitOptions & operator=(const InitOptions & other);
  virtual ~InitOptions();

  /// Whether init configures logging (default true).
  bool auto_initialize_logging() const;
  InitOptions & auto_initialize_logging(bool initialize_logging);

  /// DDS domain id; SIZE_MAX means "take ROS_DOMAIN_ID or 0".
  InitOptions & set_domain_id(size_t domain_id);
  size_t get_domain_id() const;
  void use_default_domain_id();

  const rcl_allocator_t & get_allocator() const;

private:
  rcl_allocator_t allocator_;
  size_t domain_id_;
  bool initialize_logging_{true};
};

}  // namespace rclcpp

#endif  // RCLCPP__INIT_OPTIONS_HPP_
