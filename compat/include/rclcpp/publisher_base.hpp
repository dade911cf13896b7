// Type-independent part of a publisher.
#ifndef RCLCPP__PUBLISHER_BASE_HPP_
#define RCLCPP__PUBLISHER_BASE_HPP_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "rclcpp/context.hpp"
#include "rclcpp/detail/transport.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/qos.hpp"

namespace rclcpp
{

/// A registered publisher endpoint; unregisters when destroyed.
class PublisherBase : public std::enable_shared_from_this<PublisherBase>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(PublisherBase)

  /// `topic_name` must already be resolved (absolute, remapped).
  PublisherBase(
    rclcpp::Context::SharedPtr context, const std::string & topic_name,
    const std::string & type_name, const rclcpp::QoS & qos, const std::string & node_name);
  PublisherBase(const PublisherBase &) = delete;
  PublisherBase & operator=(const PublisherBase &) = delete;
  virtual ~PublisherBase();

  /// Fully qualified topic name.
  const char * get_topic_name() const;
  /// Number of subscriptions this publisher reaches (same topic, type and compatible QoS).
  size_t get_subscription_count() const;
  size_t get_intra_process_subscription_count() const;
  /// Depth of the publisher's history.
  size_t get_queue_size() const;
  rclcpp::QoS get_actual_qos() const;

  /// Waits until every matched subscription acknowledged every published message, at most
  /// `timeout` (negative: without limit); true if they did. Here a publish hands the message to
  /// every matched subscription before it returns, so this never has to wait.
  template<typename DurationRepT = int64_t, typename DurationT = std::milli>
  bool wait_for_all_acked(
    std::chrono::duration<DurationRepT, DurationT> timeout =
    std::chrono::duration<DurationRepT, DurationT>(-1)) const
  {
    static_cast<void>(timeout);
    return true;
  }

protected:
  /// True if a message published now would reach anybody (now or, transient local, later).
  bool has_receivers() const;
  /// Hands a message to the transport; silently dropped once the context is shut down.
  void publish_message(detail::MessagePtr message);

private:
  rclcpp::Context::SharedPtr context_;
  std::string topic_name_;
  rclcpp::QoS qos_;
  detail::Transport::EndpointId endpoint_id_;
};

}  // namespace rclcpp

#endif  // RCLCPP__PUBLISHER_BASE_HPP_
