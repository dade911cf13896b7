// RCLCPP_* macros and the console output: line format, environment switches, levels, and the
// once/skipfirst/expression/function/throttle forms.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rclcpp/clock.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/logger.hpp"
#include "rclcpp/logging.hpp"
#include "rcutils/logging.h"

// The stream forms carry the names rclcpp has (RCLCPP_<SEVERITY>_STREAM_<FORM>), so that code
// written here compiles against it, and no spelling that it lacks.
#if !defined(RCLCPP_DEBUG_STREAM_ONCE) || \
  !defined(RCLCPP_DEBUG_STREAM_EXPRESSION) || \
  !defined(RCLCPP_DEBUG_STREAM_FUNCTION) || \
  !defined(RCLCPP_DEBUG_STREAM_SKIPFIRST) || \
  !defined(RCLCPP_DEBUG_STREAM_THROTTLE) || \
  !defined(RCLCPP_DEBUG_STREAM_SKIPFIRST_THROTTLE) || \
  !defined(RCLCPP_INFO_STREAM_ONCE) || \
  !defined(RCLCPP_INFO_STREAM_EXPRESSION) || \
  !defined(RCLCPP_INFO_STREAM_FUNCTION) || \
  !defined(RCLCPP_INFO_STREAM_SKIPFIRST) || \
  !defined(RCLCPP_INFO_STREAM_THROTTLE) || \
  !defined(RCLCPP_INFO_STREAM_SKIPFIRST_THROTTLE) || \
  !defined(RCLCPP_WARN_STREAM_ONCE) || \
  !defined(RCLCPP_WARN_STREAM_EXPRESSION) || \
  !defined(RCLCPP_WARN_STREAM_FUNCTION) || \
  !defined(RCLCPP_WARN_STREAM_SKIPFIRST) || \
  !defined(RCLCPP_WARN_STREAM_THROTTLE) || \
  !defined(RCLCPP_WARN_STREAM_SKIPFIRST_THROTTLE) || \
  !defined(RCLCPP_ERROR_STREAM_ONCE) || \
  !defined(RCLCPP_ERROR_STREAM_EXPRESSION) || \
  !defined(RCLCPP_ERROR_STREAM_FUNCTION) || \
  !defined(RCLCPP_ERROR_STREAM_SKIPFIRST) || \
  !defined(RCLCPP_ERROR_STREAM_THROTTLE) || \
  !defined(RCLCPP_ERROR_STREAM_SKIPFIRST_THROTTLE) || \
  !defined(RCLCPP_FATAL_STREAM_ONCE) || \
  !defined(RCLCPP_FATAL_STREAM_EXPRESSION) || \
  !defined(RCLCPP_FATAL_STREAM_FUNCTION) || \
  !defined(RCLCPP_FATAL_STREAM_SKIPFIRST) || \
  !defined(RCLCPP_FATAL_STREAM_THROTTLE) || \
  !defined(RCLCPP_FATAL_STREAM_SKIPFIRST_THROTTLE)
#error "a stream logging macro is missing"
#endif
#if defined(RCLCPP_DEBUG_ONCE_STREAM) || \
  defined(RCLCPP_DEBUG_EXPRESSION_STREAM) || \
  defined(RCLCPP_DEBUG_FUNCTION_STREAM) || \
  defined(RCLCPP_DEBUG_SKIPFIRST_STREAM) || \
  defined(RCLCPP_DEBUG_THROTTLE_STREAM) || \
  defined(RCLCPP_DEBUG_SKIPFIRST_THROTTLE_STREAM) || \
  defined(RCLCPP_INFO_ONCE_STREAM) || \
  defined(RCLCPP_INFO_EXPRESSION_STREAM) || \
  defined(RCLCPP_INFO_FUNCTION_STREAM) || \
  defined(RCLCPP_INFO_SKIPFIRST_STREAM) || \
  defined(RCLCPP_INFO_THROTTLE_STREAM) || \
  defined(RCLCPP_INFO_SKIPFIRST_THROTTLE_STREAM) || \
  defined(RCLCPP_WARN_ONCE_STREAM) || \
  defined(RCLCPP_WARN_EXPRESSION_STREAM) || \
  defined(RCLCPP_WARN_FUNCTION_STREAM) || \
  defined(RCLCPP_WARN_SKIPFIRST_STREAM) || \
  defined(RCLCPP_WARN_THROTTLE_STREAM) || \
  defined(RCLCPP_WARN_SKIPFIRST_THROTTLE_STREAM) || \
  defined(RCLCPP_ERROR_ONCE_STREAM) || \
  defined(RCLCPP_ERROR_EXPRESSION_STREAM) || \
  defined(RCLCPP_ERROR_FUNCTION_STREAM) || \
  defined(RCLCPP_ERROR_SKIPFIRST_STREAM) || \
  defined(RCLCPP_ERROR_THROTTLE_STREAM) || \
  defined(RCLCPP_ERROR_SKIPFIRST_THROTTLE_STREAM) || \
  defined(RCLCPP_FATAL_ONCE_STREAM) || \
  defined(RCLCPP_FATAL_EXPRESSION_STREAM) || \
  defined(RCLCPP_FATAL_FUNCTION_STREAM) || \
  defined(RCLCPP_FATAL_SKIPFIRST_STREAM) || \
  defined(RCLCPP_FATAL_THROTTLE_STREAM) || \
  defined(RCLCPP_FATAL_SKIPFIRST_THROTTLE_STREAM)
