// Options of create_subscription.
#ifndef RCLCPP__SUBSCRIPTION_OPTIONS_HPP_
#define RCLCPP__SUBSCRIPTION_OPTIONS_HPP_

#include <memory>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos_overriding_options.hpp"

namespace rclcpp
{

/// Options that do not depend on the allocator.
struct SubscriptionOptionsBase
{
  bool use_default_callbacks = true;
  bool ignore_local_publications = false;
  std::shared_ptr<rclcpp::CallbackGroup> callback_group = nullptr;
  IntraProcessSetting use_intra_process_comm = IntraProcessSetting::NodeDefault;
  QosOverridingOptions qos_overriding_options;
};

/// Subscription options with a (here unused) allocator type.
template<typename Allocator>
struct SubscriptionOptionsWithAllocator : public SubscriptionOptionsBase
{
  std::shared_ptr<Allocator> allocator = nullptr;

  SubscriptionOptionsWithAllocator() {}
  explicit SubscriptionOptionsWithAllocator(const SubscriptionOptionsBase & base)
  : SubscriptionOptionsBase(base) {}
};

using SubscriptionOptions = SubscriptionOptionsWithAllocator<std::allocator<void>>;

}  // namespace rclcpp

#endif  // RCLCPP__SUBSCRIPTION_OPTIONS_HPP_
