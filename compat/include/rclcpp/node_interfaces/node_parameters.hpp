// The parameter store of a node: declaration, strict typing, launch-time overrides, get and set.
#ifndef RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_HPP_

#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/parameter_event.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"

namespace rclcpp
{
namespace detail
{
struct RosArguments;
}  // namespace detail

namespace node_interfaces
{

/// What the store keeps per declared parameter.
struct ParameterInfo
{
  rclcpp::ParameterValue value;
  rcl_interfaces::msg::ParameterDescriptor descriptor;
};

/// The parameters of one node. Thread-safe; the on-set callbacks run under the store's lock.
///
/// Typing is strict: a parameter declared without `dynamic_typing` keeps the type of its default
/// (or the explicit type) for life, and a value of any other type is refused; an integer is never
/// taken for a double.
class NodeParameters
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeParameters)

  using OnParametersSetCallbackType = OnSetParametersCallbackHandle::OnParametersSetCallbackType;

  /// Called after parameters were declared, changed or undeclared (with their new values; an
  /// undeclared parameter is reported with a NOT_SET value). Runs outside the store's lock.
  using ParametersChangedHook = std::function<void (const std::vector<rclcpp::Parameter> &)>;

  /// Called with what /parameter_events announces after every declaration, change or deletion
  /// (stamp and node left empty for the caller). Runs outside the store's lock.
  using ParameterEventHook = std::function<void (const rcl_interfaces::msg::ParameterEvent &)>;

  /// `node_fully_qualified_name` (after remapping) selects the launch-time overrides: those of
  /// the process arguments (when `use_global_arguments`), overwritten by
  /// `parameter_overrides_from_options`.
  NodeParameters(
    const std::string & node_name,
    const std::string & node_fully_qualified_name,
    const std::vector<rclcpp::Parameter> & parameter_overrides_from_options,
    bool use_global_arguments,
    bool allow_undeclared_parameters,
    bool automatically_declare_parameters_from_overrides);

  /// As above, with the node's own arguments (NodeOptions::arguments) applied between the process
  /// arguments and the option overrides.
  NodeParameters(
    const std::string & node_name,
    const std::string & node_fully_qualified_name,
    const rclcpp::detail::RosArguments & local_arguments,
    const std::vector<rclcpp::Parameter> & parameter_overrides_from_options,
    bool use_global_arguments,
    bool allow_undeclared_parameters,
    bool automatically_declare_parameters_from_overrides);

  NodeParameters(const NodeParameters &) = delete;
  NodeParameters & operator=(const NodeParameters &) = delete;
  virtual ~NodeParameters();

  /// Declares with a default; the launch override (unless ignored) replaces the default.
  /// Throws InvalidParametersException (empty name), ParameterAlreadyDeclaredException,
  /// InvalidParameterTypeException (static type NOT_SET, or an override of another type) or
  /// InvalidParameterValueException (range or callback refused).
  const rclcpp::ParameterValue &
  declare_parameter(
    const std::string & name,
    const rclcpp::ParameterValue & default_value,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
    rcl_interfaces::msg::ParameterDescriptor(),
    bool ignore_override = false);

  /// Declares a statically typed parameter without default; without an override it stays
  /// declared but unset (the returned value is NOT_SET). Throws std::invalid_argument for
  /// PARAMETER_NOT_SET or a dynamic_typing descriptor, and the exceptions of the overload above.
  const rclcpp::ParameterValue &
  declare_parameter(
    const std::string & name,
    rclcpp::ParameterType type,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
    rcl_interfaces::msg::ParameterDescriptor(),
    bool ignore_override = false);

  /// Removes a dynamically typed parameter. Throws ParameterNotDeclaredException,
  /// ParameterImmutableException (read-only) or InvalidParameterTypeException (statically typed).
  void
  undeclare_parameter(const std::string & name);

  bool
  has_parameter(const std::string & name) const;

  /// One result per parameter, each set atomically on its own.
  std::vector<rcl_interfaces::msg::SetParametersResult>
  set_parameters(const std::vector<rclcpp::Parameter> & parameters);

  /// All or nothing. Throws ParameterNotDeclaredException for an undeclared name unless
  /// undeclared parameters are allowed (then it is declared dynamically typed).
  rcl_interfaces::msg::SetParametersResult
  set_parameters_atomically(const std::vector<rclcpp::Parameter> & parameters);

