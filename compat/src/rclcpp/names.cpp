#include "names.hpp"

#include <stdexcept>

#include "rclcpp/exceptions.hpp"

namespace rclcpp
{
namespace detail
{

namespace
{
bool is_alnum(char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool is_digit(char c) {return c >= '0' && c <= '9';}

constexpr size_t kNodeNameMaxLength = 255;

enum class FullTopicResult
{
  Valid,
  Empty,
  NotAbsolute,
  EndsWithSlash,
  UnallowedCharacters,
  RepeatedSlash,
  TokenStartsWithNumber,
};

FullTopicResult check_full(const std::string & name, size_t & index)
{
  index = 0;
  if (name.empty()) {
    return FullTopicResult::Empty;
  }
  if (name[0] != '/') {
    return FullTopicResult::NotAbsolute;
  }
  if (name.size() > 1 && name.back() == '/') {
    index = name.size() - 1;
    return FullTopicResult::EndsWithSlash;
  }
  for (size_t i = 0; i < name.size(); ++i) {
    if (!is_alnum(name[i]) && name[i] != '_' && name[i] != '/') {
      index = i;
      return FullTopicResult::UnallowedCharacters;
    }
  }
  for (size_t i = 1; i < name.size(); ++i) {
    if (name[i - 1] == '/' && name[i] == '/') {
      index = i;
      return FullTopicResult::RepeatedSlash;
    }
    if (name[i - 1] == '/' && is_digit(name[i])) {
      index = i;
      return FullTopicResult::TokenStartsWithNumber;
    }
  }
  return FullTopicResult::Valid;
}
}  // namespace

NameCheck check_node_name(const std::string & name)
{
  NameCheck result;
  if (name.empty()) {
    result.message = "node name must not be empty";
    return result;
  }
  for (size_t i = 0; i < name.size(); ++i) {
    if (!is_alnum(name[i]) && name[i] != '_') {
      result.message = "node name must not contain characters other than alphanumerics or '_'";
      result.invalid_index = i;
      return result;
    }
  }
  if (is_digit(name[0])) {
    result.message = "node name must not start with a number";
    return result;
  }
  if (name.size() > kNodeNameMaxLength) {
    result.message = "node name should not exceed '255'";
    result.invalid_index = kNodeNameMaxLength - 1;
  }
  return result;
}

NameCheck check_namespace(const std::string & node_namespace)
{
  NameCheck result;
  if (node_namespace == "/") {
    return result;
  }
  size_t index = 0;
  switch (check_full(node_namespace, index)) {
    case FullTopicResult::Valid:
      break;
    case FullTopicResult::Empty:
      result.message = "namespace must not be empty";
      break;
    case FullTopicResult::NotAbsolute:
      result.message = "namespace must be absolute, it must lead with a '/'";
      break;
    case FullTopicResult::EndsWithSlash:
      result.message = "namespace must not end with a '/', unless only a '/'";
      break;
    case FullTopicResult::UnallowedCharacters:
      result.message = "namespace must not contain characters other than alphanumerics, '_', or '/'";
      break;
    case FullTopicResult::RepeatedSlash:
      result.message = "namespace must not contain repeated '/'";
      break;
    case FullTopicResult::TokenStartsWithNumber:
      result.message = "namespace must not have a token that starts with a number";
      break;
  }
  result.invalid_index = index;
  return result;
}

NameCheck check_full_topic_name(const std::string & name)
{
  NameCheck result;
  size_t index = 0;
  switch (check_full(name, index)) {
    case FullTopicResult::Valid:
      break;
    case FullTopicResult::Empty:
      result.message = "topic name must not be empty";
      break;
    case FullTopicResult::NotAbsolute:
      result.message = "topic name must be absolute, it must lead with a '/'";
      break;
    case FullTopicResult::EndsWithSlash:
      result.message = "topic name must not end with a '/'";
      break;
    case FullTopicResult::UnallowedCharacters:
      result.message = "topic name must not contain characters other than alphanumerics, '_', or '/'";
      break;
    case FullTopicResult::RepeatedSlash:
      result.message = "topic name must not contain repeated '/'";
      break;
    case FullTopicResult::TokenStartsWithNumber:
      result.message = "topic name must not have a token that starts with a number";
      break;
  }
  result.invalid_index = index;
  return result;
}

NameCheck check_topic_name(const std::string & name)
{
  NameCheck result;
  auto fail = [&result](const char * message, size_t index) {
      result.message = message;
      result.invalid_index = index;
      return result;
    };
  if (name.empty()) {
    return fail("topic name must not be empty string", 0);
  }
  if (is_digit(name[0])) {
    return fail("topic name token must not start with a number", 0);
  }
  if (name.back() == '/') {
    return fail("topic name must not end with a forward slash", name.size() - 1);
  }
  bool in_braces = false;
  size_t brace_start = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (is_alnum(c) || c == '_') {
      continue;
    }
    if (c == '/') {
      if (in_braces) {
        return fail(
          "topic name must not have a substitution containing characters other than "
          "alphanumerics or '_'", i);
      }
      continue;
    }
    if (c == '~') {
      if (i != 0) {
        return fail(
          "topic name must not have tilde '~' unless it is the first character and followed "
          "by '/'", i);
      }
      continue;
    }
    if (c == '{') {
      if (in_braces) {
        return fail(
          "topic name must not have a substitution containing characters other than "
          "alphanumerics or '_'", i);
      }
      in_braces = true;
      brace_start = i;
      if (i + 1 < name.size() && is_digit(name[i + 1])) {
        return fail("topic name must not have a substitution that starts with a number", i + 1);
      }
      continue;
    }
    if (c == '}') {
      if (!in_braces) {
        return fail("topic name must not have unmatched (unbalanced) curly braces '{}'", i);
      }
      in_braces = false;
      continue;
    }
    if (in_braces) {
      return fail(
        "topic name must not have a substitution containing characters other than "
        "alphanumerics or '_'", i);
    }
    return fail(
      "topic name must not contain characters other than alphanumerics, '_', '~', '{', or '}'",
      i);
  }
  if (in_braces) {
    return fail("topic name must not have unmatched (unbalanced) curly braces '{}'", brace_start);
  }
  if (name.size() > 1 && name[0] == '~' && name[1] != '/') {
    return fail("topic name must not have a tilde '~' that is not followed by a forward slash", 1);
  }
  for (size_t i = 0; i + 1 < name.size(); ++i) {
    if (name[i] == '/' && is_digit(name[i + 1])) {
      return fail("topic name token must not start with a number", i + 1);
    }
  }
  return result;
}

void validate_node_name(const std::string & name)
{
  const NameCheck check = check_node_name(name);
  if (!check.valid()) {
    throw exceptions::InvalidNodeNameError(name.c_str(), check.message, check.invalid_index);
  }
}

std::string validate_namespace(const std::string & node_namespace)
{
  std::string absolute = node_namespace;
  if (absolute.empty()) {
    absolute = "/";
  } else if (absolute[0] != '/') {
    absolute = "/" + absolute;
  }
  if (check_namespace(absolute).valid()) {
    return absolute;
  }
  // rcl checked the absolute form, but rclcpp reports on the namespace as it was given.
  const NameCheck check = check_namespace(node_namespace);
  if (!check.valid()) {
    throw exceptions::InvalidNamespaceError(
            node_namespace.c_str(), check.message, check.invalid_index);
  }
  throw std::runtime_error("valid rmw node namespace but invalid rcl node namespace");
}

void validate_topic_name(const std::string & name)
{
  const NameCheck check = check_topic_name(name);
  if (!check.valid()) {
    throw exceptions::InvalidTopicNameError(name.c_str(), check.message, check.invalid_index);
  }
}

void validate_full_topic_name(const std::string & name)
{
  const NameCheck check = check_full_topic_name(name);
  if (!check.valid()) {
    throw exceptions::InvalidTopicNameError(name.c_str(), check.message, check.invalid_index);
  }
}

}  // namespace detail
}  // namespace rclcpp
