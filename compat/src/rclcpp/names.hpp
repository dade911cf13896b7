// Validation of node names, namespaces and topic names with rcl's and rmw's rules and texts.
#ifndef RCLCPP__NAMES_HPP_
#define RCLCPP__NAMES_HPP_

#include <cstddef>
#include <string>

namespace rclcpp
{
namespace detail
{

/// Result of a validation: `message` empty when valid, else the reason and the offending index.
struct NameCheck
{
  const char * message = nullptr;
  size_t invalid_index = 0;
  bool valid() const {return message == nullptr;}
};

/// rmw's node name rules: non-empty, alphanumerics and '_', no leading digit, at most 255.
NameCheck check_node_name(const std::string & name);

/// rmw's namespace rules: "/" or an absolute topic-like name without trailing '/'.
NameCheck check_namespace(const std::string & node_namespace);

/// rcl's rules for a topic name as the user writes it (relative, "~", substitutions allowed).
NameCheck check_topic_name(const std::string & name);

/// rmw's rules for a fully qualified topic name.
NameCheck check_full_topic_name(const std::string & name);

/// Throws exceptions::InvalidNodeNameError unless `name` is valid.
void validate_node_name(const std::string & name);

/// Turns a user namespace into the absolute one rcl uses ("" -> "/", "a" -> "/a") and throws
/// exceptions::InvalidNamespaceError as rclcpp does (reporting the namespace as given).
std::string validate_namespace(const std::string & node_namespace);

/// Throws exceptions::InvalidTopicNameError unless `name` passes check_topic_name.
void validate_topic_name(const std::string & name);

/// Throws exceptions::InvalidTopicNameError unless `name` passes check_full_topic_name.
void validate_full_topic_name(const std::string & name);

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__NAMES_HPP_