#error "a stream logging macro has a name rclcpp does not know"
#endif

namespace
{

using ::testing::HasSubstr;

int64_t system_now_ns()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
    std::chrono::system_clock::now().time_since_epoch()).count();
}

std::vector<std::string> lines_of(const std::string & text)
{
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    lines.push_back(line);
  }
  return lines;
}

// Every test starts from a freshly initialised logging configuration.
class Logging : public ::testing::Test
{
protected:
  void SetUp() override {reset();}
  void TearDown() override {reset();}

  static void reset()
  {
    for (const char * variable : {"RCUTILS_CONSOLE_OUTPUT_FORMAT", "RCUTILS_COLORIZED_OUTPUT",
        "RCUTILS_LOGGING_USE_STDOUT", "RCUTILS_LOGGING_BUFFERED_STREAM"})
    {
      unsetenv(variable);
    }
    EXPECT_EQ(RCUTILS_RET_OK, rcutils_logging_shutdown());
  }

  // Message-only records make expectations about content short.
  static void messages_only()
  {
    setenv("RCUTILS_CONSOLE_OUTPUT_FORMAT", "{message}", 1);
    EXPECT_EQ(RCUTILS_RET_OK, rcutils_logging_shutdown());
  }

  rclcpp::Logger logger_ = rclcpp::get_logger("sweepmend.test");
};

void call_console_handler(
  int severity, const char * name, int64_t timestamp, const char * format, ...)
{
  const rcutils_log_location_t location = {"fn", "file.cpp", 7};
  va_list args;
  va_start(args, format);
  rcutils_logging_console_output_handler(&location, severity, name, timestamp, format, &args);
  va_end(args);
}

TEST_F(Logging, DefaultLineFormatOnStderr)
{
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const int64_t before = system_now_ns();
  RCLCPP_INFO(logger_, "hello %d", 5);
  const int64_t after = system_now_ns();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");

  std::smatch match;
  const std::regex line(R"(^\[INFO\] \[(\d{10,})\.(\d{9})\] \[sweepmend\.test\]: hello 5\n$)");
  ASSERT_TRUE(std::regex_match(err, match, line)) << err;
  const int64_t stamp = std::stoll(match[1].str()) * 1000000000LL + std::stoll(match[2].str());
  EXPECT_LE(before, stamp);
  EXPECT_GE(after, stamp);
}

TEST_F(Logging, TimeIsZeroPaddedWithNineFractionalDigits)
{
  ::testing::internal::CaptureStderr();
  call_console_handler(RCUTILS_LOG_SEVERITY_WARN, "n", 5, "a");
  call_console_handler(RCUTILS_LOG_SEVERITY_ERROR, "n", -1500000000, "b");
  call_console_handler(RCUTILS_LOG_SEVERITY_FATAL, "n", 1700000000123456789LL, "c");
  EXPECT_EQ(
    ::testing::internal::GetCapturedStderr(),
    "[WARN] [0000000000.000000005] [n]: a\n"
    "[ERROR] [-0000000001.500000000] [n]: b\n"
    "[FATAL] [1700000000.123456789] [n]: c\n");
}

