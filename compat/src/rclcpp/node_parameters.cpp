#include "rclcpp/node_interfaces/node_parameters.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/detail/ros_arguments.hpp"

namespace rclcpp
{
namespace node_interfaces
{

namespace
{

using rcl_interfaces::msg::ParameterDescriptor;
using rcl_interfaces::msg::SetParametersResult;
using CallbackList = std::list<OnSetParametersCallbackHandle::WeakPtr>;

// Blocks parameter changes while the on-set callbacks run: a callback that declares or sets a
// parameter would otherwise re-enter the store halfway through a change.
class MutationGuard
{
public:
  explicit MutationGuard(bool & allow_modification)
  : allow_modification_(allow_modification)
  {
    if (!allow_modification_) {
      throw rclcpp::exceptions::ParameterModifiedInCallbackException(
              "cannot set or declare a parameter, or change the callback from within set callback");
    }
    allow_modification_ = false;
  }
  ~MutationGuard() {allow_modification_ = true;}
  MutationGuard(const MutationGuard &) = delete;
  MutationGuard & operator=(const MutationGuard &) = delete;

private:
  bool & allow_modification_;
};

bool doubles_equal(double x, double y, size_t ulp = 100)
{
  return std::abs(x - y) <= std::numeric_limits<double>::epsilon() * std::abs(x + y) * ulp;
}

std::string range_reason(const std::string & name, const char * range_type)
{
  std::ostringstream ss;
  ss << "Parameter {" << name << "} doesn't comply with " << range_type << " range.";
  return ss.str();
}

SetParametersResult check_range(
  const ParameterDescriptor & descriptor, const rclcpp::ParameterValue & value)
{
  SetParametersResult result;
  result.successful = true;
  if (!descriptor.integer_range.empty() && value.get_type() == rclcpp::PARAMETER_INTEGER) {
    const int64_t v = value.get<int64_t>();
    const auto & range = descriptor.integer_range.at(0);
    if (v == range.from_value || v == range.to_value) {
      return result;
    }
    if (v < range.from_value || v > range.to_value) {
      result.successful = false;
      result.reason = range_reason(descriptor.name, "integer");
      return result;
    }
    if (range.step == 0) {
      return result;
    }
    if (static_cast<uint64_t>(v - range.from_value) % range.step == 0) {
      return result;
    }
    result.successful = false;
    result.reason = range_reason(descriptor.name, "integer");
    return result;
  }
  if (!descriptor.floating_point_range.empty() && value.get_type() == rclcpp::PARAMETER_DOUBLE) {
    const double v = value.get<double>();
    const auto & range = descriptor.floating_point_range.at(0);
    if (doubles_equal(v, range.from_value) || doubles_equal(v, range.to_value)) {
      return result;
    }
    if (v < range.from_value || v > range.to_value) {
      result.successful = false;
      result.reason = range_reason(descriptor.name, "floating point");
      return result;
    }
    if (range.step == 0.0) {
      return result;
    }
    const double steps = std::round((v - range.from_value) / range.step);
    if (doubles_equal(v, range.from_value + steps * range.step)) {
      return result;
    }
    result.successful = false;
    result.reason = range_reason(descriptor.name, "floating point");
    return result;
  }
  return result;
}

// Type and range check of every parameter against its descriptor (a parameter unknown to
// `infos` is dynamically typed when undeclared parameters are allowed).
SetParametersResult check_parameters(
  std::map<std::string, ParameterInfo> & infos,
  const std::vector<rclcpp::Parameter> & parameters, bool allow_undeclared)
{
  SetParametersResult result;
  result.successful = true;
  for (const rclcpp::Parameter & parameter : parameters) {
    const std::string & name = parameter.get_name();
    ParameterDescriptor descriptor;
    if (allow_undeclared) {
      auto it = infos.find(name);
      if (it != infos.cend()) {
        descriptor = it->second.descriptor;
      } else {
        descriptor.dynamic_typing = true;
      }
    } else {
      descriptor = infos[name].descriptor;
    }
    if (descriptor.name.empty()) {
      descriptor.name = name;
    }
    const auto new_type = parameter.get_type();
    const auto specified_type = static_cast<rclcpp::ParameterType>(descriptor.type);
    result.successful = descriptor.dynamic_typing || specified_type == new_type;
    if (!result.successful) {
      result.reason =
        "Wrong parameter type, parameter {" + name + "} is of type {" +
        rclcpp::to_string(specified_type) + "}, setting it to {" +
        rclcpp::to_string(new_type) + "} is not allowed.";
      return result;
    }
    result = check_range(descriptor, parameter.get_parameter_value());
    if (!result.successful) {
      return result;
    }
  }
  return result;
}

// Most recently added first; a refusal stops the chain. Expired handles are dropped.
SetParametersResult call_on_set_callbacks(
  const std::vector<rclcpp::Parameter> & parameters, CallbackList & callbacks)
{
  SetParametersResult result;
  result.successful = true;
  for (auto it = callbacks.begin(); it != callbacks.end(); ) {
    auto handle = it->lock();
    if (!handle) {
      it = callbacks.erase(it);
      continue;
    }
    if (handle->callback) {
      result = handle->callback(parameters);
      if (!result.successful) {
        return result;
      }
    }
    ++it;
  }
  return result;
}

SetParametersResult set_atomically_common(
  const std::vector<rclcpp::Parameter> & parameters,
  std::map<std::string, ParameterInfo> & infos,
  CallbackList & callbacks, bool allow_undeclared = false)
{
  SetParametersResult result = check_parameters(infos, parameters, allow_undeclared);
  if (!result.successful) {
    return result;
  }
  result = call_on_set_callbacks(parameters, callbacks);
  if (!result.successful) {
    return result;
  }
  for (const auto & parameter : parameters) {
    const std::string & name = parameter.get_name();
    infos[name].descriptor.name = name;
    if (infos[name].descriptor.dynamic_typing) {
      infos[name].descriptor.type = parameter.get_type();
    }
    infos[name].value = parameter.get_parameter_value();
  }
  return result;
}

// Declares into `parameters_out`: the override (unless ignored) or the default becomes the
// initial value; without any value the parameter is stored declared but unset.
SetParametersResult declare_common(
  const std::string & name, const rclcpp::ParameterValue & default_value,
  const ParameterDescriptor & descriptor,
  std::map<std::string, ParameterInfo> & parameters_out,
  const std::map<std::string, rclcpp::ParameterValue> & overrides,
  CallbackList & callbacks, bool ignore_override)
{
  std::map<std::string, ParameterInfo> infos{{name, ParameterInfo()}};
  infos.at(name).descriptor = descriptor;

  const rclcpp::ParameterValue * initial_value = &default_value;
  auto override_it = overrides.find(name);
  if (!ignore_override && override_it != overrides.end()) {
    initial_value = &override_it->second;
  }

  if (initial_value->get_type() == rclcpp::PARAMETER_NOT_SET) {
    infos[name].descriptor.name = name;
    infos[name].descriptor.type =
      descriptor.dynamic_typing ? static_cast<uint8_t>(rclcpp::PARAMETER_NOT_SET) : descriptor.type;
    parameters_out[name] = infos.at(name);
    SetParametersResult result;
    result.successful = true;
    return result;
  }

  std::vector<rclcpp::Parameter> wrapped{rclcpp::Parameter(name, *initial_value)};
  auto result = set_atomically_common(wrapped, infos, callbacks);
  if (!result.successful) {
    return result;
  }
  parameters_out[name] = infos.at(name);
  return result;
}

}  // namespace

NodeParameters::NodeParameters(
  const std::string & node_name,
  const std::string & node_fully_qualified_name,
  const std::vector<rclcpp::Parameter> & parameter_overrides_from_options,
  bool use_global_arguments,
  bool allow_undeclared_parameters,
  bool automatically_declare_parameters_from_overrides)
: node_name_(node_name), combined_name_(node_fully_qualified_name),
  allow_undeclared_(allow_undeclared_parameters)
{
  std::vector<const rclcpp::detail::RosArguments *> sources;
  if (use_global_arguments) {
    sources.push_back(&rclcpp::detail::global_arguments());
  }
  apply_overrides_and_autodeclare(
    sources, parameter_overrides_from_options, automatically_declare_parameters_from_overrides);
}

NodeParameters::NodeParameters(
  const std::string & node_name,
  const std::string & node_fully_qualified_name,
  const rclcpp::detail::RosArguments & local_arguments,
  const std::vector<rclcpp::Parameter> & parameter_overrides_from_options,
  bool use_global_arguments,
  bool allow_undeclared_parameters,
  bool automatically_declare_parameters_from_overrides)
: node_name_(node_name), combined_name_(node_fully_qualified_name),
  allow_undeclared_(allow_undeclared_parameters)
{
  std::vector<const rclcpp::detail::RosArguments *> sources;
  if (use_global_arguments) {
    sources.push_back(&rclcpp::detail::global_arguments());
  }
  sources.push_back(&local_arguments);
  apply_overrides_and_autodeclare(
    sources, parameter_overrides_from_options, automatically_declare_parameters_from_overrides);
}

NodeParameters::~NodeParameters() = default;

void
NodeParameters::apply_overrides_and_autodeclare(
  const std::vector<const rclcpp::detail::RosArguments *> & argument_sources,
  const std::vector<rclcpp::Parameter> & parameter_overrides_from_options,
  bool automatically_declare_parameters_from_overrides)
{
  // Process arguments first, then the node's own, then the options: the last one wins.
  for (const auto * source : argument_sources) {
    for (const auto & parameter :
      rclcpp::detail::parameter_overrides_for_node(*source, node_name_, combined_name_))
    {
      parameter_overrides_[parameter.get_name()] = parameter.get_parameter_value();
    }
  }
  for (const auto & parameter : parameter_overrides_from_options) {
    parameter_overrides_[parameter.get_name()] = parameter.get_parameter_value();
  }

  if (automatically_declare_parameters_from_overrides) {
    ParameterDescriptor descriptor;
    descriptor.dynamic_typing = true;
    for (const auto & pair : parameter_overrides_) {
      if (!has_parameter(pair.first)) {
        declare_parameter(pair.first, pair.second, descriptor, true);
      }
    }
  }
}

const rclcpp::ParameterValue &
NodeParameters::declare_parameter(
  const std::string & name,
  const rclcpp::ParameterValue & default_value,
  const ParameterDescriptor & parameter_descriptor,
  bool ignore_override)
{
  return declare_parameter_helper(
    name, rclcpp::PARAMETER_NOT_SET, default_value, parameter_descriptor, ignore_override);
}

const rclcpp::ParameterValue &
NodeParameters::declare_parameter(
  const std::string & name,
  rclcpp::ParameterType type,
  const ParameterDescriptor & parameter_descriptor,
  bool ignore_override)
{
  if (rclcpp::PARAMETER_NOT_SET == type) {
    throw std::invalid_argument{
            "declare_parameter(): the provided parameter type cannot be rclcpp::PARAMETER_NOT_SET"};
  }
  if (parameter_descriptor.dynamic_typing) {
    // The missing space is what rclcpp prints too.
    throw std::invalid_argument{
            "declare_parameter(): cannot declare parameter of specific type and pass descriptor"
            "with `dynamic_typing=true`"};
  }
  return declare_parameter_helper(
    name, type, rclcpp::ParameterValue{}, parameter_descriptor, ignore_override);
}

const rclcpp::ParameterValue &
NodeParameters::declare_parameter_helper(
  const std::string & name, rclcpp::ParameterType type,
  const rclcpp::ParameterValue & default_value,
  ParameterDescriptor parameter_descriptor, bool ignore_override)
{
  rclcpp::ParameterValue declared_value;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    MutationGuard guard(parameter_modification_enabled_);

    if (name.empty()) {
      throw rclcpp::exceptions::InvalidParametersException("parameter name must not be empty");
    }
    if (parameters_.count(name) != 0) {
      throw rclcpp::exceptions::ParameterAlreadyDeclaredException(
              "parameter '" + name + "' has already been declared");
    }
    if (!parameter_descriptor.dynamic_typing) {
      if (rclcpp::PARAMETER_NOT_SET == type) {
        type = default_value.get_type();
      }
      if (rclcpp::PARAMETER_NOT_SET == type) {
        throw rclcpp::exceptions::InvalidParameterTypeException{
                name, "cannot declare a statically typed parameter with an uninitialized value"};
      }
      parameter_descriptor.type = static_cast<uint8_t>(type);
    }

    auto result = declare_common(
      name, default_value, parameter_descriptor, parameters_, parameter_overrides_,
      on_set_callbacks_, ignore_override);
    if (!result.successful) {
      constexpr const char type_error_start[] = "Wrong parameter type";
      if (0 == std::strncmp(result.reason.c_str(), type_error_start, sizeof(type_error_start) - 1)) {
        throw rclcpp::exceptions::InvalidParameterTypeException{name, result.reason};
      }
      throw rclcpp::exceptions::InvalidParameterValueException(
              "parameter '" + name + "' could not be set: " + result.reason);
    }
    declared_value = parameters_.at(name).value;
  }
  notify_event({rclcpp::Parameter(name, declared_value)}, {}, {});
  if (declared_value.get_type() != rclcpp::PARAMETER_NOT_SET) {
    notify_changed({rclcpp::Parameter(name, declared_value)});
  }
  // The store's entry outlives the call (until undeclared), as in rclcpp.
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return parameters_.at(name).value;
}

void
NodeParameters::undeclare_parameter(const std::string & name)
{
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    MutationGuard guard(parameter_modification_enabled_);

    auto it = parameters_.find(name);
    if (it == parameters_.end()) {
      throw rclcpp::exceptions::ParameterNotDeclaredException(
              "cannot undeclare parameter '" + name + "' which has not yet been declared");
    }
    if (it->second.descriptor.read_only) {
      throw rclcpp::exceptions::ParameterImmutableException(
              "cannot undeclare parameter '" + name + "' because it is read-only");
    }
    if (!it->second.descriptor.dynamic_typing) {
      throw rclcpp::exceptions::InvalidParameterTypeException{
              name, "cannot undeclare an statically typed parameter"};
    }
    parameters_.erase(it);
  }
  notify_event({}, {}, {rclcpp::Parameter(name)});
  notify_changed({rclcpp::Parameter(name)});
}

