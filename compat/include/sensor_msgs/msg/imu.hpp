#ifndef SENSOR_MSGS__MSG__IMU_HPP_
#define SENSOR_MSGS__MSG__IMU_HPP_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"
#include "geometry_msgs/msg/quaternion.hpp"
#include "geometry_msgs/msg/vector3.hpp"
#include "std_msgs/msg/header.hpp"

namespace sensor_msgs
{
namespace msg
{
/// sensor_msgs/msg/Imu.
struct Imu
{
  std_msgs::msg::Header header;
  geometry_msgs::msg::Quaternion orientation;
  std::array<double, 9> orientation_covariance{};
  geometry_msgs::msg::Vector3 angular_velocity;  // rad/s
  std::array<double, 9> angular_velocity_covariance{};
  geometry_msgs::msg::Vector3 linear_acceleration;  // m/s^2 by convention; Livox reports g
  std::array<double, 9> linear_acceleration_covariance{};

  SWEEPMEND_COMPAT_MSG_ALIASES(Imu);
  bool operator==(const Imu & o) const
  {
    return header == o.header && orientation == o.orientation &&
           orientation_covariance == o.orientation_covariance &&
           angular_velocity == o.angular_velocity &&
           angular_velocity_covariance == o.angular_velocity_covariance &&
           linear_acceleration == o.linear_acceleration &&
           linear_acceleration_covariance == o.linear_acceleration_covariance;
  }
  bool operator!=(const Imu & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace sensor_msgs

SWEEPMEND_COMPAT_MSG_NAME(sensor_msgs::msg::Imu, "sensor_msgs/msg/Imu", "sensor_msgs::msg::Imu")

#endif  // SENSOR_MSGS__MSG__IMU_HPP_
