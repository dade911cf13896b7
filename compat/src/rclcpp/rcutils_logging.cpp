#include "rcutils/logging.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "rcutils/error_handling.h"

namespace
{

constexpr size_t kMaxFormatLength = 2048;
constexpr const char kDefaultFormat[] = "[{severity}] [{time}] [{name}]: {message}";

enum class Switch { Unset, Off, On };

struct LoggingState
{
  // One lock for the levels and for output, so that records never interleave.
  std::recursive_mutex mutex;
  bool initialized = false;
  int default_level = RCUTILS_DEFAULT_LOGGER_DEFAULT_LEVEL;
  std::map<std::string, int> levels;
  rcutils_logging_output_handler_t handler = rcutils_logging_console_output_handler;
  std::string format = kDefaultFormat;
  Switch colorized = Switch::Unset;
  FILE * stream = nullptr;
};

LoggingState & state()
{
  static LoggingState s;
  return s;
}

bool valid_severity(int level)
{
  return level == RCUTILS_LOG_SEVERITY_UNSET || level == RCUTILS_LOG_SEVERITY_DEBUG ||
         level == RCUTILS_LOG_SEVERITY_INFO || level == RCUTILS_LOG_SEVERITY_WARN ||
         level == RCUTILS_LOG_SEVERITY_ERROR || level == RCUTILS_LOG_SEVERITY_FATAL;
}

const char * severity_name(int severity)
{
  switch (severity) {
    case RCUTILS_LOG_SEVERITY_DEBUG:
      return "DEBUG";
    case RCUTILS_LOG_SEVERITY_INFO:
      return "INFO";
    case RCUTILS_LOG_SEVERITY_WARN:
      return "WARN";
    case RCUTILS_LOG_SEVERITY_ERROR:
      return "ERROR";
    case RCUTILS_LOG_SEVERITY_FATAL:
      return "FATAL";
    default:
      return nullptr;
  }
}

const char * severity_color(int severity)
{
  switch (severity) {
    case RCUTILS_LOG_SEVERITY_DEBUG:
      return "\033[32m";
    case RCUTILS_LOG_SEVERITY_WARN:
      return "\033[33m";
    case RCUTILS_LOG_SEVERITY_ERROR:
    case RCUTILS_LOG_SEVERITY_FATAL:
      return "\033[31m";
    default:
      return "\033[0m";
  }
}

// Reads a 0/1 switch; anything else is an error and leaves the default in force.
bool read_switch(const char * variable, Switch & value, std::string & error)
{
  value = Switch::Unset;
  const char * text = std::getenv(variable);
  if (text == nullptr || text[0] == '\0') {
    return true;
  }
  if (std::strcmp(text, "0") == 0) {
    value = Switch::Off;
    return true;
  }
  if (std::strcmp(text, "1") == 0) {
    value = Switch::On;
    return true;
  }
  error = std::string("Warning: unexpected value [") + text + "] specified for " + variable +
    ". Default value will be used. Valid values are 0 or 1.";
  return false;
}

// Must be called with the state lock held.
rcutils_ret_t initialize_locked(LoggingState & s)
{
  s.initialized = true;
  s.default_level = RCUTILS_DEFAULT_LOGGER_DEFAULT_LEVEL;
  s.levels.clear();
  s.handler = rcutils_logging_console_output_handler;

  const char * format = std::getenv("RCUTILS_CONSOLE_OUTPUT_FORMAT");
  s.format = (format != nullptr && format[0] != '\0') ? std::string(format) : kDefaultFormat;
  if (s.format.size() > kMaxFormatLength) {
    s.format.resize(kMaxFormatLength);
  }

  std::string error;
  bool ok = true;
  Switch use_stdout = Switch::Unset;
  ok = read_switch("RCUTILS_LOGGING_USE_STDOUT", use_stdout, error) && ok;
  s.stream = use_stdout == Switch::On ? stdout : stderr;

  ok = read_switch("RCUTILS_COLORIZED_OUTPUT", s.colorized, error) && ok;

  Switch buffered = Switch::Unset;
  ok = read_switch("RCUTILS_LOGGING_BUFFERED_STREAM", buffered, error) && ok;
  if (buffered == Switch::Off) {
    std::setvbuf(s.stream, nullptr, _IONBF, 0);
  } else if (buffered == Switch::On) {
    std::setvbuf(s.stream, nullptr, _IOLBF, BUFSIZ);
  }

  if (std::getenv("RCUTILS_CONSOLE_STDOUT_LINE_BUFFERED") != nullptr) {
    RCUTILS_SAFE_FWRITE_TO_STDERR(
      "RCUTILS_CONSOLE_STDOUT_LINE_BUFFERED is now obsolete. "
      "Use RCUTILS_LOGGING_BUFFERED_STREAM instead.\n");
  }

  if (!ok) {
    RCUTILS_SET_ERROR_MSG(error.c_str());
    return RCUTILS_RET_INVALID_ARGUMENT;
  }
  return RCUTILS_RET_OK;
}

// The first log call configures logging; a bad environment is reported once on stderr.
void autoinit_locked(LoggingState & s)
{
  if (s.initialized) {
    return;
  }
  if (initialize_locked(s) != RCUTILS_RET_OK) {
    RCUTILS_SAFE_FWRITE_TO_STDERR("[rcutils|logging] error initializing logging: ");
    RCUTILS_SAFE_FWRITE_TO_STDERR(rcutils_get_error_string().str);
    RCUTILS_SAFE_FWRITE_TO_STDERR("\n");
    rcutils_reset_error();
  }
}

int effective_level_locked(LoggingState & s, const char * name)
{
  if (name == nullptr) {
    return s.default_level;
  }
  std::string current(name);
  while (!current.empty()) {
    auto it = s.levels.find(current);
    if (it != s.levels.end() && it->second != RCUTILS_LOG_SEVERITY_UNSET) {
      return it->second;
    }
    const size_t dot = current.rfind('.');
    if (dot == std::string::npos) {
      break;
    }
    current.resize(dot);
  }
  return s.default_level;
}

std::string format_time(rcutils_time_point_value_t timestamp)
{
  const uint64_t magnitude = timestamp < 0 ?
    0u - static_cast<uint64_t>(timestamp) : static_cast<uint64_t>(timestamp);
  char buffer[64];
  std::snprintf(
    buffer, sizeof(buffer), "%s%.10" PRIu64 ".%.9" PRIu64, timestamp < 0 ? "-" : "",
    magnitude / 1000000000u, magnitude % 1000000000u);
  return buffer;
}

std::string format_message(const char * format, va_list * args)
{
  va_list copy;
  va_copy(copy, *args);
  char small[1024];
  const int needed = std::vsnprintf(small, sizeof(small), format, copy);
  va_end(copy);
  if (needed < 0) {
    return std::string();
  }
  if (static_cast<size_t>(needed) < sizeof(small)) {
    return std::string(small, static_cast<size_t>(needed));
  }
  std::vector<char> large(static_cast<size_t>(needed) + 1);
  va_copy(copy, *args);
  std::vsnprintf(large.data(), large.size(), format, copy);
  va_end(copy);
  return std::string(large.data(), static_cast<size_t>(needed));
}

}  // namespace

