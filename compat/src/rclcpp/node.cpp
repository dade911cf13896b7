#include "rclcpp/node.hpp"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "rcl/error_handling.h"
#include "rcl/types.h"
#include "context_check.hpp"
#include "rclcpp/detail/ros_arguments.hpp"
#include "rclcpp/detail/transport.hpp"
#include "rclcpp/exceptions.hpp"
#include "names.hpp"
#include "time_source.hpp"
#include "wake.hpp"

namespace rclcpp
{

namespace
{

class NodeBase : public node_interfaces::NodeBaseInterface
{
public:
  NodeBase(
    std::string name, std::string node_namespace, rclcpp::Context::SharedPtr context,
    detail::RosArguments local_arguments, bool use_global_arguments,
    const NodeOptions & options)
  : name_(std::move(name)), namespace_(std::move(node_namespace)),
    fully_qualified_name_(namespace_ == "/" ? "/" + name_ : namespace_ + "/" + name_),
    context_(std::move(context)), local_arguments_(std::move(local_arguments)),
    use_global_arguments_(use_global_arguments),
    use_intra_process_default_(options.use_intra_process_comms()),
    enable_topic_statistics_default_(options.enable_topic_statistics()),
    default_callback_group_(
      std::make_shared<CallbackGroup>(CallbackGroupType::MutuallyExclusive))
  {
    callback_groups_.push_back(default_callback_group_);
  }

  const char * get_name() const override {return name_.c_str();}
  const char * get_namespace() const override {return namespace_.c_str();}
  const char * get_fully_qualified_name() const override {return fully_qualified_name_.c_str();}
  rclcpp::Context::SharedPtr get_context() override {return context_;}

  rclcpp::CallbackGroup::SharedPtr create_callback_group(
    rclcpp::CallbackGroupType group_type,
    bool automatically_add_to_executor_with_node) override
  {
    auto group = std::make_shared<CallbackGroup>(
      group_type, automatically_add_to_executor_with_node);
    std::lock_guard<std::mutex> lock(groups_mutex_);
    callback_groups_.push_back(group);
    return group;
  }

  rclcpp::CallbackGroup::SharedPtr get_default_callback_group() override
  {
    return default_callback_group_;
  }

  bool callback_group_in_node(rclcpp::CallbackGroup::SharedPtr group) override
  {
    std::lock_guard<std::mutex> lock(groups_mutex_);
    for (const auto & weak : callback_groups_) {
      if (weak.lock() == group) {
        return true;
      }
    }
    return false;
  }

  void for_each_callback_group(const CallbackGroupFunction & func) override
  {
    std::vector<rclcpp::CallbackGroup::SharedPtr> groups;
    {
      std::lock_guard<std::mutex> lock(groups_mutex_);
      for (const auto & weak : callback_groups_) {
        if (auto group = weak.lock()) {
          groups.push_back(std::move(group));
        }
      }
    }
    for (const auto & group : groups) {
      func(group);
    }
  }

  std::atomic_bool & get_associated_with_executor_atomic() override
  {
    return associated_with_executor_;
  }

  bool get_use_intra_process_default() const override {return use_intra_process_default_;}

  bool get_enable_topic_statistics_default() const override
  {
    return enable_topic_statistics_default_;
  }

  std::string resolve_topic_or_service_name(
    const std::string & name, bool /*is_service*/, bool only_expand) const override
  {
    detail::validate_topic_name(name);
    const std::string expanded = detail::expand_topic_name(name, name_, namespace_);
    detail::validate_full_topic_name(expanded);
    if (only_expand) {
      return expanded;
    }
    // Rules given to this node take precedence over the process-wide ones.
    std::string remapped = detail::remapped_topic_name(local_arguments_, name_, namespace_, name);
    if (remapped == expanded && use_global_arguments_) {
      remapped = detail::remapped_topic_name(detail::global_arguments(), name_, namespace_, name);
    }
    if (remapped != expanded) {
      detail::validate_full_topic_name(remapped);
    }
    return remapped;
  }

private:
  std::string name_;
  std::string namespace_;
  std::string fully_qualified_name_;
  rclcpp::Context::SharedPtr context_;
  detail::RosArguments local_arguments_;
  bool use_global_arguments_;
  bool use_intra_process_default_;
  bool enable_topic_statistics_default_;
  rclcpp::CallbackGroup::SharedPtr default_callback_group_;
  std::mutex groups_mutex_;
  std::vector<rclcpp::CallbackGroup::WeakPtr> callback_groups_;
  std::atomic_bool associated_with_executor_{false};
};

rclcpp::CallbackGroup::SharedPtr group_or_default(
  node_interfaces::NodeBaseInterface & node_base, rclcpp::CallbackGroup::SharedPtr group,
  const char * entity)
{
  if (!group) {
    return node_base.get_default_callback_group();
  }
  if (!node_base.callback_group_in_node(group)) {
    throw exceptions::MissingGroupNodeException(entity);
  }
  return group;
}

class NodeTimers : public node_interfaces::NodeTimersInterface
{
public:
  explicit NodeTimers(node_interfaces::NodeBaseInterface * node_base)
  : node_base_(node_base) {}

