// rclcpp::create_timer: a timer on a given clock (usually the node clock), added to a node.
#ifndef RCLCPP__CREATE_TIMER_HPP_
#define RCLCPP__CREATE_TIMER_HPP_

#include <chrono>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/clock.hpp"
#include "rclcpp/duration.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_timers_interface.hpp"
#include "rclcpp/timer.hpp"

namespace rclcpp
{

namespace detail
{
template<typename T>
struct is_smart_or_raw_pointer : std::is_pointer<T> {};
template<typename T>
struct is_smart_or_raw_pointer<std::shared_ptr<T>>: std::true_type {};
template<typename T>
struct is_smart_or_raw_pointer<std::unique_ptr<T>>: std::true_type {};

/// The node object behind a Node*, shared_ptr<Node> or Node &.
template<typename NodeT>
auto & dereference_node(NodeT & node)
{
  if constexpr (is_smart_or_raw_pointer<std::decay_t<NodeT>>::value) {
    if (node == nullptr) {
      throw std::invalid_argument("node cannot be nullptr");
    }
    return *node;
  } else {
    return node;
  }
}
}  // namespace detail

/// Timer on `clock` with `period` (clock time), added to the node's `group` (nullptr: default).
template<typename CallbackT>
typename rclcpp::TimerBase::SharedPtr
create_timer(
  std::shared_ptr<node_interfaces::NodeBaseInterface> node_base,
  std::shared_ptr<node_interfaces::NodeTimersInterface> node_timers,
  rclcpp::Clock::SharedPtr clock,
  rclcpp::Duration period,
  CallbackT && callback,
  rclcpp::CallbackGroup::SharedPtr group = nullptr)
{
  auto timer = rclcpp::GenericTimer<std::decay_t<CallbackT>>::make_shared(
    std::move(clock), period.to_chrono<std::chrono::nanoseconds>(),
    std::forward<CallbackT>(callback), node_base->get_context());
  node_timers->add_timer(timer, group);
  return timer;
}

/// Timer on `clock` for a node given as `Node *`, `shared_ptr<Node>` or a node reference.
template<typename NodeT, typename CallbackT>
typename rclcpp::TimerBase::SharedPtr
create_timer(
  NodeT node,
  rclcpp::Clock::SharedPtr clock,
  rclcpp::Duration period,
  CallbackT && callback,
  rclcpp::CallbackGroup::SharedPtr group = nullptr)
{
  auto & node_ref = detail::dereference_node(node);
  return create_timer(
    node_ref.get_node_base_interface(), node_ref.get_node_timers_interface(), std::move(clock),
    period, std::forward<CallbackT>(callback), group);
}

}  // namespace rclcpp

#endif  // RCLCPP__CREATE_TIMER_HPP_
