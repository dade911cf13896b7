// The cycle's output path: transforming a cloud straight into a message gives exactly the message
// that transforming the cloud in place and converting it with toROSMsg gives, byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include <Eigen/Dense>
#include <pcl/common/transforms.h>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <pcl_conversions/pcl_conversions.h>

#include "sweepmend/cloud_message.hpp"

namespace
{

using Cloud = pcl::PointCloud<pcl::PointXYZINormal>;

Cloud random_cloud(std::mt19937 & rng, std::size_t n)
{
  std::uniform_real_distribution<float> u(-40.0f, 40.0f);
  Cloud cloud;
  for (std::size_t i = 0; i < n; ++i) {
    pcl::PointXYZINormal p;
    p.x = u(rng);
    p.y = u(rng);
    p.z = u(rng);
    p.intensity = static_cast<float>(i % 256);
    p.normal_x = 0.25f;
    p.curvature = 0.005f * static_cast<float>(i);
    cloud.push_back(p);
  }
  return cloud;
}

Eigen::Matrix4d random_transform(std::mt19937 & rng)
{
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Eigen::Matrix4d t = Eigen::Matrix4d::Identity();
  t.block<3, 3>(0, 0) =
    Eigen::AngleAxisd(2.0 * u(rng), Eigen::Vector3d(u(rng), u(rng), 1.0).normalized())
    .toRotationMatrix();
  t.block<3, 1>(0, 3) = Eigen::Vector3d(u(rng), u(rng), u(rng));
  return t;
}

// What the cycle did before: transform a copy in place, then toROSMsg.
sensor_msgs::msg::PointCloud2 through_pcl(const Cloud & cloud, const Eigen::Matrix4d & t)
{
  Cloud copy(cloud);
  pcl::transformPointCloud(copy, copy, t);
  sensor_msgs::msg::PointCloud2 msg;
  pcl::toROSMsg(copy, msg);
  return msg;
}

void expect_same_message(
  const sensor_msgs::msg::PointCloud2 & got, const sensor_msgs::msg::PointCloud2 & want)
{
  EXPECT_EQ(got.height, want.height);
  EXPECT_EQ(got.width, want.width);
  ASSERT_EQ(got.fields.size(), want.fields.size());
  for (std::size_t i = 0; i < got.fields.size(); ++i) {
    EXPECT_EQ(got.fields[i].name, want.fields[i].name);
    EXPECT_EQ(got.fields[i].offset, want.fields[i].offset);
    EXPECT_EQ(got.fields[i].datatype, want.fields[i].datatype);
    EXPECT_EQ(got.fields[i].count, want.fields[i].count);
  }
  EXPECT_EQ(got.is_bigendian, want.is_bigendian);
  EXPECT_EQ(got.point_step, want.point_step);
  EXPECT_EQ(got.row_step, want.row_step);
  EXPECT_EQ(got.is_dense, want.is_dense);
  ASSERT_EQ(got.data.size(), want.data.size());
  for (std::size_t i = 0; i < got.data.size(); ++i) {
    ASSERT_EQ(got.data[i], want.data[i]) << "byte " << i << " (point " << i / 48 << ")";
  }
}

TEST(CloudMessageTest, EqualsTransformThenToRosMsgForRandomCloudsAndTransforms)
{
  std::mt19937 rng(5);
  for (std::size_t n : {1u, 2u, 7u, 1000u, 20000u}) {
    SCOPED_TRACE(n);
    const Cloud cloud = random_cloud(rng, n);
    const Eigen::Matrix4d t = random_transform(rng);
    sensor_msgs::msg::PointCloud2 msg;
    msg.header.frame_id = "kept";
    transform_to_message(cloud, t, msg);
    expect_same_message(msg, through_pcl(cloud, t));
    EXPECT_EQ(msg.header.frame_id, "kept");
  }
}

TEST(CloudMessageTest, LeavesTheCloudAsItWas)
{
  std::mt19937 rng(6);
  const Cloud cloud = random_cloud(rng, 500);
  Cloud copy(cloud);
  sensor_msgs::msg::PointCloud2 msg;
  transform_to_message(copy, random_transform(rng), msg);
  ASSERT_EQ(copy.size(), cloud.size());
  EXPECT_EQ(0, std::memcmp(copy.points.data(), cloud.points.data(), 48 * cloud.size()));
}

TEST(CloudMessageTest, EmptyAndSizelessCloudsGetToRosMsgsSizes)
{
  std::mt19937 rng(7);
  const Eigen::Matrix4d t = random_transform(rng);
  Cloud empty;
  sensor_msgs::msg::PointCloud2 msg;
  msg.data.assign(100, 1);  // whatever a reused message held goes
  transform_to_message(empty, t, msg);
  expect_same_message(msg, through_pcl(empty, t));
  EXPECT_TRUE(msg.data.empty());

  // A cloud whose sizes were never set becomes one row of all its points.
  Cloud sizeless = random_cloud(rng, 30);
  sizeless.width = 0;
  sizeless.height = 0;
  transform_to_message(sizeless, t, msg);
  EXPECT_EQ(msg.width, 30u);
  EXPECT_EQ(msg.height, 1u);
  Cloud organised = random_cloud(rng, 40);
  organised.width = 20;
  organised.height = 2;
  transform_to_message(organised, t, msg);
  expect_same_message(msg, through_pcl(organised, t));
}

TEST(CloudMessageTest, NonFinitePointsStayInAPossiblyNonDenseCloudAndPoisonADenseOne)
{
  std::mt19937 rng(8);
  const Eigen::Matrix4d t = random_transform(rng);
  Cloud cloud = random_cloud(rng, 64);
  cloud[3].x = std::numeric_limits<float>::quiet_NaN();
  cloud[10].y = std::numeric_limits<float>::infinity();
  cloud[11].z = -std::numeric_limits<float>::infinity();
  for (bool dense : {false, true}) {
    SCOPED_TRACE(dense);
    cloud.is_dense = dense;
    sensor_msgs::msg::PointCloud2 msg;
    transform_to_message(cloud, t, msg);
    expect_same_message(msg, through_pcl(cloud, t));
    EXPECT_FALSE(positions_finite(msg));
  }
  cloud[3].x = 1.0f;
  cloud[10].y = 2.0f;
  sensor_msgs::msg::PointCloud2 msg;
  transform_to_message(cloud, t, msg);
  EXPECT_FALSE(positions_finite(msg));  // point 11's z
  cloud[11].z = 3.0f;
  transform_to_message(cloud, t, msg);
  EXPECT_TRUE(positions_finite(msg));
  // Only x, y and z count: a NaN in another field is published.
  cloud[20].curvature = std::numeric_limits<float>::quiet_NaN();
  transform_to_message(cloud, t, msg);
  EXPECT_TRUE(positions_finite(msg));
}

}  // namespace
