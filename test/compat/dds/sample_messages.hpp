// Messages that the DDS test peer sends and the tests expect, built the same way on both sides.
#ifndef SAMPLE_MESSAGES_HPP_
#define SAMPLE_MESSAGES_HPP_

#include <cstddef>
#include <cstdint>

#include "sensor_msgs/msg/point_cloud2.hpp"
#include "sensor_msgs/msg/point_field.hpp"

namespace dds_test
{

/// A one-row cloud of `data_bytes` one-byte points 0, 1, 2, ... (mod 251); an odd size makes the
/// wire padding visible.
inline sensor_msgs::msg::PointCloud2 sample_cloud(std::size_t data_bytes)
{
  sensor_msgs::msg::PointCloud2 cloud;
  cloud.header.stamp.sec = 0x11223344;
  cloud.header.stamp.nanosec = 0x55667788;
  cloud.header.frame_id = "lidar";
  cloud.height = 1;
  cloud.width = static_cast<uint32_t>(data_bytes);
  sensor_msgs::msg::PointField field;
  field.name = "b";
  field.datatype = sensor_msgs::msg::PointField::UINT8;
  field.count = 1;
  cloud.fields.push_back(field);
  cloud.point_step = 1;
  cloud.row_step = cloud.width;
  for (std::size_t i = 0; i < data_bytes; ++i) {
    cloud.data.push_back(static_cast<uint8_t>(i % 251));
  }
  cloud.is_dense = true;
  return cloud;
}

}  // namespace dds_test

#endif  // SAMPLE_MESSAGES_HPP_
