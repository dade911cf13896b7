// The RCLCPP_* logging macros: for each severity the plain, _ONCE, _EXPRESSION, _FUNCTION,
// _SKIPFIRST, _THROTTLE and _SKIPFIRST_THROTTLE forms, and _STREAM, _STREAM_ONCE and so on.
#ifndef RCLCPP__LOGGING_HPP_
#define RCLCPP__LOGGING_HPP_

#include <sstream>
#include <type_traits>

#include "rclcpp/logger.hpp"
#include "rcutils/error_handling.h"
#include "rcutils/logging.h"
#include "rcutils/time.h"
#include "rcutils/types/rcutils_ret.h"

// Compile-time floor: macros below RCLCPP_LOG_MIN_SEVERITY expand to nothing.
#define RCLCPP_LOG_MIN_SEVERITY_DEBUG 0
#define RCLCPP_LOG_MIN_SEVERITY_INFO 1
#define RCLCPP_LOG_MIN_SEVERITY_WARN 2
#define RCLCPP_LOG_MIN_SEVERITY_ERROR 3
#define RCLCPP_LOG_MIN_SEVERITY_FATAL 4
#define RCLCPP_LOG_MIN_SEVERITY_NONE 5

#ifndef RCLCPP_LOG_MIN_SEVERITY
#define RCLCPP_LOG_MIN_SEVERITY RCLCPP_LOG_MIN_SEVERITY_DEBUG
#endif

#define RCLCPP_DETAIL_ASSERT_LOGGER_(logger) \
  static_assert( \
    ::std::is_same<typename std::remove_cv_t<typename std::remove_reference_t<decltype(logger)>>, \
    typename ::rclcpp::Logger>::value, \
    "First argument to logging macros must be an rclcpp::Logger")

