// SIGINT/SIGTERM handling: the handler itself only chains to the previous handler and posts a
// semaphore; a dedicated thread does the shutdown, because nothing else is async-signal-safe.
#ifndef RCLCPP__SIGNAL_HANDLER_HPP_
#define RCLCPP__SIGNAL_HANDLER_HPP_

#include <semaphore.h>
#include <signal.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "rclcpp/utilities.hpp"

namespace rclcpp
{
namespace detail
{

class SignalHandler
{
public:
  static SignalHandler & get_global_signal_handler();

  bool install(SignalHandlerOptions options);
  bool uninstall();
  bool is_installed() const;
  SignalHandlerOptions get_current_signal_handler_options() const;

private:
  SignalHandler();
  ~SignalHandler() = delete;

  static void signal_handler(int signum, siginfo_t * siginfo, void * context);
  void deferred_signal_handler();

  mutable std::mutex install_mutex_;
  std::atomic<bool> installed_{false};
  SignalHandlerOptions options_{SignalHandlerOptions::None};
  struct sigaction old_sigint_action_ {};
  struct sigaction old_sigterm_action_ {};
  sem_t semaphore_ {};
  std::atomic<bool> signal_received_{false};
  // The last signal caught, for the record the deferred thread writes (logging is not
  // async-signal-safe, so the handler itself does not).
  std::atomic<int> last_signal_{0};
  std::atomic<bool> stop_thread_{false};
  std::thread thread_;
};

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__SIGNAL_HANDLER_HPP_
