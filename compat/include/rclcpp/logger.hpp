// Named loggers; records go through rcutils' logging core (rcutils/logging.h).
#ifndef RCLCPP__LOGGER_HPP_
#define RCLCPP__LOGGER_HPP_

#include <memory>
#include <string>

#include "rcutils/logging.h"

namespace rclcpp
{

class Logger;

/// Return a named logger. Loggers form a hierarchy by dotted names ("a.b" is a child of "a").
Logger
get_logger(const std::string & name);

class Logger
{
public:
  /// An enum for the type of logger level.
  enum class Level
  {
    Unset = RCUTILS_LOG_SEVERITY_UNSET,  ///< The unset log level
    Debug = RCUTILS_LOG_SEVERITY_DEBUG,  ///< The debug log level
    Info = RCUTILS_LOG_SEVERITY_INFO,  ///< The info log level
    Warn = RCUTILS_LOG_SEVERITY_WARN,  ///< The warn log level
    Error = RCUTILS_LOG_SEVERITY_ERROR,  ///< The error log level
    Fatal = RCUTILS_LOG_SEVERITY_FATAL,  ///< The fatal log level
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

  /// Get the name of this logger (nullptr for a dummy logger).
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

  /// Set level for current logger. Throws exceptions::RCLInvalidArgument ("Invalid parameter")
  /// or exceptions::RCLError ("Couldn't set logger level") on failure.
  void
  set_level(Level level);
};

}  // namespace rclcpp

#endif  // RCLCPP__LOGGER_HPP_