// Conditions wrapped around the emitting statement, as rcutils spells them. They are only
// evaluated when the logger is enabled for the severity, so a suppressed record does not use up
// a _ONCE or reset a _THROTTLE.
#define RCLCPP_DETAIL_COND_NONE_BEFORE_
#define RCLCPP_DETAIL_COND_NONE_AFTER_
#define RCLCPP_DETAIL_COND_ONCE_BEFORE_ \
  { \
    static int rclcpp_logging_once_ = 0; \
    if (0 == rclcpp_logging_once_) { \
      rclcpp_logging_once_ = 1;
#define RCLCPP_DETAIL_COND_ONCE_AFTER_ } \
  }
#define RCLCPP_DETAIL_COND_EXPRESSION_BEFORE_(expression) \
  if (expression) {
#define RCLCPP_DETAIL_COND_EXPRESSION_AFTER_ }
#define RCLCPP_DETAIL_COND_FUNCTION_BEFORE_(function) \
  if ((*function)()) {
#define RCLCPP_DETAIL_COND_FUNCTION_AFTER_ }
#define RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_ \
  { \
    static bool rclcpp_logging_first_ = true; \
    if (rclcpp_logging_first_) { \
      rclcpp_logging_first_ = false; \
    } else {
#define RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_ } \
  }
// A record passes when now >= last emitted + duration (last emitted starts at 0). If the clock
// cannot be read, an error record is written and the record passes.
#define RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(get_time_point_value, duration) \
  { \
    static ::rcutils_duration_value_t rclcpp_logging_duration_ = \
      RCUTILS_MS_TO_NS(static_cast<::rcutils_duration_value_t>(duration)); \
    static ::rcutils_time_point_value_t rclcpp_logging_last_logged_ = 0; \
    ::rcutils_time_point_value_t rclcpp_logging_now_ = 0; \
    bool rclcpp_logging_condition_ = true; \
    if (get_time_point_value(&rclcpp_logging_now_) != RCUTILS_RET_OK) { \
      ::rcutils_log( \
        &rclcpp_logging_location_, RCUTILS_LOG_SEVERITY_ERROR, "", \
        "%s() at %s:%d getting current steady time failed\n", \
        __func__, __FILE__, __LINE__); \
    } else { \
      rclcpp_logging_condition_ = \
        rclcpp_logging_now_ >= rclcpp_logging_last_logged_ + rclcpp_logging_duration_; \
    } \
    if (rclcpp_logging_condition_) { \
      rclcpp_logging_last_logged_ = rclcpp_logging_now_;
#define RCLCPP_DETAIL_COND_THROTTLE_AFTER_ } \
  }

#define RCLCPP_DETAIL_LOG_COND_(severity, logger, condition_before, condition_after, ...) \
  do { \
    RCLCPP_DETAIL_ASSERT_LOGGER_(logger); \
    static const ::rcutils_log_location_t rclcpp_logging_location_ = { \
      __func__, __FILE__, static_cast<size_t>(__LINE__)}; \
    if (::rcutils_logging_logger_is_enabled_for((logger).get_name(), severity)) { \
      condition_before \
      ::rcutils_log(&rclcpp_logging_location_, severity, (logger).get_name(), __VA_ARGS__); \
      condition_after \
    } \
  } while (0)

#define RCLCPP_DETAIL_LOG_STREAM_COND_(severity, logger, condition_before, condition_after, \
    stream_arg) \
  do { \
    RCLCPP_DETAIL_ASSERT_LOGGER_(logger); \
    static const ::rcutils_log_location_t rclcpp_logging_location_ = { \
      __func__, __FILE__, static_cast<size_t>(__LINE__)}; \
    if (::rcutils_logging_logger_is_enabled_for((logger).get_name(), severity)) { \
      condition_before \
      std::stringstream rclcpp_stream_ss_; \
      rclcpp_stream_ss_ << stream_arg; \
      ::rcutils_log( \
        &rclcpp_logging_location_, severity, (logger).get_name(), "%s", \
        rclcpp_stream_ss_.str().c_str()); \
      condition_after \
    } \
  } while (0)

// The clock argument of the _THROTTLE forms is an rclcpp::Clock (non-const: now() is called).
#define RCLCPP_DETAIL_THROTTLE_GETTER_(clock, macro_name) \
  auto rclcpp_logging_get_time_point_ = \
    [&rclcpp_logging_clock_ = clock](::rcutils_time_point_value_t * time_point) \
    -> ::rcutils_ret_t { \
      try { \
        *time_point = rclcpp_logging_clock_.now().nanoseconds(); \
      } catch (...) { \
        RCUTILS_SAFE_FWRITE_TO_STDERR( \
          "[rclcpp|logging.hpp] " macro_name " could not get current time stamp\n"); \
        return RCUTILS_RET_ERROR; \
      } \
      return RCUTILS_RET_OK; \
    }

// ---- DEBUG ----
#if (RCLCPP_LOG_MIN_SEVERITY > RCLCPP_LOG_MIN_SEVERITY_DEBUG)
#define RCLCPP_DEBUG(...) do {} while (0)
#define RCLCPP_DEBUG_STREAM(...) do {} while (0)
#define RCLCPP_DEBUG_ONCE(...) do {} while (0)
#define RCLCPP_DEBUG_STREAM_ONCE(...) do {} while (0)
#define RCLCPP_DEBUG_EXPRESSION(...) do {} while (0)
#define RCLCPP_DEBUG_STREAM_EXPRESSION(...) do {} while (0)
#define RCLCPP_DEBUG_FUNCTION(...) do {} while (0)
#define RCLCPP_DEBUG_STREAM_FUNCTION(...) do {} while (0)
#define RCLCPP_DEBUG_SKIPFIRST(...) do {} while (0)
#define RCLCPP_DEBUG_STREAM_SKIPFIRST(...) do {} while (0)
#define RCLCPP_DEBUG_THROTTLE(...) do {} while (0)
#define RCLCPP_DEBUG_STREAM_THROTTLE(...) do {} while (0)
#define RCLCPP_DEBUG_SKIPFIRST_THROTTLE(...) do {} while (0)
#define RCLCPP_DEBUG_STREAM_SKIPFIRST_THROTTLE(...) do {} while (0)
#else
#define RCLCPP_DEBUG(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_DEBUG, logger, \
    RCLCPP_DETAIL_COND_NONE_BEFORE_, RCLCPP_DETAIL_COND_NONE_AFTER_, __VA_ARGS__)
#define RCLCPP_DEBUG_ONCE(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_DEBUG, logger, \
    RCLCPP_DETAIL_COND_ONCE_BEFORE_, RCLCPP_DETAIL_COND_ONCE_AFTER_, __VA_ARGS__)
#define RCLCPP_DEBUG_EXPRESSION(logger, expression, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_DEBUG, logger, RCLCPP_DETAIL_COND_EXPRESSION_BEFORE_(expression), \
    RCLCPP_DETAIL_COND_EXPRESSION_AFTER_, __VA_ARGS__)
#define RCLCPP_DEBUG_FUNCTION(logger, function, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_DEBUG, logger, RCLCPP_DETAIL_COND_FUNCTION_BEFORE_(function), \
    RCLCPP_DETAIL_COND_FUNCTION_AFTER_, __VA_ARGS__)