  void add_timer(
    rclcpp::TimerBase::SharedPtr timer, rclcpp::CallbackGroup::SharedPtr callback_group) override
  {
    group_or_default(*node_base_, std::move(callback_group), "timer")->add_timer(timer);
    detail::wake_signal().notify();
  }

private:
  node_interfaces::NodeBaseInterface * node_base_;
};

class NodeTopics : public node_interfaces::NodeTopicsInterface
{
public:
  explicit NodeTopics(node_interfaces::NodeBaseInterface * node_base)
  : node_base_(node_base) {}

  void add_publisher(
    rclcpp::PublisherBase::SharedPtr /*publisher*/,
    rclcpp::CallbackGroup::SharedPtr callback_group) override
  {
    group_or_default(*node_base_, std::move(callback_group), "publisher");
  }

  void add_subscription(
    rclcpp::SubscriptionBase::SharedPtr subscription,
    rclcpp::CallbackGroup::SharedPtr callback_group) override
  {
    auto group = group_or_default(*node_base_, std::move(callback_group), "subscription");
    subscription->activate();
    group->add_subscription(subscription);
    detail::wake_signal().notify();
  }

  node_interfaces::NodeBaseInterface * get_node_base_interface() const override
  {
    return node_base_;
  }

  std::string resolve_topic_name(const std::string & name, bool only_expand) const override
  {
    return node_base_->resolve_topic_or_service_name(name, false, only_expand);
  }

private:
  node_interfaces::NodeBaseInterface * node_base_;
};

std::string logger_name_for(const std::string & name, const std::string & node_namespace)
{
  if (node_namespace == "/") {
    return name;
  }
  std::string logger_name = node_namespace.substr(1);
  std::replace(logger_name.begin(), logger_name.end(), '/', '.');
  return logger_name + "." + name;
}

const char * history_name(rmw_qos_history_policy_t history)
{
  switch (history) {
    case RMW_QOS_POLICY_HISTORY_KEEP_LAST: return "keep_last";
    case RMW_QOS_POLICY_HISTORY_KEEP_ALL: return "keep_all";
    case RMW_QOS_POLICY_HISTORY_SYSTEM_DEFAULT: return "system_default";
    default: return "unknown";
  }
}

const char * reliability_name(rmw_qos_reliability_policy_t reliability)
{
  switch (reliability) {
    case RMW_QOS_POLICY_RELIABILITY_RELIABLE: return "reliable";
    case RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT: return "best_effort";
    case RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT: return "system_default";
    default: return "unknown";
  }
}

const char * durability_name(rmw_qos_durability_policy_t durability)
{
  switch (durability) {
    case RMW_QOS_POLICY_DURABILITY_VOLATILE: return "volatile";
    case RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL: return "transient_local";
    case RMW_QOS_POLICY_DURABILITY_SYSTEM_DEFAULT: return "system_default";
    default: return "unknown";
  }
}

rmw_qos_history_policy_t history_from_name(const std::string & name, rmw_qos_history_policy_t fallback)
{
  if (name == "keep_last") {return RMW_QOS_POLICY_HISTORY_KEEP_LAST;}
  if (name == "keep_all") {return RMW_QOS_POLICY_HISTORY_KEEP_ALL;}
  if (name == "system_default") {return RMW_QOS_POLICY_HISTORY_SYSTEM_DEFAULT;}
  return fallback;
}

rmw_qos_reliability_policy_t reliability_from_name(
  const std::string & name, rmw_qos_reliability_policy_t fallback)
{
  if (name == "reliable") {return RMW_QOS_POLICY_RELIABILITY_RELIABLE;}
  if (name == "best_effort") {return RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT;}
  if (name == "system_default") {return RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT;}
  return fallback;
}

rmw_qos_durability_policy_t durability_from_name(
  const std::string & name, rmw_qos_durability_policy_t fallback)
{
  if (name == "volatile") {return RMW_QOS_POLICY_DURABILITY_VOLATILE;}
  if (name == "transient_local") {return RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL;}
  if (name == "system_default") {return RMW_QOS_POLICY_DURABILITY_SYSTEM_DEFAULT;}
  return fallback;
}

}  // namespace

rclcpp::QoS Node::declare_qos_parameters(
  const QosOverridingOptions & options, const std::string & resolved_topic,
  const rclcpp::QoS & qos, const char * entity)
{
  if (options.get_policy_kinds().empty()) {
    return qos;
  }
  std::string prefix = "qos_overrides." + resolved_topic + "." + entity;
  if (!options.get_id().empty()) {
    prefix += "_" + options.get_id();
  }
  prefix += ".";
  rclcpp::QoS result = qos;
  auto & profile = result.get_rmw_qos_profile();
  rcl_interfaces::msg::ParameterDescriptor descriptor;
  descriptor.read_only = true;
  auto declare = [&](const char * policy, const rclcpp::ParameterValue & value) {
      const std::string name = prefix + policy;
      descriptor.description = std::string("qos policy {") + policy + "} for " + entity + " {" +
        resolved_topic + "} with id {" + options.get_id() + "}";
      if (node_parameters_->has_parameter(name)) {
        return node_parameters_->get_parameter(name).get_parameter_value();
      }
      return node_parameters_->declare_parameter(name, value, descriptor);
    };
  for (const auto kind : options.get_policy_kinds()) {
    switch (kind) {
      case QosPolicyKind::Depth: {
          const auto value = declare("depth", ParameterValue(static_cast<int64_t>(profile.depth)));
          if (value.get_type() == PARAMETER_INTEGER && value.get<int64_t>() >= 0) {
            profile.depth = static_cast<size_t>(value.get<int64_t>());
          }
          break;
        }
      case QosPolicyKind::History: {
          const auto value = declare("history", ParameterValue(history_name(profile.history)));
          if (value.get_type() == PARAMETER_STRING) {
            profile.history = history_from_name(value.get<std::string>(), profile.history);
          }
          break;
        }
      case QosPolicyKind::Reliability: {
          const auto value =
            declare("reliability", ParameterValue(reliability_name(profile.reliability)));
          if (value.get_type() == PARAMETER_STRING) {
            profile.reliability =
              reliability_from_name(value.get<std::string>(), profile.reliability);
          }
          break;
        }
      case QosPolicyKind::Durability: {
          const auto value =
            declare("durability", ParameterValue(durability_name(profile.durability)));
          if (value.get_type() == PARAMETER_STRING) {
            profile.durability = durability_from_name(value.get<std::string>(), profile.durability);
          }
          break;
        }
      default:
        // The remaining policies play no part in the in-process transport.
        break;
    }
  }
  return result;
}

Node::Node(const std::string & node_name, const NodeOptions & options)
: Node(node_name, "", options)
{
}

Node::Node(
  const std::string & node_name, const std::string & namespace_, const NodeOptions & options)
: node_options_(options)
{
  // Same order of failures as rclcpp: the node's own arguments are parsed first, then the
  // node's guard condition needs a valid context, then rcl checks the name and the namespace.
  detail::RosArguments local_arguments =
    detail::parse_ros_arguments(options.arguments(), "failed to parse arguments");
  auto context = options.context();
  detail::check_context_for_guard_condition(context);
  detail::validate_node_name(node_name);
  const std::string absolute_namespace = detail::validate_namespace(namespace_);

  const bool use_global = options.use_global_arguments();
  std::string name = detail::remapped_node_name(local_arguments, node_name);
  if (name == node_name && use_global) {
    name = detail::remapped_node_name(detail::global_arguments(), node_name);
  }
  std::string node_namespace =
    detail::remapped_namespace(local_arguments, name, absolute_namespace);
  if (node_namespace == absolute_namespace && use_global) {
    node_namespace =
      detail::remapped_namespace(detail::global_arguments(), name, absolute_namespace);
  }

  node_base_ = std::make_shared<NodeBase>(
    name, node_namespace, context, local_arguments, use_global, options);
  node_timers_ = std::make_shared<NodeTimers>(node_base_.get());
  node_topics_ = std::make_shared<NodeTopics>(node_base_.get());
  logger_name_ = logger_name_for(name, node_namespace);
  effective_namespace_ = node_namespace;

  detail::NodeInfo node_info;
  node_info.name = name;
  node_info.node_namespace = node_namespace;
  node_info.fully_qualified_name = node_base_->get_fully_qualified_name();
  node_info.logger_name = logger_name_;
  node_info.enable_rosout = options.enable_rosout() &&
    !detail::global_arguments().log_rosout_disabled && !local_arguments.log_rosout_disabled;
  node_info.enable_parameter_events = options.start_parameter_event_publisher();
  node_info.context = context;
  try {
    transport_node_id_ = detail::get_transport().add_node(node_info);
  } catch (const std::exception & e) {
    // rcl fails node creation the same way when the middleware cannot start.
    RCL_SET_ERROR_MSG(e.what());
    exceptions::throw_from_rcl_error(RCL_RET_ERROR, "failed to initialize rcl node");
  }

  node_parameters_ = std::make_shared<node_interfaces::NodeParameters>(
    name, node_base_->get_fully_qualified_name(), local_arguments, options.parameter_overrides(),
    use_global, options.allow_undeclared_parameters(),
    options.automatically_declare_parameters_from_overrides());
  node_parameters_->set_parameter_event_hook(
    [this](const rcl_interfaces::msg::ParameterEvent & event) {
      rcl_interfaces::msg::ParameterEvent stamped = event;
      stamped.node = node_base_->get_fully_qualified_name();
      if (clock_) {
        stamped.stamp = clock_->now();
      }
      detail::get_transport().publish_parameter_event(transport_node_id_, stamped);
    });

  clock_ = std::make_shared<rclcpp::Clock>(RCL_ROS_TIME);
  time_source_ = std::make_shared<detail::TimeSource>(
    *node_base_, *node_parameters_, clock_, options.clock_qos());

  // rclcpp declares these so that the parameter-event publisher's QoS is visible and overridable.
  const std::string events_prefix = "qos_overrides." +
    node_topics_->resolve_topic_name("/parameter_events", false) + ".publisher.";
  const auto & events_qos = options.parameter_event_qos().get_rmw_qos_profile();
  rcl_interfaces::msg::ParameterDescriptor descriptor;
  descriptor.read_only = true;
  const std::vector<std::pair<std::string, rclcpp::ParameterValue>> qos_parameters{
    {"depth", rclcpp::ParameterValue(static_cast<int64_t>(events_qos.depth))},
    {"durability", rclcpp::ParameterValue(std::string(durability_name(events_qos.durability)))},
    {"history", rclcpp::ParameterValue(std::string(history_name(events_qos.history)))},
    {"reliability",
      rclcpp::ParameterValue(std::string(reliability_name(events_qos.reliability)))}};
  for (const auto & qos_parameter : qos_parameters) {
    const std::string parameter_name = events_prefix + qos_parameter.first;
    if (!node_parameters_->has_parameter(parameter_name)) {
      node_parameters_->declare_parameter(parameter_name, qos_parameter.second, descriptor);
    }
  }
}

Node::~Node()
{
  // The time source refers to the parameters and the node base; it goes first.
  time_source_.reset();
  node_parameters_->set_parameter_event_hook(nullptr);
  detail::get_transport().remove_node(transport_node_id_);
}

const char * Node::get_name() const {return node_base_->get_name();}
const char * Node::get_namespace() const {return node_base_->get_namespace();}

const char * Node::get_fully_qualified_name() const
{
  return node_base_->get_fully_qualified_name();
}

rclcpp::Logger Node::get_logger() const {return rclcpp::get_logger(logger_name_);}

rclcpp::CallbackGroup::SharedPtr Node::create_callback_group(
  rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
{
  return node_base_->create_callback_group(group_type, automatically_add_to_executor_with_node);
}

const rclcpp::ParameterValue & Node::declare_parameter(
  const std::string & name, const rclcpp::ParameterValue & default_value,
  const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor, bool ignore_override)
{
  return node_parameters_->declare_parameter(
    name, default_value, parameter_descriptor, ignore_override);
}

const rclcpp::ParameterValue & Node::declare_parameter(
  const std::string & name, rclcpp::ParameterType type,
  const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor, bool ignore_override)
{
  return node_parameters_->declare_parameter(name, type, parameter_descriptor, ignore_override);
}

void Node::undeclare_parameter(const std::string & name)
{
  node_parameters_->undeclare_parameter(name);
}

bool Node::has_parameter(const std::string & name) const
{
  return node_parameters_->has_parameter(name);
}

rcl_interfaces::msg::SetParametersResult Node::set_parameter(const rclcpp::Parameter & parameter)
{
  return set_parameters_atomically({parameter});
}

std::vector<rcl_interfaces::msg::SetParametersResult> Node::set_parameters(
  const std::vector<rclcpp::Parameter> & parameters)
{
  return node_parameters_->set_parameters(parameters);
}

rcl_interfaces::msg::SetParametersResult Node::set_parameters_atomically(
  const std::vector<rclcpp::Parameter> & parameters)
{
  return node_parameters_->set_parameters_atomically(parameters);
}

rclcpp::Parameter Node::get_parameter(const std::string & name) const
{
  return node_parameters_->get_parameter(name);
}

bool Node::get_parameter(const std::string & name, rclcpp::Parameter & parameter) const
{
  return node_parameters_->get_parameter(name, parameter);
}

std::vector<rclcpp::Parameter> Node::get_parameters(const std::vector<std::string> & names) const
{
  return node_parameters_->get_parameters(names);
}

rcl_interfaces::msg::ParameterDescriptor Node::describe_parameter(const std::string & name) const
{
  auto result = node_parameters_->describe_parameters({name});
  if (result.empty()) {
    throw exceptions::ParameterNotDeclaredException(name);
  }
  if (result.size() > 1) {
    throw std::runtime_error("number of described parameters unexpectedly more than one");
  }
  return result.front();
}

std::vector<rcl_interfaces::msg::ParameterDescriptor> Node::describe_parameters(
  const std::vector<std::string> & names) const
{
  return node_parameters_->describe_parameters(names);
}

Node::OnSetParametersCallbackHandle::SharedPtr Node::add_on_set_parameters_callback(
  OnParametersSetCallbackType callback)
{
  return node_parameters_->add_on_set_parameters_callback(std::move(callback));
}

void Node::remove_on_set_parameters_callback(const OnSetParametersCallbackHandle * const handler)
{
  node_parameters_->remove_on_set_parameters_callback(handler);
}

rclcpp::Clock::SharedPtr Node::get_clock() {return clock_;}
rclcpp::Clock::ConstSharedPtr Node::get_clock() const {return clock_;}

rclcpp::Time Node::now() const {return clock_->now();}

std::map<std::string, std::vector<std::string>> Node::get_topic_names_and_types() const
{
  return detail::get_transport().topic_names_and_types();
}

size_t Node::count_publishers(const std::string & topic_name) const
{
  return detail::get_transport().count_publishers(node_topics_->resolve_topic_name(topic_name));
}

size_t Node::count_subscribers(const std::string & topic_name) const
{
  return detail::get_transport().count_subscriptions(
    node_topics_->resolve_topic_name(topic_name));
}

const std::string & Node::get_sub_namespace() const {return sub_namespace_;}

const std::string & Node::get_effective_namespace() const
{
  return effective_namespace_;
}

node_interfaces::NodeBaseInterface::SharedPtr Node::get_node_base_interface()
{
  return node_base_;
}

node_interfaces::NodeTimersInterface::SharedPtr Node::get_node_timers_interface()
{
  return node_timers_;
}

node_interfaces::NodeTopicsInterface::SharedPtr Node::get_node_topics_interface()
{
  return node_topics_;
}

node_interfaces::NodeParameters::SharedPtr Node::get_node_parameters_interface()
{
  return node_parameters_;
}

const NodeOptions & Node::get_node_options() const {return node_options_;}

}  // namespace rclcpp
