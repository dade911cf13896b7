// Holds a subscription callback of any of the signatures rclcpp accepts and calls it with a
// shared message, converting to the form the callback wants.
#ifndef RCLCPP__ANY_SUBSCRIPTION_CALLBACK_HPP_
#define RCLCPP__ANY_SUBSCRIPTION_CALLBACK_HPP_

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "rclcpp/message_info.hpp"

namespace rclcpp
{

template<typename MessageT, typename AllocatorT = std::allocator<void>>
class AnySubscriptionCallback
{
public:
  using ConstRefCallback = std::function<void (const MessageT &)>;
  using ConstRefWithInfoCallback = std::function<void (const MessageT &, const MessageInfo &)>;
  using UniquePtrCallback = std::function<void (std::unique_ptr<MessageT>)>;
  using UniquePtrWithInfoCallback =
    std::function<void (std::unique_ptr<MessageT>, const MessageInfo &)>;
  using SharedConstPtrCallback = std::function<void (std::shared_ptr<const MessageT>)>;
  using SharedConstPtrWithInfoCallback =
    std::function<void (std::shared_ptr<const MessageT>, const MessageInfo &)>;
  using SharedPtrCallback = std::function<void (std::shared_ptr<MessageT>)>;
  using SharedPtrWithInfoCallback =
    std::function<void (std::shared_ptr<MessageT>, const MessageInfo &)>;

  /// Picks the callback form. Forms that can share the delivered message are preferred; a
  /// std::bind expression accepts every argument its target accepts, so the order matters.
  template<typename CallbackT>
  void set(CallbackT callback)
  {
    using C = std::decay_t<CallbackT>;
    if constexpr (std::is_invocable_v<C &, const MessageT &>) {
      const_ref_ = std::move(callback);
    } else if constexpr (std::is_invocable_v<C &, std::shared_ptr<const MessageT>>) {
      shared_const_ = std::move(callback);
    } else if constexpr (std::is_invocable_v<C &, std::shared_ptr<MessageT>>) {
      set_deprecated(SharedPtrCallback(std::move(callback)));
    } else if constexpr (std::is_invocable_v<C &, std::unique_ptr<MessageT>>) {
      unique_ = std::move(callback);
    } else if constexpr (std::is_invocable_v<C &, const MessageT &, const MessageInfo &>) {
      const_ref_info_ = std::move(callback);
    } else if constexpr (
      std::is_invocable_v<C &, std::shared_ptr<const MessageT>, const MessageInfo &>)
    {
      shared_const_info_ = std::move(callback);
    } else if constexpr (std::is_invocable_v<C &, std::shared_ptr<MessageT>, const MessageInfo &>) {
      set_deprecated(SharedPtrWithInfoCallback(std::move(callback)));
    } else if constexpr (std::is_invocable_v<C &, std::unique_ptr<MessageT>, const MessageInfo &>) {
      unique_info_ = std::move(callback);
    } else {
      static_assert(
        std::is_invocable_v<C &, const MessageT &>,
        "subscription callback has a signature rclcpp does not accept");
    }
  }

  [[deprecated("use 'void(std::shared_ptr<const MessageT>)' instead")]]
  void set_deprecated(SharedPtrCallback callback) {shared_ = std::move(callback);}

  [[deprecated("use 'void(std::shared_ptr<const MessageT>, const rclcpp::MessageInfo &)' instead")]]
  void set_deprecated(SharedPtrWithInfoCallback callback) {shared_info_ = std::move(callback);}

  /// Calls the callback; mutable forms get a private copy so other receivers are unaffected.
  void dispatch(const std::shared_ptr<const MessageT> & message, const MessageInfo & info)
  {
    if (const_ref_) {
      const_ref_(*message);
    } else if (shared_const_) {
      shared_const_(message);
    } else if (shared_) {
      shared_(std::make_shared<MessageT>(*message));
    } else if (unique_) {
      unique_(std::make_unique<MessageT>(*message));
    } else if (const_ref_info_) {
      const_ref_info_(*message, info);
    } else if (shared_const_info_) {
      shared_const_info_(message, info);
    } else if (shared_info_) {
      shared_info_(std::make_shared<MessageT>(*message), info);
    } else if (unique_info_) {
      unique_info_(std::make_unique<MessageT>(*message), info);
    }
  }

private:
  ConstRefCallback const_ref_;
  ConstRefWithInfoCallback const_ref_info_;
  UniquePtrCallback unique_;
  UniquePtrWithInfoCallback unique_info_;
  SharedConstPtrCallback shared_const_;
  SharedConstPtrWithInfoCallback shared_const_info_;
  SharedPtrCallback shared_;
  SharedPtrWithInfoCallback shared_info_;
};

}  // namespace rclcpp

#endif  // RCLCPP__ANY_SUBSCRIPTION_CALLBACK_HPP_
