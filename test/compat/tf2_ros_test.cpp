// tf2_ros::StaticTransformBroadcaster: /tf_static, transient local, accumulation by child frame.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "compat_test_support.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/detail/spin_control.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2_msgs/msg/tf_message.hpp"
#include "tf2_ros/static_transform_broadcaster.h"

namespace
{

using TFMessage = tf2_msgs::msg::TFMessage;

geometry_msgs::msg::TransformStamped make_transform(
  const std::string & child, double x, const std::string & parent = "base_link")
{
  geometry_msgs::msg::TransformStamped transform;
  transform.header.frame_id = parent;
  transform.child_frame_id = child;
  transform.transform.translation.x = x;
  return transform;
}

class Tf2RosTest : public compat_test::RosTest
{
protected:
  void SetUp() override
  {
    RosTest::SetUp();
    node_ = std::make_shared<rclcpp::Node>("broadcaster_node", "/robot");
    listener_node_ = std::make_shared<rclcpp::Node>("listener");
    executor_ = std::make_unique<rclcpp::executors::SingleThreadedExecutor>();
    executor_->add_node(listener_node_);
  }

  void TearDown() override
  {
    executor_.reset();
    listener_node_.reset();
    node_.reset();
    RosTest::TearDown();
  }

  /// A late-joining listener with tf2's static listener QoS; returns every message it got.
  std::vector<TFMessage> listen()
  {
    std::vector<TFMessage> received;
    auto sub = listener_node_->create_subscription<TFMessage>(
      "/tf_static", tf2_ros::StaticListenerQoS(),
      [&received](const TFMessage & msg) {received.push_back(msg);});
    rclcpp::detail::spin_until_idle(*executor_);
    return received;
  }

  rclcpp::Node::SharedPtr node_;
  rclcpp::Node::SharedPtr listener_node_;
  std::unique_ptr<rclcpp::executors::SingleThreadedExecutor> executor_;
};

TEST_F(Tf2RosTest, QosProfiles)
{
  const tf2_ros::StaticBroadcasterQoS broadcaster;
  EXPECT_EQ(broadcaster.depth(), 1u);
  EXPECT_EQ(broadcaster.history(), rclcpp::HistoryPolicy::KeepLast);
  EXPECT_EQ(broadcaster.reliability(), rclcpp::ReliabilityPolicy::Reliable);
  EXPECT_EQ(broadcaster.durability(), rclcpp::DurabilityPolicy::TransientLocal);
  const tf2_ros::StaticListenerQoS listener;
  EXPECT_EQ(listener.depth(), 100u);
  EXPECT_EQ(listener.durability(), rclcpp::DurabilityPolicy::TransientLocal);
  EXPECT_EQ(tf2_ros::DynamicBroadcasterQoS().depth(), 100u);
  EXPECT_EQ(
    tf2_ros::DynamicBroadcasterQoS().durability(), rclcpp::DurabilityPolicy::Volatile);
}

TEST_F(Tf2RosTest, PublishesOnTheAbsoluteTopicAndSendsNothingByItself)
{
  // Constructed from a raw pointer, as a node does with `this`.
  auto broadcaster = std::make_shared<tf2_ros::StaticTransformBroadcaster>(node_.get());
  EXPECT_EQ(listener_node_->count_publishers("/tf_static"), 1u);
  EXPECT_EQ(node_->count_publishers("/robot/tf_static"), 0u);
  EXPECT_TRUE(listen().empty());
  // The default publisher options make its QoS visible as parameters, as in Humble.
  EXPECT_EQ(node_->get_parameter("qos_overrides./tf_static.publisher.depth").as_int(), 1);
  EXPECT_EQ(
    node_->get_parameter("qos_overrides./tf_static.publisher.history").as_string(),
    "keep_last");
  EXPECT_EQ(
    node_->get_parameter("qos_overrides./tf_static.publisher.reliability").as_string(),
    "reliable");
  EXPECT_FALSE(node_->has_parameter("qos_overrides./tf_static.publisher.durability"));
}

TEST_F(Tf2RosTest, TransformsAccumulateByChildFrameAndReachLateListeners)
{
  tf2_ros::StaticTransformBroadcaster broadcaster(node_);
  broadcaster.sendTransform(make_transform("lidar", 1.0));
  broadcaster.sendTransform(make_transform("imu", 2.0));
  // Same child again: replaced in place, not appended.
  broadcaster.sendTransform(make_transform("lidar", 3.0));

  // Depth 1 transient local: a late listener gets only the newest, complete message.
  const auto received = listen();
  ASSERT_EQ(received.size(), 1u);
  const auto & transforms = received[0].transforms;
  ASSERT_EQ(transforms.size(), 2u);
  EXPECT_EQ(transforms[0].child_frame_id, "lidar");
  EXPECT_DOUBLE_EQ(transforms[0].transform.translation.x, 3.0);
  EXPECT_EQ(transforms[1].child_frame_id, "imu");
  EXPECT_DOUBLE_EQ(transforms[1].transform.translation.x, 2.0);
}

TEST_F(Tf2RosTest, VectorOfTransformsIsOneMessage)
{
  std::vector<TFMessage> received;
  auto sub = listener_node_->create_subscription<TFMessage>(
    "/tf_static", tf2_ros::StaticListenerQoS(),
    [&received](const TFMessage & msg) {received.push_back(msg);});
  tf2_ros::StaticTransformBroadcaster broadcaster(*node_);
  broadcaster.sendTransform({make_transform("a", 1.0), make_transform("b", 2.0),
      make_transform("a", 4.0)});
  rclcpp::detail::spin_until_idle(*executor_);
  ASSERT_EQ(received.size(), 1u);
  ASSERT_EQ(received[0].transforms.size(), 2u);
  EXPECT_DOUBLE_EQ(received[0].transforms[0].transform.translation.x, 4.0);
}

TEST_F(Tf2RosTest, VolatileListenerGetsNewMessagesButNoHistory)
{
  tf2_ros::StaticTransformBroadcaster broadcaster(node_);
  broadcaster.sendTransform(make_transform("before", 1.0));
  std::vector<TFMessage> volatile_received;
  auto sub = listener_node_->create_subscription<TFMessage>(
    "/tf_static", rclcpp::QoS(10).durability_volatile(),
    [&volatile_received](const TFMessage & msg) {volatile_received.push_back(msg);});
  rclcpp::detail::spin_until_idle(*executor_);
  EXPECT_TRUE(volatile_received.empty());
  broadcaster.sendTransform(make_transform("after", 2.0));
  rclcpp::detail::spin_until_idle(*executor_);
  ASSERT_EQ(volatile_received.size(), 1u);
  EXPECT_EQ(volatile_received[0].transforms.size(), 2u);
}

}  // namespace
