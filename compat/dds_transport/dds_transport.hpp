// The Cyclone DDS transport: makes each rclcpp context a participant of a ROS 2 (Humble) graph.
#ifndef DDS_TRANSPORT__DDS_TRANSPORT_HPP_
#define DDS_TRANSPORT__DDS_TRANSPORT_HPP_

#include <memory>

#include "rclcpp/detail/transport.hpp"

namespace sweepmend
{
namespace dds_transport
{

/// Name under which RMW_IMPLEMENTATION selects this transport.
constexpr const char * kTransportName = "rmw_cyclonedds_cpp";

/// A new DDS transport. Participants are created lazily, one per context, when its first node
/// appears: domain from the context (ROS_DOMAIN_ID), Cyclone configuration from CYCLONEDDS_URI,
/// and with ROS_LOCALHOST_ONLY=1 the loopback interface selected as Humble does.
std::unique_ptr<rclcpp::detail::Transport> make_dds_transport();

}  // namespace dds_transport
}  // namespace sweepmend

#endif  // DDS_TRANSPORT__DDS_TRANSPORT_HPP_
