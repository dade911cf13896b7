#include "signal_handler.hpp"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "rclcpp/context.hpp"
#include "rclcpp/logger.hpp"
#include "rclcpp/logging.hpp"

namespace rclcpp
{
namespace detail
{

SignalHandler & SignalHandler::get_global_signal_handler()
{
  // Leaked on purpose: a signal may arrive while static objects are being destroyed.
  static SignalHandler * instance = new SignalHandler();
  return *instance;
}

SignalHandler::SignalHandler()
{
  if (sem_init(&semaphore_, 0, 0) != 0) {
    throw std::runtime_error(std::string("sem_init failed: ") + std::strerror(errno));
  }
}

void SignalHandler::signal_handler(int signum, siginfo_t * siginfo, void * context)
{
  auto & instance = get_global_signal_handler();
  const struct sigaction & old = signum == SIGINT ?
    instance.old_sigint_action_ : instance.old_sigterm_action_;
  // Whoever was installed before us (for example a crash reporter) still gets the signal.
  if (old.sa_flags & SA_SIGINFO) {
    if (old.sa_sigaction != nullptr) {
      old.sa_sigaction(signum, siginfo, context);
    }
  } else if (old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN && old.sa_handler != nullptr) {
    old.sa_handler(signum);
  }
  instance.last_signal_.store(signum);
  instance.signal_received_.store(true);
  sem_post(&instance.semaphore_);
}

void SignalHandler::deferred_signal_handler()
{
  while (true) {
    while (sem_wait(&semaphore_) != 0 && errno == EINTR) {
    }
    if (signal_received_.exchange(false)) {
      RCLCPP_INFO(
        rclcpp::get_logger("rclcpp"), "signal_handler(signum=%d)", last_signal_.load());
      for (const auto & context : rclcpp::get_contexts()) {
        if (context->get_init_options().shutdown_on_signal) {
          context->shutdown("signal handler");
        }
      }
    }
    if (stop_thread_.load()) {
      return;
    }
  }
}

bool SignalHandler::install(SignalHandlerOptions options)
{
  std::lock_guard<std::mutex> lock(install_mutex_);
  if (installed_.load()) {
    return false;
  }
  options_ = options;
  if (options == SignalHandlerOptions::None) {
    installed_.store(true);
    return true;
  }
  stop_thread_.store(false);
  signal_received_.store(false);
  thread_ = std::thread([this] {deferred_signal_handler();});

  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_sigaction = &SignalHandler::signal_handler;
  action.sa_flags = SA_SIGINFO;
  if (options == SignalHandlerOptions::All || options == SignalHandlerOptions::SigInt) {
    sigaction(SIGINT, &action, &old_sigint_action_);
  }
  if (options == SignalHandlerOptions::All || options == SignalHandlerOptions::SigTerm) {
    sigaction(SIGTERM, &action, &old_sigterm_action_);
  }
  installed_.store(true);
  return true;
}

bool SignalHandler::uninstall()
{
  std::lock_guard<std::mutex> lock(install_mutex_);
  if (!installed_.load()) {
    return false;
  }
  if (options_ == SignalHandlerOptions::All || options_ == SignalHandlerOptions::SigInt) {
    sigaction(SIGINT, &old_sigint_action_, nullptr);
  }
  if (options_ == SignalHandlerOptions::All || options_ == SignalHandlerOptions::SigTerm) {
    sigaction(SIGTERM, &old_sigterm_action_, nullptr);
  }
  if (thread_.joinable()) {
    stop_thread_.store(true);
    sem_post(&semaphore_);
    // The deferred thread may be the caller (a shutdown callback calling rclcpp::shutdown).
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }
  options_ = SignalHandlerOptions::None;
  installed_.store(false);
  return true;
}

bool SignalHandler::is_installed() const {return installed_.load();}

SignalHandlerOptions SignalHandler::get_current_signal_handler_options() const
{
  std::lock_guard<std::mutex> lock(install_mutex_);
  return options_;
}

}  // namespace detail
}  // namespace rclcpp