#define RCLCPP_DEBUG_SKIPFIRST(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_DEBUG, logger, RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
    RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, __VA_ARGS__)
#define RCLCPP_DEBUG_THROTTLE(logger, clock, duration, ...) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_DEBUG_THROTTLE"); \
    RCLCPP_DETAIL_LOG_COND_( \
      RCUTILS_LOG_SEVERITY_DEBUG, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration), \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_, __VA_ARGS__); \
  } while (0)
#define RCLCPP_DEBUG_SKIPFIRST_THROTTLE(logger, clock, duration, ...) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_DEBUG_SKIPFIRST_THROTTLE"); \
    RCLCPP_DETAIL_LOG_COND_( \
      RCUTILS_LOG_SEVERITY_DEBUG, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration) \
      RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_ RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, \
      __VA_ARGS__); \
  } while (0)
#define RCLCPP_DEBUG_STREAM(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_DEBUG, logger, \
    RCLCPP_DETAIL_COND_NONE_BEFORE_, RCLCPP_DETAIL_COND_NONE_AFTER_, stream_arg)
#define RCLCPP_DEBUG_STREAM_ONCE(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_DEBUG, logger, \
    RCLCPP_DETAIL_COND_ONCE_BEFORE_, RCLCPP_DETAIL_COND_ONCE_AFTER_, stream_arg)
#define RCLCPP_DEBUG_STREAM_EXPRESSION(logger, expression, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_DEBUG, logger, RCLCPP_DETAIL_COND_EXPRESSION_BEFORE_(expression), \
    RCLCPP_DETAIL_COND_EXPRESSION_AFTER_, stream_arg)
#define RCLCPP_DEBUG_STREAM_FUNCTION(logger, function, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_DEBUG, logger, RCLCPP_DETAIL_COND_FUNCTION_BEFORE_(function), \
    RCLCPP_DETAIL_COND_FUNCTION_AFTER_, stream_arg)
#define RCLCPP_DEBUG_STREAM_SKIPFIRST(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_DEBUG, logger, RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
    RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, stream_arg)
#define RCLCPP_DEBUG_STREAM_THROTTLE(logger, clock, duration, stream_arg) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_DEBUG_STREAM_THROTTLE"); \
    RCLCPP_DETAIL_LOG_STREAM_COND_( \
      RCUTILS_LOG_SEVERITY_DEBUG, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration), \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_, stream_arg); \
  } while (0)
#define RCLCPP_DEBUG_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_DEBUG_STREAM_SKIPFIRST_THROTTLE"); \
    RCLCPP_DETAIL_LOG_STREAM_COND_( \
      RCUTILS_LOG_SEVERITY_DEBUG, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration) \
      RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_ RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, \
      stream_arg); \
  } while (0)
#endif

