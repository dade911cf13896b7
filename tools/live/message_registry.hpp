// Publishing and subscribing by type name with serialised (CDR) messages, for tools that move
// recorded bytes between a bag and the ROS graph without knowing the types at compile time.
#ifndef LIVE__MESSAGE_REGISTRY_HPP_
#define LIVE__MESSAGE_REGISTRY_HPP_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"

namespace sweepmend
{
namespace live
{

/// A publisher that takes CDR bytes (with encapsulation header), decodes them with the type's
/// codec and publishes the message.
class SerializedPublisher
{
public:
  virtual ~SerializedPublisher() = default;
  /// Throws cdr::CdrError when the bytes are no valid message of the publisher's type.
  virtual void publish(const uint8_t * data, std::size_t size) = 0;
  virtual size_t subscription_count() const = 0;
};

/// Receives every message of a subscription as CDR bytes.
using SerializedCallback = std::function<void(std::vector<uint8_t> && data)>;

/// True if messages of `type` ("sensor_msgs/msg/Imu") can be played and recorded.
bool is_supported(const std::string & type);

/// The types is_supported() accepts, sorted.
std::vector<std::string> supported_types();

/// A publisher of `type` on `topic`, or nullptr for an unsupported type.
std::unique_ptr<SerializedPublisher> make_publisher(
  rclcpp::Node & node, const std::string & topic, const std::string & type, const rclcpp::QoS & qos);

/// A subscription of `type` on `topic` that hands every message to `callback` re-encoded, or
/// nullptr for an unsupported type. The subscription stays alive as long as the pointer.
std::shared_ptr<rclcpp::SubscriptionBase> make_subscription(
  rclcpp::Node & node, const std::string & topic, const std::string & type, const rclcpp::QoS & qos,
  SerializedCallback callback);

/// The QoS a tool uses towards the publishers whose rosbag2 offered_qos_profiles text is given:
/// keep last `depth`, reliable unless a profile offers only best effort, transient local when a
/// profile offers it.
rclcpp::QoS qos_from_offered_profiles(const std::string & offered_qos_profiles, size_t depth);

}  // namespace live
}  // namespace sweepmend

#endif  // LIVE__MESSAGE_REGISTRY_HPP_