TEST_F(Logging, LevelsAndHierarchy)
{
  messages_only();
  rclcpp::Logger child = logger_.get_child("imu");
  EXPECT_STREQ(child.get_name(), "sweepmend.test.imu");

  ::testing::internal::CaptureStderr();
  RCLCPP_DEBUG(logger_, "hidden by default");
  RCLCPP_INFO(logger_, "info");
  RCLCPP_WARN(logger_, "warn");
  RCLCPP_ERROR(logger_, "error");
  RCLCPP_FATAL(logger_, "fatal");
  logger_.set_level(rclcpp::Logger::Level::Debug);
  RCLCPP_DEBUG(child, "child inherits debug");
  child.set_level(rclcpp::Logger::Level::Error);
  RCLCPP_WARN(child, "child above its own level is hidden");
  RCLCPP_WARN(logger_, "parent still warns");
  child.set_level(rclcpp::Logger::Level::Unset);
  RCLCPP_DEBUG(child, "unset falls back to the parent");
  EXPECT_EQ(
    lines_of(::testing::internal::GetCapturedStderr()),
    (std::vector<std::string>{"info", "warn", "error", "fatal", "child inherits debug",
      "parent still warns", "unset falls back to the parent"}));

  EXPECT_EQ(rcutils_logging_get_logger_level("sweepmend.test"), RCUTILS_LOG_SEVERITY_DEBUG);
  EXPECT_EQ(rcutils_logging_get_default_logger_level(), RCUTILS_LOG_SEVERITY_INFO);
  EXPECT_FALSE(rcutils_logging_logger_is_enabled_for("somebody.else", RCUTILS_LOG_SEVERITY_DEBUG));
}

TEST_F(Logging, SetLevelRejectsUnknownSeverity)
{
  try {
    logger_.set_level(static_cast<rclcpp::Logger::Level>(15));
    ADD_FAILURE() << "15 is no severity";
  } catch (const rclcpp::exceptions::RCLInvalidArgument & e) {
    EXPECT_THAT(
      e.what(),
      ::testing::StartsWith(
        "Invalid parameter: Invalid severity level specified for logger, at "));
  }
}

TEST_F(Logging, CustomFormatTokens)
{
  setenv(
    "RCUTILS_CONSOLE_OUTPUT_FORMAT",
    "{severity}|{name}|{function_name}|{file_name}|{line_number}|{message}|{bogus}|"
    "{time_as_nanoseconds}|{", 1);
  ::testing::internal::CaptureStderr();
  const int64_t before = system_now_ns();
  RCLCPP_ERROR(logger_, "m"); const int line = __LINE__;
  const int64_t after = system_now_ns();
  const std::string err = ::testing::internal::GetCapturedStderr();

  const std::string expected_prefix = std::string("ERROR|sweepmend.test|TestBody|") + __FILE__ +
    "|" + std::to_string(line) + "|m|{bogus}|";
  ASSERT_EQ(err.compare(0, expected_prefix.size(), expected_prefix), 0) << err;
  const std::string rest = err.substr(expected_prefix.size());
  ASSERT_GE(rest.size(), 3u);
  EXPECT_EQ(rest.substr(rest.size() - 3), "|{\n");
  const int64_t stamp = std::stoll(rest.substr(0, rest.size() - 3));
  EXPECT_LE(before, stamp);
  EXPECT_GE(after, stamp);
}

TEST_F(Logging, Colours)
{
  setenv("RCUTILS_CONSOLE_OUTPUT_FORMAT", "{severity}", 1);
  setenv("RCUTILS_COLORIZED_OUTPUT", "1", 1);
  logger_.set_level(rclcpp::Logger::Level::Debug);
  ::testing::internal::CaptureStderr();
  RCLCPP_DEBUG(logger_, "x");
  RCLCPP_INFO(logger_, "x");
  RCLCPP_WARN(logger_, "x");
  RCLCPP_ERROR(logger_, "x");
  RCLCPP_FATAL(logger_, "x");
  EXPECT_EQ(
    ::testing::internal::GetCapturedStderr(),
    "\033[32mDEBUG\033[0m\n"
    "\033[0mINFO\033[0m\n"
    "\033[33mWARN\033[0m\n"
    "\033[31mERROR\033[0m\n"
    "\033[31mFATAL\033[0m\n");

  // Unset: colour only on a terminal, and the captured stream is a file.
  unsetenv("RCUTILS_COLORIZED_OUTPUT");
  EXPECT_EQ(RCUTILS_RET_OK, rcutils_logging_shutdown());
  ::testing::internal::CaptureStderr();
  RCLCPP_WARN(logger_, "x");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "WARN\n");

  setenv("RCUTILS_COLORIZED_OUTPUT", "0", 1);
  EXPECT_EQ(RCUTILS_RET_OK, rcutils_logging_shutdown());
  ::testing::internal::CaptureStderr();
  RCLCPP_ERROR(logger_, "x");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "ERROR\n");
}

