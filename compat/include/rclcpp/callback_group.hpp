// Callback groups: the sets of timers and subscriptions an executor takes work from.
#ifndef RCLCPP__CALLBACK_GROUP_HPP_
#define RCLCPP__CALLBACK_GROUP_HPP_

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "rclcpp/macros.hpp"

namespace rclcpp
{

class SubscriptionBase;
class TimerBase;

enum class CallbackGroupType
{
  MutuallyExclusive,
  Reentrant
};

/// A group of entities of one node. The group holds its entities weakly: an entity whose last
/// owner drops it stops being executed.
class CallbackGroup
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(CallbackGroup)

  explicit CallbackGroup(
    CallbackGroupType group_type, bool automatically_add_to_executor_with_node = true);

  const CallbackGroupType & type() const;
  bool automatically_add_to_executor_with_node() const;
  std::atomic_bool & get_associated_with_executor_atomic();

  /// Number of live entities in the group.
  size_t size() const;

  void add_subscription(const std::shared_ptr<SubscriptionBase> & subscription);
  void add_timer(const std::shared_ptr<TimerBase> & timer);

  /// Live entities, in the order they were added (compat: used by the executor).
  void collect_entities(
    std::vector<std::shared_ptr<TimerBase>> & timers,
    std::vector<std::shared_ptr<SubscriptionBase>> & subscriptions) const;

private:
  CallbackGroupType type_;
  bool automatically_add_to_executor_with_node_;
  std::atomic_bool associated_with_executor_{false};
  mutable std::mutex mutex_;
  std::vector<std::weak_ptr<SubscriptionBase>> subscriptions_;
  std::vector<std::weak_ptr<TimerBase>> timers_;
};

}  // namespace rclcpp

#endif  // RCLCPP__CALLBACK_GROUP_HPP_