bool
NodeParameters::has_parameter(const std::string & name) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return parameters_.count(name) != 0;
}

std::vector<SetParametersResult>
NodeParameters::set_parameters(const std::vector<rclcpp::Parameter> & parameters)
{
  std::vector<SetParametersResult> results;
  results.reserve(parameters.size());
  for (const auto & parameter : parameters) {
    results.push_back(set_parameters_atomically({parameter}));
  }
  return results;
}

SetParametersResult
NodeParameters::set_parameters_atomically(const std::vector<rclcpp::Parameter> & parameters)
{
  std::vector<rclcpp::Parameter> changed;
  std::vector<rclcpp::Parameter> added, modified, deleted;
  SetParametersResult result;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    MutationGuard guard(parameter_modification_enabled_);

    std::vector<const rclcpp::Parameter *> to_declare;
    for (const auto & parameter : parameters) {
      const std::string & name = parameter.get_name();
      if (name.empty()) {
        throw rclcpp::exceptions::InvalidParametersException("parameter name must not be empty");
      }
      auto it = parameters_.find(name);
      if (it == parameters_.end()) {
        if (allow_undeclared_) {
          to_declare.push_back(&parameter);
          continue;
        }
        throw rclcpp::exceptions::ParameterNotDeclaredException(
                "parameter '" + name + "' cannot be set because it was not declared");
      }
      if (it->second.descriptor.read_only) {
        result.successful = false;
        result.reason = "parameter '" + name + "' cannot be set because it is read-only";
        return result;
      }
    }

    // Implicit declarations go to a staging map first so that a later failure changes nothing.
    // The value being set wins over a launch override of the same name.
    std::map<std::string, ParameterInfo> staged;
    CallbackList no_callbacks;
    ParameterDescriptor dynamic_descriptor;
    dynamic_descriptor.dynamic_typing = true;
    for (const auto * parameter : to_declare) {
      result = declare_common(
        parameter->get_name(), parameter->get_parameter_value(), dynamic_descriptor, staged,
        parameter_overrides_, no_callbacks, true);
      if (!result.successful) {
        return result;
      }
    }

    std::vector<rclcpp::Parameter> to_set = parameters;
    for (auto & parameter : to_set) {
      auto staged_it = staged.find(parameter.get_name());
      if (staged_it != staged.end()) {
        parameter = rclcpp::Parameter(parameter.get_name(), staged_it->second.value);
      }
    }

    // Setting a value to NOT_SET undeclares a dynamically typed parameter.
    std::vector<std::string> to_undeclare;
    for (const auto & parameter : to_set) {
      if (rclcpp::PARAMETER_NOT_SET != parameter.get_type()) {
        continue;
      }
      auto it = parameters_.find(parameter.get_name());
      if (it != parameters_.end() && rclcpp::PARAMETER_NOT_SET != it->second.value.get_type()) {
        if (!it->second.descriptor.dynamic_typing) {
          result.reason = "cannot undeclare an statically typed parameter";
          result.successful = false;
          return result;
        }
        to_undeclare.push_back(parameter.get_name());
      }
    }

    result = set_atomically_common(to_set, parameters_, on_set_callbacks_, allow_undeclared_);
    if (!result.successful) {
      return result;
    }
    for (const auto & entry : staged) {
      parameters_[entry.first] = entry.second;
    }
    for (const auto & name : to_undeclare) {
      parameters_.erase(name);
    }
    changed = to_set;
    for (const auto & parameter : to_set) {
      if (staged.count(parameter.get_name()) != 0) {
        added.push_back(parameter);
      } else if (std::find(to_undeclare.begin(), to_undeclare.end(), parameter.get_name()) !=
        to_undeclare.end())
      {
        deleted.push_back(parameter);
      } else {
        modified.push_back(parameter);
      }
    }
  }
  notify_event(added, modified, deleted);
  notify_changed(changed);
  return result;
}

