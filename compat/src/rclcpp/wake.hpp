// Process-wide wake-up signal for executors.
//
// Everything that can make a callback ready (a message queued, a timer created or reset, the
// simulated clock moving, a context shutting down, an executor cancelled) bumps the generation
// and wakes all waiters. Executors re-check their entities after every wake, so a spurious wake
// costs one scan and a missed one cannot happen as long as the generation is read before the scan.
#ifndef RCLCPP__WAKE_HPP_
#define RCLCPP__WAKE_HPP_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace rclcpp
{
namespace detail
{

class WakeSignal
{
public:
  std::uint64_t generation() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return generation_;
  }

  void notify()
  {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++generation_;
    }
    condition_.notify_all();
  }

  /// Blocks until the generation differs from `seen` or `deadline` passes.
  void wait_until(std::uint64_t seen, std::chrono::steady_clock::time_point deadline)
  {
    std::unique_lock<std::mutex> lock(mutex_);
    condition_.wait_until(lock, deadline, [&] {return generation_ != seen;});
  }

private:
  mutable std::mutex mutex_;
  std::condition_variable condition_;
  std::uint64_t generation_{0};
};

WakeSignal & wake_signal();

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__WAKE_HPP_
