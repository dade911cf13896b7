#include "rclcpp/executor.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/detail/spin_control.hpp"
#include "rclcpp/executors.hpp"
#include "rclcpp/node.hpp"
#include "context_check.hpp"
#include "wake.hpp"

namespace rclcpp
{

namespace
{
/// Resets an atomic flag when leaving a scope, also by exception.
class ScopedFlag
{
public:
  explicit ScopedFlag(std::atomic_bool & flag)
  : flag_(flag) {}
  ~ScopedFlag() {flag_.store(false);}
  ScopedFlag(const ScopedFlag &) = delete;
  ScopedFlag & operator=(const ScopedFlag &) = delete;

private:
  std::atomic_bool & flag_;
};

// Long sleeps are cut so that a system-time timer notices a jump of the wall clock eventually.
constexpr std::chrono::seconds kMaximumWait{1};
}  // namespace

Executor::Executor(const rclcpp::ExecutorOptions & options)
: spinning(false), context_(options.context)
{
  // The executor's interrupt guard condition is made first, so a context that was shut down
  // fails there.
  detail::check_context_for_guard_condition(context_);
}

Executor::~Executor()
{
  std::lock_guard<std::mutex> lock(nodes_mutex_);
  for (const auto & weak : weak_nodes_) {
    if (auto node = weak.lock()) {
      node->get_associated_with_executor_atomic().store(false);
    }
  }
}

void Executor::add_node(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool)
{
  std::atomic_bool & has_executor = node_ptr->get_associated_with_executor_atomic();
  if (has_executor.exchange(true)) {
    throw std::runtime_error(
            std::string("Node '") + node_ptr->get_fully_qualified_name() +
            "' has already been added to an executor.");
  }
  {
    std::lock_guard<std::mutex> lock(nodes_mutex_);
    weak_nodes_.push_back(node_ptr);
  }
  detail::wake_signal().notify();
}

void Executor::add_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify)
{
  add_node(node_ptr->get_node_base_interface(), notify);
}

void Executor::remove_node(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool)
{
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(nodes_mutex_);
    for (auto it = weak_nodes_.begin(); it != weak_nodes_.end(); ++it) {
      if (it->lock() == node_ptr) {
        weak_nodes_.erase(it);
        found = true;
        break;
      }
    }
  }
  if (!found) {
    throw std::runtime_error("Node needs to be associated with this executor.");
  }
  node_ptr->get_associated_with_executor_atomic().store(false);
  detail::wake_signal().notify();
}

void Executor::remove_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify)
{
  remove_node(node_ptr->get_node_base_interface(), notify);
}

void Executor::spin_node_some(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node)
{
  add_node(node, false);
  spin_some();
  remove_node(node, false);
}

void Executor::spin_node_some(std::shared_ptr<rclcpp::Node> node)
{
  spin_node_some(node->get_node_base_interface());
}

void Executor::spin_some(std::chrono::nanoseconds max_duration)
{
  spin_some_impl(max_duration, false);
}

void Executor::spin_all(std::chrono::nanoseconds max_duration)
{
  if (max_duration < std::chrono::nanoseconds::zero()) {
    throw std::invalid_argument("max_duration must be greater than or equal to 0");
  }
  spin_some_impl(max_duration, true);
}

void Executor::spin_some_impl(std::chrono::nanoseconds max_duration, bool exhaustive)
{
  const auto start = std::chrono::steady_clock::now();
  auto max_duration_not_elapsed = [max_duration, start]() {
      if (max_duration == std::chrono::nanoseconds::zero()) {
        return true;
      }
      return std::chrono::steady_clock::now() - start < max_duration;
    };
  if (spinning.exchange(true)) {
    throw std::runtime_error("spin_some() called while already spinning");
  }
  ScopedFlag reset_spinning(spinning);
  cancel_requested_.store(false);
  bool work_available = false;
  while (rclcpp::ok(context_) && spinning.load() && max_duration_not_elapsed()) {
    if (!work_available) {
      wait_for_work(std::chrono::nanoseconds::zero());
    }
    AnyExecutable any_executable;
    if (get_next_ready_executable(any_executable)) {
      execute_any_executable(any_executable);
      work_available = true;
    } else {
      if (!work_available || !exhaustive) {
        break;
      }
      work_available = false;
    }
  }
}

void Executor::spin_once(std::chrono::nanoseconds timeout)
{
  if (spinning.exchange(true)) {
    throw std::runtime_error("spin_once() called while already spinning");
  }
  ScopedFlag reset_spinning(spinning);
  cancel_requested_.store(false);
  spin_once_impl(timeout);
}

void Executor::spin_once_impl(std::chrono::nanoseconds timeout)
{
  AnyExecutable any_executable;
  if (get_next_executable(any_executable, timeout)) {
    execute_any_executable(any_executable);
  }
}

void Executor::cancel()
{
  cancel_requested_.store(true);
  spinning.store(false);
  detail::wake_signal().notify();
}

bool Executor::is_spinning() {return spinning.load();}

bool Executor::spinning_stopped_by_cancel() const {return cancel_requested_.load();}

void Executor::collect_entities(
  std::vector<rclcpp::TimerBase::SharedPtr> & timers,
  std::vector<rclcpp::SubscriptionBase::SharedPtr> & subscriptions)
{
  std::vector<rclcpp::node_interfaces::NodeBaseInterface::SharedPtr> nodes;
  {
    std::lock_guard<std::mutex> lock(nodes_mutex_);
    for (const auto & weak : weak_nodes_) {
      if (auto node = weak.lock()) {
        nodes.push_back(std::move(node));
      }
    }
  }
  for (const auto & node : nodes) {
    node->for_each_callback_group(
      [&](const rclcpp::CallbackGroup::SharedPtr & group) {
        if (group->automatically_add_to_executor_with_node()) {
          group->collect_entities(timers, subscriptions);
        }
      });
  }
}

