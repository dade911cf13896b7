// Names and ros2msg schema texts of the message types the CDR codecs handle, for bag writers
// that must describe each topic's type (MCAP Schema records, rosbag2 topic metadata).
#ifndef CDR__MESSAGE_TYPES_HPP_
#define CDR__MESSAGE_TYPES_HPP_

#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"

namespace sweepmend
{
namespace cdr
{

/// MCAP Schema.encoding of the texts returned by ros2msg_definition().
constexpr const char * kRos2msgEncoding = "ros2msg";
/// MCAP Channel.message_encoding / rosbag2 serialization format of serialize()'s output.
constexpr const char * kCdrEncoding = "cdr";

/// Interface name of MessageT as bags record it, e.g. "sensor_msgs/msg/Imu".
template<typename MessageT>
const char * message_type_name()
{
  return rosidl_generator_traits::name<MessageT>();
}

/// The ros2msg schema text of a type, as rosbag2's MCAP storage records it: the type's own
/// .msg definition, then for every nested type (depth first, each once) a line of 80 '=',
/// a line "MSG: pkg/Type" and that type's definition. type_name is "pkg/msg/Type" (or the
/// short "pkg/Type"). Returns nullptr for a type the codecs do not know. The text lives as long
/// as the program.
const char * ros2msg_definition(const std::string & type_name);

/// ros2msg_definition() of MessageT.
template<typename MessageT>
const char * ros2msg_definition()
{
  return ros2msg_definition(message_type_name<MessageT>());
}

/// Every "pkg/msg/Type" that ros2msg_definition() and the CDR codecs know, sorted.
const std::vector<std::string> & known_message_types();

}  // namespace cdr
}  // namespace sweepmend

#endif  // CDR__MESSAGE_TYPES_HPP_