std::vector<rclcpp::Parameter>
NodeParameters::get_parameters(const std::vector<std::string> & names) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<rclcpp::Parameter> results;
  results.reserve(names.size());
  for (const auto & name : names) {
    auto it = parameters_.find(name);
    if (it != parameters_.cend()) {
      results.emplace_back(name, it->second.value);
    } else if (allow_undeclared_) {
      results.emplace_back(name, rclcpp::ParameterValue());
    } else {
      throw rclcpp::exceptions::ParameterNotDeclaredException(name);
    }
  }
  return results;
}

rclcpp::Parameter
NodeParameters::get_parameter(const std::string & name) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = parameters_.find(name);
  if (it != parameters_.end()) {
    if (it->second.value.get_type() != rclcpp::PARAMETER_NOT_SET ||
      it->second.descriptor.dynamic_typing)
    {
      return rclcpp::Parameter{name, it->second.value};
    }
    throw rclcpp::exceptions::ParameterUninitializedException(name);
  } else if (allow_undeclared_) {
    return rclcpp::Parameter{};
  }
  throw rclcpp::exceptions::ParameterNotDeclaredException(name);
}

bool
NodeParameters::get_parameter(const std::string & name, rclcpp::Parameter & parameter) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = parameters_.find(name);
  if (it != parameters_.end() && it->second.value.get_type() != rclcpp::PARAMETER_NOT_SET) {
    parameter = {name, it->second.value};
    return true;
  }
  return false;
}

