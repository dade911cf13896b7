// pcl_conversions: stamps in microseconds, headers, and PCL's own field layout in toROSMsg.

#include <gtest/gtest.h>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "pcl_conversions/pcl_conversions.h"
#include "sensor_msgs/msg/point_cloud2.hpp"

namespace
{

float float_at(const std::vector<uint8_t> & data, size_t offset)
{
  float value = 0.0f;
  std::memcpy(&value, data.data() + offset, sizeof(value));
  return value;
}

pcl::PointXYZINormal make_point(float base)
{
  pcl::PointXYZINormal p;
  p.x = base + 0.1f;
  p.y = base + 0.2f;
  p.z = base + 0.3f;
  p.intensity = base + 0.4f;
  p.normal_x = base + 0.5f;
  p.normal_y = base + 0.6f;
  p.normal_z = base + 0.7f;
  p.curvature = base + 0.8f;
  return p;
}

TEST(PclConversionsTest, StampsAreMicrosecondsAndTruncate)
{
  // 1.123456789 s loses its sub-microsecond part on the way to PCL and back.
  const rclcpp::Time stamp(1, 123456789, RCL_ROS_TIME);
  EXPECT_EQ(pcl_conversions::toPCL(stamp), 1123456u);
  const rclcpp::Time back = pcl_conversions::fromPCL(1123456u);
  EXPECT_EQ(back.nanoseconds(), 1123456000);
  EXPECT_EQ(back.get_clock_type(), RCL_SYSTEM_TIME);
}

TEST(PclConversionsTest, HeadersCarryStampAndFrameButNoSequence)
{
  std_msgs::msg::Header header;
  header.stamp.sec = 12;
  header.stamp.nanosec = 500000999;
  header.frame_id = "lidar_link";
  pcl::PCLHeader pcl_header;
  pcl_header.seq = 77;
  pcl_conversions::toPCL(header, pcl_header);
  EXPECT_EQ(pcl_header.stamp, 12500000u);
  EXPECT_EQ(pcl_header.seq, 0u);
  EXPECT_EQ(pcl_header.frame_id, "lidar_link");

  const std_msgs::msg::Header round_trip = pcl_conversions::fromPCL(pcl_header);
  EXPECT_EQ(round_trip.stamp.sec, 12);
  EXPECT_EQ(round_trip.stamp.nanosec, 500000000u);
  EXPECT_EQ(round_trip.frame_id, "lidar_link");
}

TEST(PclConversionsTest, PointXYZINormalLayout)
{
  pcl::PointCloud<pcl::PointXYZINormal> cloud;
  cloud.push_back(make_point(0.0f));
  cloud.push_back(make_point(10.0f));
  cloud.push_back(make_point(20.0f));
  cloud.header.stamp = 1700000000123456ull;
  cloud.header.frame_id = "sensor";

  sensor_msgs::msg::PointCloud2 msg;
  msg.is_bigendian = true;  // must be overwritten
  pcl::toROSMsg(cloud, msg);

  struct Field
  {
    const char * name;
    uint32_t offset;
  };
  const Field expected[] = {
    {"x", 0}, {"y", 4}, {"z", 8}, {"intensity", 32},
    {"normal_x", 16}, {"normal_y", 20}, {"normal_z", 24}, {"curvature", 36}};
  ASSERT_EQ(msg.fields.size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(msg.fields[i].name, expected[i].name) << i;
    EXPECT_EQ(msg.fields[i].offset, expected[i].offset) << i;
    EXPECT_EQ(msg.fields[i].datatype, sensor_msgs::msg::PointField::FLOAT32) << i;
    EXPECT_EQ(msg.fields[i].count, 1u) << i;
  }
  EXPECT_EQ(msg.point_step, 48u);
  EXPECT_EQ(msg.width, 3u);
  EXPECT_EQ(msg.height, 1u);
  EXPECT_EQ(msg.row_step, 144u);
  EXPECT_EQ(msg.data.size(), 144u);
  EXPECT_FALSE(msg.is_bigendian);
  EXPECT_TRUE(msg.is_dense);
  EXPECT_EQ(msg.header.stamp.sec, 1700000000);
  EXPECT_EQ(msg.header.stamp.nanosec, 123456000u);
  EXPECT_EQ(msg.header.frame_id, "sensor");

  // Every value sits at its field offset within its point.
  for (size_t i = 0; i < 3; ++i) {
    const float base = 10.0f * static_cast<float>(i);
    const size_t start = i * 48;
    EXPECT_FLOAT_EQ(float_at(msg.data, start + 0), base + 0.1f);
    EXPECT_FLOAT_EQ(float_at(msg.data, start + 4), base + 0.2f);
    EXPECT_FLOAT_EQ(float_at(msg.data, start + 8), base + 0.3f);
    EXPECT_FLOAT_EQ(float_at(msg.data, start + 32), base + 0.4f);
    EXPECT_FLOAT_EQ(float_at(msg.data, start + 16), base + 0.5f);
    EXPECT_FLOAT_EQ(float_at(msg.data, start + 20), base + 0.6f);
    EXPECT_FLOAT_EQ(float_at(msg.data, start + 24), base + 0.7f);
    EXPECT_FLOAT_EQ(float_at(msg.data, start + 36), base + 0.8f);
  }
}

TEST(PclConversionsTest, OrganisedCloudRowStepAndEmptyCloud)
{
  pcl::PointCloud<pcl::PointXYZINormal> organised(4, 2);
  sensor_msgs::msg::PointCloud2 msg;
  pcl::toROSMsg(organised, msg);
  EXPECT_EQ(msg.width, 4u);
  EXPECT_EQ(msg.height, 2u);
  EXPECT_EQ(msg.row_step, 4u * 48u);
  EXPECT_EQ(msg.data.size(), 8u * 48u);

  pcl::PointCloud<pcl::PointXYZINormal> empty;
  pcl::toROSMsg(empty, msg);
  EXPECT_EQ(msg.width, 0u);
  EXPECT_EQ(msg.height, 1u);
  EXPECT_EQ(msg.row_step, 0u);
  EXPECT_TRUE(msg.data.empty());
  EXPECT_EQ(msg.fields.size(), 8u);
}

TEST(PclConversionsTest, PointXYZIHasIntensityAtSixteen)
{
  pcl::PointCloud<pcl::PointXYZI> cloud;
  pcl::PointXYZI p;
  p.x = 1.0f;
  p.intensity = 5.0f;
  cloud.push_back(p);
  sensor_msgs::msg::PointCloud2 msg;
  pcl::toROSMsg(cloud, msg);
  ASSERT_EQ(msg.fields.size(), 4u);
  EXPECT_EQ(msg.fields[3].name, "intensity");
  EXPECT_EQ(msg.fields[3].offset, 16u);
  EXPECT_EQ(msg.point_step, 32u);
  EXPECT_FLOAT_EQ(float_at(msg.data, 16), 5.0f);
}

TEST(PclConversionsTest, FromRosMsgRoundTripAndMissingFieldsStayUntouched)
{
  pcl::PointCloud<pcl::PointXYZINormal> cloud;
  cloud.push_back(make_point(1.0f));
  cloud.push_back(make_point(2.0f));
  sensor_msgs::msg::PointCloud2 msg;
  pcl::toROSMsg(cloud, msg);

  pcl::PointCloud<pcl::PointXYZINormal> back;
  pcl::fromROSMsg(msg, back);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_FLOAT_EQ(back[1].curvature, 2.8f);
  EXPECT_FLOAT_EQ(back[1].intensity, 2.4f);
  EXPECT_FLOAT_EQ(back[0].normal_y, 1.6f);

  // Only x, y, z in the message: the other fields of the output keep their defaults.
  pcl::PointCloud<pcl::PointXYZ> xyz;
  xyz.push_back(pcl::PointXYZ(7.0f, 8.0f, 9.0f));
  sensor_msgs::msg::PointCloud2 xyz_msg;
  pcl::toROSMsg(xyz, xyz_msg);
  pcl::PointCloud<pcl::PointXYZINormal> partial;
  pcl::fromROSMsg(xyz_msg, partial);
  ASSERT_EQ(partial.size(), 1u);
  EXPECT_FLOAT_EQ(partial[0].z, 9.0f);
  EXPECT_FLOAT_EQ(partial[0].curvature, 0.0f);
}

TEST(PclConversionsTest, MoveFromPclSwapsTheBuffer)
{
  pcl::PCLPointCloud2 pcl_pc2;
  pcl_pc2.data = {1, 2, 3};
  pcl_pc2.width = 3;
  pcl_pc2.height = 1;
  sensor_msgs::msg::PointCloud2 msg;
  msg.data = {9};
  pcl_conversions::moveFromPCL(pcl_pc2, msg);
  EXPECT_EQ(msg.data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(pcl_pc2.data, std::vector<uint8_t>{9});
  EXPECT_EQ(msg.width, 3u);

  pcl::PCLPointCloud2 copy;
  pcl_conversions::toPCL(msg, copy);
  EXPECT_EQ(copy.data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(msg.data.size(), 3u);
}

}  // namespace
