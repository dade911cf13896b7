// SIGINT/SIGTERM in a child process: spin returns, the context reports "signal handler", the
// handler that was installed before rclcpp still runs, and the process ends normally.

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "rclcpp/rclcpp.hpp"

namespace
{

volatile sig_atomic_t g_previous_handler_calls = 0;

void previous_handler(int)
{
  g_previous_handler_calls = g_previous_handler_calls + 1;
}

// Exit codes of the child, one per failed check, so that a failure says which check it was.
enum ChildResult
{
  kOk = 0,
  kWrongReason = 10,
  kSecondShutdownSucceeded = 11,
  kPreviousHandlerNotCalled = 12,
  kPreviousHandlerNotRestored = 13,
  kStillOk = 14,
  kException = 15,
};

/// Runs in the child: init with `options`, spin one node until a signal ends it, check the
/// aftermath. Writes one byte to `ready_fd` once spinning is about to start.
int child_main(rclcpp::SignalHandlerOptions options, bool with_previous_handler, int ready_fd)
{
  try {
    if (with_previous_handler) {
      struct sigaction action {};
      action.sa_handler = previous_handler;
      sigemptyset(&action.sa_mask);
      sigaction(SIGINT, &action, nullptr);
      sigaction(SIGTERM, &action, nullptr);
    }
    const char * argv[] = {"signal_child"};
    rclcpp::init(1, argv, rclcpp::InitOptions(), options);
    auto node = std::make_shared<rclcpp::Node>("signal_child");
    const char byte = 'r';
    if (write(ready_fd, &byte, 1) != 1) {
      return kException;
    }
    rclcpp::spin(node);
    if (rclcpp::ok()) {
      return kStillOk;
    }
    const std::string reason =
      rclcpp::contexts::get_global_default_context()->shutdown_reason();
    if (reason != "signal handler") {
      return kWrongReason;
    }
    if (rclcpp::shutdown()) {
      return kSecondShutdownSucceeded;
    }
    if (with_previous_handler) {
      if (g_previous_handler_calls != 1) {
        return kPreviousHandlerNotCalled;
      }
      // Shutting the global context down puts the earlier handler back.
      struct sigaction current {};
      sigaction(SIGINT, nullptr, &current);
      if (current.sa_handler != previous_handler) {
        return kPreviousHandlerNotRestored;
      }
    }
    return kOk;
  } catch (...) {
    return kException;
  }
}

/// Forks a child running child_main, sends `signal` once it spins, returns the wait status.
/// With `child_stderr` the child's standard error is collected there.
int run_child_and_signal(
  rclcpp::SignalHandlerOptions options, bool with_previous_handler, int signal_number,
  std::string * child_stderr = nullptr)
{
  int fds[2];
  int err_fds[2];
  if (pipe(fds) != 0 || pipe(err_fds) != 0) {
    ADD_FAILURE() << "pipe failed";
    return -1;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    close(err_fds[0]);
    if (child_stderr != nullptr) {
      unsetenv("RCUTILS_CONSOLE_OUTPUT_FORMAT");
      setenv("RCUTILS_COLORIZED_OUTPUT", "0", 1);
      dup2(err_fds[1], STDERR_FILENO);
    }
    close(err_fds[1]);
    _exit(child_main(options, with_previous_handler, fds[1]));
  }
  close(fds[1]);
  close(err_fds[1]);
  // Collected while waiting, so that a full pipe never blocks the child.
  std::thread collector([fd = err_fds[0], child_stderr]() {
      char buffer[1024];
      ssize_t n;
      while ((n = read(fd, buffer, sizeof(buffer))) > 0) {
        if (child_stderr != nullptr) {
          child_stderr->append(buffer, static_cast<size_t>(n));
        }
      }
      close(fd);
    });
  struct JoinAtExit
  {
    std::thread & thread;
    ~JoinAtExit() {thread.join();}
  } join_collector{collector};
  struct pollfd ready {fds[0], POLLIN, 0};
  const int polled = poll(&ready, 1, 20000);
  char byte = 0;
  const bool child_ready = polled == 1 && read(fds[0], &byte, 1) == 1;
  close(fds[0]);
  EXPECT_TRUE(child_ready) << "the child never started spinning";
  // Give the child the moment between its write and blocking in spin.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  kill(pid, signal_number);

  int status = 0;
  for (int i = 0; i < 400; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  ADD_FAILURE() << "the child did not end after the signal";
  return status;
}

TEST(SignalTest, SigintEndsSpinAndTheProcessExitsNormally)
{
  const int status = run_child_and_signal(rclcpp::SignalHandlerOptions::All, false, SIGINT);
  ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
  EXPECT_EQ(WEXITSTATUS(status), kOk);
}

TEST(SignalTest, SigtermEndsSpinToo)
{
  const int status = run_child_and_signal(rclcpp::SignalHandlerOptions::All, false, SIGTERM);
  ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
  EXPECT_EQ(WEXITSTATUS(status), kOk);
}

TEST(SignalTest, EachSignalIsRecordedOnTheRclcppLogger)
{
  for (const int signal_number : {SIGINT, SIGTERM}) {
    std::string err;
    const int status =
      run_child_and_signal(rclcpp::SignalHandlerOptions::All, false, signal_number, &err);
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), kOk);
    const std::regex record(
      "(^|\\n)\\[INFO\\] \\[[0-9]{10}\\.[0-9]{9}\\] \\[rclcpp\\]: signal_handler\\(signum=" +
      std::to_string(signal_number) + "\\)\\n");
    EXPECT_TRUE(std::regex_search(err, record)) << err;
  }
}

TEST(SignalTest, TheEarlierHandlerStillRunsAndIsRestoredAtShutdown)
{
  const int status = run_child_and_signal(rclcpp::SignalHandlerOptions::All, true, SIGINT);
  ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
  EXPECT_EQ(WEXITSTATUS(status), kOk);
}

TEST(SignalTest, OnlyTheChosenSignalsAreHandled)
{
  const int sigint_only = run_child_and_signal(rclcpp::SignalHandlerOptions::SigInt, false, SIGTERM);
  ASSERT_TRUE(WIFSIGNALED(sigint_only)) << "status " << sigint_only;
  EXPECT_EQ(WTERMSIG(sigint_only), SIGTERM);

  const int none = run_child_and_signal(rclcpp::SignalHandlerOptions::None, false, SIGINT);
  ASSERT_TRUE(WIFSIGNALED(none)) << "status " << none;
  EXPECT_EQ(WTERMSIG(none), SIGINT);
}

TEST(SignalTest, InstallAndUninstallReportTheirEffect)
{
  const char * argv[] = {"signal_test"};
  rclcpp::init(1, argv, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::SigTerm);
  EXPECT_TRUE(rclcpp::signal_handlers_installed());
  EXPECT_EQ(rclcpp::get_current_signal_handler_options(), rclcpp::SignalHandlerOptions::SigTerm);
  EXPECT_FALSE(rclcpp::install_signal_handlers());
  EXPECT_TRUE(rclcpp::shutdown());
  EXPECT_FALSE(rclcpp::signal_handlers_installed());
  EXPECT_FALSE(rclcpp::uninstall_signal_handlers());
  EXPECT_FALSE(rclcpp::shutdown());
}

}  // namespace
