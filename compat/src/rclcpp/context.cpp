#include "rclcpp/context.hpp"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/detail/ros_arguments.hpp"
#include "rclcpp/logging.hpp"
#include "wake.hpp"

namespace rclcpp
{
namespace detail
{
WakeSignal & wake_signal()
{
  // Leaked on purpose: contexts may still shut down (and wake) during static destruction.
  static WakeSignal * signal = new WakeSignal();
  return *signal;
}
}  // namespace detail

namespace
{
std::mutex & contexts_mutex()
{
  static auto * mutex = new std::mutex();
  return *mutex;
}
std::vector<std::weak_ptr<Context>> & registered_contexts()
{
  static auto * contexts = new std::vector<std::weak_ptr<Context>>();
  return *contexts;
}

size_t domain_id_from_environment()
{
  const char * value = std::getenv("ROS_DOMAIN_ID");
  if (value == nullptr || *value == '\0') {
    return 0;
  }
  char * end = nullptr;
  const unsigned long parsed = std::strtoul(value, &end, 10);  // NOLINT(runtime/int)
  return (end != nullptr && *end == '\0') ? static_cast<size_t>(parsed) : 0;
}
}  // namespace

Context::Context() = default;

Context::~Context()
{
  if (is_valid()) {
    try {
      shutdown("context destructor was called while still not shutdown");
    } catch (...) {
      // A destructor must not throw; a failing callback at process end is not worth an abort.
    }
  }
}

void Context::init(int argc, char const * const * argv, const InitOptions & init_options)
{
  std::lock_guard<std::recursive_mutex> lock(init_mutex_);
  if (valid_) {
    throw ContextAlreadyInitialized();
  }
  // Parsing may throw (unknown or malformed ROS arguments); the context then stays invalid.
  auto arguments = detail::parse_ros_arguments(argc, argv);
  detail::apply_log_levels(arguments);
  detail::set_global_arguments(std::move(arguments));

  init_options_ = init_options;
  domain_id_ = init_options.get_domain_id() == std::numeric_limits<size_t>::max() ?
    domain_id_from_environment() : init_options.get_domain_id();
  shutdown_reason_.clear();
  valid_ = true;

  std::lock_guard<std::mutex> contexts_lock(contexts_mutex());
  auto & contexts = registered_contexts();
  contexts.erase(
    std::remove_if(
      contexts.begin(), contexts.end(),
      [this](const std::weak_ptr<Context> & c) {
        auto locked = c.lock();
        return !locked || locked.get() == this;
      }),
    contexts.end());
  try {
    contexts.push_back(shared_from_this());
  } catch (const std::bad_weak_ptr &) {
    // A context not owned by a shared_ptr cannot be reached by the signal handler.
  }
}

bool Context::is_valid() const
{
  std::lock_guard<std::recursive_mutex> lock(init_mutex_);
  return valid_;
}

const InitOptions & Context::get_init_options() const {return init_options_;}
InitOptions Context::get_init_options() {return init_options_;}

size_t Context::get_domain_id() const {return domain_id_;}

std::string Context::shutdown_reason() const
{
  std::lock_guard<std::recursive_mutex> lock(init_mutex_);
  return shutdown_reason_;
}

bool Context::shutdown(const std::string & reason)
{
  std::lock_guard<std::recursive_mutex> lock(init_mutex_);
  if (!valid_) {
    return false;
  }
  std::vector<std::shared_ptr<PreShutdownCallback>> pre;
  {
    std::lock_guard<std::mutex> callbacks_lock(callbacks_mutex_);
    pre = pre_shutdown_callbacks_;
  }
  for (const auto & callback : pre) {
    (*callback)();
  }
  valid_ = false;
  shutdown_reason_ = reason;
  std::vector<std::shared_ptr<OnShutdownCallback>> on;
  {
    std::lock_guard<std::mutex> callbacks_lock(callbacks_mutex_);
    on = on_shutdown_callbacks_;
  }
  for (const auto & callback : on) {
    (*callback)();
  }
  interrupt_all_sleep_for();
  detail::wake_signal().notify();
  return true;
}

Context::OnShutdownCallback Context::on_shutdown(OnShutdownCallback callback)
{
  add_on_shutdown_callback(callback);
  return callback;
}

OnShutdownCallbackHandle Context::add_on_shutdown_callback(OnShutdownCallback callback)
{
  auto stored = std::make_shared<OnShutdownCallback>(std::move(callback));
  std::lock_guard<std::mutex> lock(callbacks_mutex_);
  on_shutdown_callbacks_.push_back(stored);
  OnShutdownCallbackHandle handle;
  handle.callback = stored;
  return handle;
}

bool Context::remove_on_shutdown_callback(const OnShutdownCallbackHandle & callback_handle)
{
  auto target = callback_handle.callback.lock();
  std::lock_guard<std::mutex> lock(callbacks_mutex_);
  auto it = std::find(on_shutdown_callbacks_.begin(), on_shutdown_callbacks_.end(), target);
  if (!target || it == on_shutdown_callbacks_.end()) {
    return false;
  }
  on_shutdown_callbacks_.erase(it);
  return true;
}

std::vector<Context::OnShutdownCallback> Context::get_on_shutdown_callbacks() const
{
  std::lock_guard<std::mutex> lock(callbacks_mutex_);
  std::vector<OnShutdownCallback> callbacks;
  for (const auto & callback : on_shutdown_callbacks_) {
    callbacks.push_back(*callback);
  }
  return callbacks;
}

PreShutdownCallbackHandle Context::add_pre_shutdown_callback(PreShutdownCallback callback)
{
  auto stored = std::make_shared<PreShutdownCallback>(std::move(callback));
  std::lock_guard<std::mutex> lock(callbacks_mutex_);
  pre_shutdown_callbacks_.push_back(stored);
  PreShutdownCallbackHandle handle;
  handle.callback = stored;
  return handle;
}

bool Context::remove_pre_shutdown_callback(const PreShutdownCallbackHandle & callback_handle)
{
  auto target = callback_handle.callback.lock();
  std::lock_guard<std::mutex> lock(callbacks_mutex_);
  auto it = std::find(pre_shutdown_callbacks_.begin(), pre_shutdown_callbacks_.end(), target);
  if (!target || it == pre_shutdown_callbacks_.end()) {
    return false;
  }
  pre_shutdown_callbacks_.erase(it);
  return true;
}

bool Context::sleep_for(const std::chrono::nanoseconds & nanoseconds)
{
  std::chrono::nanoseconds time_left = nanoseconds;
  {
    std::unique_lock<std::mutex> lock(interrupt_mutex_);
    const auto start = std::chrono::steady_clock::now();
    interrupt_condition_variable_.wait_for(lock, nanoseconds);
    time_left -= std::chrono::steady_clock::now() - start;
  }
  // A wake-up that was neither the timeout nor a shutdown sleeps on for the rest.
  if (time_left > std::chrono::nanoseconds::zero() && is_valid()) {
    return sleep_for(time_left);
  }
  return is_valid();
}

void Context::interrupt_all_sleep_for()
{
  {
    std::lock_guard<std::mutex> lock(interrupt_mutex_);
  }
  interrupt_condition_variable_.notify_all();
}

std::vector<Context::SharedPtr> get_contexts()
{
  std::lock_guard<std::mutex> lock(contexts_mutex());
  std::vector<Context::SharedPtr> contexts;
  for (const auto & weak : registered_contexts()) {
    if (auto context = weak.lock()) {
      contexts.push_back(context);
    }
  }
  return contexts;
}

namespace contexts
{
DefaultContext::DefaultContext() = default;

DefaultContext::SharedPtr get_global_default_context()
{
  static DefaultContext::SharedPtr default_context = DefaultContext::make_shared();
  return default_context;
}
}  // namespace contexts

InitOptions::InitOptions(rcl_allocator_t allocator)
: allocator_(allocator), domain_id_(std::numeric_limits<size_t>::max())
{
}

InitOptions::InitOptions(const InitOptions & other) = default;
InitOptions & InitOptions::operator=(const InitOptions & other) = default;
InitOptions::~InitOptions() = default;

bool InitOptions::auto_initialize_logging() const {return initialize_logging_;}

InitOptions & InitOptions::auto_initialize_logging(bool initialize_logging)
{
  initialize_logging_ = initialize_logging;
  return *this;
}

InitOptions & InitOptions::set_domain_id(size_t domain_id)
{
  domain_id_ = domain_id;
  return *this;
}

size_t InitOptions::get_domain_id() const {return domain_id_;}

void InitOptions::use_default_domain_id() {domain_id_ = std::numeric_limits<size_t>::max();}

const rcl_allocator_t & InitOptions::get_allocator() const {return allocator_;}

}  // namespace rclcpp