// ---- INFO ----
#if (RCLCPP_LOG_MIN_SEVERITY > RCLCPP_LOG_MIN_SEVERITY_INFO)
#define RCLCPP_INFO(...) do {} while (0)
#define RCLCPP_INFO_STREAM(...) do {} while (0)
#define RCLCPP_INFO_ONCE(...) do {} while (0)
#define RCLCPP_INFO_STREAM_ONCE(...) do {} while (0)
#define RCLCPP_INFO_EXPRESSION(...) do {} while (0)
#define RCLCPP_INFO_STREAM_EXPRESSION(...) do {} while (0)
#define RCLCPP_INFO_FUNCTION(...) do {} while (0)
#define RCLCPP_INFO_STREAM_FUNCTION(...) do {} while (0)
#define RCLCPP_INFO_SKIPFIRST(...) do {} while (0)
#define RCLCPP_INFO_STREAM_SKIPFIRST(...) do {} while (0)
#define RCLCPP_INFO_THROTTLE(...) do {} while (0)
#define RCLCPP_INFO_STREAM_THROTTLE(...) do {} while (0)
#define RCLCPP_INFO_SKIPFIRST_THROTTLE(...) do {} while (0)
#define RCLCPP_INFO_STREAM_SKIPFIRST_THROTTLE(...) do {} while (0)
#else
#define RCLCPP_INFO(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_INFO, logger, \
    RCLCPP_DETAIL_COND_NONE_BEFORE_, RCLCPP_DETAIL_COND_NONE_AFTER_, __VA_ARGS__)
#define RCLCPP_INFO_ONCE(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_INFO, logger, \
    RCLCPP_DETAIL_COND_ONCE_BEFORE_, RCLCPP_DETAIL_COND_ONCE_AFTER_, __VA_ARGS__)
#define RCLCPP_INFO_EXPRESSION(logger, expression, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_INFO, logger, RCLCPP_DETAIL_COND_EXPRESSION_BEFORE_(expression), \
    RCLCPP_DETAIL_COND_EXPRESSION_AFTER_, __VA_ARGS__)
#define RCLCPP_INFO_FUNCTION(logger, function, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_INFO, logger, RCLCPP_DETAIL_COND_FUNCTION_BEFORE_(function), \
    RCLCPP_DETAIL_COND_FUNCTION_AFTER_, __VA_ARGS__)
#define RCLCPP_INFO_SKIPFIRST(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_INFO, logger, RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
    RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, __VA_ARGS__)
#define RCLCPP_INFO_THROTTLE(logger, clock, duration, ...) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_INFO_THROTTLE"); \
    RCLCPP_DETAIL_LOG_COND_( \
      RCUTILS_LOG_SEVERITY_INFO, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration), \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_, __VA_ARGS__); \
  } while (0)
#define RCLCPP_INFO_SKIPFIRST_THROTTLE(logger, clock, duration, ...) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_INFO_SKIPFIRST_THROTTLE"); \
    RCLCPP_DETAIL_LOG_COND_( \
      RCUTILS_LOG_SEVERITY_INFO, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration) \
      RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_ RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, \
      __VA_ARGS__); \
  } while (0)
#define RCLCPP_INFO_STREAM(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_INFO, logger, \
    RCLCPP_DETAIL_COND_NONE_BEFORE_, RCLCPP_DETAIL_COND_NONE_AFTER_, stream_arg)
#define RCLCPP_INFO_STREAM_ONCE(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_INFO, logger, \
    RCLCPP_DETAIL_COND_ONCE_BEFORE_, RCLCPP_DETAIL_COND_ONCE_AFTER_, stream_arg)
#define RCLCPP_INFO_STREAM_EXPRESSION(logger, expression, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_INFO, logger, RCLCPP_DETAIL_COND_EXPRESSION_BEFORE_(expression), \
    RCLCPP_DETAIL_COND_EXPRESSION_AFTER_, stream_arg)
#define RCLCPP_INFO_STREAM_FUNCTION(logger, function, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_INFO, logger, RCLCPP_DETAIL_COND_FUNCTION_BEFORE_(function), \
    RCLCPP_DETAIL_COND_FUNCTION_AFTER_, stream_arg)
#define RCLCPP_INFO_STREAM_SKIPFIRST(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_INFO, logger, RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
    RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, stream_arg)
#define RCLCPP_INFO_STREAM_THROTTLE(logger, clock, duration, stream_arg) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_INFO_STREAM_THROTTLE"); \
    RCLCPP_DETAIL_LOG_STREAM_COND_( \
      RCUTILS_LOG_SEVERITY_INFO, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration), \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_, stream_arg); \
  } while (0)
