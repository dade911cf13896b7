// The one seam between publishers/subscriptions and whatever carries their messages.
//
// Publishers and subscriptions never talk to each other directly: they register endpoints with
// the Transport and hand it type-erased shared messages. The in-process graph behind
// get_transport() is the only implementation today; a transport that speaks to other processes
// can implement the same interface (looking up serialisers by `type_name`).
#ifndef RCLCPP__DETAIL__TRANSPORT_HPP_
#define RCLCPP__DETAIL__TRANSPORT_HPP_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rmw/types.h"

namespace rclcpp
{
namespace detail
{

/// A message of any type, shared read-only between all receivers.
using MessagePtr = std::shared_ptr<const void>;

/// What the transport knows about a publisher or a subscription.
struct EndpointInfo
{
  /// Fully qualified, remapped topic name, e.g. "/livox/imu".
  std::string topic_name;
  /// Interface name, e.g. "sensor_msgs/msg/Imu".
  std::string type_name;
  rmw_qos_profile_t qos;
  /// Fully qualified name of the owning node (diagnostics only; may be empty).
  std::string node_name;
};

/// Receiving side of a subscription endpoint.
class MessageSink
{
public:
  virtual ~MessageSink() = default;
  /// Called for every message that reaches the subscription; may run on any thread.
  virtual void receive(const MessagePtr & message) = 0;
};

/// Carries messages from publishers to matching subscriptions.
///
/// A message reaches a subscription when topic name and type name are equal and the QoS is
/// compatible (reliability and durability requested by the subscription are offered by the
/// publisher). Transient-local publishers keep their last `depth` messages for late-joining
/// transient-local subscriptions.
class Transport
{
public:
  using EndpointId = std::uint64_t;

  virtual ~Transport() = default;

  virtual EndpointId add_publisher(const EndpointInfo & info) = 0;
  virtual void remove_publisher(EndpointId publisher) = 0;

  /// The sink is held weakly; an expired sink is skipped.
  virtual EndpointId add_subscription(
    const EndpointInfo & info, const std::shared_ptr<MessageSink> & sink) = 0;
  virtual void remove_subscription(EndpointId subscription) = 0;

  virtual void publish(EndpointId publisher, MessagePtr message) = 0;

  /// True if a publish from `publisher` would reach anybody now or later (matched subscriptions
  /// or transient-local history); lets publishers skip building messages nobody reads.
  virtual bool has_receivers(EndpointId publisher) const = 0;

  virtual size_t matched_subscription_count(EndpointId publisher) const = 0;
  virtual size_t matched_publisher_count(EndpointId subscription) const = 0;

  /// Endpoints on a topic, whatever their type and QoS.
  virtual size_t count_publishers(const std::string & topic_name) const = 0;
  virtual size_t count_subscriptions(const std::string & topic_name) const = 0;

  /// Every topic with at least one publisher or subscription known to the transport, with the
  /// type names used on it (sorted). A transport that cannot enumerate the graph returns nothing.
  virtual std::map<std::string, std::vector<std::string>> topic_names_and_types() const
  {
    return {};
  }
};

/// The transport used by every publisher and subscription of the process.
Transport & get_transport();

/// True if a subscription with `requested` QoS can receive from a publisher `offered` it.
bool qos_compatible(const rmw_qos_profile_t & offered, const rmw_qos_profile_t & requested);

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__TRANSPORT_HPP_
