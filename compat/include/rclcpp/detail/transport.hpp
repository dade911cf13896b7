// The one seam between publishers/subscriptions and whatever carries their messages.
//
// Publishers and subscriptions never talk to each other directly: they register endpoints with
// the Transport and hand it type-erased shared messages. Two implementations exist: the
// deterministic in-process graph (always present, named "in_process") and, in programs that link
// sweepmend_compat_dds, a Cyclone DDS transport named "rmw_cyclonedds_cpp" that makes the process
// a participant of a ROS 2 graph. get_transport() picks one on first use: RMW_IMPLEMENTATION if it
// is set, otherwise the program's default (see register_transport()).
#ifndef RCLCPP__DETAIL__TRANSPORT_HPP_
#define RCLCPP__DETAIL__TRANSPORT_HPP_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/parameter_event.hpp"
#include "rmw/types.h"

namespace rclcpp
{
class Context;

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
  /// Fully qualified name of the owning node (may be empty); a networked transport lists the
  /// endpoint under that node in its graph announcements.
  std::string node_name;
  /// Context the endpoint belongs to; a networked transport joins the network once per context.
  std::weak_ptr<rclcpp::Context> context;
};

/// What the transport knows about a node.
struct NodeInfo
{
  std::string name;
  /// Absolute namespace, "/" for the root.
  std::string node_namespace;
  /// Fully qualified name, as EndpointInfo::node_name gives it.
  std::string fully_qualified_name;
  /// Name of the node's logger ("ns1.ns2.name").
  std::string logger_name;
  /// Whether the node's log records go to /rosout.
  bool enable_rosout{true};
  /// Whether the node announces parameter changes on /parameter_events.
  bool enable_parameter_events{true};
  std::weak_ptr<rclcpp::Context> context;
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

  /// Nodes, for transports that announce them to other processes; the in-process graph has no
  /// use for them.
  virtual EndpointId add_node(const NodeInfo & /*info*/) {return 0;}
  virtual void remove_node(EndpointId /*node*/) {}
  /// A node's parameters were declared, changed or deleted (the event's `node` is filled in).
  virtual void publish_parameter_event(
    EndpointId /*node*/, const rcl_interfaces::msg::ParameterEvent & /*event*/) {}
};

/// Creates a transport; may throw when the middleware cannot start.
using TransportFactory = std::function<std::unique_ptr<Transport>()>;

/// Name of the in-process transport, as RMW_IMPLEMENTATION selects it.
constexpr const char * kInProcessTransportName = "in_process";

/// Makes a transport selectable by `name` (through RMW_IMPLEMENTATION); with `make_default` it is
/// also used when RMW_IMPLEMENTATION is unset or empty. Call before the first get_transport().
void register_transport(const std::string & name, TransportFactory factory, bool make_default);

/// Overrides the default transport of the program (for example a tool that wants the
/// deterministic in-process graph although it links the DDS transport). RMW_IMPLEMENTATION still
/// wins. Call before the first get_transport().
void set_default_transport(const std::string & name);

/// The transport used by every publisher and subscription of the process. Chosen on first call;
/// throws std::runtime_error if RMW_IMPLEMENTATION names a transport the program does not have.
Transport & get_transport();

/// Name of the transport get_transport() returns (selects it if that has not happened yet).
std::string transport_name();

/// True if a subscription with `requested` QoS can receive from a publisher `offered` it.
bool qos_compatible(const rmw_qos_profile_t & offered, const rmw_qos_profile_t & requested);

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__TRANSPORT_HPP_
