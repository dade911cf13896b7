#include "rclcpp/clock.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
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
  // Call with state_mutex_ held.
  static std::vector<JumpHandler::SharedPtr> live_handlers_locked(Clock::Impl & impl)
  {
    std::vector<JumpHandler::SharedPtr> handlers;
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
    call(snapshot(impl), jump, true);
    call(store_and_snapshot(impl, [&impl, active] {impl.override_active_ = active;}), jump, false);
  }

  static std::vector<JumpHandler::SharedPtr> snapshot(Clock::Impl & impl)
  {
    std::lock_guard<std::mutex> lock(impl.state_mutex_);
    return live_handlers_locked(impl);
  }

  // The change and the list of handlers told about it are taken together: a handler registered
  // before the change is told, and one registered after it already reads the new state. Either
  // way nobody waits for a change that has already happened.
  template<typename ChangeT>
  static std::vector<JumpHandler::SharedPtr> store_and_snapshot(
    Clock::Impl & impl, ChangeT && change)
  {
    std::lock_guard<std::mutex> lock(impl.state_mutex_);
    change();
    return live_handlers_locked(impl);
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
    call(snapshot(impl), jump, true);
    call(store_and_snapshot(impl, [&impl, value] {impl.override_value_ = value;}), jump, false);
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
  rcutils_ret_t ret = RCUTILS_RET_OK;
  switch (impl_->clock_type_) {
    case RCL_ROS_TIME: {
        std::lock_guard<std::mutex> lock(impl_->state_mutex_);
        if (impl_->override_active_) {
          now.rcl_time_.nanoseconds = impl_->override_value_;
          return now;
        }
      }
      ret = rcutils_system_time_now(&value);
      break;
    case RCL_SYSTEM_TIME:
      ret = rcutils_system_time_now(&value);
      break;
    case RCL_STEADY_TIME:
      ret = rcutils_steady_time_now(&value);
      break;
    default:
      RCL_SET_ERROR_MSG("Clock is not initialized or does not have get_now registered.");
      exceptions::throw_from_rcl_error(RCL_RET_ERROR, "could not get current time stamp");
  }
  if (ret != RCUTILS_RET_OK) {
    RCL_SET_ERROR_MSG("reading the operating system clock failed");
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

namespace
{
// Shared with the shutdown and jump callbacks, which the context or time source may still be
// running when sleep_until has returned.
struct SleepState
{
  std::mutex mutex;
  std::condition_variable wake;
  bool time_source_changed{false};

  void notify()
  {
    {
      std::lock_guard<std::mutex> lock(mutex);
    }
    wake.notify_all();
  }
};
}  // namespace

bool
Clock::sleep_until(Time until, Context::SharedPtr context)
{
  if (!context || !context->is_valid()) {
    throw std::runtime_error("context cannot be slept with because it's invalid");
  }
  const rcl_clock_type_t clock_type = get_clock_type();
  if (until.get_clock_type() != clock_type) {
    throw std::runtime_error("until's clock type does not match this clock's type");
  }

  auto state = std::make_shared<SleepState>();
  const auto shutdown_handle = context->add_on_shutdown_callback([state]() {state->notify();});
  struct RemoveOnExit
  {
    Context & context;
    const OnShutdownCallbackHandle & handle;
    ~RemoveOnExit() {context.remove_on_shutdown_callback(handle);}
  } remove_on_exit{*context, shutdown_handle};

  // Every new ROS time value wakes the sleeper; switching the override on or off ends the sleep,
  // because the time it was waiting for belongs to the other time source.
  JumpHandler::SharedPtr jump_handler;
  if (clock_type == RCL_ROS_TIME) {
    rcl_jump_threshold_t threshold;
    threshold.on_clock_change = true;
    threshold.min_forward.nanoseconds = 1;
    threshold.min_backward.nanoseconds = -1;
    jump_handler = create_jump_callback(
      nullptr,
      [state](const rcl_time_jump_t & jump) {
        if (jump.clock_change != RCL_ROS_TIME_NO_CHANGE) {
          std::lock_guard<std::mutex> lock(state->mutex);
          state->time_source_changed = true;
        }
        state->notify();
      },
      threshold);
  }

  {
    std::unique_lock<std::mutex> lock(state->mutex);
    while (context->is_valid() && !state->time_source_changed) {
      const Time current = now();
      if (current >= until) {
        break;
      }
      if (clock_type == RCL_ROS_TIME && ros_time_is_active()) {
        state->wake.wait(lock);
      } else {
        // Wall and steady time advance on their own: wait out the remaining span.
        state->wake.wait_for(lock, std::chrono::nanoseconds((until - current).nanoseconds()));
      }
    }
    if (!context->is_valid() || state->time_source_changed) {
      return false;
    }
  }
  return now() >= until;
}

bool
Clock::sleep_for(Duration rel_time, Context::SharedPtr context)
{
  return sleep_until(now() + rel_time, context);
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
