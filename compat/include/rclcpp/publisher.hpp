// Typed publisher.
#ifndef RCLCPP__PUBLISHER_HPP_
#define RCLCPP__PUBLISHER_HPP_

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/context.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/publisher_base.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"
#include "rosidl_runtime_cpp/message_traits.hpp"

namespace rclcpp
{

/// Publishes messages of type MessageT on one topic.
template<typename MessageT, typename AllocatorT = std::allocator<void>>
class Publisher : public PublisherBase
{
public:
  using MessageAllocatorTraits = std::allocator_traits<std::allocator<MessageT>>;
  using MessageAllocator = std::allocator<MessageT>;
  using MessageDeleter = std::default_delete<MessageT>;
  using MessageUniquePtr = std::unique_ptr<MessageT, MessageDeleter>;
  using MessageSharedPtr = std::shared_ptr<const MessageT>;

  RCLCPP_SMART_PTR_DEFINITIONS(Publisher<MessageT, AllocatorT>)

  /// `topic_name` must already be resolved; nodes do that in create_publisher.
  Publisher(
    rclcpp::Context::SharedPtr context, const std::string & topic_name, const rclcpp::QoS & qos,
    const PublisherOptionsWithAllocator<AllocatorT> & options, const std::string & node_name = "")
  : PublisherBase(
      std::move(context), topic_name, rosidl_generator_traits::name<MessageT>(), qos, node_name),
    options_(options)
  {
  }

  /// Copies the message once; the copy is shared by every receiver.
  void publish(const MessageT & msg)
  {
    if (!has_receivers()) {
      return;
    }
    publish_message(std::make_shared<const MessageT>(msg));
  }

  /// Takes ownership without copying.
  template<typename DeleterT>
  void publish(std::unique_ptr<MessageT, DeleterT> msg)
  {
    publish_message(std::shared_ptr<const MessageT>(std::move(msg)));
  }

private:
  PublisherOptionsWithAllocator<AllocatorT> options_;
};

}  // namespace rclcpp

#endif  // RCLCPP__PUBLISHER_HPP_
