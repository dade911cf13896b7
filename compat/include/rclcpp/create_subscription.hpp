// rclcpp::create_subscription for a node given as pointer, shared pointer or reference.
#ifndef RCLCPP__CREATE_SUBSCRIPTION_HPP_
#define RCLCPP__CREATE_SUBSCRIPTION_HPP_

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/create_timer.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription.hpp"
#include "rclcpp/subscription_options.hpp"

namespace rclcpp
{

template<
  typename MessageT, typename CallbackT, typename AllocatorT = std::allocator<void>,
  typename SubscriptionT = rclcpp::Subscription<MessageT, AllocatorT>, typename NodeT>
std::shared_ptr<SubscriptionT>
create_subscription(
  NodeT && node, const std::string & topic_name, const rclcpp::QoS & qos,
  CallbackT && callback,
  const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options =
  rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>())
{
  auto & node_ref = detail::dereference_node(node);
  return node_ref.template create_subscription<MessageT, CallbackT, AllocatorT, SubscriptionT>(
    topic_name, qos, std::forward<CallbackT>(callback), options);
}

}  // namespace rclcpp

#endif  // RCLCPP__CREATE_SUBSCRIPTION_HPP_
