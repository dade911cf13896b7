// Typed subscription.
#ifndef RCLCPP__SUBSCRIPTION_HPP_
#define RCLCPP__SUBSCRIPTION_HPP_

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/any_subscription_callback.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/message_info.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription_base.hpp"
#include "rclcpp/subscription_options.hpp"
#include "rosidl_runtime_cpp/message_traits.hpp"

namespace rclcpp
{

/// Receives messages of type MessageT on one topic and hands them to its callback when an
/// executor runs it.
template<typename MessageT, typename AllocatorT = std::allocator<void>>
class Subscription : public SubscriptionBase
{
public:
  using MessageDeleter = std::default_delete<MessageT>;
  using ConstMessageSharedPtr = std::shared_ptr<const MessageT>;
  using MessageUniquePtr = std::unique_ptr<MessageT, MessageDeleter>;

  RCLCPP_SMART_PTR_DEFINITIONS(Subscription)

  /// `topic_name` must already be resolved; nodes do that in create_subscription.
  Subscription(
    rclcpp::Context::SharedPtr context, const std::string & topic_name, const rclcpp::QoS & qos,
    AnySubscriptionCallback<MessageT, AllocatorT> callback,
    const SubscriptionOptionsWithAllocator<AllocatorT> & options,
    const std::string & node_name = "")
  : SubscriptionBase(
      std::move(context), topic_name, rosidl_generator_traits::name<MessageT>(), qos, node_name),
    callback_(std::move(callback)), options_(options)
  {
  }

  /// Takes the oldest waiting message without running the callback; false if none waits.
  bool take(MessageT & message_out, rclcpp::MessageInfo & message_info_out)
  {
    auto message = take_message();
    if (!message) {
      return false;
    }
    message_out = *std::static_pointer_cast<const MessageT>(message);
    message_info_out = MessageInfo();
    return true;
  }

protected:
  void handle_message(const detail::MessagePtr & message, const MessageInfo & info) override
  {
    callback_.dispatch(std::static_pointer_cast<const MessageT>(message), info);
  }

private:
  AnySubscriptionCallback<MessageT, AllocatorT> callback_;
  SubscriptionOptionsWithAllocator<AllocatorT> options_;
};

}  // namespace rclcpp

#endif  // RCLCPP__SUBSCRIPTION_HPP_