void Executor::wait_for_work(std::chrono::nanoseconds timeout)
{
  ready_timers_.clear();
  ready_subscriptions_.clear();
  const auto start = std::chrono::steady_clock::now();
  const bool forever = timeout < std::chrono::nanoseconds::zero();
  const auto deadline = forever ? std::chrono::steady_clock::time_point::max() : start + timeout;
  while (true) {
    // Read the generation before looking, so that anything that happens while looking wakes us.
    const auto generation = detail::wake_signal().generation();
    std::vector<rclcpp::TimerBase::SharedPtr> timers;
    std::vector<rclcpp::SubscriptionBase::SharedPtr> subscriptions;
    collect_entities(timers, subscriptions);

    auto next_wake = deadline;
    const auto now = std::chrono::steady_clock::now();
    for (const auto & timer : timers) {
      if (timer->is_ready()) {
        ready_timers_.push_back(timer);
        continue;
      }
      // Simulated time only moves when /clock arrives, which wakes us anyway.
      auto clock = timer->get_clock();
      if (clock->get_clock_type() == RCL_ROS_TIME && clock->ros_time_is_active()) {
        continue;
      }
      const auto remaining = timer->time_until_trigger();
      if (remaining == std::chrono::nanoseconds::max()) {
        continue;
      }
      const auto due = now + std::max(remaining, std::chrono::nanoseconds::zero());
      next_wake = std::min(next_wake, due);
    }
    for (const auto & subscription : subscriptions) {
      if (subscription->has_message()) {
        ready_subscriptions_.push_back(subscription);
      }
    }
    if (!ready_timers_.empty() || !ready_subscriptions_.empty()) {
      return;
    }
    if (!rclcpp::ok(context_) || !spinning.load() || now >= deadline) {
      return;
    }
    next_wake = std::min(next_wake, now + kMaximumWait);
    // After the deadline the loop looks once more, so work that came with the timeout counts.
    detail::wake_signal().wait_until(generation, next_wake);
  }
}

bool Executor::get_next_ready_executable(AnyExecutable & any_executable)
{
  while (!ready_timers_.empty()) {
    auto timer = std::move(ready_timers_.front());
    ready_timers_.pop_front();
    // call() advances the schedule; false means the timer was cancelled meanwhile.
    if (timer->call()) {
      any_executable.timer = std::move(timer);
      return true;
    }
  }
  while (!ready_subscriptions_.empty()) {
    auto subscription = std::move(ready_subscriptions_.front());
    ready_subscriptions_.pop_front();
    if (subscription->has_message()) {
      any_executable.subscription = std::move(subscription);
      return true;
    }
  }
  return false;
}

bool Executor::get_next_executable(
  AnyExecutable & any_executable, std::chrono::nanoseconds timeout)
{
  bool success = get_next_ready_executable(any_executable);
  if (!success) {
    wait_for_work(timeout);
    if (!spinning.load()) {
      return false;
    }
    success = get_next_ready_executable(any_executable);
  }
  return success;
}

void Executor::execute_any_executable(AnyExecutable & any_executable)
{
  if (any_executable.timer) {
    any_executable.timer->execute_callback();
  }
  if (any_executable.subscription) {
    any_executable.subscription->take_and_execute();
  }
}

namespace detail
{
size_t spin_until_idle(Executor & executor)
{
  if (executor.spinning.exchange(true)) {
    throw std::runtime_error("spin_until_idle() called while already spinning");
  }
  ScopedFlag reset_spinning(executor.spinning);
  size_t executed = 0;
  while (rclcpp::ok(executor.context_)) {
    executor.wait_for_work(std::chrono::nanoseconds::zero());
    Executor::AnyExecutable any_executable;
    bool ran = false;
    while (executor.get_next_ready_executable(any_executable)) {
      executor.execute_any_executable(any_executable);
      any_executable = Executor::AnyExecutable();
      ++executed;
      ran = true;
    }
    if (!ran) {
      break;
    }
  }
  return executed;
}
}  // namespace detail

namespace executors
{
SingleThreadedExecutor::SingleThreadedExecutor(const rclcpp::ExecutorOptions & options)
: rclcpp::Executor(options)
{
}

SingleThreadedExecutor::~SingleThreadedExecutor() = default;

void SingleThreadedExecutor::spin()
{
  if (spinning.exchange(true)) {
    throw std::runtime_error("spin() called while already spinning");
  }
  ScopedFlag reset_spinning(spinning);
  cancel_requested_.store(false);
  while (rclcpp::ok(context_) && spinning.load()) {
    AnyExecutable any_executable;
    if (get_next_executable(any_executable)) {
      execute_any_executable(any_executable);
    }
  }
}
}  // namespace executors

void spin_some(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr)
{
  rclcpp::ExecutorOptions options;
  options.context = node_ptr->get_context();
  rclcpp::executors::SingleThreadedExecutor executor(options);
  executor.spin_node_some(node_ptr);
}

void spin_some(rclcpp::Node::SharedPtr node_ptr)
{
  rclcpp::spin_some(node_ptr->get_node_base_interface());
}

void spin(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr)
{
  rclcpp::ExecutorOptions options;
  options.context = node_ptr->get_context();
  rclcpp::executors::SingleThreadedExecutor executor(options);
  executor.add_node(node_ptr);
  executor.spin();
  executor.remove_node(node_ptr);
}

void spin(rclcpp::Node::SharedPtr node_ptr)
{
  rclcpp::spin(node_ptr->get_node_base_interface());
}

}  // namespace rclcpp
