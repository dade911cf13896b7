// Options of create_publisher.
#ifndef RCLCPP__PUBLISHER_OPTIONS_HPP_
#define RCLCPP__PUBLISHER_OPTIONS_HPP_

#include <memory>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/qos_overriding_options.hpp"

namespace rclcpp
{

enum class IntraProcessSetting
{
  Enable,
  Disable,
  NodeDefault
};

/// Options that do not depend on the allocator.
struct PublisherOptionsBase
{
  IntraProcessSetting use_intra_process_comm = IntraProcessSetting::NodeDefault;
  bool use_default_callbacks = true;
  std::shared_ptr<rclcpp::CallbackGroup> callback_group;
  QosOverridingOptions qos_overriding_options;
};

/// Publisher options with a (here unused) allocator type.
template<typename Allocator>
struct PublisherOptionsWithAllocator : public PublisherOptionsBase
{
  std::shared_ptr<Allocator> allocator = nullptr;

  PublisherOptionsWithAllocator() {}
  explicit PublisherOptionsWithAllocator(const PublisherOptionsBase & base)
  : PublisherOptionsBase(base) {}
};

using PublisherOptions = PublisherOptionsWithAllocator<std::allocator<void>>;

}  // namespace rclcpp

#endif  // RCLCPP__PUBLISHER_OPTIONS_HPP_