bool
NodeParameters::get_parameters_by_prefix(
  const std::string & prefix, std::map<std::string, rclcpp::Parameter> & parameters) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const std::string prefix_with_dot = prefix.empty() ? prefix : prefix + ".";
  bool found = false;
  for (const auto & entry : parameters_) {
    if (entry.first.compare(0, prefix_with_dot.size(), prefix_with_dot) == 0) {
      const std::string rest = entry.first.substr(prefix_with_dot.size());
      parameters[rest] = rclcpp::Parameter(entry.first, entry.second.value);
      found = true;
    }
  }
  return found;
}

std::vector<ParameterDescriptor>
NodeParameters::describe_parameters(const std::vector<std::string> & names) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<ParameterDescriptor> results;
  results.reserve(names.size());
  for (const auto & name : names) {
    auto it = parameters_.find(name);
    if (it != parameters_.cend()) {
      results.push_back(it->second.descriptor);
    } else if (allow_undeclared_) {
      ParameterDescriptor descriptor;
      descriptor.name = name;
      results.push_back(descriptor);
    } else {
      throw rclcpp::exceptions::ParameterNotDeclaredException(name);
    }
  }
  return results;
}

std::vector<std::string>
NodeParameters::list_parameter_names() const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<std::string> names;
  names.reserve(parameters_.size());
  for (const auto & entry : parameters_) {
    names.push_back(entry.first);
  }
  return names;
}