#define RCLCPP_INFO_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_INFO_STREAM_SKIPFIRST_THROTTLE"); \
    RCLCPP_DETAIL_LOG_STREAM_COND_( \
      RCUTILS_LOG_SEVERITY_INFO, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration) \
      RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_ RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, \
      stream_arg); \
  } while (0)
#endif

// ---- WARN ----
#if (RCLCPP_LOG_MIN_SEVERITY > RCLCPP_LOG_MIN_SEVERITY_WARN)
#define RCLCPP_WARN(...) do {} while (0)
#define RCLCPP_WARN_STREAM(...) do {} while (0)
#define RCLCPP_WARN_ONCE(...) do {} while (0)
#define RCLCPP_WARN_STREAM_ONCE(...) do {} while (0)
#define RCLCPP_WARN_EXPRESSION(...) do {} while (0)
#define RCLCPP_WARN_STREAM_EXPRESSION(...) do {} while (0)
#define RCLCPP_WARN_FUNCTION(...) do {} while (0)
#define RCLCPP_WARN_STREAM_FUNCTION(...) do {} while (0)
#define RCLCPP_WARN_SKIPFIRST(...) do {} while (0)
#define RCLCPP_WARN_STREAM_SKIPFIRST(...) do {} while (0)
#define RCLCPP_WARN_THROTTLE(...) do {} while (0)
#define RCLCPP_WARN_STREAM_THROTTLE(...) do {} while (0)
#define RCLCPP_WARN_SKIPFIRST_THROTTLE(...) do {} while (0)
#define RCLCPP_WARN_STREAM_SKIPFIRST_THROTTLE(...) do {} while (0)
#else
#define RCLCPP_WARN(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_WARN, logger, \
    RCLCPP_DETAIL_COND_NONE_BEFORE_, RCLCPP_DETAIL_COND_NONE_AFTER_, __VA_ARGS__)
#define RCLCPP_WARN_ONCE(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_WARN, logger, \
    RCLCPP_DETAIL_COND_ONCE_BEFORE_, RCLCPP_DETAIL_COND_ONCE_AFTER_, __VA_ARGS__)
#define RCLCPP_WARN_EXPRESSION(logger, expression, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_WARN, logger, RCLCPP_DETAIL_COND_EXPRESSION_BEFORE_(expression), \
    RCLCPP_DETAIL_COND_EXPRESSION_AFTER_, __VA_ARGS__)
#define RCLCPP_WARN_FUNCTION(logger, function, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_WARN, logger, RCLCPP_DETAIL_COND_FUNCTION_BEFORE_(function), \
    RCLCPP_DETAIL_COND_FUNCTION_AFTER_, __VA_ARGS__)
#define RCLCPP_WARN_SKIPFIRST(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_WARN, logger, RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
    RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, __VA_ARGS__)
#define RCLCPP_WARN_THROTTLE(logger, clock, duration, ...) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_WARN_THROTTLE"); \
    RCLCPP_DETAIL_LOG_COND_( \
      RCUTILS_LOG_SEVERITY_WARN, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration), \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_, __VA_ARGS__); \
  } while (0)
#define RCLCPP_WARN_SKIPFIRST_THROTTLE(logger, clock, duration, ...) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_WARN_SKIPFIRST_THROTTLE"); \
    RCLCPP_DETAIL_LOG_COND_( \
      RCUTILS_LOG_SEVERITY_WARN, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration) \
      RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_ RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, \
      __VA_ARGS__); \
  } while (0)
#define RCLCPP_WARN_STREAM(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_WARN, logger, \
    RCLCPP_DETAIL_COND_NONE_BEFORE_, RCLCPP_DETAIL_COND_NONE_AFTER_, stream_arg)
#define RCLCPP_WARN_STREAM_ONCE(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_WARN, logger, \
    RCLCPP_DETAIL_COND_ONCE_BEFORE_, RCLCPP_DETAIL_COND_ONCE_AFTER_, stream_arg)