  /// Throws ParameterNotDeclaredException(name) for an undeclared name unless undeclared
  /// parameters are allowed (then a NOT_SET parameter of that name).
  std::vector<rclcpp::Parameter>
  get_parameters(const std::vector<std::string> & names) const;

  /// Throws ParameterUninitializedException for a declared, statically typed, unset parameter and
  /// ParameterNotDeclaredException(name) for an undeclared one (unless undeclared parameters are
  /// allowed: then a default Parameter).
  rclcpp::Parameter
  get_parameter(const std::string & name) const;

  /// False, leaving `parameter` untouched, if undeclared or unset.
  bool
  get_parameter(const std::string & name, rclcpp::Parameter & parameter) const;

  /// Every parameter whose name starts with "<prefix>.", keyed by the rest of the name (all
  /// parameters for an empty prefix). False if there is none.
  bool
  get_parameters_by_prefix(
    const std::string & prefix,
    std::map<std::string, rclcpp::Parameter> & parameters) const;

  /// Throws ParameterNotDeclaredException for an undeclared name unless undeclared parameters
  /// are allowed (then a descriptor with only the name).
  std::vector<rcl_interfaces::msg::ParameterDescriptor>
  describe_parameters(const std::vector<std::string> & names) const;

  /// Names of all declared parameters, sorted.
  std::vector<std::string>
  list_parameter_names() const;

  /// Registers a callback that can veto any later declaration or set; the most recently added
  /// runs first. Throws ParameterModifiedInCallbackException from inside such a callback.
  OnSetParametersCallbackHandle::SharedPtr
  add_on_set_parameters_callback(OnParametersSetCallbackType callback);

  /// Throws std::runtime_error("Callback doesn't exist") for an unknown handle.
  void
  remove_on_set_parameters_callback(const OnSetParametersCallbackHandle * const handler);

  /// The launch-time overrides that apply to this node, by name.
  const std::map<std::string, rclcpp::ParameterValue> &
  get_parameter_overrides() const;

  /// Compat extension: the node uses it to notice parameter changes (e.g. use_sim_time) and to
  /// publish parameter events. Replaces any previous hook.
  void
  set_parameters_changed_hook(ParametersChangedHook hook);

  /// Compat extension: the node hands parameter events to its transport. Replaces any previous
  /// hook.
  void
  set_parameter_event_hook(ParameterEventHook hook);

private:
  void apply_overrides_and_autodeclare(
    const std::vector<const rclcpp::detail::RosArguments *> & argument_sources,
    const std::vector<rclcpp::Parameter> & parameter_overrides_from_options,
    bool automatically_declare_parameters_from_overrides);

  const rclcpp::ParameterValue & declare_parameter_helper(
    const std::string & name, rclcpp::ParameterType type,
    const rclcpp::ParameterValue & default_value,
    rcl_interfaces::msg::ParameterDescriptor parameter_descriptor, bool ignore_override);

  void notify_changed(const std::vector<rclcpp::Parameter> & changed);
  void notify_event(
    const std::vector<rclcpp::Parameter> & added, const std::vector<rclcpp::Parameter> & changed,
    const std::vector<rclcpp::Parameter> & deleted);

  mutable std::recursive_mutex mutex_;
  // Set while on-set callbacks run: parameters must not be modified from inside them.
  bool parameter_modification_enabled_{true};

  std::string node_name_;
  std::string combined_name_;
  bool allow_undeclared_{false};

  std::map<std::string, rclcpp::ParameterValue> parameter_overrides_;
  std::map<std::string, ParameterInfo> parameters_;
  std::list<OnSetParametersCallbackHandle::WeakPtr> on_set_callbacks_;

  std::mutex hook_mutex_;
  ParametersChangedHook changed_hook_;
  ParameterEventHook event_hook_;
};

/// Humble's `Node::get_parameter(name, T & value)`: false (value untouched) if the parameter is
/// undeclared or unset; otherwise assigns `static_cast<T>(value.get<T>())`, which throws
/// rclcpp::ParameterTypeException when the stored type is not the one T maps to (no conversion
/// between integer and double).
template<typename T>
bool get_parameter_as(const NodeParameters & parameters, const std::string & name, T & value)
{
  rclcpp::Parameter parameter;
  if (!parameters.get_parameter(name, parameter)) {
    return false;
  }
  value = static_cast<T>(parameter.get_value<T>());
  return true;
}

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_HPP_
