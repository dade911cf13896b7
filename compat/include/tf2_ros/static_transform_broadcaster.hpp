// Same as tf2_ros/static_transform_broadcaster.h (later Humble releases offer both names).
#ifndef TF2_ROS__STATIC_TRANSFORM_BROADCASTER_HPP_
#define TF2_ROS__STATIC_TRANSFORM_BROADCASTER_HPP_

#include "tf2_ros/static_transform_broadcaster.h"

#endif  // TF2_ROS__STATIC_TRANSFORM_BROADCASTER_HPP_
