// Named loggers; records go through rcutils' logging core (rcutils/logging.h).
#ifndef RCLCPP__LOGGER_HPP_
#define RCLCPP__LOGGER_HPP_

#include <memory>
#include <string>

#include "rcutils/logging.h"

namespace rclcpp
{

class Logger;

/// The logger of this name; loggers form a hierarchy by dotted names ("a.b" under "a").
Logger
get_logger(const std::string & name);

class Logger
{
public:
  /// Logger levels; Unset makes the logger follow its parent.
  enum class Level
  {
    Unset = RCUTILS_LOG_SEVERITY_UNSET,
    Debug = RCUTILS_LOG_SEVERITY_DEBUG,
    Info = RCUTILS_LOG_SEVERITY_INFO,
    Warn = RCUTILS_LOG_SEVERITY_WARN,
    Error = RCUTILS_LOG_SEVERITY_ERROR,
    Fatal = RCUTILS_LOG_SEVERITY_FATAL,
  };

private:
  friend Logger rclcpp::get_logger(const std::string & name);

  /// A dummy logger: get_name() is nullptr and records go to the default level's logger "".
  Logger()
  : name_(nullptr) {}

  explicit Logger(const std::string & name)
  : name_(new std::string(name)) {}

  std::shared_ptr<const std::string> name_;

public:
  Logger(const Logger &) = default;
  Logger & operator=(const Logger &) = default;

  /// The logger's name (nullptr for a dummy logger).
  const char *
  get_name() const
  {
    if (!name_) {
      return nullptr;
    }
    return name_->c_str();
  }

  /// The logger "<name>.<suffix>".
  Logger
  get_child(const std::string & suffix)
  {
    if (!name_) {
      return Logger();
    }
    return Logger(*name_ + "." + suffix);
  }

  /// Sets this logger's level. Throws exceptions::RCLInvalidArgument ("Invalid parameter")
  /// or exceptions::RCLError ("Couldn't set logger level") on failure.
  void
  set_level(Level level);
};

}  // namespace rclcpp

#endif  // RCLCPP__LOGGER_HPP_
