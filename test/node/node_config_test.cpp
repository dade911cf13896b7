// DataSubscriber's construction: parameters, extrinsic transform, subscriptions, publishers,
// timer.
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "node_harness.hpp"
#include "tf2_msgs/msg/tf_message.hpp"

namespace
{

using sweepmend_test::GlogCapture;
using sweepmend_test::NodeHarness;
using sweepmend_test::RosSession;
using sweepmend_test::imu_sample;
using sweepmend_test::livox_point;
using sweepmend_test::livox_scan;
using sweepmend_test::vanjee_scan;

Eigen::Matrix4d matrix(std::initializer_list<double> row_major)
{
  Eigen::Matrix4d m;
  auto it = row_major.begin();
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      m(r, c) = *it++;
    }
  }
  return m;
}

TEST(NodeParameters, DefaultsWhenNothingIsGiven)
{
  NodeHarness h;
  auto & a = h.access();
  EXPECT_EQ(1, a.point_conf_thr());
  EXPECT_EQ(1, a.object_conf_thr());
  EXPECT_EQ(1, a.adhesion_conf_thr());
  EXPECT_EQ("/livox/lidar", lidar_topic);
  EXPECT_EQ("/livox/imu", imu_topic);
  EXPECT_EQ("/livox/lidar_undistorted", lidar_topic_undistorted);
  EXPECT_EQ("/livox/lidar_undistorted_raw", lidar_topic_undistorted_raw);
  EXPECT_EQ("lidar_link", output_frame_id);
  EXPECT_TRUE(a.has_imu_subscription());
  EXPECT_TRUE(a.has_livox_subscription());
  EXPECT_FALSE(a.has_vanjee_subscription());
  EXPECT_TRUE(a.has_publishers());
  EXPECT_TRUE(a.has_timer());
  EXPECT_TRUE(a.has_imu_process());
  EXPECT_TRUE(a.has_static_broadcaster());

  // A missing translation is zero and a missing rotation the identity.
  EXPECT_EQ(std::vector<double>({0.0, 0.0, 0.0}), a.extrinT());
  EXPECT_EQ(std::vector<double>({1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0}), a.extrinR());
  EXPECT_EQ(Eigen::Matrix4d::Identity(), a.extrinsic_transform());

  const auto t = h.ros_log().starting_with("Parameter extrinT_ not found");
  const auto r = h.ros_log().starting_with("Parameter extrinR_ not found");
  ASSERT_EQ(1u, t.size());
  ASSERT_EQ(1u, r.size());
  for (const auto & record : {t[0], r[0]}) {
    EXPECT_EQ(RCUTILS_LOG_SEVERITY_WARN, record.severity);
    EXPECT_EQ("harrow_node", record.logger);
    EXPECT_EQ("DataSubscriber", record.function);
  }

  const auto frame = h.glog().starting_with("frame_id: ");
  ASSERT_EQ(1u, frame.size());
  EXPECT_EQ("frame_id: lidar_link", frame[0].text);
  EXPECT_EQ(google::GLOG_INFO, frame[0].severity);
  const auto type = h.glog().starting_with("lidar type");
  ASSERT_EQ(1u, type.size());
  EXPECT_EQ("lidar type: livox mid360", type[0].text);
  EXPECT_EQ(google::GLOG_INFO, type[0].severity);
}

TEST(NodeParameters, ExtrinsicsBuildTheTransformRowByRow)
{
  NodeHarness h({"-p", "extrinsic_R:=[1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0]",
      "-p", "extrinsic_T:=[0.1, 0.2, 0.3]"});
  EXPECT_EQ(
    matrix({1, 2, 3, 0.1, 4, 5, 6, 0.2, 7, 8, 9, 0.3, 0, 0, 0, 1}),
    h.access().extrinsic_transform());
  EXPECT_EQ(0u, h.ros_log().count("Parameter extrin"));
}

TEST(NodeParameters, ValuesBeyondTheNeededCountAreIgnored)
{
  NodeHarness h({"-p", "extrinsic_T:=[0.1, 0.2, 0.3, 0.4]",
      "-p", "extrinsic_R:=[0.0, -1.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 5.0]"});
  EXPECT_EQ(
    matrix({0, -1, 0, 0.1, 1, 0, 0, 0.2, 0, 0, 1, 0.3, 0, 0, 0, 1}),
    h.access().extrinsic_transform());
}