TEST_F(Logging, StdoutSwitchAndInvalidValues)
{
  messages_only();
  setenv("RCUTILS_LOGGING_USE_STDOUT", "1", 1);
  setenv("RCUTILS_LOGGING_BUFFERED_STREAM", "0", 1);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  RCLCPP_ERROR(logger_, "to stdout");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "to stdout\n");

  setenv("RCUTILS_LOGGING_USE_STDOUT", "2", 1);
  unsetenv("RCUTILS_LOGGING_BUFFERED_STREAM");
  EXPECT_EQ(RCUTILS_RET_OK, rcutils_logging_shutdown());
  ::testing::internal::CaptureStderr();
  RCLCPP_INFO(logger_, "still logged");
  RCLCPP_INFO(logger_, "reported once");
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(
    err, HasSubstr(
      "error initializing logging: Warning: unexpected value [2] specified for "
      "RCUTILS_LOGGING_USE_STDOUT."));
  EXPECT_THAT(err, HasSubstr("still logged\nreported once\n"));
  EXPECT_EQ(err.find("error initializing"), err.rfind("error initializing"));
}

TEST_F(Logging, OnceSkipfirstExpressionFunction)
{
  messages_only();
  ::testing::internal::CaptureStderr();
  for (int i = 0; i < 3; ++i) {
    RCLCPP_INFO_ONCE(logger_, "once %d", i);
    RCLCPP_WARN_SKIPFIRST(logger_, "skipfirst %d", i);
    RCLCPP_ERROR_EXPRESSION(logger_, i % 2 == 0, "even %d", i);
  }
  int calls = 0;
  auto every_other = [&calls]() {return ++calls % 2 == 0;};
  for (int i = 0; i < 4; ++i) {
    RCLCPP_INFO_FUNCTION(logger_, &every_other, "function %d", i);
  }
  EXPECT_EQ(
    lines_of(::testing::internal::GetCapturedStderr()),
    (std::vector<std::string>{"once 0", "even 0", "skipfirst 1", "skipfirst 2", "even 2",
      "function 1", "function 3"}));
}

TEST_F(Logging, SuppressedRecordsDoNotUseUpOnce)
{
  messages_only();
  ::testing::internal::CaptureStderr();
  for (int i = 0; i < 3; ++i) {
    if (i == 1) {
      logger_.set_level(rclcpp::Logger::Level::Debug);
    }
    RCLCPP_DEBUG_ONCE(logger_, "debug once %d", i);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "debug once 1\n");
}

TEST_F(Logging, StreamFormsAreLazy)
{
  messages_only();
  int evaluated = 0;
  auto count = [&evaluated]() {return ++evaluated;};
  ::testing::internal::CaptureStderr();
  RCLCPP_INFO_STREAM(logger_, "a" << 1 << ' ' << 2.5);
  RCLCPP_DEBUG_STREAM(logger_, "never " << count());
  for (int i = 0; i < 2; ++i) {
    RCLCPP_WARN_STREAM_ONCE(logger_, "once " << count());
  }
  EXPECT_EQ(lines_of(::testing::internal::GetCapturedStderr()),
    (std::vector<std::string>{"a1 2.5", "once 1"}));
  EXPECT_EQ(evaluated, 1);
}

TEST_F(Logging, StreamSkipfirstExpressionFunctionForms)
{
  messages_only();
  rclcpp::Clock clock(RCL_ROS_TIME);
  rclcpp::detail::set_ros_time_override(clock, true, 0);
  int calls = 0;
  auto every_other = [&calls]() {return ++calls % 2 == 0;};
  ::testing::internal::CaptureStderr();
  for (int i = 0; i < 3; ++i) {
    RCLCPP_INFO_STREAM_SKIPFIRST(logger_, "skipfirst " << i);
    RCLCPP_WARN_STREAM_EXPRESSION(logger_, i != 1, "expression " << i);
    RCLCPP_ERROR_STREAM_FUNCTION(logger_, &every_other, "function " << i);
    rclcpp::detail::set_ros_time_override_value(clock, (i + 1) * 1000000000LL);
    RCLCPP_FATAL_STREAM_SKIPFIRST_THROTTLE(logger_, clock, 1000, "throttled " << i);
  }
  EXPECT_EQ(
    lines_of(::testing::internal::GetCapturedStderr()),
    (std::vector<std::string>{"expression 0",
      "skipfirst 1", "function 1", "throttled 1",
      "skipfirst 2", "expression 2", "throttled 2"}));
}