extern "C"
{

rcutils_ret_t rcutils_logging_initialize(void)
{
  LoggingState & s = state();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (s.initialized) {
    return RCUTILS_RET_OK;
  }
  return initialize_locked(s);
}

rcutils_ret_t rcutils_logging_shutdown(void)
{
  LoggingState & s = state();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  s.initialized = false;
  s.levels.clear();
  s.default_level = RCUTILS_DEFAULT_LOGGER_DEFAULT_LEVEL;
  s.handler = rcutils_logging_console_output_handler;
  return RCUTILS_RET_OK;
}

rcutils_logging_output_handler_t rcutils_logging_get_output_handler(void)
{
  LoggingState & s = state();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  autoinit_locked(s);
  return s.handler;
}

void rcutils_logging_set_output_handler(rcutils_logging_output_handler_t function)
{
  LoggingState & s = state();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  autoinit_locked(s);
  s.handler = function;
}

int rcutils_logging_get_default_logger_level(void)
{
  LoggingState & s = state();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  autoinit_locked(s);
  return s.default_level;
}

void rcutils_logging_set_default_logger_level(int level)
{
  LoggingState & s = state();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  autoinit_locked(s);
  // UNSET restores the built-in default rather than disabling the filter.
  s.default_level = level == RCUTILS_LOG_SEVERITY_UNSET ?
    RCUTILS_DEFAULT_LOGGER_DEFAULT_LEVEL : level;
}

int rcutils_logging_get_logger_level(const char * name)
{
  if (name == nullptr) {
    return -1;
  }
  LoggingState & s = state();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  autoinit_locked(s);
  if (name[0] == '\0') {
    return s.default_level;
  }
  auto it = s.levels.find(name);
  return it == s.levels.end() ? RCUTILS_LOG_SEVERITY_UNSET : it->second;
}

rcutils_ret_t rcutils_logging_set_logger_level(const char * name, int level)
{
  if (name == nullptr) {
    RCUTILS_SET_ERROR_MSG("Invalid logger name");
    return RCUTILS_RET_INVALID_ARGUMENT;
  }
  if (!valid_severity(level)) {
    RCUTILS_SET_ERROR_MSG("Invalid severity level specified for logger");
    return RCUTILS_RET_INVALID_ARGUMENT;
  }
  LoggingState & s = state();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  autoinit_locked(s);
  if (name[0] == '\0') {
    s.default_level = level == RCUTILS_LOG_SEVERITY_UNSET ?
      RCUTILS_DEFAULT_LOGGER_DEFAULT_LEVEL : level;
  } else {
    s.levels[name] = level;
  }
  return RCUTILS_RET_OK;
}

int rcutils_logging_get_logger_effective_level(const char * name)
{
  LoggingState & s = state();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  autoinit_locked(s);
  return effective_level_locked(s, name);
}

bool rcutils_logging_logger_is_enabled_for(const char * name, int severity)
{
  LoggingState & s = state();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  autoinit_locked(s);
  return severity >= effective_level_locked(s, name);
}

void rcutils_log(
  const rcutils_log_location_t * location, int severity, const char * name,
  const char * format, ...)
{
  LoggingState & s = state();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  autoinit_locked(s);
  if (severity < effective_level_locked(s, name)) {
    return;
  }
  rcutils_time_point_value_t now = 0;
  if (rcutils_system_time_now(&now) != RCUTILS_RET_OK) {
    RCUTILS_SAFE_FWRITE_TO_STDERR("Failed to get timestamp while doing a console logging.\n");
    return;
  }
  if (s.handler == nullptr) {
    return;
  }
  va_list args;
  va_start(args, format);
  s.handler(location, severity, name != nullptr ? name : "", now, format, &args);
  va_end(args);
}

void rcutils_logging_console_output_handler(
  const rcutils_log_location_t * location, int severity, const char * name,
  rcutils_time_point_value_t timestamp, const char * format, va_list * args)
{
  const char * severity_text = severity_name(severity);
  if (severity_text == nullptr || format == nullptr || args == nullptr) {
    return;
  }
  LoggingState & s = state();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  autoinit_locked(s);

  const std::string message = format_message(format, args);
  bool colorized = false;
  if (s.colorized == Switch::Unset) {
    colorized = isatty(fileno(s.stream)) != 0;
  } else {
    colorized = s.colorized == Switch::On;
  }

  std::string line;
  line.reserve(message.size() + 96);
  if (colorized) {
    line += severity_color(severity);
  }
  // Expand {token}s; an unknown or unterminated one is copied as written.
  const std::string & fmt = s.format;
  size_t i = 0;
  while (i < fmt.size()) {
    if (fmt[i] != '{') {
      const size_t next = fmt.find('{', i);
      const size_t end = next == std::string::npos ? fmt.size() : next;
      line.append(fmt, i, end - i);
      i = end;
      continue;
    }
    const size_t close = fmt.find('}', i);
    if (close == std::string::npos) {
      line.append(fmt, i, std::string::npos);
      break;
    }
    const std::string token = fmt.substr(i + 1, close - i - 1);
    if (token == "severity") {
      line += severity_text;
    } else if (token == "name") {
      line += name != nullptr ? name : "";
    } else if (token == "message") {
      line += message;
    } else if (token == "function_name") {
      line += (location && location->function_name) ? location->function_name : "\"\"";
    } else if (token == "file_name") {
      line += (location && location->file_name) ? location->file_name : "\"\"";
    } else if (token == "line_number") {
      line += location ? std::to_string(location->line_number) : "0";
    } else if (token == "time") {
      line += format_time(timestamp);
    } else if (token == "time_as_nanoseconds") {
      line += std::to_string(timestamp);
    } else {
      line.append(fmt, i, close - i + 1);
    }
    i = close + 1;
  }
  if (colorized) {
    line += "\033[0m";
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), s.stream);
}

}  // extern "C"