TEST(NodeParameters, TranslationAloneKeepsTheIdentityRotation)
{
  NodeHarness h({"-p", "extrinsic_T:=[1.0, -2.0, 3.0]"});
  EXPECT_EQ(
    matrix({1, 0, 0, 1, 0, 1, 0, -2, 0, 0, 1, 3, 0, 0, 0, 1}), h.access().extrinsic_transform());
  EXPECT_EQ(0u, h.ros_log().count("Parameter extrinT_ not found"));
  EXPECT_EQ(1u, h.ros_log().count("Parameter extrinR_ not found"));
}

TEST(NodeParameters, ThresholdsKeepTheirLowByte)
{
  NodeHarness h({"-p", "point_conf_thr:=258", "-p", "object_conf_thr:=3",
      "-p", "adhesion_conf_thr:=-1"});
  EXPECT_EQ(2, h.access().point_conf_thr());
  EXPECT_EQ(3, h.access().object_conf_thr());
  EXPECT_EQ(255, h.access().adhesion_conf_thr());
}

TEST(NodeParameters, FrameIdNamesTheFrameRecord)
{
  NodeHarness h({"-p", "frame_id:=imu_link"});
  EXPECT_EQ(1u, h.glog().count("frame_id: imu_link"));
  EXPECT_EQ("imu_link", output_frame_id);
}

TEST(NodeParameters, WrongTypesEndConstructionBeforeTheFrameRecord)
{
  for (const char * rule : {"lidar_type:=abc", "extrinsic_T:=[1, 2, 3]", "point_conf_thr:=1.5"}) {
    GlogCapture glog;
    RosSession session({"-p", rule});
    EXPECT_THROW(
      std::make_shared<DataSubscriber>(), rclcpp::exceptions::InvalidParameterTypeException)
      << rule;
    EXPECT_EQ(0u, glog.count("frame_id: ")) << rule;
  }
}

TEST(NodeParameters, ShortExtrinsicArraysFailConstructionNamingTheParameter)
{
  const std::vector<std::pair<std::string, std::string>> cases = {
    {"extrinsic_T:=[0.1, 0.2]", "parameter 'extrinsic_T' needs 3 values, got 2"},
    {"extrinsic_R:=[1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0]",
      "parameter 'extrinsic_R' needs 9 values, got 8"},
  };
  for (const auto & c : cases) {
    RosSession session({"-p", c.first});
    try {
      std::make_shared<DataSubscriber>();
      ADD_FAILURE() << c.first << " was accepted";
    } catch (const rclcpp::exceptions::InvalidParameterValueException & e) {
      EXPECT_EQ(c.second, e.what());
    }
  }
}

TEST(NodeWiring, TopicParametersPlaceInputsAndOutputs)
{
  NodeHarness h({"-p", "lidar_topic:=/a/scan", "-p", "imu_topic:=/a/imu",
      "-p", "lidar_topic_undistorted:=/a/out", "-p", "lidar_topic_undistorted_raw:=/a/raw"});
  EXPECT_EQ("/a/scan", lidar_topic);
  EXPECT_EQ("/a/imu", imu_topic);

  // Anything on the default topics goes unheard.
  auto stray_imu = h.peer().create_publisher<sensor_msgs::msg::Imu>("/livox/imu", 10);
  auto stray_scan = h.peer().create_publisher<livox_ros_driver2::msg::CustomMsg>(
    "/livox/lidar", 10);
  std::vector<sensor_msgs::msg::PointCloud2> on_default_raw;
  auto default_raw = h.peer().create_subscription<sensor_msgs::msg::PointCloud2>(
    "/livox/lidar_undistorted_raw", 10,
    [&](sensor_msgs::msg::PointCloud2::ConstSharedPtr m) {on_default_raw.push_back(*m);});
  h.spin();
  stray_imu->publish(imu_sample(1.0));
  stray_scan->publish(livox_scan(1.0, {livox_point(0, 0, 0), livox_point(1, 2, 3)}));
  h.spin();
  EXPECT_TRUE(h.access().imu_buffer().empty());
  EXPECT_TRUE(h.access().lidar_buffer().empty());

  // The configured ones are heard, and the output goes to the configured raw topic.
  h.publish(imu_sample(1.0));
  h.publish(livox_scan(0.9, {livox_point(0, 0, 0), livox_point(1, 2, 3)}));
  EXPECT_EQ(1u, h.access().imu_buffer().size());
  EXPECT_EQ(1u, h.access().lidar_buffer().size());
  h.advance();
  EXPECT_EQ(1u, h.raw().size());
  EXPECT_TRUE(on_default_raw.empty());
}