TEST_F(Logging, ThrottleFollowsTheGivenClock)
{
  messages_only();
  rclcpp::Clock clock(RCL_ROS_TIME);
  rclcpp::detail::set_ros_time_override(clock, true, 0);
  // With a 1000 ms period a record passes when now >= last passed + 1 s, the last passed time
  // starting at 0: so at 1.0, 2.0 and 3.0 s; the skip-first variant drops the one at 1.0 s.
  const std::vector<int64_t> times_ms = {500, 1000, 1500, 2000, 2900, 3000};
  ::testing::internal::CaptureStderr();
  for (const int64_t t : times_ms) {
    rclcpp::detail::set_ros_time_override_value(clock, t * 1000000);
    RCLCPP_INFO_THROTTLE(logger_, clock, 1000, "throttle %ld", static_cast<long>(t));
    RCLCPP_WARN_SKIPFIRST_THROTTLE(logger_, clock, 1000, "skip %ld", static_cast<long>(t));
    RCLCPP_ERROR_STREAM_THROTTLE(logger_, clock, 1000, "stream " << t);
  }
  EXPECT_EQ(
    lines_of(::testing::internal::GetCapturedStderr()),
    (std::vector<std::string>{
      "throttle 1000", "stream 1000",
      "throttle 2000", "skip 2000", "stream 2000",
      "throttle 3000", "skip 3000", "stream 3000"}));
}

TEST_F(Logging, ThrottleWithUnreadableClockLogsAnyway)
{
  setenv("RCUTILS_CONSOLE_OUTPUT_FORMAT", "[{severity}] [{name}]: {message}", 1);
  rclcpp::Clock broken(RCL_CLOCK_UNINITIALIZED);
  ::testing::internal::CaptureStderr();
  RCLCPP_WARN_THROTTLE(logger_, broken, 1000, "logged regardless");
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(
    err,
    HasSubstr("[rclcpp|logging.hpp] RCLCPP_WARN_THROTTLE could not get current time stamp\n"));
  EXPECT_THAT(err, HasSubstr("[ERROR] []: TestBody() at "));
  EXPECT_THAT(err, HasSubstr("getting current steady time failed\n"));
  EXPECT_THAT(err, HasSubstr("[WARN] [sweepmend.test]: logged regardless\n"));
}

struct CapturedRecord
{
  int severity;
  std::string name;
  std::string message;
};
std::vector<CapturedRecord> g_records;

void capturing_handler(
  const rcutils_log_location_t *, int severity, const char * name, rcutils_time_point_value_t,
  const char * format, va_list * args)
{
  char buffer[256];
  va_list copy;
  va_copy(copy, *args);
  std::vsnprintf(buffer, sizeof(buffer), format, copy);
  va_end(copy);
  g_records.push_back({severity, name, buffer});
}

TEST_F(Logging, OutputHandlerCanBeReplaced)
{
  g_records.clear();
  rcutils_logging_set_output_handler(capturing_handler);
  RCLCPP_WARN(logger_, "x=%d", 3);
  RCLCPP_DEBUG(logger_, "filtered before the handler");
  rcutils_logging_set_output_handler(rcutils_logging_console_output_handler);
  ASSERT_EQ(g_records.size(), 1u);
  EXPECT_EQ(g_records[0].severity, RCUTILS_LOG_SEVERITY_WARN);
  EXPECT_EQ(g_records[0].name, "sweepmend.test");
  EXPECT_EQ(g_records[0].message, "x=3");
}

TEST_F(Logging, ConcurrentRecordsStayWholeLines)
{
  constexpr int kThreads = 4;
  constexpr int kRecords = 200;
  ::testing::internal::CaptureStderr();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back(
      [this, t]() {
        for (int i = 0; i < kRecords; ++i) {
          RCLCPP_INFO(logger_, "thread %d record %d with some padding text", t, i);
        }
      });
  }
  for (auto & thread : threads) {
    thread.join();
  }
  const auto lines = lines_of(::testing::internal::GetCapturedStderr());
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kRecords));
  const std::regex line(
    R"(^\[INFO\] \[\d{10,}\.\d{9}\] \[sweepmend\.test\]: thread \d record \d+ with some padding text$)");
  for (const auto & l : lines) {
    ASSERT_TRUE(std::regex_match(l, line)) << l;
  }
}

}  // namespace
