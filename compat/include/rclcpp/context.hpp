// The context: one initialisation of the client library, with its shutdown state and callbacks.
#ifndef RCLCPP__CONTEXT_HPP_
#define RCLCPP__CONTEXT_HPP_

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "rclcpp/init_options.hpp"
#include "rclcpp/macros.hpp"

namespace rclcpp
{

/// Thrown by Context::init on a context that is already initialised.
class ContextAlreadyInitialized : public std::runtime_error
{
public:
  ContextAlreadyInitialized()
  : std::runtime_error("context is already initialized") {}
};

class Context;

/// Handle returned by add_on_shutdown_callback, used to remove the callback again.
struct OnShutdownCallbackHandle
{
  using OnShutdownCallbackType = std::function<void ()>;
  std::weak_ptr<OnShutdownCallbackType> callback;
};

/// Handle returned by add_pre_shutdown_callback.
struct PreShutdownCallbackHandle
{
  using PreShutdownCallbackType = std::function<void ()>;
  std::weak_ptr<PreShutdownCallbackType> callback;
};

/// One initialisation of the library; valid between init() and shutdown().
class Context : public std::enable_shared_from_this<Context>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Context)

  using OnShutdownCallback = OnShutdownCallbackHandle::OnShutdownCallbackType;
  using PreShutdownCallback = PreShutdownCallbackHandle::PreShutdownCallbackType;

  Context();
  Context(const Context &) = delete;
  Context & operator=(const Context &) = delete;
  /// Shuts a still valid context down with the reason "context destructor was called while still
  /// not shutdown".
  virtual ~Context();

  /// Parses the ROS arguments of argv (global for the process) and makes the context valid.
  /// Throws ContextAlreadyInitialized when called on a valid context.
  virtual void init(
    int argc, char const * const * argv, const InitOptions & init_options = InitOptions());

  /// True between init() and shutdown().
  bool is_valid() const;

  const InitOptions & get_init_options() const;
  InitOptions get_init_options();

  /// The domain id in use (ROS_DOMAIN_ID or 0 unless set in the init options).
  size_t get_domain_id() const;

  /// The reason given to shutdown(), empty while valid.
  std::string shutdown_reason() const;

  /// Runs pre-shutdown callbacks, invalidates the context, runs on-shutdown callbacks and wakes
  /// every sleep_for and executor. Returns false if the context was not valid.
  virtual bool shutdown(const std::string & reason);

  virtual OnShutdownCallback on_shutdown(OnShutdownCallback callback);
  virtual OnShutdownCallbackHandle add_on_shutdown_callback(OnShutdownCallback callback);
  virtual bool remove_on_shutdown_callback(const OnShutdownCallbackHandle & callback_handle);
  std::vector<OnShutdownCallback> get_on_shutdown_callbacks() const;

  virtual PreShutdownCallbackHandle add_pre_shutdown_callback(PreShutdownCallback callback);
  virtual bool remove_pre_shutdown_callback(const PreShutdownCallbackHandle & callback_handle);

  /// Sleeps on the steady clock; returns early (false) when the context is shut down.
  virtual bool sleep_for(const std::chrono::nanoseconds & nanoseconds);

  /// Wakes every thread blocked in sleep_for.
  virtual void interrupt_all_sleep_for();

private:
  mutable std::recursive_mutex init_mutex_;
  bool valid_{false};
  InitOptions init_options_;
  size_t domain_id_{0};
  std::string shutdown_reason_;

  mutable std::mutex callbacks_mutex_;
  std::vector<std::shared_ptr<OnShutdownCallback>> on_shutdown_callbacks_;
  std::vector<std::shared_ptr<PreShutdownCallback>> pre_shutdown_callbacks_;

  std::mutex interrupt_mutex_;
  std::condition_variable interrupt_condition_variable_;
};

/// Every context that has been initialised and still exists.
std::vector<Context::SharedPtr> get_contexts();

}  // namespace rclcpp

#include "rclcpp/contexts/default_context.hpp"

#endif  // RCLCPP__CONTEXT_HPP_