#define RCLCPP_WARN_STREAM_EXPRESSION(logger, expression, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_WARN, logger, RCLCPP_DETAIL_COND_EXPRESSION_BEFORE_(expression), \
    RCLCPP_DETAIL_COND_EXPRESSION_AFTER_, stream_arg)
#define RCLCPP_WARN_STREAM_FUNCTION(logger, function, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_WARN, logger, RCLCPP_DETAIL_COND_FUNCTION_BEFORE_(function), \
    RCLCPP_DETAIL_COND_FUNCTION_AFTER_, stream_arg)
#define RCLCPP_WARN_STREAM_SKIPFIRST(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_WARN, logger, RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
    RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, stream_arg)
#define RCLCPP_WARN_STREAM_THROTTLE(logger, clock, duration, stream_arg) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_WARN_STREAM_THROTTLE"); \
    RCLCPP_DETAIL_LOG_STREAM_COND_( \
      RCUTILS_LOG_SEVERITY_WARN, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration), \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_, stream_arg); \
  } while (0)
#define RCLCPP_WARN_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_WARN_STREAM_SKIPFIRST_THROTTLE"); \
    RCLCPP_DETAIL_LOG_STREAM_COND_( \
      RCUTILS_LOG_SEVERITY_WARN, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration) \
      RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_ RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, \
      stream_arg); \
  } while (0)
#endif

// ---- ERROR ----
#if (RCLCPP_LOG_MIN_SEVERITY > RCLCPP_LOG_MIN_SEVERITY_ERROR)
#define RCLCPP_ERROR(...) do {} while (0)
#define RCLCPP_ERROR_STREAM(...) do {} while (0)
#define RCLCPP_ERROR_ONCE(...) do {} while (0)
#define RCLCPP_ERROR_STREAM_ONCE(...) do {} while (0)
#define RCLCPP_ERROR_EXPRESSION(...) do {} while (0)
#define RCLCPP_ERROR_STREAM_EXPRESSION(...) do {} while (0)
#define RCLCPP_ERROR_FUNCTION(...) do {} while (0)
#define RCLCPP_ERROR_STREAM_FUNCTION(...) do {} while (0)
#define RCLCPP_ERROR_SKIPFIRST(...) do {} while (0)
#define RCLCPP_ERROR_STREAM_SKIPFIRST(...) do {} while (0)
#define RCLCPP_ERROR_THROTTLE(...) do {} while (0)
#define RCLCPP_ERROR_STREAM_THROTTLE(...) do {} while (0)
#define RCLCPP_ERROR_SKIPFIRST_THROTTLE(...) do {} while (0)
#define RCLCPP_ERROR_STREAM_SKIPFIRST_THROTTLE(...) do {} while (0)
#else
#define RCLCPP_ERROR(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_ERROR, logger, \
    RCLCPP_DETAIL_COND_NONE_BEFORE_, RCLCPP_DETAIL_COND_NONE_AFTER_, __VA_ARGS__)
#define RCLCPP_ERROR_ONCE(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_ERROR, logger, \
    RCLCPP_DETAIL_COND_ONCE_BEFORE_, RCLCPP_DETAIL_COND_ONCE_AFTER_, __VA_ARGS__)
#define RCLCPP_ERROR_EXPRESSION(logger, expression, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_ERROR, logger, RCLCPP_DETAIL_COND_EXPRESSION_BEFORE_(expression), \
    RCLCPP_DETAIL_COND_EXPRESSION_AFTER_, __VA_ARGS__)
#define RCLCPP_ERROR_FUNCTION(logger, function, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_ERROR, logger, RCLCPP_DETAIL_COND_FUNCTION_BEFORE_(function), \
    RCLCPP_DETAIL_COND_FUNCTION_AFTER_, __VA_ARGS__)
#define RCLCPP_ERROR_SKIPFIRST(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_ERROR, logger, RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
    RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, __VA_ARGS__)
#define RCLCPP_ERROR_THROTTLE(logger, clock, duration, ...) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_ERROR_THROTTLE"); \
    RCLCPP_DETAIL_LOG_COND_( \
      RCUTILS_LOG_SEVERITY_ERROR, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration), \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_, __VA_ARGS__); \
  } while (0)
