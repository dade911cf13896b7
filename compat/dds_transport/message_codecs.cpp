#include "dds_transport/message_codecs.hpp"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cdr/cdr.hpp"
#include "livox_ros_driver2/msg/custom_msg.hpp"
#include "rcl_interfaces/msg/log.hpp"
#include "rcl_interfaces/msg/parameter_event.hpp"
#include "rmw_dds_common/msg/participant_entities_info.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "rosidl_runtime_cpp/message_traits.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "tf2_msgs/msg/tf_message.hpp"

namespace sweepmend
{
namespace dds_transport
{
namespace
{

template<typename MessageT>
MessageCodec make_codec()
{
  MessageCodec codec;
  codec.ros_type = rosidl_generator_traits::name<MessageT>();
  codec.dds_type = dds_type_name(codec.ros_type);
  codec.encode = [](const void * message) {
      auto bytes = cdr::serialize(*static_cast<const MessageT *>(message));
      // Humble's middleware pads every payload to a multiple of 4 with zeros.
      bytes.resize((bytes.size() + 3) & ~static_cast<std::size_t>(3), 0);
      return bytes;
    };
  codec.decode = [](const uint8_t * data, std::size_t size) -> rclcpp::detail::MessagePtr {
      auto message = std::make_shared<MessageT>();
      cdr::deserialize(data, size, *message);
      return message;
    };
  return codec;
}

const std::map<std::string, MessageCodec> & codecs()
{
  static const std::map<std::string, MessageCodec> table = [] {
      std::map<std::string, MessageCodec> t;
      for (auto codec : {
          make_codec<sensor_msgs::msg::Imu>(),
          make_codec<sensor_msgs::msg::PointCloud2>(),
          make_codec<livox_ros_driver2::msg::CustomMsg>(),
          make_codec<tf2_msgs::msg::TFMessage>(),
          make_codec<rosgraph_msgs::msg::Clock>(),
          make_codec<rcl_interfaces::msg::Log>(),
          make_codec<rcl_interfaces::msg::ParameterEvent>(),
          make_codec<rmw_dds_common::msg::ParticipantEntitiesInfo>()})
      {
        t.emplace(codec.ros_type, std::move(codec));
      }
      return t;
    }();
  return table;
}

}  // namespace

const MessageCodec * find_codec(const std::string & ros_type)
{
  const auto & table = codecs();
  auto it = table.find(ros_type);
  return it == table.end() ? nullptr : &it->second;
}

std::vector<std::string> carried_types()
{
  std::vector<std::string> names;
  for (const auto & entry : codecs()) {
    names.push_back(entry.first);
  }
  return names;
}

std::string dds_type_name(const std::string & ros_type)
{
  const auto last = ros_type.rfind('/');
  if (last == std::string::npos || last == 0 || ros_type.find('/') == last) {
    return std::string();
  }
  std::string scope = ros_type.substr(0, last);
  std::string result;
  for (char c : scope) {
    if (c == '/') {
      result += "::";
    } else {
      result += c;
    }
  }
  return result + "::dds_::" + ros_type.substr(last + 1) + "_";
}

std::string dds_topic_name(const std::string & ros_topic) {return "rt" + ros_topic;}

rclcpp::detail::MessagePtr decode_received(
  const std::string & ros_type, const uint8_t * data, std::size_t size, std::string & error)
{
  const MessageCodec * codec = find_codec(ros_type);
  if (codec == nullptr) {
    error = "no decoder for type '" + ros_type + "'";
    return nullptr;
  }
  try {
    return codec->decode(data, size);
  } catch (const cdr::CdrError & e) {
    error = e.what();
  } catch (const std::bad_alloc &) {
    error = "out of memory while decoding " + ros_type;
  }
  return nullptr;
}

std::size_t DropThrottle::record(std::chrono::steady_clock::time_point now)
{
  std::lock_guard<std::mutex> lock(mutex_);
  ++pending_;
  if (reported_ && now - last_report_ < interval_) {
    return 0;
  }
  reported_ = true;
  last_report_ = now;
  const std::size_t count = pending_;
  pending_ = 0;
  return count;
}

}  // namespace dds_transport
}  // namespace sweepmend
