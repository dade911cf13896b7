#ifndef SWEEPMEND__CLOUD_MESSAGE_HPP_
#define SWEEPMEND__CLOUD_MESSAGE_HPP_

#include <memory>

#include <Eigen/Dense>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "sensor_msgs/msg/point_cloud2.hpp"

/// Fills `msg` with what pcl::transformPointCloud(cloud, cloud, transform) followed by
/// pcl::toROSMsg(cloud, msg) would give, without touching `cloud`: the fields, sizes and
/// density toROSMsg writes, and the points' bytes (padding included) with x, y, z moved by
/// PCL's own transform code straight inside the message. The header is left as it was.
/// @param transform homogeneous transform [R t; 0 0 0 1] (t in m)
/// @return true when x, y and z of every point in `msg` are finite (see positions_finite)
bool transform_to_message(
  const pcl::PointCloud<pcl::PointXYZINormal> & cloud, const Eigen::Matrix4d & transform,
  sensor_msgs::msg::PointCloud2 & msg);

/// Fills `msg` as pcl::toROSMsg(cloud, msg) would, the header excepted: fields, sizes, density
/// and the points' bytes, padding included.
void copy_to_message(
  const pcl::PointCloud<pcl::PointXYZINormal> & cloud, sensor_msgs::msg::PointCloud2 & msg);

/// A new message filled by copy_to_message.
std::unique_ptr<sensor_msgs::msg::PointCloud2> message_of(
  const pcl::PointCloud<pcl::PointXYZINormal> & cloud);

/// The points of a message filled by copy_to_message, to be worked on where they lie.
pcl::PointXYZINormal * message_points(sensor_msgs::msg::PointCloud2 & msg);

/// Moves the points of a message filled by copy_to_message where they lie, as
/// pcl::transformPointCloud would move the cloud (a non-dense cloud keeps its points with a
/// non-finite coordinate as they are).
/// @return true when x, y and z of every point are then finite
bool move_message_points(sensor_msgs::msg::PointCloud2 & msg, const Eigen::Matrix4d & transform);

/// True when x, y and z (the first three float32 of every point, as toROSMsg lays points out)
/// are finite for every point of `msg`.
bool positions_finite(const sensor_msgs::msg::PointCloud2 & msg);

#endif  // SWEEPMEND__CLOUD_MESSAGE_HPP_
