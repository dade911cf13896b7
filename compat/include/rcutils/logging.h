// rcutils' logging core: severities, per-logger levels with dotted-name inheritance, and the
// console output handler that formats records as "[{severity}] [{time}] [{name}]: {message}".
#ifndef RCUTILS__LOGGING_H_
#define RCUTILS__LOGGING_H_

#include <stdarg.h>
#include <stdbool.h>
#include <stddef.h>

#include "rcutils/macros.h"
#include "rcutils/time.h"
#include "rcutils/types/rcutils_ret.h"

#ifdef __cplusplus
extern "C"
{
#endif

/// Where a log call was written.
typedef struct rcutils_log_location_s
{
  const char * function_name;
  const char * file_name;
  size_t line_number;
} rcutils_log_location_t;

/// Severity levels; a logger at level L emits records of severity >= L.
enum RCUTILS_LOG_SEVERITY
{
  RCUTILS_LOG_SEVERITY_UNSET = 0,
  RCUTILS_LOG_SEVERITY_DEBUG = 10,
  RCUTILS_LOG_SEVERITY_INFO = 20,
  RCUTILS_LOG_SEVERITY_WARN = 30,
  RCUTILS_LOG_SEVERITY_ERROR = 40,
  RCUTILS_LOG_SEVERITY_FATAL = 50,
};

#define RCUTILS_DEFAULT_LOGGER_DEFAULT_LEVEL RCUTILS_LOG_SEVERITY_INFO

/// Receives every emitted record; `args` holds the arguments of the printf-style `format`.
typedef void (* rcutils_logging_output_handler_t)(
  const rcutils_log_location_t * location, int severity, const char * name,
  rcutils_time_point_value_t timestamp, const char * format, va_list * args);

/// Reads the RCUTILS_* environment variables and resets every logger level. Called implicitly by
/// the first log call; a value other than empty, 0 or 1 for a switch is reported as an error and
/// the default is used.
RCUTILS_WARN_UNUSED
rcutils_ret_t rcutils_logging_initialize(void);

/// Forgets the configuration and all logger levels; the next log call initialises again.
RCUTILS_WARN_UNUSED
rcutils_ret_t rcutils_logging_shutdown(void);

/// The handler records go to (the console handler by default).
RCUTILS_WARN_UNUSED
rcutils_logging_output_handler_t rcutils_logging_get_output_handler(void);
void rcutils_logging_set_output_handler(rcutils_logging_output_handler_t function);

/// Writes one record to stderr (or stdout) in the configured console format, as one write.
void rcutils_logging_console_output_handler(
  const rcutils_log_location_t * location, int severity, const char * name,
  rcutils_time_point_value_t timestamp, const char * format, va_list * args);

/// Level of loggers that have no level of their own and no ancestor with one.
RCUTILS_WARN_UNUSED
int rcutils_logging_get_default_logger_level(void);
void rcutils_logging_set_default_logger_level(int level);

/// Level set for exactly this logger (UNSET if none); an empty name means the default level.
RCUTILS_WARN_UNUSED
int rcutils_logging_get_logger_level(const char * name);

/// Sets the level of one logger ("" sets the default level). Fails with
/// RCUTILS_RET_INVALID_ARGUMENT for a null name or an unknown severity.
RCUTILS_WARN_UNUSED
rcutils_ret_t rcutils_logging_set_logger_level(const char * name, int level);

/// The level that applies to `name`: its own, else the nearest dotted ancestor's, else default.
RCUTILS_WARN_UNUSED
int rcutils_logging_get_logger_effective_level(const char * name);

/// True if a record of `severity` on logger `name` would be emitted.
RCUTILS_WARN_UNUSED
bool rcutils_logging_logger_is_enabled_for(const char * name, int severity);

/// Formats and emits one record through the output handler (when the logger is enabled for it).
void rcutils_log(
  const rcutils_log_location_t * location, int severity, const char * name,
  const char * format, ...)
#if defined(__GNUC__)
__attribute__((format(printf, 4, 5)))
#endif
;

#ifdef __cplusplus
}
#endif

#endif  // RCUTILS__LOGGING_H_
