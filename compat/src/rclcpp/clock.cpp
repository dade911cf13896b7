#include "rclcpp/clock.hpp"

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "rcl/error_handling.h"
#include "rcl/types.h"
#include "rclcpp/exceptions.hpp"

namespace rclcpp
{

JumpHandler::JumpHandler(
  pre_callback_t pre_callback,
  post_callback_t post_callback,
  const rcl_jump_threshold_t & threshold)
: pre_callback(std::move(pre_callback)),
  post_callback(std::move(post_callback)),
  notice_threshold(threshold)
{}

class Clock::Impl
{
public:
  explicit Impl(rcl_clock_type_t clock_type)
  : clock_type_(clock_type) {}

  const rcl_clock_type_t clock_type_;
  std::mutex clock_mutex_;

  // ROS-time override state, read by now() on executor threads and written by the time source.
  std::mutex state_mutex_;
  bool override_active_{false};
  rcl_time_point_value_t override_value_{0};
  std::vector<std::weak_ptr<JumpHandler>> handlers_;
};

namespace detail
{

// Everything that changes a clock's override goes through here, with the same jump reporting
// as rcl: callbacks whose threshold the jump meets run before and after the change.
struct ClockAccess
{
  static std::vector<JumpHandler::SharedPtr> live_handlers(Clock::Impl & impl)
  {
    std::vector<JumpHandler::SharedPtr> handlers;
    std::lock_guard<std::mutex> lock(impl.state_mutex_);
    auto & weak = impl.handlers_;
    weak.erase(
      std::remove_if(
        weak.begin(), weak.end(),
        [](const std::weak_ptr<JumpHandler> & h) {return h.expired();}),
      weak.end());
    for (const auto & h : weak) {
      if (auto handler = h.lock()) {
        handlers.push_back(handler);
      }
    }
    return handlers;
  }

  static bool wants(const JumpHandler & handler, const rcl_time_jump_t & jump)
  {
    const bool clock_change = jump.clock_change == RCL_ROS_TIME_ACTIVATED ||
      jump.clock_change == RCL_ROS_TIME_DEACTIVATED;
    const rcl_jump_threshold_t & t = handler.notice_threshold;
    return (clock_change && t.on_clock_change) ||
           (t.min_forward.nanoseconds > 0 &&
           jump.delta.nanoseconds >= t.min_forward.nanoseconds) ||
           (t.min_backward.nanoseconds < 0 &&
           jump.delta.nanoseconds <= t.min_backward.nanoseconds);
  }

  static void call(
    const std::vector<JumpHandler::SharedPtr> & handlers, const rcl_time_jump_t & jump,
    bool before_jump)
  {
    for (const auto & handler : handlers) {
      if (!wants(*handler, jump)) {
        continue;
      }
      if (before_jump) {
        if (handler->pre_callback) {
          handler->pre_callback();
        }
      } else if (handler->post_callback) {
        handler->post_callback(jump);
      }
    }
  }

  static void set_active(Clock & clock, bool active)
  {
    Clock::Impl & impl = *clock.impl_;
    if (impl.clock_type_ != RCL_ROS_TIME) {
      return;
    }
    {
      std::lock_guard<std::mutex> lock(impl.state_mutex_);
      if (impl.override_active_ == active) {
        return;
      }
    }
    rcl_time_jump_t jump;
    jump.clock_change = active ? RCL_ROS_TIME_ACTIVATED : RCL_ROS_TIME_DEACTIVATED;
    jump.delta.nanoseconds = 0;
    const auto handlers = live_handlers(impl);
    call(handlers, jump, true);
    {
      std::lock_guard<std::mutex> lock(impl.state_mutex_);
      impl.override_active_ = active;
    }
    call(handlers, jump, false);
  }

