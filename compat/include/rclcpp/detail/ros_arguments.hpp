// Compat only: the ROS part of a command line (--ros-args ... [--]), parsed as rcl does.
#ifndef RCLCPP__DETAIL__ROS_ARGUMENTS_HPP_
#define RCLCPP__DETAIL__ROS_ARGUMENTS_HPP_

#include <string>
#include <vector>

#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"

namespace rclcpp
{
namespace detail
{

/// One parameter assignment from `-p` or a params file. `node_name` as written, without a leading
/// slash added: "/**" (every node, also for `-p` without node prefix), "harrow_node",
/// "/ns/harrow_node", with '*' / '**' wildcards. A NOT_SET value stands for an empty sequence,
/// which rcl accepts but no node can use.
struct ParameterRule
{
  std::string node_name;
  std::string name;
  rclcpp::ParameterValue value;
};

/// One `-r [node:]from:=to` rule; `node_name` empty = every node; `from` may be "__node"
/// (alias "__name") or "__ns".
struct RemapRule
{
  std::string node_name;
  std::string from;
  std::string to;
};

/// `--log-level name:=level` for one logger.
struct LoggerLevelRule
{
  std::string logger_name;
  int level;
};

/// Everything rcl takes from a command line.
struct RosArguments
{
  /// In command-line order; params files expanded in place, their rules in file order.
  std::vector<ParameterRule> parameters;
  std::vector<RemapRule> remaps;
  /// Default logger level from `--log-level <level>` (an RCUTILS_LOG_SEVERITY), -1 if not given.
  int log_level = -1;
  std::vector<LoggerLevelRule> logger_levels;
  /// Tokens inside --ros-args that are not ROS flags.
  std::vector<std::string> unparsed_ros_args;
  /// Everything outside --ros-args, argv[0] first.
  std::vector<std::string> non_ros_args;
  std::vector<std::string> params_files;
  std::string enclave;
  std::string log_config_file;
  bool log_stdout_disabled = false;
  bool log_rosout_disabled = false;
  bool log_ext_lib_disabled = false;
};

/// Parses a whole argv (argv[0] included). Errors throw what rclcpp would: a malformed ROS
/// argument -> exceptions::RCLInvalidROSArgsError with what() "<error_prefix>: <rcl's text>";
/// then, if `throw_on_unknown`, unknown tokens inside --ros-args ->
/// exceptions::UnknownROSArgsError. rclcpp::init uses the prefix "failed to initialize rcl",
/// NodeOptions::arguments "failed to parse arguments".
RosArguments parse_ros_arguments(
  int argc, const char * const * argv,
  const std::string & error_prefix = "failed to initialize rcl",
  bool throw_on_unknown = true);

/// Same for an argument list without argv[0] (NodeOptions::arguments).
RosArguments parse_ros_arguments(
  const std::vector<std::string> & arguments,
  const std::string & error_prefix = "failed to parse arguments",
  bool throw_on_unknown = true);

/// Types a `-p` value as rcl does: quoted -> string; bool words; strtoll base 0 -> integer;
/// strtod or .nan/.inf spellings -> double; else string. A flow sequence gives an array whose
/// first element fixes the type. Throws std::invalid_argument with rcl's reason on a mixed
/// sequence, a nested structure or an empty value.
rclcpp::ParameterValue parse_parameter_value(const std::string & yaml_text);

/// Reads a params file into rules in file order. Throws std::invalid_argument with rcl's reason
/// (unreadable file, bad YAML, value before ros__parameters, mixed sequence, ...).
std::vector<ParameterRule> parse_parameters_file(const std::string & path);

/// True if a rule's node name (as written; wildcards allowed) selects the node with this fully
/// qualified name.
bool node_name_matches(const std::string & rule_node_name, const std::string & node_fqn);

/// The overrides for one node, as rclcpp resolves them: rules grouped by node key in order of the
/// key's first appearance (a later rule for the same key and name replaces the earlier value in
/// place), then the matching keys applied in that order, later ones winning. Throws
/// exceptions::InvalidParameterValueException for a rule without value (empty sequence).
std::vector<rclcpp::Parameter> parameter_overrides_for_node(
  const RosArguments & arguments, const std::string & node_name, const std::string & node_fqn);

/// The process arguments; set by rclcpp::init, empty before.
void set_global_arguments(RosArguments arguments);
const RosArguments & global_arguments();

/// Applies `--log-level` rules to the loggers (default level and per-logger levels).
void apply_log_levels(const RosArguments & arguments);

/// The node name after `__node`/`__name` remaps of `arguments` (the first rule that applies
/// wins); `node_name` itself if none applies.
std::string remapped_node_name(const RosArguments & arguments, const std::string & node_name);

/// The namespace after `__ns` remaps whose node prefix (if any) equals `node_name`; rcl
/// matches them against the already remapped node name.
std::string remapped_namespace(
  const RosArguments & arguments, const std::string & node_name,
  const std::string & node_namespace);

/// Expands a topic name to its fully qualified form: "~" -> node FQN, relative -> namespace
/// prefixed. `name` must already be valid.
std::string expand_topic_name(
  const std::string & name, const std::string & node_name, const std::string & node_namespace);

/// The topic after the first topic remap of `arguments` whose expanded `from` equals the expanded
/// `topic_name`; the expanded `topic_name` if none applies.
std::string remapped_topic_name(
  const RosArguments & arguments, const std::string & node_name,
  const std::string & node_namespace, const std::string & topic_name);

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__ROS_ARGUMENTS_HPP_
