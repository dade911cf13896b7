#include "live/message_registry.hpp"

#include <algorithm>
#include <map>
#include <utility>

#include "cdr/cdr.hpp"
#include "livox_ros_driver2/msg/custom_msg.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "tf2_msgs/msg/tf_message.hpp"

namespace sweepmend
{
namespace live
{
namespace
{

template<typename MessageT>
class TypedPublisher : public SerializedPublisher
{
public:
  TypedPublisher(rclcpp::Node & node, const std::string & topic, const rclcpp::QoS & qos)
  : publisher_(node.create_publisher<MessageT>(topic, qos))
  {
  }

  void publish(const uint8_t * data, std::size_t size) override
  {
    auto msg = std::make_unique<MessageT>();
    cdr::deserialize(data, size, *msg);
    publisher_->publish(std::move(msg));
  }

  size_t subscription_count() const override {return publisher_->get_subscription_count();}

private:
  typename rclcpp::Publisher<MessageT>::SharedPtr publisher_;
};

struct TypeOps
{
  std::function<std::unique_ptr<SerializedPublisher>(
      rclcpp::Node &, const std::string &, const rclcpp::QoS &)> publisher;
  std::function<std::shared_ptr<rclcpp::SubscriptionBase>(
      rclcpp::Node &, const std::string &, const rclcpp::QoS &, SerializedCallback)> subscription;
};

template<typename MessageT>
TypeOps ops_of()
{
  TypeOps ops;
  ops.publisher = [](rclcpp::Node & node, const std::string & topic, const rclcpp::QoS & qos) {
      return std::make_unique<TypedPublisher<MessageT>>(node, topic, qos);
    };
  ops.subscription = [](
    rclcpp::Node & node, const std::string & topic, const rclcpp::QoS & qos,
    SerializedCallback callback) -> std::shared_ptr<rclcpp::SubscriptionBase> {
      return node.create_subscription<MessageT>(
        topic, qos, [callback = std::move(callback)](const typename MessageT::ConstSharedPtr & msg) {
          callback(cdr::serialize(*msg));
        });
    };
  return ops;
}

const std::map<std::string, TypeOps> & registry()
{
  static const std::map<std::string, TypeOps> types = {
    {"sensor_msgs/msg/Imu", ops_of<sensor_msgs::msg::Imu>()},
    {"sensor_msgs/msg/PointCloud2", ops_of<sensor_msgs::msg::PointCloud2>()},
    {"livox_ros_driver2/msg/CustomMsg", ops_of<livox_ros_driver2::msg::CustomMsg>()},
    {"tf2_msgs/msg/TFMessage", ops_of<tf2_msgs::msg::TFMessage>()},
    {"rosgraph_msgs/msg/Clock", ops_of<rosgraph_msgs::msg::Clock>()},
  };
  return types;
}

}  // namespace

bool is_supported(const std::string & type)
{
  return registry().count(type) > 0;
}

std::vector<std::string> supported_types()
{
  std::vector<std::string> out;
  for (const auto & entry : registry()) {
    out.push_back(entry.first);
  }
  return out;
}

std::unique_ptr<SerializedPublisher> make_publisher(
  rclcpp::Node & node, const std::string & topic, const std::string & type, const rclcpp::QoS & qos)
{
  auto it = registry().find(type);
  return it == registry().end() ? nullptr : it->second.publisher(node, topic, qos);
}

std::shared_ptr<rclcpp::SubscriptionBase> make_subscription(
  rclcpp::Node & node, const std::string & topic, const std::string & type, const rclcpp::QoS & qos,
  SerializedCallback callback)
{
  auto it = registry().find(type);
  return it == registry().end() ? nullptr :
         it->second.subscription(node, topic, qos, std::move(callback));
}

rclcpp::QoS qos_from_offered_profiles(const std::string & offered_qos_profiles, size_t depth)
{
  rclcpp::QoS qos(depth);
  // rosbag2 writes one YAML list entry per publisher with the rmw enum values; a reliable request
  // would not reach a best-effort publisher, so best effort as soon as one offers only that.
  if (offered_qos_profiles.find("reliability: 2") != std::string::npos) {
    qos.best_effort();
  }
  if (offered_qos_profiles.find("durability: 1") != std::string::npos) {
    qos.transient_local();
  }
  return qos;
}

}  // namespace live
}  // namespace sweepmend