  static void set_value(Clock & clock, rcl_time_point_value_t value)
  {
    Clock::Impl & impl = *clock.impl_;
    if (impl.clock_type_ != RCL_ROS_TIME) {
      return;
    }
    bool active = false;
    rcl_time_jump_t jump;
    jump.clock_change = RCL_ROS_TIME_NO_CHANGE;
    jump.delta.nanoseconds = 0;
    {
      std::lock_guard<std::mutex> lock(impl.state_mutex_);
      active = impl.override_active_;
      jump.delta.nanoseconds = value - impl.override_value_;
      if (!active) {
        impl.override_value_ = value;
        return;
      }
    }
    const auto handlers = live_handlers(impl);
    call(handlers, jump, true);
    {
      std::lock_guard<std::mutex> lock(impl.state_mutex_);
      impl.override_value_ = value;
    }
    call(handlers, jump, false);
  }
};

void set_ros_time_override(rclcpp::Clock & clock, bool enabled, int64_t nanoseconds)
{
  ClockAccess::set_active(clock, enabled);
  ClockAccess::set_value(clock, nanoseconds);
}

void enable_ros_time_override(rclcpp::Clock & clock)
{
  ClockAccess::set_active(clock, true);
}

void disable_ros_time_override(rclcpp::Clock & clock)
{
  ClockAccess::set_active(clock, false);
}

void set_ros_time_override_value(rclcpp::Clock & clock, int64_t nanoseconds)
{
  ClockAccess::set_value(clock, nanoseconds);
}

}  // namespace detail

Clock::Clock(rcl_clock_type_t clock_type)
: impl_(std::make_shared<Impl>(clock_type))
{}

Clock::~Clock() = default;

Time
Clock::now()
{
  Time now(static_cast<int64_t>(0), impl_->clock_type_);
  rcutils_time_point_value_t value = 0;
  switch (impl_->clock_type_) {
    case RCL_ROS_TIME: {
        std::lock_guard<std::mutex> lock(impl_->state_mutex_);
        if (impl_->override_active_) {
          now.rcl_time_.nanoseconds = impl_->override_value_;
          return now;
        }
      }
      rcutils_system_time_now(&value);
      break;
    case RCL_SYSTEM_TIME:
      rcutils_system_time_now(&value);
      break;
    case RCL_STEADY_TIME:
      rcutils_steady_time_now(&value);
      break;
    default:
      RCL_SET_ERROR_MSG("Clock is not initialized or does not have get_now registered.");
      exceptions::throw_from_rcl_error(RCL_RET_ERROR, "could not get current time stamp");
  }
  now.rcl_time_.nanoseconds = value;
  return now;
}

bool
Clock::ros_time_is_active()
{
  if (impl_->clock_type_ == RCL_CLOCK_UNINITIALIZED) {
    return false;
  }
  if (impl_->clock_type_ != RCL_ROS_TIME) {
    RCL_SET_ERROR_MSG("Clock is not of type RCL_ROS_TIME, cannot query override state.");
    exceptions::throw_from_rcl_error(RCL_RET_ERROR, "Failed to check ros_time_override_status");
  }
  std::lock_guard<std::mutex> lock(impl_->state_mutex_);
  return impl_->override_active_;
}

rcl_clock_type_t
Clock::get_clock_type() const noexcept
{
  return impl_->clock_type_;
}

std::mutex &
Clock::get_clock_mutex() noexcept
{
  return impl_->clock_mutex_;
}

JumpHandler::SharedPtr
Clock::create_jump_callback(
  JumpHandler::pre_callback_t pre_callback,
  JumpHandler::post_callback_t post_callback,
  const rcl_jump_threshold_t & threshold)
{
  if (threshold.min_forward.nanoseconds < 0) {
    RCL_SET_ERROR_MSG("forward jump threshold must be positive or zero");
    exceptions::throw_from_rcl_error(RCL_RET_INVALID_ARGUMENT, "Failed to add time jump callback");
  }
  if (threshold.min_backward.nanoseconds > 0) {
    RCL_SET_ERROR_MSG("backward jump threshold must be negative or zero");
    exceptions::throw_from_rcl_error(RCL_RET_INVALID_ARGUMENT, "Failed to add time jump callback");
  }
  auto handler = std::make_shared<JumpHandler>(
    std::move(pre_callback), std::move(post_callback), threshold);
  std::lock_guard<std::mutex> lock(impl_->state_mutex_);
  impl_->handlers_.push_back(handler);
  return handler;
}

}  // namespace rclcpp