#define RCLCPP_ERROR_SKIPFIRST_THROTTLE(logger, clock, duration, ...) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_ERROR_SKIPFIRST_THROTTLE"); \
    RCLCPP_DETAIL_LOG_COND_( \
      RCUTILS_LOG_SEVERITY_ERROR, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration) \
      RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_ RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, \
      __VA_ARGS__); \
  } while (0)
#define RCLCPP_ERROR_STREAM(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_ERROR, logger, \
    RCLCPP_DETAIL_COND_NONE_BEFORE_, RCLCPP_DETAIL_COND_NONE_AFTER_, stream_arg)
#define RCLCPP_ERROR_STREAM_ONCE(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_ERROR, logger, \
    RCLCPP_DETAIL_COND_ONCE_BEFORE_, RCLCPP_DETAIL_COND_ONCE_AFTER_, stream_arg)
#define RCLCPP_ERROR_STREAM_EXPRESSION(logger, expression, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_ERROR, logger, RCLCPP_DETAIL_COND_EXPRESSION_BEFORE_(expression), \
    RCLCPP_DETAIL_COND_EXPRESSION_AFTER_, stream_arg)
#define RCLCPP_ERROR_STREAM_FUNCTION(logger, function, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_ERROR, logger, RCLCPP_DETAIL_COND_FUNCTION_BEFORE_(function), \
    RCLCPP_DETAIL_COND_FUNCTION_AFTER_, stream_arg)
#define RCLCPP_ERROR_STREAM_SKIPFIRST(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_ERROR, logger, RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
    RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, stream_arg)
#define RCLCPP_ERROR_STREAM_THROTTLE(logger, clock, duration, stream_arg) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_ERROR_STREAM_THROTTLE"); \
    RCLCPP_DETAIL_LOG_STREAM_COND_( \
      RCUTILS_LOG_SEVERITY_ERROR, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration), \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_, stream_arg); \
  } while (0)
#define RCLCPP_ERROR_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_ERROR_STREAM_SKIPFIRST_THROTTLE"); \
    RCLCPP_DETAIL_LOG_STREAM_COND_( \
      RCUTILS_LOG_SEVERITY_ERROR, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration) \
      RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_ RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, \
      stream_arg); \
  } while (0)
#endif

// ---- FATAL ----
#if (RCLCPP_LOG_MIN_SEVERITY > RCLCPP_LOG_MIN_SEVERITY_FATAL)
#define RCLCPP_FATAL(...) do {} while (0)
#define RCLCPP_FATAL_STREAM(...) do {} while (0)
#define RCLCPP_FATAL_ONCE(...) do {} while (0)
#define RCLCPP_FATAL_STREAM_ONCE(...) do {} while (0)
#define RCLCPP_FATAL_EXPRESSION(...) do {} while (0)
#define RCLCPP_FATAL_STREAM_EXPRESSION(...) do {} while (0)
#define RCLCPP_FATAL_FUNCTION(...) do {} while (0)
#define RCLCPP_FATAL_STREAM_FUNCTION(...) do {} while (0)
#define RCLCPP_FATAL_SKIPFIRST(...) do {} while (0)
#define RCLCPP_FATAL_STREAM_SKIPFIRST(...) do {} while (0)
#define RCLCPP_FATAL_THROTTLE(...) do {} while (0)
#define RCLCPP_FATAL_STREAM_THROTTLE(...) do {} while (0)
#define RCLCPP_FATAL_SKIPFIRST_THROTTLE(...) do {} while (0)
#define RCLCPP_FATAL_STREAM_SKIPFIRST_THROTTLE(...) do {} while (0)
#else
#define RCLCPP_FATAL(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_FATAL, logger, \
    RCLCPP_DETAIL_COND_NONE_BEFORE_, RCLCPP_DETAIL_COND_NONE_AFTER_, __VA_ARGS__)
#define RCLCPP_FATAL_ONCE(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_FATAL, logger, \
    RCLCPP_DETAIL_COND_ONCE_BEFORE_, RCLCPP_DETAIL_COND_ONCE_AFTER_, __VA_ARGS__)
