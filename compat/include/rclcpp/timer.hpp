// Timers: periodic callbacks on a clock (ROS, system or steady time).
#ifndef RCLCPP__TIMER_HPP_
#define RCLCPP__TIMER_HPP_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

#include "rclcpp/clock.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/macros.hpp"

namespace rclcpp
{

/// A timer on a clock. The schedule is a fixed grid anchored at creation: the first call is one
/// period after creation; if calls fall behind, missed periods are skipped, never replayed.
class TimerBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(TimerBase)

  /// `period` in nanoseconds of `clock` time; throws RCLInvalidArgument for a negative period.
  TimerBase(
    rclcpp::Clock::SharedPtr clock, std::chrono::nanoseconds period,
    rclcpp::Context::SharedPtr context);
  TimerBase(const TimerBase &) = delete;
  TimerBase & operator=(const TimerBase &) = delete;
  virtual ~TimerBase();

  /// Stops the timer until reset().
  void cancel();
  bool is_canceled();
  /// Restarts the schedule: next call one period from now; also un-cancels.
  void reset();

  /// Runs the user callback (the executor calls call() first).
  virtual void execute_callback() = 0;

  rclcpp::Clock::SharedPtr get_clock();

  /// Time left until the next call, negative when overdue; nanoseconds::max() when canceled.
  std::chrono::nanoseconds time_until_trigger();

  /// True if the clock is the steady clock.
  bool is_steady();

  /// True if the next call time has been reached and the timer is not canceled.
  bool is_ready();

  /// Advances the schedule by one call (skipping missed periods); false if canceled.
  bool call();

private:
  /// Re-anchors the grid after the clock went back behind the last call. The clock is always
  /// read before the timer's mutex is taken: the clock runs jump handlers that take that mutex.
  void handle_backward_jump_locked(int64_t now);
  void on_clock_change_before();
  void on_clock_change_after();

  rclcpp::Clock::SharedPtr clock_;
  rclcpp::Context::SharedPtr context_;
  std::mutex mutex_;
  int64_t period_;
  int64_t last_call_time_;
  int64_t next_call_time_;
  int64_t time_credit_{0};
  bool canceled_{false};
  rclcpp::JumpHandler::SharedPtr jump_handler_;
};

using VoidCallbackType = std::function<void ()>;
using TimerCallbackType = std::function<void (TimerBase &)>;

/// A timer whose callback is `void()` or `void(rclcpp::TimerBase &)`.
template<typename FunctorT>
class GenericTimer : public TimerBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(GenericTimer)

  template<typename CallbackArgT>
  GenericTimer(
    Clock::SharedPtr clock, std::chrono::nanoseconds period, CallbackArgT && callback,
    rclcpp::Context::SharedPtr context)
  : TimerBase(std::move(clock), period, std::move(context)),
    callback_(std::forward<CallbackArgT>(callback))
  {
    static_assert(
      std::is_invocable_v<std::decay_t<FunctorT> &> ||
      std::is_invocable_v<std::decay_t<FunctorT> &, TimerBase &>,
      "Failed to accept callback type: a timer callback takes no argument or a TimerBase &");
  }

  void execute_callback() override
  {
    if constexpr (std::is_invocable_v<std::decay_t<FunctorT> &>) {
      callback_();
    } else {
      callback_(*this);
    }
  }

private:
  std::decay_t<FunctorT> callback_;
};

/// A timer on the steady clock (unaffected by simulated time).
template<typename FunctorT>
class WallTimer : public GenericTimer<FunctorT>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(WallTimer)

  WallTimer(
    std::chrono::nanoseconds period, FunctorT && callback, rclcpp::Context::SharedPtr context)
  : GenericTimer<FunctorT>(
      std::make_shared<Clock>(RCL_STEADY_TIME), period, std::forward<FunctorT>(callback),
      std::move(context))
  {
  }
};

}  // namespace rclcpp

#endif  // RCLCPP__TIMER_HPP_
