// Executors run the callbacks of the nodes added to them.
#ifndef RCLCPP__EXECUTOR_HPP_
#define RCLCPP__EXECUTOR_HPP_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "rclcpp/context.hpp"
#include "rclcpp/executor_options.hpp"
#include "rclcpp/future_return_code.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/subscription_base.hpp"
#include "rclcpp/timer.hpp"
#include "rclcpp/utilities.hpp"

namespace rclcpp
{

class Node;
class Executor;

namespace detail
{
size_t spin_until_idle(Executor & executor);
}  // namespace detail

/// Takes work from its nodes: whenever it looks for work, ready timers come before
/// subscriptions, and a subscription yields one message per turn. One callback runs at a time.
class Executor
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(Executor)

  explicit Executor(const rclcpp::ExecutorOptions & options = rclcpp::ExecutorOptions());
  Executor(const Executor &) = delete;
  Executor & operator=(const Executor &) = delete;
  virtual ~Executor();

  /// Runs callbacks until the context is shut down or cancel() is called.
  virtual void spin() = 0;

  /// Throws std::runtime_error if the node is already in an executor.
  virtual void add_node(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify = true);
  virtual void add_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify = true);
  virtual void remove_node(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify = true);
  virtual void remove_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify = true);

  /// Adds the node, runs at most one callback (waiting up to `timeout`), removes the node.
  template<typename RepT = int64_t, typename T = std::milli>
  void spin_node_once(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node,
    std::chrono::duration<RepT, T> timeout = std::chrono::duration<RepT, T>(-1))
  {
    add_node(node, false);
    spin_once(timeout);
    remove_node(node, false);
  }

  template<typename NodeT = rclcpp::Node, typename RepT = int64_t, typename T = std::milli>
  void spin_node_once(
    std::shared_ptr<NodeT> node,
    std::chrono::duration<RepT, T> timeout = std::chrono::duration<RepT, T>(-1))
  {
    spin_node_once(node->get_node_base_interface(), timeout);
  }

  void spin_node_some(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node);
  void spin_node_some(std::shared_ptr<rclcpp::Node> node);

  /// Runs what is ready now, without waiting; `max_duration` 0 means no time limit.
  virtual void spin_some(std::chrono::nanoseconds max_duration = std::chrono::nanoseconds(0));

  /// Like spin_some, but looks again after each round until nothing is ready (or time is up).
  /// Throws std::invalid_argument for a negative duration.
  virtual void spin_all(std::chrono::nanoseconds max_duration);

  /// Runs one callback, waiting up to `timeout` (negative: forever) for one to become ready.
  virtual void spin_once(std::chrono::nanoseconds timeout = std::chrono::nanoseconds(-1));

  template<typename FutureT, typename TimeRepT = int64_t, typename TimeT = std::milli>
  FutureReturnCode spin_until_future_complete(
    const FutureT & future,
    std::chrono::duration<TimeRepT, TimeT> timeout = std::chrono::duration<TimeRepT, TimeT>(-1))
  {
    std::future_status status = future.wait_for(std::chrono::seconds(0));
    if (status == std::future_status::ready) {
      return FutureReturnCode::SUCCESS;
    }
    const auto end_time = std::chrono::steady_clock::now() +
      std::chrono::duration_cast<std::chrono::nanoseconds>(timeout);
    const bool forever = timeout < std::chrono::duration<TimeRepT, TimeT>::zero();
    while (rclcpp::ok(context_) && !spinning_stopped_by_cancel()) {
      auto wait = std::chrono::nanoseconds(-1);
      if (!forever) {
        wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
          end_time - std::chrono::steady_clock::now());
        if (wait < std::chrono::nanoseconds::zero()) {
          wait = std::chrono::nanoseconds::zero();
        }
      }
      // A bounded wait lets the future be re-checked even if it is completed by another thread.
      if (forever || wait > std::chrono::milliseconds(10)) {
        wait = std::chrono::milliseconds(10);
      }
      spin_once_impl(wait);
      status = future.wait_for(std::chrono::seconds(0));
      if (status == std::future_status::ready) {
        return FutureReturnCode::SUCCESS;
      }
      if (!forever && std::chrono::steady_clock::now() >= end_time) {
        return FutureReturnCode::TIMEOUT;
      }
    }
    return FutureReturnCode::INTERRUPTED;
  }

  /// Makes spin() return (after the running callback) and wakes a waiting executor.
  void cancel();

  bool is_spinning();

protected:
  struct AnyExecutable
  {
    rclcpp::TimerBase::SharedPtr timer;
    rclcpp::SubscriptionBase::SharedPtr subscription;
  };

  void spin_some_impl(std::chrono::nanoseconds max_duration, bool exhaustive);
  void spin_once_impl(std::chrono::nanoseconds timeout);

  /// Collects the ready entities of all nodes; waits up to `timeout` (negative: forever) for one.
  void wait_for_work(std::chrono::nanoseconds timeout);
  bool get_next_ready_executable(AnyExecutable & any_executable);
  bool get_next_executable(
    AnyExecutable & any_executable,
    std::chrono::nanoseconds timeout = std::chrono::nanoseconds(-1));
  void execute_any_executable(AnyExecutable & any_executable);

  bool spinning_stopped_by_cancel() const;

  std::atomic_bool spinning;
  rclcpp::Context::SharedPtr context_;
  std::atomic_bool cancel_requested_{false};

private:
  friend size_t detail::spin_until_idle(Executor & executor);

  /// Snapshot of every live timer and subscription of the added nodes.
  void collect_entities(
    std::vector<rclcpp::TimerBase::SharedPtr> & timers,
    std::vector<rclcpp::SubscriptionBase::SharedPtr> & subscriptions);

  std::mutex nodes_mutex_;
  std::vector<rclcpp::node_interfaces::NodeBaseInterface::WeakPtr> weak_nodes_;
  std::deque<rclcpp::TimerBase::SharedPtr> ready_timers_;
  std::deque<rclcpp::SubscriptionBase::SharedPtr> ready_subscriptions_;
};

}  // namespace rclcpp

#endif  // RCLCPP__EXECUTOR_HPP_
