#include "rclcpp/callback_group.hpp"

#include <algorithm>
#include <utility>

#include "rclcpp/subscription_base.hpp"
#include "rclcpp/timer.hpp"

namespace rclcpp
{

CallbackGroup::CallbackGroup(
  CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
: type_(group_type),
  automatically_add_to_executor_with_node_(automatically_add_to_executor_with_node)
{
}

const CallbackGroupType & CallbackGroup::type() const {return type_;}

bool CallbackGroup::automatically_add_to_executor_with_node() const
{
  return automatically_add_to_executor_with_node_;
}

std::atomic_bool & CallbackGroup::get_associated_with_executor_atomic()
{
  return associated_with_executor_;
}

size_t CallbackGroup::size() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  size_t count = 0;
  for (const auto & weak : subscriptions_) {
    count += weak.expired() ? 0 : 1;
  }
  for (const auto & weak : timers_) {
    count += weak.expired() ? 0 : 1;
  }
  return count;
}

void CallbackGroup::add_subscription(const std::shared_ptr<SubscriptionBase> & subscription)
{
  std::lock_guard<std::mutex> lock(mutex_);
  // Entities dropped by their owners are forgotten here rather than on every scan.
  subscriptions_.erase(
    std::remove_if(
      subscriptions_.begin(), subscriptions_.end(),
      [](const std::weak_ptr<SubscriptionBase> & weak) {return weak.expired();}),
    subscriptions_.end());
  subscriptions_.push_back(subscription);
}

void CallbackGroup::add_timer(const std::shared_ptr<TimerBase> & timer)
{
  std::lock_guard<std::mutex> lock(mutex_);
  timers_.erase(
    std::remove_if(
      timers_.begin(), timers_.end(),
      [](const std::weak_ptr<TimerBase> & weak) {return weak.expired();}),
    timers_.end());
  timers_.push_back(timer);
}

void CallbackGroup::collect_entities(
  std::vector<std::shared_ptr<TimerBase>> & timers,
  std::vector<std::shared_ptr<SubscriptionBase>> & subscriptions) const
{
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto & weak : timers_) {
    if (auto timer = weak.lock()) {
      timers.push_back(std::move(timer));
    }
  }
  for (const auto & weak : subscriptions_) {
    if (auto subscription = weak.lock()) {
      subscriptions.push_back(std::move(subscription));
    }
  }
}

}  // namespace rclcpp
