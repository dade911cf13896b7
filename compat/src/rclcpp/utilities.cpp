#include "rclcpp/utilities.hpp"

#include <string>
#include <vector>

#include "rclcpp/contexts/default_context.hpp"
#include "signal_handler.hpp"

namespace rclcpp
{

void init(
  int argc, char const * const * argv, const InitOptions & init_options,
  SignalHandlerOptions signal_handler_options)
{
  contexts::get_global_default_context()->init(argc, argv, init_options);
  install_signal_handlers(signal_handler_options);
}

bool install_signal_handlers(SignalHandlerOptions signal_handler_options)
{
  return detail::SignalHandler::get_global_signal_handler().install(signal_handler_options);
}

bool signal_handlers_installed()
{
  return detail::SignalHandler::get_global_signal_handler().is_installed();
}

SignalHandlerOptions get_current_signal_handler_options()
{
  return detail::SignalHandler::get_global_signal_handler().get_current_signal_handler_options();
}

bool uninstall_signal_handlers()
{
  return detail::SignalHandler::get_global_signal_handler().uninstall();
}

std::vector<std::string> init_and_remove_ros_arguments(
  int argc, char const * const * argv, const InitOptions & init_options)
{
  init(argc, argv, init_options);
  return remove_ros_arguments(argc, argv);
}

std::vector<std::string> remove_ros_arguments(int argc, char const * const * argv)
{
  std::vector<std::string> kept;
  if (argc > 0) {
    kept.emplace_back(argv[0]);
  }
  bool in_ros_section = false;
  for (int i = 1; i < argc; ++i) {
    const std::string token = argv[i];
    if (token == "--ros-args") {
      in_ros_section = true;
    } else if (in_ros_section && token == "--") {
      in_ros_section = false;
    } else if (!in_ros_section) {
      kept.push_back(token);
    }
  }
  return kept;
}

bool ok(Context::SharedPtr context)
{
  if (context == nullptr) {
    context = contexts::get_global_default_context();
  }
  return context->is_valid();
}

bool shutdown(Context::SharedPtr context, const std::string & reason)
{
  auto default_context = contexts::get_global_default_context();
  if (context == nullptr) {
    context = default_context;
  }
  const bool result = context->shutdown(reason);
  if (context == default_context) {
    uninstall_signal_handlers();
  }
  return result;
}

void on_shutdown(std::function<void()> callback, Context::SharedPtr context)
{
  if (context == nullptr) {
    context = contexts::get_global_default_context();
  }
  context->on_shutdown(std::move(callback));
}

bool sleep_for(const std::chrono::nanoseconds & nanoseconds, Context::SharedPtr context)
{
  if (context == nullptr) {
    context = contexts::get_global_default_context();
  }
  return context->sleep_for(nanoseconds);
}

}  // namespace rclcpp
