#include "rclcpp/detail/ros_arguments.hpp"

#include <yaml-cpp/yaml.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rcl/error_handling.h"
#include "rcl/types.h"
#include "rclcpp/exceptions.hpp"
#include "rcutils/logging.h"

namespace rclcpp
{
namespace detail
{

namespace
{

// ---- scalar typing (shared by -p values and params files) ----

bool parse_bool_word(const std::string & text, bool & value)
{
  static const char * const true_words[] =
  {"Y", "y", "yes", "Yes", "YES", "true", "True", "TRUE", "on", "On", "ON"};
  static const char * const false_words[] =
  {"N", "n", "no", "No", "NO", "false", "False", "FALSE", "off", "Off", "OFF"};
  for (const char * word : true_words) {
    if (text == word) {
      value = true;
      return true;
    }
  }
  for (const char * word : false_words) {
    if (text == word) {
      value = false;
      return true;
    }
  }
  return false;
}

bool parse_integer(const std::string & text, int64_t & value)
{
  if (text.empty()) {
    return false;
  }
  errno = 0;
  char * end = nullptr;
  // Base 0 like rcl: "0x1F" is hex and a leading zero means octal.
  const long long parsed = std::strtoll(text.c_str(), &end, 0);  // NOLINT(runtime/int)
  if (errno != 0 || end == text.c_str() || *end != '\0') {
    return false;
  }
  value = static_cast<int64_t>(parsed);
  return true;
}

bool parse_double(const std::string & text, double & value)
{
  static const char * const nan_words[] = {".nan", ".NaN", ".NAN"};
  static const char * const inf_words[] = {".inf", ".Inf", ".INF", "+.inf", "+.Inf", "+.INF"};
  static const char * const minus_inf_words[] = {"-.inf", "-.Inf", "-.INF"};
  for (const char * word : nan_words) {
    if (text == word) {
      value = std::numeric_limits<double>::quiet_NaN();
      return true;
    }
  }
  for (const char * word : inf_words) {
    if (text == word) {
      value = std::numeric_limits<double>::infinity();
      return true;
    }
  }
  for (const char * word : minus_inf_words) {
    if (text == word) {
      value = -std::numeric_limits<double>::infinity();
      return true;
    }
  }
  if (text.empty()) {
    return false;
  }
  errno = 0;
  char * end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  // Out of range (errno set) is not a double for rcl either: such text stays a string.
  if (errno != 0 || end == text.c_str() || *end != '\0') {
    return false;
  }
  value = parsed;
  return true;
}

rclcpp::ParameterValue typed_scalar(const std::string & text, bool quoted)
{
  if (quoted) {
    return rclcpp::ParameterValue(text);
  }
  bool b = false;
  if (parse_bool_word(text, b)) {
    return rclcpp::ParameterValue(b);
  }
  int64_t i = 0;
  if (parse_integer(text, i)) {
    return rclcpp::ParameterValue(i);
  }
  double d = 0.0;
  if (parse_double(text, d)) {
    return rclcpp::ParameterValue(d);
  }
  return rclcpp::ParameterValue(text);
}

const char * element_type_word(rclcpp::ParameterType type)
{
  switch (type) {
    case rclcpp::PARAMETER_BOOL:
      return "bool";
    case rclcpp::PARAMETER_INTEGER:
      return "int64";
    case rclcpp::PARAMETER_DOUBLE:
      return "double";
    default:
      return "string";
  }
}

int line_of(const YAML::Node & node)
{
  return node.Mark().is_null() ? 1 : node.Mark().line + 1;
}

bool is_word_char(char c)
{
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// yaml-cpp turns "~" and "null" into null nodes without text, but rcl keeps them as the strings
// they are. Recover the spelling from the source; a null node without such a spelling is an
// empty value, which rcl refuses.
bool null_spelling(const YAML::Node & node, const std::string & source, std::string & text)
{
  const YAML::Mark mark = node.Mark();
  if (mark.is_null() || mark.pos < 0 || static_cast<size_t>(mark.pos) >= source.size()) {
    return false;
  }
  const size_t pos = static_cast<size_t>(mark.pos);
  for (const char * word : {"~", "null", "Null", "NULL"}) {
    const std::string w(word);
    if (source.compare(pos, w.size(), w) != 0) {
      continue;
    }
    const size_t after = pos + w.size();
    if (after < source.size() && (is_word_char(source[after]) || source[after] == ':')) {
      continue;
    }
    text = w;
    return true;
  }
  return false;
}

rclcpp::ParameterValue scalar_value(const YAML::Node & node, const std::string & source)
{
  if (node.IsNull()) {
    std::string text;
    if (!null_spelling(node, source, text)) {
      throw std::invalid_argument("No value at line " + std::to_string(line_of(node)));
    }
    return rclcpp::ParameterValue(text);
  }
  // yaml-cpp tags quoted (non-plain) scalars with "!"; rcl types everything else, explicit tags
  // included.
  return typed_scalar(node.Scalar(), node.Tag() == "!");
}

rclcpp::ParameterValue sequence_value(const YAML::Node & node, const std::string & source)
{
  if (node.size() == 0) {
    return rclcpp::ParameterValue();
  }
  std::vector<rclcpp::ParameterValue> elements;
  for (const auto & element : node) {
    if (element.IsSequence()) {
      throw std::invalid_argument(
              "Sequences cannot be nested at line " + std::to_string(line_of(element)));
    }
    if (element.IsMap()) {
      throw std::invalid_argument(
              "Maps cannot be part of a sequence at line " + std::to_string(line_of(element)));
    }
    rclcpp::ParameterValue value = scalar_value(element, source);
    // The first element fixes the type of the whole array.
    if (!elements.empty() && value.get_type() != elements.front().get_type()) {
      throw std::invalid_argument(
              std::string("Sequence should be of same type. Value type '") +
              element_type_word(value.get_type()) + "' do not belong at line_num " +
              std::to_string(line_of(element)));
    }
    elements.push_back(value);
  }
  switch (elements.front().get_type()) {
    case rclcpp::PARAMETER_BOOL: {
        std::vector<bool> values;
        for (const auto & e : elements) {values.push_back(e.get<bool>());}
        return rclcpp::ParameterValue(values);
      }
    case rclcpp::PARAMETER_INTEGER: {
        std::vector<int64_t> values;
        for (const auto & e : elements) {values.push_back(e.get<int64_t>());}
        return rclcpp::ParameterValue(values);
      }
    case rclcpp::PARAMETER_DOUBLE: {
        std::vector<double> values;
        for (const auto & e : elements) {values.push_back(e.get<double>());}
        return rclcpp::ParameterValue(values);
      }
    default: {
        std::vector<std::string> values;
        for (const auto & e : elements) {values.push_back(e.get<std::string>());}
        return rclcpp::ParameterValue(values);
      }
  }
}

YAML::Node load_yaml(const std::string & text)
{
  try {
    return YAML::Load(text);
  } catch (const YAML::Exception & e) {
    throw std::invalid_argument(
            "Error parsing a event near line " + std::to_string(e.mark.line + 1));
  }
}

// ---- params files ----

std::string join_node_path(const std::string & path, const std::string & key)
{
  if (path.empty()) {
    return key;
  }
  if (path.back() == '/' || (!key.empty() && key.front() == '/')) {
    return path + key;
  }
  return path + "/" + key;
}

void collect_parameters(
  const YAML::Node & map, const std::string & node_name, const std::string & prefix,
  const std::string & source, std::vector<ParameterRule> & rules)
{
  for (const auto & entry : map) {
    const std::string key = entry.first.Scalar();
    const std::string name = prefix.empty() ? key : prefix + "." + key;
    const YAML::Node & value = entry.second;
    if (value.IsMap()) {
      collect_parameters(value, node_name, name, source, rules);
    } else if (value.IsSequence()) {
      rules.push_back({node_name, name, sequence_value(value, source)});
    } else {
      rules.push_back({node_name, name, scalar_value(value, source)});
    }
  }
}

void collect_nodes(
  const YAML::Node & map, const std::string & path, const std::string & source,
  std::vector<ParameterRule> & rules)
{
  for (const auto & entry : map) {
    const std::string key = entry.first.Scalar();
    const YAML::Node & value = entry.second;
    if (key == "ros__parameters") {
      if (path.empty()) {
        throw std::invalid_argument(
                "There are no node names before ros__parameters at line " +
                std::to_string(line_of(entry.first)));
      }
      if (value.IsMap()) {
        collect_parameters(value, path, "", source, rules);
      } else if (!value.IsNull()) {
        throw std::invalid_argument(
                "ros__parameters must be a map at line " + std::to_string(line_of(value)));
      }
      continue;
    }
    if (!value.IsMap()) {
      throw std::invalid_argument(
              "Cannot have a value before ros__parameters at line " +
              std::to_string(line_of(value.IsNull() ? entry.first : value)));
    }
    collect_nodes(value, join_node_path(path, key), source, rules);
  }
}

// ---- rule syntax ----

// A name token: starts with a letter or '_', no double underscore.
bool is_token(const std::string & token)
{
  static const std::regex token_regex("(([a-zA-Z](_)?)|_)([0-9a-zA-Z](_)?)*");
  return std::regex_match(token, token_regex);
}

bool is_parameter_name(const std::string & name)
{
  static const std::regex name_regex(
    "(([a-zA-Z](_)?)|_)([0-9a-zA-Z](_)?)*([./](([a-zA-Z](_)?)|_)([0-9a-zA-Z](_)?)*)*");
  return std::regex_match(name, name_regex);
}

// "name", "/ns/name", "/**", "*/name", ...: tokens or wildcards separated by '/'.
bool is_node_key(const std::string & key)
{
  if (key.empty()) {
    return false;
  }
  size_t start = key.front() == '/' ? 1 : 0;
  if (start == key.size()) {
    return false;
  }
  while (start <= key.size()) {
    size_t end = key.find('/', start);
    if (end == std::string::npos) {
      end = key.size();
    }
    const std::string part = key.substr(start, end - start);
    if (part != "*" && part != "**" && !is_token(part)) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

// A topic-like name: optional leading '/' or "~/" (or "~" alone), then tokens separated by '/'.
bool is_remap_name(const std::string & name)
{
  if (name.empty()) {
    return false;
  }
  std::string rest = name;
  if (rest == "~") {
    return true;
  }
  if (rest.compare(0, 2, "~/") == 0) {
    rest = rest.substr(2);
  } else if (rest.front() == '/') {
    rest = rest.substr(1);
  }
  if (rest.empty()) {
    return name == "/";
  }
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find('/', start);
    if (end == std::string::npos) {
      end = rest.size();
    }
    const std::string part = rest.substr(start, end - start);
    if (!is_token(part) && part != "{node}" && part != "{ns}" && part != "{namespace}") {
      return false;
    }
    start = end + 1;
  }
  return true;
}

std::string upper(std::string text)
{
  for (auto & c : text) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return text;
}

bool parse_severity(const std::string & text, int & level)
{
  const std::string u = upper(text);
  static const std::pair<const char *, int> levels[] = {
    {"UNSET", RCUTILS_LOG_SEVERITY_UNSET}, {"DEBUG", RCUTILS_LOG_SEVERITY_DEBUG},
    {"INFO", RCUTILS_LOG_SEVERITY_INFO}, {"WARN", RCUTILS_LOG_SEVERITY_WARN},
    {"WARNING", RCUTILS_LOG_SEVERITY_WARN}, {"ERROR", RCUTILS_LOG_SEVERITY_ERROR},
    {"FATAL", RCUTILS_LOG_SEVERITY_FATAL}};
  for (const auto & entry : levels) {
    if (u == entry.first) {
      level = entry.second;
      return true;
    }
  }
  return false;
}

ParameterRule parse_param_rule(const std::string & rule)
{
  const size_t assign = rule.find(":=");
  if (assign == std::string::npos) {
    throw std::invalid_argument("Expected ':=' in parameter rule '" + rule + "'");
  }
  const std::string lhs = rule.substr(0, assign);
  const std::string value_text = rule.substr(assign + 2);
  ParameterRule result;
  result.node_name = "/**";
  std::string name = lhs;
  const size_t colon = lhs.find(':');
  if (colon != std::string::npos) {
    result.node_name = lhs.substr(0, colon);
    name = lhs.substr(colon + 1);
    if (!is_node_key(result.node_name)) {
      throw std::invalid_argument("Invalid node name '" + result.node_name + "' in parameter rule");
    }
  }
  if (!is_parameter_name(name)) {
    throw std::invalid_argument("Invalid parameter name '" + name + "'");
  }
  result.name = name;
  result.value = parse_parameter_value(value_text);
  return result;
}

RemapRule parse_remap_rule(const std::string & rule)
{
  const size_t assign = rule.find(":=");
  if (assign == std::string::npos) {
    throw std::invalid_argument("Expected ':=' in remap rule '" + rule + "'");
  }
  RemapRule result;
  std::string from = rule.substr(0, assign);
  result.to = rule.substr(assign + 2);
  // "node:from" - a node-name prefix is a single token; "~/" and "/" cannot contain ':'.
  const size_t colon = from.find(':');
  if (colon != std::string::npos) {
    result.node_name = from.substr(0, colon);
    from = from.substr(colon + 1);
    if (!is_token(result.node_name)) {
      throw std::invalid_argument("Invalid node name prefix '" + result.node_name + "'");
    }
  }
  result.from = from == "__name" ? "__node" : from;
  if (result.from == "__node") {
    if (!is_token(result.to)) {
      throw std::invalid_argument("Invalid node name '" + result.to + "' in remap rule");
    }
  } else if (result.from == "__ns") {
    if (result.to.empty() || result.to.front() != '/') {
      throw std::invalid_argument(
              "Namespace not remapped to a fully qualified name (found: " + result.to + ")");
    }
    if (result.to != "/" && !is_remap_name(result.to)) {
      throw std::invalid_argument("Invalid namespace '" + result.to + "' in remap rule");
    }
  } else {
    if (!is_remap_name(result.from)) {
      throw std::invalid_argument("Invalid name to remap '" + result.from + "'");
    }
    if (!is_remap_name(result.to)) {
      throw std::invalid_argument("Invalid replacement name '" + result.to + "'");
    }
  }
  return result;
}

LoggerLevelRule parse_log_level_rule(const std::string & rule)
{
  LoggerLevelRule result{"", -1};
  std::string level_text = rule;
  const size_t assign = rule.rfind(":=");
  if (assign != std::string::npos) {
    result.logger_name = rule.substr(0, assign);
    level_text = rule.substr(assign + 2);
    if (result.logger_name.empty()) {
      throw std::invalid_argument("Logger name must not be empty in '" + rule + "'");
    }
  }
  if (!parse_severity(level_text, result.level)) {
    throw std::invalid_argument(
            "Argument does not use a valid severity level: '" + level_text + "'");
  }
  return result;
}

// Records the failure as rcl does (inner reason wrapped into the flag's message) and throws it
// as RCLInvalidROSArgsError.
[[noreturn]] void fail(const std::string & error_prefix, const std::string & message)
{
  rcl_reset_error();
  RCL_SET_ERROR_MSG(message.c_str());
  rclcpp::exceptions::throw_from_rcl_error(RCL_RET_INVALID_ROS_ARGS, error_prefix);
}

std::string inner_error(const std::string & reason)
{
  rcl_reset_error();
  RCL_SET_ERROR_MSG(reason.c_str());
  const std::string formatted = rcl_get_error_string().str;
  rcl_reset_error();
  return formatted;
}

bool is_flag(const std::string & arg, const char * short_flag, const char * long_flag)
{
  return (short_flag != nullptr && arg == short_flag) || arg == long_flag;
}

void warn_rcl(const std::string & message)
{
  static const rcutils_log_location_t location = {"parse_ros_arguments", __FILE__, __LINE__};
  rcutils_log(&location, RCUTILS_LOG_SEVERITY_WARN, "rcl", "%s", message.c_str());
}

RosArguments parse_argument_list(
  const std::vector<std::string> & args, const std::string & error_prefix, bool throw_on_unknown)
{
  RosArguments result;
  bool in_ros_args = false;
  const size_t n = args.size();
  for (size_t i = 0; i < n; ++i) {
    const std::string & arg = args[i];
    if (!in_ros_args) {
      if (arg == "--ros-args") {
        in_ros_args = true;
        continue;
      }
      // The old spelling of a remap rule: a bare "from:=to" outside --ros-args.
      if (i > 0 && arg.find(":=") != std::string::npos) {
        try {
          result.remaps.push_back(parse_remap_rule(arg));
          warn_rcl(
            "Found remap rule '" + arg + "'. This syntax is deprecated. Use '--ros-args --remap " +
            arg + "' instead.");
          continue;
        } catch (const std::invalid_argument &) {
          // Not a remap rule: an ordinary argument of the program.
        }
      }
      result.non_ros_args.push_back(arg);
      continue;
    }

    if (arg == "--ros-args") {
      continue;
    }
    if (arg == "--") {
      in_ros_args = false;
      continue;
    }
    const bool has_value = i + 1 < n;
    if (is_flag(arg, "-p", "--param")) {
      if (!has_value) {
        fail(
          error_prefix,
          "Couldn't parse trailing " + arg + " flag. No parameter override rule found.");
      }
      try {
        result.parameters.push_back(parse_param_rule(args[i + 1]));
      } catch (const std::invalid_argument & e) {
        fail(
          error_prefix, "Couldn't parse parameter override rule: '" + arg + " " + args[i + 1] +
          "'. Error: " + inner_error(e.what()));
      }
      ++i;
      continue;
    }
    if (is_flag(arg, "-r", "--remap")) {
      if (!has_value) {
        fail(error_prefix, "Couldn't parse trailing " + arg + " flag. No remap rule found.");
      }
      try {
        result.remaps.push_back(parse_remap_rule(args[i + 1]));
      } catch (const std::invalid_argument & e) {
        fail(
          error_prefix, "Couldn't parse remap rule: '" + arg + " " + args[i + 1] +
          "'. Error: " + inner_error(e.what()));
      }
      ++i;
      continue;
    }
    if (arg == "--params-file") {
      if (!has_value) {
        fail(error_prefix, "Couldn't parse trailing " + arg + " flag. No file path provided.");
      }
      try {
        for (auto & rule : parse_parameters_file(args[i + 1])) {
          result.parameters.push_back(std::move(rule));
        }
        result.params_files.push_back(args[i + 1]);
      } catch (const std::invalid_argument & e) {
        fail(
          error_prefix, "Couldn't parse params file: '" + arg + " " + args[i + 1] +
          "'. Error: " + inner_error(e.what()));
      }
      ++i;
      continue;
    }
    if (arg == "--log-level") {
      if (!has_value) {
        fail(
          error_prefix,
          "Couldn't parse trailing log level flag: '" + arg + "'. No log level rule found.");
      }
      try {
        LoggerLevelRule rule = parse_log_level_rule(args[i + 1]);
        if (rule.logger_name.empty()) {
          result.log_level = rule.level;
        } else {
          result.logger_levels.push_back(rule);
        }
      } catch (const std::invalid_argument & e) {
        fail(
          error_prefix, "Couldn't parse log level rule: '" + arg + " " + args[i + 1] +
          "'. Error: " + inner_error(e.what()));
      }
      ++i;
      continue;
    }
    if (is_flag(arg, "-e", "--enclave")) {
      if (!has_value) {
        fail(error_prefix, "Couldn't parse trailing " + arg + " flag. No enclave path provided.");
      }
      result.enclave = args[++i];
      continue;
    }
    if (arg == "--log-config-file") {
      if (!has_value) {
        fail(error_prefix, "Couldn't parse trailing " + arg + " flag. No file path provided.");
      }
      result.log_config_file = args[++i];
      continue;
    }
    if (arg == "--enable-stdout-logs" || arg == "--disable-stdout-logs") {
      result.log_stdout_disabled = arg == "--disable-stdout-logs";
      continue;
    }
    if (arg == "--enable-rosout-logs" || arg == "--disable-rosout-logs") {
      result.log_rosout_disabled = arg == "--disable-rosout-logs";
      continue;
    }
    if (arg == "--enable-external-lib-logs" || arg == "--disable-external-lib-logs") {
      result.log_ext_lib_disabled = arg == "--disable-external-lib-logs";
      continue;
    }
    result.unparsed_ros_args.push_back(arg);
  }

  if (throw_on_unknown && !result.unparsed_ros_args.empty()) {
    std::vector<std::string> unknown = result.unparsed_ros_args;
    throw rclcpp::exceptions::UnknownROSArgsError(std::move(unknown));
  }
  return result;
}

std::mutex & global_arguments_mutex()
{
  static std::mutex mutex;
  return mutex;
}

RosArguments & global_arguments_storage()
{
  static RosArguments arguments;
  return arguments;
}

std::string replace_all(std::string text, const std::string & from, const std::string & to)
{
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
  return text;
}

}  // namespace

rclcpp::ParameterValue parse_parameter_value(const std::string & yaml_text)
{
  const YAML::Node node = load_yaml(yaml_text);
  if (node.IsMap()) {
    throw std::invalid_argument("Maps are not allowed as parameter values at line 1");
  }
  if (node.IsSequence()) {
    return sequence_value(node, yaml_text);
  }
  return scalar_value(node, yaml_text);
}

std::vector<ParameterRule> parse_parameters_file(const std::string & path)
{
  std::ifstream file(path);
  if (!file) {
    throw std::invalid_argument("Error opening YAML file '" + path + "'");
  }
  std::stringstream buffer;
  buffer << file.rdbuf();
  const std::string source = buffer.str();
  const YAML::Node root = load_yaml(source);
  std::vector<ParameterRule> rules;
  if (root.IsNull()) {
    return rules;
  }
  if (!root.IsMap()) {
    throw std::invalid_argument(
            "Params file must hold a map of node names at line " + std::to_string(line_of(root)));
  }
  collect_nodes(root, "", source, rules);
  return rules;
}

bool node_name_matches(const std::string & rule_node_name, const std::string & node_fqn)
{
  std::string key = rule_node_name;
  if (key.empty() || key.front() != '/') {
    key = "/" + key;
  }
  // A node name holds only letters, digits, underscores and slashes, so a key with any other
  // character matches no node; tested first because the key becomes a regular expression, where
  // such characters would be syntax (a quantifier like {99999999999} overflows inside the
  // regex compiler).
  for (const char c : key) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '/' && c != '*') {
      return false;
    }
  }
  // "/*" is one namespace level, "/**" any number of them.
  const std::string pattern = replace_all(key, "/*", "(/\\w+)");
  try {
    return std::regex_match(node_fqn, std::regex(pattern));
  } catch (const std::regex_error &) {
    return false;
  }
}

std::vector<rclcpp::Parameter> parameter_overrides_for_node(
  const RosArguments & arguments, const std::string & node_name, const std::string & node_fqn)
{
  (void)node_name;
  // rcl keeps one table per node key, in order of the key's first appearance; a repeated
  // parameter replaces its value in place. rclcpp then applies the tables of all matching keys
  // in that order.
  struct Table
  {
    std::string key;
    std::vector<std::pair<std::string, rclcpp::ParameterValue>> entries;
  };
  std::vector<Table> tables;
  for (const auto & rule : arguments.parameters) {
    auto table = tables.begin();
    for (; table != tables.end(); ++table) {
      if (table->key == rule.node_name) {
        break;
      }
    }
    if (table == tables.end()) {
      tables.push_back({rule.node_name, {}});
      table = tables.end() - 1;
    }
    auto entry = table->entries.begin();
    for (; entry != table->entries.end(); ++entry) {
      if (entry->first == rule.name) {
        entry->second = rule.value;
        break;
      }
    }
    if (entry == table->entries.end()) {
      table->entries.emplace_back(rule.name, rule.value);
    }
  }

  std::map<std::string, rclcpp::ParameterValue> resolved;
  for (const auto & table : tables) {
    if (!node_name_matches(table.key, node_fqn)) {
      continue;
    }
    for (const auto & entry : table.entries) {
      if (entry.second.get_type() == rclcpp::PARAMETER_NOT_SET) {
        throw rclcpp::exceptions::InvalidParameterValueException("No parameter value set");
      }
      resolved[entry.first] = entry.second;
    }
  }
  std::vector<rclcpp::Parameter> parameters;
  parameters.reserve(resolved.size());
  for (const auto & entry : resolved) {
    parameters.emplace_back(entry.first, entry.second);
  }
  return parameters;
}

RosArguments parse_ros_arguments(
  int argc, const char * const * argv, const std::string & error_prefix, bool throw_on_unknown)
{
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    args.emplace_back(argv[i] != nullptr ? argv[i] : "");
  }
  return parse_argument_list(args, error_prefix, throw_on_unknown);
}

RosArguments parse_ros_arguments(
  const std::vector<std::string> & arguments, const std::string & error_prefix,
  bool throw_on_unknown)
{
  // No program name here: the list starts with a real argument.
  std::vector<std::string> args;
  args.reserve(arguments.size() + 1);
  args.emplace_back("");
  args.insert(args.end(), arguments.begin(), arguments.end());
  RosArguments result = parse_argument_list(args, error_prefix, throw_on_unknown);
  result.non_ros_args.erase(result.non_ros_args.begin());
  return result;
}

void set_global_arguments(RosArguments arguments)
{
  std::lock_guard<std::mutex> lock(global_arguments_mutex());
  global_arguments_storage() = std::move(arguments);
}

const RosArguments & global_arguments()
{
  std::lock_guard<std::mutex> lock(global_arguments_mutex());
  return global_arguments_storage();
}

void apply_log_levels(const RosArguments & arguments)
{
  if (arguments.log_level >= 0) {
    rcutils_logging_set_default_logger_level(arguments.log_level);
  }
  for (const auto & rule : arguments.logger_levels) {
    if (rcutils_logging_set_logger_level(rule.logger_name.c_str(), rule.level) !=
      RCUTILS_RET_OK)
    {
      rclcpp::exceptions::throw_from_rcl_error(RCL_RET_ERROR, "failed to configure logging");
    }
  }
}

std::string remapped_node_name(const RosArguments & arguments, const std::string & node_name)
{
  for (const auto & rule : arguments.remaps) {
    if (rule.from == "__node" && (rule.node_name.empty() || rule.node_name == node_name)) {
      return rule.to;
    }
  }
  return node_name;
}

std::string remapped_namespace(
  const RosArguments & arguments, const std::string & node_name,
  const std::string & node_namespace)
{
  for (const auto & rule : arguments.remaps) {
    if (rule.from == "__ns" && (rule.node_name.empty() || rule.node_name == node_name)) {
      return rule.to;
    }
  }
  return node_namespace;
}

std::string expand_topic_name(
  const std::string & name, const std::string & node_name, const std::string & node_namespace)
{
  std::string ns = node_namespace.empty() ? "/" : node_namespace;
  if (ns.front() != '/') {
    ns = "/" + ns;
  }
  if (ns.size() > 1 && ns.back() == '/') {
    ns.pop_back();
  }
  const std::string ns_prefix = ns == "/" ? "" : ns;
  std::string expanded = replace_all(name, "{node}", node_name);
  expanded = replace_all(expanded, "{namespace}", ns);
  expanded = replace_all(expanded, "{ns}", ns);
  if (!expanded.empty() && expanded.front() == '/') {
    return expanded;
  }
  if (!expanded.empty() && expanded.front() == '~') {
    return ns_prefix + "/" + node_name + expanded.substr(1);
  }
  return ns_prefix + "/" + expanded;
}

std::string remapped_topic_name(
  const RosArguments & arguments, const std::string & node_name,
  const std::string & node_namespace, const std::string & topic_name)
{
  const std::string expanded = expand_topic_name(topic_name, node_name, node_namespace);
  for (const auto & rule : arguments.remaps) {
    if (rule.from == "__node" || rule.from == "__ns") {
      continue;
    }
    if (!rule.node_name.empty() && rule.node_name != node_name) {
      continue;
    }
    if (expand_topic_name(rule.from, node_name, node_namespace) == expanded) {
      return expand_topic_name(rule.to, node_name, node_namespace);
    }
  }
  return expanded;
}

}  // namespace detail
}  // namespace rclcpp
