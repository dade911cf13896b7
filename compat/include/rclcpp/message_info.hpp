// Metadata delivered with a message to callbacks that ask for it.
#ifndef RCLCPP__MESSAGE_INFO_HPP_
#define RCLCPP__MESSAGE_INFO_HPP_

#include <cstdint>

namespace rclcpp
{

/// rmw's message metadata (times in ns since the epoch; 0 when unknown).
struct rmw_message_info_compat_t
{
  int64_t source_timestamp{0};
  int64_t received_timestamp{0};
  uint64_t publication_sequence_number{0};
  uint64_t reception_sequence_number{0};
  bool from_intra_process{false};
};

/// Metadata of one received message.
class MessageInfo
{
public:
  MessageInfo() = default;
  const rmw_message_info_compat_t & get_rmw_message_info() const {return info_;}
  rmw_message_info_compat_t & get_rmw_message_info() {return info_;}

private:
  rmw_message_info_compat_t info_;
};

}  // namespace rclcpp

#endif  // RCLCPP__MESSAGE_INFO_HPP_