TEST(NodeWiring, LidarTypeOneSubscribesToPointCloud2)
{
  NodeHarness h({"-p", "lidar_type:=1"});
  EXPECT_FALSE(h.access().has_livox_subscription());
  EXPECT_TRUE(h.access().has_vanjee_subscription());
  const auto type = h.glog().starting_with("lidar type");
  ASSERT_EQ(1u, type.size());
  EXPECT_EQ("lidar type: livox vanjee 722", type[0].text);
  EXPECT_EQ(google::GLOG_INFO, type[0].severity);

  h.publish(vanjee_scan(2.0, {{1.0f, 2.0f, 3.0f, 4.0f, 0.001}}));
  ASSERT_EQ(1u, h.access().lidar_buffer().size());
  EXPECT_EQ(1u, h.access().lidar_buffer().front()->size());
}

TEST(NodeWiring, OtherLidarTypesAreAnErrorAndSubscribeToNoScans)
{
  for (const char * type : {"2", "-1"}) {
    NodeHarness h({"-p", std::string("lidar_type:=") + type});
    const auto records = h.glog().starting_with("lidar type");
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(std::string("lidar type error : ") + type, records[0].text);
    EXPECT_EQ(google::GLOG_ERROR, records[0].severity);
    EXPECT_FALSE(h.access().has_livox_subscription());
    EXPECT_FALSE(h.access().has_vanjee_subscription());
    EXPECT_TRUE(h.access().has_imu_subscription());
    EXPECT_TRUE(h.access().has_publishers());
    EXPECT_TRUE(h.access().has_timer());

    h.publish(imu_sample(1.0));
    h.publish(livox_scan(1.0, {livox_point(0, 0, 0), livox_point(1, 2, 3)}));
    h.advance(3);
    EXPECT_EQ(1u, h.access().imu_buffer().size());
    EXPECT_TRUE(h.access().lidar_buffer().empty());
    EXPECT_TRUE(h.raw().empty());
  }
}

TEST(NodeWiring, InputQueueDepthsAreTenForImuAndOneForScans)
{
  NodeHarness h;
  for (int i = 0; i < 15; ++i) {
    h.publish(imu_sample(1.0 + 0.005 * i), false);
  }
  for (int i = 0; i < 3; ++i) {
    h.publish(livox_scan(1.0 + 0.1 * i, {livox_point(0, 0, 0), livox_point(1, 2, 3)}), false);
  }
  h.spin();
  // Keep-last: the newest ten samples and the newest scan.
  ASSERT_EQ(10u, h.access().imu_buffer().size());
  EXPECT_EQ(
    sweepmend_test::stamp_at(1.025), h.access().imu_buffer().front()->header.stamp);
  ASSERT_EQ(1u, h.access().time_buffer().size());
  EXPECT_DOUBLE_EQ(1.2, h.access().time_buffer().front());
}

TEST(NodeWiring, CycleRunsEveryTenMillisecondsOfNodeClockTime)
{
  NodeHarness h;
  h.publish(imu_sample(1.0));
  h.publish(imu_sample(1.1));
  h.publish(livox_scan(1.0, {livox_point(0, 0, 0), livox_point(1, 2, 3)}));
  h.publish(livox_scan(1.0, {livox_point(0, 0, 0), livox_point(1, 2, 3)}));

  // Wall time does not move a simulated clock.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  h.spin();
  EXPECT_TRUE(h.raw().empty());

  h.set_clock(9999999);
  EXPECT_TRUE(h.raw().empty());
  h.set_clock(10000000);
  EXPECT_EQ(1u, h.raw().size());
  // One scan per cycle.
  EXPECT_EQ(1u, h.access().lidar_buffer().size());
  h.set_clock(19999999);
  EXPECT_EQ(1u, h.raw().size());
  h.set_clock(20000000);
  EXPECT_EQ(2u, h.raw().size());
}

TEST(NodeWiring, NothingIsEverSentOnTfStatic)
{
  NodeHarness h;
  std::vector<tf2_msgs::msg::TFMessage> received;
  auto sub = h.peer().create_subscription<tf2_msgs::msg::TFMessage>(
    "/tf_static", rclcpp::QoS(100).transient_local(),
    [&](tf2_msgs::msg::TFMessage::ConstSharedPtr m) {received.push_back(*m);});
  h.spin();
  h.publish(imu_sample(1.0));
  h.publish(livox_scan(0.9, {livox_point(0, 0, 0), livox_point(1, 2, 3)}));
  h.advance(2);
  ASSERT_EQ(1u, h.raw().size());
  EXPECT_TRUE(received.empty());
}

}  // namespace
