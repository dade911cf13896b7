// rclcpp::create_publisher for a node given as pointer, shared pointer or reference.
#ifndef RCLCPP__CREATE_PUBLISHER_HPP_
#define RCLCPP__CREATE_PUBLISHER_HPP_

#include <memory>
#include <string>

#include "rclcpp/create_timer.hpp"
#include "rclcpp/publisher.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"

namespace rclcpp
{

template<
  typename MessageT, typename AllocatorT = std::allocator<void>,
  typename PublisherT = rclcpp::Publisher<MessageT, AllocatorT>, typename NodeT>
std::shared_ptr<PublisherT>
create_publisher(
  NodeT && node, const std::string & topic_name, const rclcpp::QoS & qos,
  const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options =
  rclcpp::PublisherOptionsWithAllocator<AllocatorT>())
{
  auto & node_ref = detail::dereference_node(node);
  return node_ref.template create_publisher<MessageT, AllocatorT, PublisherT>(
    topic_name, qos, options);
}

}  // namespace rclcpp

#endif  // RCLCPP__CREATE_PUBLISHER_HPP_
