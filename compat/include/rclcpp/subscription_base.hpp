// Type-independent part of a subscription: the endpoint and its keep-last queue.
#ifndef RCLCPP__SUBSCRIPTION_BASE_HPP_
#define RCLCPP__SUBSCRIPTION_BASE_HPP_

#include <cstddef>
#include <memory>
#include <string>

#include "rclcpp/context.hpp"
#include "rclcpp/detail/transport.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/message_info.hpp"
#include "rclcpp/qos.hpp"

namespace rclcpp
{

/// A subscription endpoint. Incoming messages wait in a queue of the QoS depth (keep-last drops
/// the oldest undelivered message) until an executor takes them one by one.
class SubscriptionBase : public std::enable_shared_from_this<SubscriptionBase>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(SubscriptionBase)

  /// `topic_name` must already be resolved (absolute, remapped).
  SubscriptionBase(
    rclcpp::Context::SharedPtr context, const std::string & topic_name,
    const std::string & type_name, const rclcpp::QoS & qos, const std::string & node_name);
  SubscriptionBase(const SubscriptionBase &) = delete;
  SubscriptionBase & operator=(const SubscriptionBase &) = delete;
  virtual ~SubscriptionBase();

  /// Fully qualified topic name.
  const char * get_topic_name() const;
  /// Number of publishers this subscription hears (same topic, type and compatible QoS).
  size_t get_publisher_count() const;
  rclcpp::QoS get_actual_qos() const;

  /// Compat: registers with the transport; until then nothing is received. Transient-local
  /// history is replayed into the queue here.
  void activate();
  /// Compat: true if a message waits in the queue.
  bool has_message() const;
  /// Compat: takes the oldest queued message and runs the callback with it; false if none.
  bool take_and_execute();

protected:
  /// Removes the oldest queued message; null if none.
  detail::MessagePtr take_message();
  virtual void handle_message(const detail::MessagePtr & message, const MessageInfo & info) = 0;

private:
  class Queue;

  rclcpp::Context::SharedPtr context_;
  std::string topic_name_;
  std::string type_name_;
  rclcpp::QoS qos_;
  std::string node_name_;
  std::shared_ptr<Queue> queue_;
  detail::Transport::EndpointId endpoint_id_{0};
  bool active_{false};
};

}  // namespace rclcpp

#endif  // RCLCPP__SUBSCRIPTION_BASE_HPP_
