// Adding publishers and subscriptions to a node.
#ifndef RCLCPP__NODE_INTERFACES__NODE_TOPICS_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_TOPICS_INTERFACE_HPP_

#include <string>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/publisher_base.hpp"
#include "rclcpp/subscription_base.hpp"

namespace rclcpp
{
namespace node_interfaces
{

class NodeTopicsInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeTopicsInterface)

  virtual ~NodeTopicsInterface() = default;

  virtual void add_publisher(
    rclcpp::PublisherBase::SharedPtr publisher,
    rclcpp::CallbackGroup::SharedPtr callback_group) = 0;

  /// Activates the subscription and adds it to `callback_group` (nullptr: default group).
  virtual void add_subscription(
    rclcpp::SubscriptionBase::SharedPtr subscription,
    rclcpp::CallbackGroup::SharedPtr callback_group) = 0;

  virtual rclcpp::node_interfaces::NodeBaseInterface * get_node_base_interface() const = 0;

  /// See NodeBaseInterface::resolve_topic_or_service_name.
  virtual std::string resolve_topic_name(
    const std::string & name, bool only_expand = false) const = 0;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_TOPICS_INTERFACE_HPP_
