// Programs run as child processes by the tests: start one with extra environment and its output in
// a log file, wait for a line in the log or any other condition, stop it with a signal, and read
// how it ended.
#ifndef CHILD_PROCESS_HPP_
#define CHILD_PROCESS_HPP_

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace sweepmend_test
{

#ifdef SWEEPMEND_SOURCE_DIR
/// Environment of every child that joins DDS: the repository's loopback configuration and the
/// test's own domain, so that parallel tests do not hear each other.
inline std::map<std::string, std::string> loopback_env(int domain)
{
  return {
    {"CYCLONEDDS_URI", std::string("file://") + SWEEPMEND_SOURCE_DIR +
      "/config/cyclonedds_loopback.xml"},
    {"ROS_DOMAIN_ID", std::to_string(domain)},
  };
}
#endif

/// A program running as a child of the test; killed, if still running, when this goes.
class ChildProcess
{
public:
  /// Starts argv[0] (a path) with the arguments argv, the variables of `env` set and
  /// ROS_LOCALHOST_ONLY unset, standard output and error into the file `log`. `setup`, when given,
  /// runs in the child just before the program starts (to set limits or give up rights).
  ChildProcess(
    const std::vector<std::string> & argv, const std::map<std::string, std::string> & env,
    const std::string & log, const std::function<void()> & setup = nullptr)
  : log_(log)
  {
    pid_ = ::fork();
    if (pid_ == 0) {
      const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, STDOUT_FILENO);
      ::dup2(fd, STDERR_FILENO);
      for (const auto & [k, v] : env) {
        ::setenv(k.c_str(), v.c_str(), 1);
      }
      ::unsetenv("ROS_LOCALHOST_ONLY");
      if (setup) {
        setup();
      }
      std::vector<char *> args;
      for (const auto & a : argv) {
        args.push_back(const_cast<char *>(a.c_str()));
      }
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
  }
  ~ChildProcess()
  {
    if (running()) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }
  ChildProcess(const ChildProcess &) = delete;
  ChildProcess & operator=(const ChildProcess &) = delete;

  pid_t pid() const {return pid_;}

  /// False once wait() or ended() has seen the end.
  bool running() const {return pid_ > 0 && !waited_;}

  /// Whether the child has ended by now.
  bool ended()
  {
    if (waited_) {
      return true;
    }
    if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
      waited_ = true;
    }
    return waited_;
  }

  /// Everything the child wrote so far.
  std::string log() const
  {
    std::ifstream in(log_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  /// True once `condition` holds; false after `seconds`, or when the child ended without it.
  bool wait_until(const std::function<bool()> & condition, double seconds)
  {
    const auto until = std::chrono::steady_clock::now() +
      std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
    while (std::chrono::steady_clock::now() < until) {
      if (condition()) {
        return true;
      }
      if (ended()) {
        return condition();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  /// True once the log holds `text`; false after `seconds` or when the child ended without it.
  bool wait_for_log(const std::string & text, double seconds)
  {
    return wait_until([&]() {return log().find(text) != std::string::npos;}, seconds);
  }

  /// Waits for the end; the exit code, or 128 + signal; -1 after `seconds` (child killed).
  int wait(double seconds = 60.0)
  {
    const auto until = std::chrono::steady_clock::now() +
      std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
    while (!ended()) {
      if (std::chrono::steady_clock::now() > until) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
        waited_ = true;
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
  }

  /// After the end: whether a signal ended the child rather than an exit.
  bool signalled() const {return waited_ && WIFSIGNALED(status_);}

  /// Sends `sig` and waits for the end, as wait().
  int stop(int sig = SIGINT, double seconds = 20.0)
  {
    if (running()) {
      ::kill(pid_, sig);
    }
    return wait(seconds);
  }

private:
  std::string log_;
  pid_t pid_{-1};
  int status_{0};
  bool waited_{false};
};

}  // namespace sweepmend_test

#endif  // CHILD_PROCESS_HPP_
