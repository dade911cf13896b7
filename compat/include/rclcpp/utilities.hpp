// Process-level functions: init, ok, shutdown, signal handlers, sleep_for.
#ifndef RCLCPP__UTILITIES_HPP_
#define RCLCPP__UTILITIES_HPP_

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "rclcpp/context.hpp"
#include "rclcpp/init_options.hpp"

namespace rclcpp
{

/// Which of SIGINT and SIGTERM rclcpp handles.
enum class SignalHandlerOptions
{
  All,
  SigInt,
  SigTerm,
  None,
};

/// Initialises the global default context from argc/argv and installs the signal handlers.
void init(
  int argc, char const * const * argv, const InitOptions & init_options = InitOptions(),
  SignalHandlerOptions signal_handler_options = SignalHandlerOptions::All);

/// Installs the SIGINT/SIGTERM handlers; false if they were already installed.
bool install_signal_handlers(SignalHandlerOptions signal_handler_options = SignalHandlerOptions::All);

/// True while the handlers are installed.
bool signal_handlers_installed();

/// The options of the installed handlers (None when not installed).
SignalHandlerOptions get_current_signal_handler_options();

/// Restores the handlers that were in place before install; false if none were installed.
bool uninstall_signal_handlers();

/// init() followed by remove_ros_arguments().
std::vector<std::string> init_and_remove_ros_arguments(
  int argc, char const * const * argv, const InitOptions & init_options = InitOptions());

/// The arguments without the ROS ones; the first element is always argv[0].
std::vector<std::string> remove_ros_arguments(int argc, char const * const * argv);

/// True while `context` (nullptr: the global one) is valid.
bool ok(rclcpp::Context::SharedPtr context = nullptr);

/// Shuts `context` (nullptr: the global one) down; false if it already was. Shutting the global
/// context down also uninstalls the signal handlers.
bool shutdown(
  rclcpp::Context::SharedPtr context = nullptr,
  const std::string & reason = "user called rclcpp::shutdown()");

/// Registers a callback run when `context` (nullptr: the global one) shuts down.
void on_shutdown(std::function<void()> callback, rclcpp::Context::SharedPtr context = nullptr);

/// Sleeps for the given steady-clock time; false if the context was shut down meanwhile.
bool sleep_for(
  const std::chrono::nanoseconds & nanoseconds, rclcpp::Context::SharedPtr context = nullptr);

}  // namespace rclcpp

#endif  // RCLCPP__UTILITIES_HPP_