OnSetParametersCallbackHandle::SharedPtr
NodeParameters::add_on_set_parameters_callback(OnParametersSetCallbackType callback)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  MutationGuard guard(parameter_modification_enabled_);
  auto handle = std::make_shared<OnSetParametersCallbackHandle>();
  handle->callback = std::move(callback);
  on_set_callbacks_.emplace_front(handle);
  return handle;
}

void
NodeParameters::remove_on_set_parameters_callback(
  const OnSetParametersCallbackHandle * const handler)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  MutationGuard guard(parameter_modification_enabled_);
  for (auto it = on_set_callbacks_.begin(); it != on_set_callbacks_.end(); ++it) {
    if (it->lock().get() == handler) {
      on_set_callbacks_.erase(it);
      return;
    }
  }
  throw std::runtime_error("Callback doesn't exist");
}

const std::map<std::string, rclcpp::ParameterValue> &
NodeParameters::get_parameter_overrides() const
{
  return parameter_overrides_;
}

void
NodeParameters::set_parameters_changed_hook(ParametersChangedHook hook)
{
  std::lock_guard<std::mutex> lock(hook_mutex_);
  changed_hook_ = std::move(hook);
}

void
NodeParameters::set_parameter_event_hook(ParameterEventHook hook)
{
  std::lock_guard<std::mutex> lock(hook_mutex_);
  event_hook_ = std::move(hook);
}

void
NodeParameters::notify_event(
  const std::vector<rclcpp::Parameter> & added, const std::vector<rclcpp::Parameter> & changed,
  const std::vector<rclcpp::Parameter> & deleted)
{
  ParameterEventHook hook;
  {
    std::lock_guard<std::mutex> lock(hook_mutex_);
    hook = event_hook_;
  }
  if (!hook || (added.empty() && changed.empty() && deleted.empty())) {
    return;
  }
  rcl_interfaces::msg::ParameterEvent event;
  for (const auto & p : added) {
    event.new_parameters.push_back(p.to_parameter_msg());
  }
  for (const auto & p : changed) {
    event.changed_parameters.push_back(p.to_parameter_msg());
  }
  for (const auto & p : deleted) {
    event.deleted_parameters.push_back(p.to_parameter_msg());
  }
  hook(event);
}

void
NodeParameters::notify_changed(const std::vector<rclcpp::Parameter> & changed)
{
  ParametersChangedHook hook;
  {
    std::lock_guard<std::mutex> lock(hook_mutex_);
    hook = changed_hook_;
  }
  if (hook && !changed.empty()) {
    hook(changed);
  }
}

}  // namespace node_interfaces
}  // namespace rclcpp
