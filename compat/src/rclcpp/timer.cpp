#include "rclcpp/timer.hpp"

#include <stdexcept>
#include <utility>

#include "rcl/error_handling.h"
#include "rcl/types.h"
#include "rclcpp/exceptions.hpp"
#include "context_check.hpp"
#include "wake.hpp"

namespace rclcpp
{

TimerBase::TimerBase(
  rclcpp::Clock::SharedPtr clock, std::chrono::nanoseconds period,
  rclcpp::Context::SharedPtr context)
: clock_(std::move(clock)), context_(std::move(context)), period_(period.count())
{
  if (period_ < 0) {
    RCL_SET_ERROR_MSG("timer period must be non-negative");
    exceptions::throw_from_rcl_error(
      RCL_RET_INVALID_ARGUMENT, "Couldn't initialize rcl timer handle");
  }
  detail::check_context_for_timer(context_);
  const int64_t now = clock_->now().nanoseconds();
  last_call_time_ = now;
  next_call_time_ = now + period_;
  if (clock_->get_clock_type() == RCL_ROS_TIME) {
    // Switching between system and simulated time keeps the part of the period already waited.
    rcl_jump_threshold_t threshold;
    threshold.on_clock_change = true;
    threshold.min_forward.nanoseconds = 1;
    threshold.min_backward.nanoseconds = -1;
    jump_handler_ = clock_->create_jump_callback(
      [this]() {on_clock_change_before();},
      [this](const rcl_time_jump_t & jump) {
        if (jump.clock_change == RCL_ROS_TIME_ACTIVATED ||
        jump.clock_change == RCL_ROS_TIME_DEACTIVATED)
        {
          on_clock_change_after();
        }
        detail::wake_signal().notify();
      },
      threshold);
  }
  // An executor blocked on an earlier deadline has to learn about the new one.
  detail::wake_signal().notify();
}

TimerBase::~TimerBase() = default;

void TimerBase::on_clock_change_before()
{
  const int64_t now = clock_->now().nanoseconds();
  std::lock_guard<std::mutex> lock(mutex_);
  time_credit_ = now - last_call_time_;
}

void TimerBase::on_clock_change_after()
{
  const int64_t now = clock_->now().nanoseconds();
  std::lock_guard<std::mutex> lock(mutex_);
  if (period_ == 0) {
    return;
  }
  const int64_t credit = time_credit_;
  time_credit_ = 0;
  if (credit != 0) {
    last_call_time_ = now - credit;
    next_call_time_ = last_call_time_ + period_;
  }
}

void TimerBase::cancel()
{
  std::lock_guard<std::mutex> lock(mutex_);
  canceled_ = true;
}

bool TimerBase::is_canceled()
{
  std::lock_guard<std::mutex> lock(mutex_);
  return canceled_;
}

void TimerBase::reset()
{
  const int64_t now = clock_->now().nanoseconds();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    last_call_time_ = now;
    next_call_time_ = now + period_;
    canceled_ = false;
  }
  detail::wake_signal().notify();
}

rclcpp::Clock::SharedPtr TimerBase::get_clock() {return clock_;}

void TimerBase::handle_backward_jump_locked(int64_t now)
{
  // The clock went back behind the last call (a simulated clock restarted): the next call is one
  // period from the new now.
  if (now < last_call_time_) {
    last_call_time_ = now;
    next_call_time_ = now + period_;
  }
}

std::chrono::nanoseconds TimerBase::time_until_trigger()
{
  const int64_t now = clock_->now().nanoseconds();
  std::lock_guard<std::mutex> lock(mutex_);
  if (canceled_) {
    return std::chrono::nanoseconds::max();
  }
  handle_backward_jump_locked(now);
  return std::chrono::nanoseconds(next_call_time_ - now);
}

bool TimerBase::is_steady() {return clock_->get_clock_type() == RCL_STEADY_TIME;}

bool TimerBase::is_ready()
{
  const int64_t now = clock_->now().nanoseconds();
  std::lock_guard<std::mutex> lock(mutex_);
  if (canceled_) {
    return false;
  }
  handle_backward_jump_locked(now);
  return next_call_time_ <= now;
}

bool TimerBase::call()
{
  const int64_t now = clock_->now().nanoseconds();
  std::lock_guard<std::mutex> lock(mutex_);
  if (canceled_) {
    return false;
  }
  if (now < 0) {
    // rcl refuses negative clock values; rclcpp reports that without the rcl text.
    throw std::runtime_error("Failed to notify timer that callback occurred");
  }
  handle_backward_jump_locked(now);
  last_call_time_ = now;
  int64_t next_call_time = next_call_time_ + period_;
  if (next_call_time < now) {
    if (period_ == 0) {
      // A period of zero is always ready.
      next_call_time = now;
    } else {
      // Skip every period that has already passed; the grid stays anchored at creation.
      const int64_t now_ahead = now - next_call_time;
      const int64_t periods_ahead = 1 + (now_ahead - 1) / period_;
      next_call_time += periods_ahead * period_;
    }
  }
  next_call_time_ = next_call_time;
  return true;
}

}  // namespace rclcpp
