// rclcpp::Node: name, namespace, parameters, clock, publishers, subscriptions and timers.
#ifndef RCLCPP__NODE_HPP_
#define RCLCPP__NODE_HPP_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/any_subscription_callback.hpp"
#include "rclcpp/callback_group.hpp"
#include "rclcpp/clock.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/duration.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/logger.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_parameters.hpp"
#include "rclcpp/node_interfaces/node_timers_interface.hpp"
#include "rclcpp/node_interfaces/node_topics_interface.hpp"
#include "rclcpp/node_options.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"
#include "rclcpp/publisher.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription.hpp"
#include "rclcpp/subscription_options.hpp"
#include "rclcpp/time.hpp"
#include "rclcpp/timer.hpp"
#include "rcutils/macros.h"

namespace rclcpp
{

namespace detail
{
class TimeSource;

/// Checks a wall-timer period and converts it to nanoseconds, as rclcpp does.
template<typename DurationRepT, typename DurationT>
std::chrono::nanoseconds
safe_cast_to_period_in_ns(std::chrono::duration<DurationRepT, DurationT> period)
{
  if (period < std::chrono::duration<DurationRepT, DurationT>::zero()) {
    throw std::invalid_argument{"timer period cannot be negative"};
  }
  // Compared in double so that a period beyond the range of nanoseconds cannot overflow.
  constexpr auto maximum_safe_cast_ns =
    std::chrono::nanoseconds::max() - std::chrono::duration<DurationRepT, DurationT>(1);
  constexpr auto ns_max_as_double =
    std::chrono::duration_cast<std::chrono::duration<double, std::chrono::nanoseconds::period>>(
    maximum_safe_cast_ns);
  if (period > ns_max_as_double) {
    throw std::invalid_argument{
            "timer period must be less than std::chrono::nanoseconds::max()"};
  }
  const auto period_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(period);
  if (period_ns < std::chrono::nanoseconds::zero()) {
    throw std::runtime_error{
            "Casting timer period to nanoseconds resulted in integer overflow."};
  }
  return period_ns;
}
}  // namespace detail

/// A steady-clock timer added to a node.
template<typename DurationRepT, typename DurationT, typename CallbackT>
typename rclcpp::WallTimer<CallbackT>::SharedPtr
create_wall_timer(
  std::chrono::duration<DurationRepT, DurationT> period,
  CallbackT callback,
  rclcpp::CallbackGroup::SharedPtr group,
  node_interfaces::NodeBaseInterface * node_base,
  node_interfaces::NodeTimersInterface * node_timers)
{
  if (node_base == nullptr) {
    throw std::invalid_argument{"input node_base cannot be null"};
  }
  if (node_timers == nullptr) {
    throw std::invalid_argument{"input node_timers cannot be null"};
  }
  const std::chrono::nanoseconds period_ns = detail::safe_cast_to_period_in_ns(period);
  auto timer = rclcpp::WallTimer<CallbackT>::make_shared(
    period_ns, std::move(callback), node_base->get_context());
  node_timers->add_timer(timer, group);
  return timer;
}

/// A ROS 2 node. Construction validates and remaps the name and namespace, applies the launch-time
/// parameter overrides and declares `use_sim_time`; with `use_sim_time` true the node clock
/// follows /clock.
class Node : public std::enable_shared_from_this<Node>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Node)

  explicit Node(const std::string & node_name, const NodeOptions & options = NodeOptions());
  explicit Node(
    const std::string & node_name, const std::string & namespace_,
    const NodeOptions & options = NodeOptions());
  Node(const Node &) = delete;
  Node & operator=(const Node &) = delete;
  virtual ~Node();

  /// Node name (after remapping).
  const char * get_name() const;
  /// Absolute namespace (after remapping).
  const char * get_namespace() const;
  /// "/namespace/name".
  const char * get_fully_qualified_name() const;
  /// Logger named "ns.sub.name" (dots for the namespace's slashes; just the name at the root).
  rclcpp::Logger get_logger() const;

  rclcpp::CallbackGroup::SharedPtr create_callback_group(
    rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node = true);

  /// Publisher on `topic_name` (relative names are resolved against the namespace).
  template<
    typename MessageT, typename AllocatorT = std::allocator<void>,
    typename PublisherT = rclcpp::Publisher<MessageT, AllocatorT>>
  std::shared_ptr<PublisherT>
  create_publisher(
    const std::string & topic_name, const rclcpp::QoS & qos,
    const PublisherOptionsWithAllocator<AllocatorT> & options =
    PublisherOptionsWithAllocator<AllocatorT>())
  {
    const std::string resolved = node_topics_->resolve_topic_name(topic_name);
    auto publisher = std::make_shared<PublisherT>(
      node_base_->get_context(), resolved,
      declare_qos_parameters(options.qos_overriding_options, resolved, qos, "publisher"),
      options, get_fully_qualified_name());
    node_topics_->add_publisher(publisher, options.callback_group);
    return publisher;
  }

  /// Subscription on `topic_name`; `callback` takes the message as `const MessageT &`,
  /// `MessageT::ConstSharedPtr` (by value or const reference), `std::unique_ptr<MessageT>` or the
  /// deprecated `MessageT::SharedPtr`, optionally followed by `const rclcpp::MessageInfo &`.
  template<
    typename MessageT, typename CallbackT, typename AllocatorT = std::allocator<void>,
    typename SubscriptionT = rclcpp::Subscription<MessageT, AllocatorT>>
  std::shared_ptr<SubscriptionT>
  create_subscription(
    const std::string & topic_name, const rclcpp::QoS & qos, CallbackT && callback,
    const SubscriptionOptionsWithAllocator<AllocatorT> & options =
    SubscriptionOptionsWithAllocator<AllocatorT>())
  {
    const std::string resolved = node_topics_->resolve_topic_name(topic_name);
    AnySubscriptionCallback<MessageT, AllocatorT> any_callback;
    any_callback.set(std::forward<CallbackT>(callback));
    auto subscription = std::make_shared<SubscriptionT>(
      node_base_->get_context(), resolved,
      declare_qos_parameters(options.qos_overriding_options, resolved, qos, "subscription"),
      std::move(any_callback), options, get_fully_qualified_name());
    node_topics_->add_subscription(subscription, options.callback_group);
    return subscription;
  }

  /// Timer on the steady clock (not affected by use_sim_time).
  template<typename DurationRepT = int64_t, typename DurationT = std::milli, typename CallbackT>
  typename rclcpp::WallTimer<CallbackT>::SharedPtr
  create_wall_timer(
    std::chrono::duration<DurationRepT, DurationT> period, CallbackT callback,
    rclcpp::CallbackGroup::SharedPtr group = nullptr)
  {
    return rclcpp::create_wall_timer(
      period, std::move(callback), group, node_base_.get(), node_timers_.get());
  }

  // ---- parameters ----

  const rclcpp::ParameterValue &
  declare_parameter(
    const std::string & name, const rclcpp::ParameterValue & default_value,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
    rcl_interfaces::msg::ParameterDescriptor(),
    bool ignore_override = false);

  const rclcpp::ParameterValue &
  declare_parameter(
    const std::string & name, rclcpp::ParameterType type,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
    rcl_interfaces::msg::ParameterDescriptor{},
    bool ignore_override = false);

  /// Declares with a typed default and returns the resulting value by copy.
  template<typename ParameterT>
  auto
  declare_parameter(
    const std::string & name, const ParameterT & default_value,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
    rcl_interfaces::msg::ParameterDescriptor(),
    bool ignore_override = false)
  {
    try {
      return this->declare_parameter(
        name, rclcpp::ParameterValue(default_value), parameter_descriptor, ignore_override
      ).template get<ParameterT>();
    } catch (const ParameterTypeException & ex) {
      throw exceptions::InvalidParameterTypeException(name, ex.what());
    }
  }

  /// Declares a statically typed parameter of ParameterT without default; throws
  /// UninitializedStaticallyTypedParameterException when no override gives it a value.
  template<typename ParameterT>
  auto
  declare_parameter(
    const std::string & name,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
    rcl_interfaces::msg::ParameterDescriptor(),
    bool ignore_override = false)
  {
    // ParameterValue maps the C++ type to its parameter type.
    rclcpp::ParameterValue value{ParameterT{}};
    try {
      return this->declare_parameter(
        name, value.get_type(), parameter_descriptor, ignore_override
      ).template get<ParameterT>();
    } catch (const ParameterTypeException &) {
      throw exceptions::UninitializedStaticallyTypedParameterException(name);
    }
  }

  /// Declares "<namespace>.<key>" for every entry (just "<key>" for an empty namespace).
  template<typename ParameterT>
  std::vector<ParameterT>
  declare_parameters(
    const std::string & namespace_, const std::map<std::string, ParameterT> & parameters,
    bool ignore_overrides = false)
  {
    std::vector<ParameterT> result;
    const std::string prefix = namespace_.empty() ? "" : namespace_ + ".";
    for (const auto & element : parameters) {
      result.push_back(
        static_cast<ParameterT>(
          this->declare_parameter(
            prefix + element.first, element.second,
            rcl_interfaces::msg::ParameterDescriptor(), ignore_overrides)));
    }
    return result;
  }

  template<typename ParameterT>
  std::vector<ParameterT>
  declare_parameters(
    const std::string & namespace_,
    const std::map<
      std::string, std::pair<ParameterT, rcl_interfaces::msg::ParameterDescriptor>> & parameters,
    bool ignore_overrides = false)
  {
    std::vector<ParameterT> result;
    const std::string prefix = namespace_.empty() ? "" : namespace_ + ".";
    for (const auto & element : parameters) {
      result.push_back(
        static_cast<ParameterT>(
          this->declare_parameter(
            prefix + element.first, element.second.first, element.second.second,
            ignore_overrides)));
    }
    return result;
  }

  void undeclare_parameter(const std::string & name);
  bool has_parameter(const std::string & name) const;

  rcl_interfaces::msg::SetParametersResult set_parameter(const rclcpp::Parameter & parameter);
  std::vector<rcl_interfaces::msg::SetParametersResult>
  set_parameters(const std::vector<rclcpp::Parameter> & parameters);
  rcl_interfaces::msg::SetParametersResult
  set_parameters_atomically(const std::vector<rclcpp::Parameter> & parameters);

  /// Throws ParameterNotDeclaredException / ParameterUninitializedException.
  rclcpp::Parameter get_parameter(const std::string & name) const;
  /// False (output untouched) if undeclared or unset.
  bool get_parameter(const std::string & name, rclcpp::Parameter & parameter) const;

  /// False (output untouched) if undeclared or unset; throws
  /// exceptions::InvalidParameterTypeException when the stored type is not the one ParameterT
  /// maps to.
  template<typename ParameterT>
  bool get_parameter(const std::string & name, ParameterT & parameter) const
  {
    return node_interfaces::get_parameter_as(*node_parameters_, name, parameter);
  }

  /// Like get_parameter, but assigns `alternative_value` when it returns false.
  template<typename ParameterT>
  bool get_parameter_or(
    const std::string & name, ParameterT & parameter,
    const ParameterT & alternative_value) const
  {
    const bool got_parameter = get_parameter(name, parameter);
    if (!got_parameter) {
      parameter = alternative_value;
    }
    return got_parameter;
  }

  template<typename ParameterT>
  ParameterT get_parameter_or(const std::string & name, const ParameterT & alternative_value) const
  {
    ParameterT parameter;
    get_parameter_or(name, parameter, alternative_value);
    return parameter;
  }

  std::vector<rclcpp::Parameter> get_parameters(const std::vector<std::string> & names) const;

  /// Every parameter "<prefix>.<key>" as values[key]; false if there is none.
  template<typename ParameterT>
  bool get_parameters(
    const std::string & prefix, std::map<std::string, ParameterT> & values) const
  {
    std::map<std::string, rclcpp::Parameter> params;
    const bool result = node_parameters_->get_parameters_by_prefix(prefix, params);
    if (result) {
      for (const auto & param : params) {
        values[param.first] = static_cast<ParameterT>(param.second.get_value<ParameterT>());
      }
    }
    return result;
  }

  rcl_interfaces::msg::ParameterDescriptor describe_parameter(const std::string & name) const;
  std::vector<rcl_interfaces::msg::ParameterDescriptor>
  describe_parameters(const std::vector<std::string> & names) const;

  using OnSetParametersCallbackHandle = node_interfaces::OnSetParametersCallbackHandle;
  using OnParametersSetCallbackType = OnSetParametersCallbackHandle::OnParametersSetCallbackType;

  // The callback lives only as long as the returned handle.
  RCUTILS_WARN_UNUSED
  OnSetParametersCallbackHandle::SharedPtr
  add_on_set_parameters_callback(OnParametersSetCallbackType callback);
  void remove_on_set_parameters_callback(const OnSetParametersCallbackHandle * const handler);

  // ---- time ----

  /// The node clock (RCL_ROS_TIME; follows /clock when use_sim_time is true).
  rclcpp::Clock::SharedPtr get_clock();
  rclcpp::Clock::ConstSharedPtr get_clock() const;
  /// Current time of the node clock.
  rclcpp::Time now() const;

  // ---- graph ----

  /// Number of publishers / subscriptions on a topic (resolved like create_publisher does).
  size_t count_publishers(const std::string & topic_name) const;
  size_t count_subscribers(const std::string & topic_name) const;
  /// Every topic in the graph with its type names, e.g. {"/livox/imu", {"sensor_msgs/msg/Imu"}}.
  std::map<std::string, std::vector<std::string>> get_topic_names_and_types() const;

  const std::string & get_sub_namespace() const;
  const std::string & get_effective_namespace() const;

  // ---- interfaces ----

  node_interfaces::NodeBaseInterface::SharedPtr get_node_base_interface();
  node_interfaces::NodeTimersInterface::SharedPtr get_node_timers_interface();
  node_interfaces::NodeTopicsInterface::SharedPtr get_node_topics_interface();
  node_interfaces::NodeParameters::SharedPtr get_node_parameters_interface();

  const NodeOptions & get_node_options() const;

private:
  /// Declares read-only `qos_overrides.<topic>.<entity>[_<id>].<policy>` parameters for the
  /// policies in `options` (launch overrides apply) and returns the QoS they describe.
  rclcpp::QoS declare_qos_parameters(
    const QosOverridingOptions & options, const std::string & resolved_topic,
    const rclcpp::QoS & qos, const char * entity);

  NodeOptions node_options_;
  node_interfaces::NodeBaseInterface::SharedPtr node_base_;
  node_interfaces::NodeTimersInterface::SharedPtr node_timers_;
  node_interfaces::NodeTopicsInterface::SharedPtr node_topics_;
  node_interfaces::NodeParameters::SharedPtr node_parameters_;
  rclcpp::Clock::SharedPtr clock_;
  std::shared_ptr<detail::TimeSource> time_source_;
  std::string logger_name_;
  std::string sub_namespace_;
  std::string effective_namespace_;
  // The node as its transport knows it (announced to other processes by a networked transport).
  std::uint64_t transport_node_id_{0};
};

}  // namespace rclcpp

#include "rclcpp/create_publisher.hpp"
#include "rclcpp/create_subscription.hpp"
#include "rclcpp/create_timer.hpp"

#endif  // RCLCPP__NODE_HPP_