#define RCLCPP_FATAL_EXPRESSION(logger, expression, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_FATAL, logger, RCLCPP_DETAIL_COND_EXPRESSION_BEFORE_(expression), \
    RCLCPP_DETAIL_COND_EXPRESSION_AFTER_, __VA_ARGS__)
#define RCLCPP_FATAL_FUNCTION(logger, function, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_FATAL, logger, RCLCPP_DETAIL_COND_FUNCTION_BEFORE_(function), \
    RCLCPP_DETAIL_COND_FUNCTION_AFTER_, __VA_ARGS__)
#define RCLCPP_FATAL_SKIPFIRST(logger, ...) \
  RCLCPP_DETAIL_LOG_COND_( \
    RCUTILS_LOG_SEVERITY_FATAL, logger, RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
    RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, __VA_ARGS__)
#define RCLCPP_FATAL_THROTTLE(logger, clock, duration, ...) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_FATAL_THROTTLE"); \
    RCLCPP_DETAIL_LOG_COND_( \
      RCUTILS_LOG_SEVERITY_FATAL, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration), \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_, __VA_ARGS__); \
  } while (0)
#define RCLCPP_FATAL_SKIPFIRST_THROTTLE(logger, clock, duration, ...) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_FATAL_SKIPFIRST_THROTTLE"); \
    RCLCPP_DETAIL_LOG_COND_( \
      RCUTILS_LOG_SEVERITY_FATAL, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration) \
      RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_ RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, \
      __VA_ARGS__); \
  } while (0)
#define RCLCPP_FATAL_STREAM(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_FATAL, logger, \
    RCLCPP_DETAIL_COND_NONE_BEFORE_, RCLCPP_DETAIL_COND_NONE_AFTER_, stream_arg)
#define RCLCPP_FATAL_STREAM_ONCE(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_FATAL, logger, \
    RCLCPP_DETAIL_COND_ONCE_BEFORE_, RCLCPP_DETAIL_COND_ONCE_AFTER_, stream_arg)
#define RCLCPP_FATAL_STREAM_EXPRESSION(logger, expression, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_FATAL, logger, RCLCPP_DETAIL_COND_EXPRESSION_BEFORE_(expression), \
    RCLCPP_DETAIL_COND_EXPRESSION_AFTER_, stream_arg)
#define RCLCPP_FATAL_STREAM_FUNCTION(logger, function, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_FATAL, logger, RCLCPP_DETAIL_COND_FUNCTION_BEFORE_(function), \
    RCLCPP_DETAIL_COND_FUNCTION_AFTER_, stream_arg)
#define RCLCPP_FATAL_STREAM_SKIPFIRST(logger, stream_arg) \
  RCLCPP_DETAIL_LOG_STREAM_COND_( \
    RCUTILS_LOG_SEVERITY_FATAL, logger, RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
    RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, stream_arg)
#define RCLCPP_FATAL_STREAM_THROTTLE(logger, clock, duration, stream_arg) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_FATAL_STREAM_THROTTLE"); \
    RCLCPP_DETAIL_LOG_STREAM_COND_( \
      RCUTILS_LOG_SEVERITY_FATAL, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration), \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_, stream_arg); \
  } while (0)
#define RCLCPP_FATAL_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg) \
  do { \
    RCLCPP_DETAIL_THROTTLE_GETTER_(clock, "RCLCPP_FATAL_STREAM_SKIPFIRST_THROTTLE"); \
    RCLCPP_DETAIL_LOG_STREAM_COND_( \
      RCUTILS_LOG_SEVERITY_FATAL, logger, \
      RCLCPP_DETAIL_COND_THROTTLE_BEFORE_(rclcpp_logging_get_time_point_, duration) \
      RCLCPP_DETAIL_COND_SKIPFIRST_BEFORE_, \
      RCLCPP_DETAIL_COND_THROTTLE_AFTER_ RCLCPP_DETAIL_COND_SKIPFIRST_AFTER_, \
      stream_arg); \
  } while (0)
#endif

#endif  // RCLCPP__LOGGING_HPP_
