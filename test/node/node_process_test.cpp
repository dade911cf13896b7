// The sweepmend_node executable as a process: start-up records, parameter handling, interrupt.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace
{

/// A running sweepmend_node whose standard error is read line by line.
class NodeProcess
{
public:
  /// Starts the node with `arguments` after the program name. `environment` entries
  /// ("NAME=value") are set, `unset` names removed, on top of this process's environment.
  explicit NodeProcess(
    const std::vector<std::string> & arguments, const std::vector<std::string> & environment = {},
    const std::vector<std::string> & unset = {})
  {
    int fds[2];
    if (pipe(fds) != 0) {
      throw std::runtime_error("pipe failed");
    }
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], STDERR_FILENO);
      close(fds[0]);
      close(fds[1]);
      // glog colours records when TERM names a colour terminal; the checks read plain text.
      setenv("TERM", "dumb", 1);
      setenv("RCUTILS_COLORIZED_OUTPUT", "0", 1);
      // Our own log location format, so that the ROS logger's source lines can be checked.
      setenv(
        "RCUTILS_CONSOLE_OUTPUT_FORMAT",
        "[{severity}] [{name}] {function_name} {file_name}:{line_number}: {message}", 1);
      // The executable joins DDS by default; these checks need no network.
      setenv("RMW_IMPLEMENTATION", "in_process", 1);
      for (const auto & name : unset) {
        unsetenv(name.c_str());
      }
      for (const auto & entry : environment) {
        putenv(const_cast<char *>(entry.c_str()));
      }
      std::vector<char *> argv;
      argv.push_back(const_cast<char *>(SWEEPMEND_NODE_EXECUTABLE));
      for (const auto & a : arguments) {
        argv.push_back(const_cast<char *>(a.c_str()));
      }
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(fds[1]);
    stderr_fd_ = fds[0];
  }

  ~NodeProcess()
  {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(stderr_fd_);
  }

  /// Reads standard error until a line contains `text` or `timeout` passes; true if found.
  bool wait_for_line(const std::string & text, std::chrono::milliseconds timeout)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;; ) {
      for (const auto & line : lines_) {
        if (line.find(text) != std::string::npos) {
          return true;
        }
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0 || !read_some(static_cast<int>(left))) {
        return false;
      }
    }
  }

  /// Waits for the process to end (reading all its output); the raw wait status, or -1 if it
  /// still runs after `timeout`.
  int wait_for_exit(std::chrono::milliseconds timeout)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (read_some(100)) {
      if (std::chrono::steady_clock::now() > deadline) {
        return -1;
      }
    }
    for (;; ) {
      int status = 0;
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        exited_ = true;
        return status;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        return -1;
      }
      usleep(10000);
    }
  }

  void interrupt() {kill(pid_, SIGINT);}

  /// Lines of standard error read so far.
  const std::vector<std::string> & lines() const {return lines_;}

  /// The first line containing `text`, or "" if none.
  std::string line_with(const std::string & text) const
  {
    for (const auto & line : lines_) {
      if (line.find(text) != std::string::npos) {
        return line;
      }
    }
    return "";
  }

  bool has_line_with(const std::string & text) const {return !line_with(text).empty();}

private:
  /// Reads what is available within timeout_ms; false at end of file or timeout.
  bool read_some(int timeout_ms)
  {
    pollfd p{stderr_fd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) {
      return false;
    }
    char buffer[4096];
    const ssize_t n = read(stderr_fd_, buffer, sizeof(buffer));
    if (n <= 0) {
      return false;
    }
    partial_.append(buffer, static_cast<size_t>(n));
    size_t end;
    while ((end = partial_.find('\n')) != std::string::npos) {
      lines_.push_back(partial_.substr(0, end));
      partial_.erase(0, end + 1);
    }
    return true;
  }

  pid_t pid_{-1};
  int stderr_fd_{-1};
  bool exited_{false};
  std::string partial_;
  std::vector<std::string> lines_;
};

constexpr std::chrono::milliseconds kStartTimeout{10000};

/// glog writes "<severity letter><date> <time> <thread> <file>:<line>] <text>" on standard error.
std::string glog_text(const std::string & line, const std::string & location)
{
  const auto at = line.find(location + "] ");
  return at == std::string::npos ? "" : line.substr(at + location.size() + 2);
}

TEST(NodeProcessStartup, WritesStartRecordsInOrderAtTheirSourceLines)
{
  NodeProcess node({}, {"ROS_DOMAIN_ID=7"});
  ASSERT_TRUE(node.wait_for_line("lidar type:", kStartTimeout));

  const std::string domain = node.line_with("point_processer.cpp:401]");
  ASSERT_FALSE(domain.empty());
  EXPECT_EQ('W', domain[0]);
  EXPECT_EQ("7", glog_text(domain, "point_processer.cpp:401"));

  const std::string hello = node.line_with("point_processer.cpp:402]");
  ASSERT_FALSE(hello.empty());
  EXPECT_EQ('I', hello[0]);
  EXPECT_EQ("hello world sweepmend package", glog_text(hello, "point_processer.cpp:402"));

  const std::string frame = node.line_with("point_processer.cpp:51]");
  EXPECT_EQ('I', frame.at(0));
  EXPECT_EQ("frame_id: lidar_link", glog_text(frame, "point_processer.cpp:51"));

  const std::string type = node.line_with("point_processer.cpp:73]");
  EXPECT_EQ('I', type.at(0));
  EXPECT_EQ("lidar type: livox mid360", glog_text(type, "point_processer.cpp:73"));

  // Order of the process: 401, 402, 51, 73.
  std::vector<size_t> order;
  for (const char * location : {":401]", ":402]", ":51]", ":73]"}) {
    for (size_t i = 0; i < node.lines().size(); ++i) {
      if (node.lines()[i].find(location) != std::string::npos) {
        order.push_back(i);
        break;
      }
    }
  }
  ASSERT_EQ(4u, order.size());
  EXPECT_LT(order[0], order[1]);
  EXPECT_LT(order[1], order[2]);
  EXPECT_LT(order[2], order[3]);

  node.interrupt();
  EXPECT_EQ(0, node.wait_for_exit(kStartTimeout));
}

TEST(NodeProcessStartup, UnsetDomainIdGivesAnEmptyWarning)
{
  NodeProcess node({}, {}, {"ROS_DOMAIN_ID"});
  ASSERT_TRUE(node.wait_for_line("lidar type:", kStartTimeout));
  const std::string domain = node.line_with("point_processer.cpp:401]");
  ASSERT_FALSE(domain.empty());
  EXPECT_EQ('W', domain[0]);
  EXPECT_EQ("", glog_text(domain, "point_processer.cpp:401"));
  node.interrupt();
  EXPECT_EQ(0, node.wait_for_exit(kStartTimeout));
}

TEST(NodeProcessStartup, MissingExtrinsicsWarnOnTheNodeLoggerAtTheirLines)
{
  NodeProcess node({});
  ASSERT_TRUE(node.wait_for_line("lidar type:", kStartTimeout));
  const std::string t = node.line_with("Parameter extrinT_ not found");
  const std::string r = node.line_with("Parameter extrinR_ not found");
  EXPECT_NE(std::string::npos, t.find("[WARN] [harrow_node] DataSubscriber ")) << t;
  EXPECT_NE(std::string::npos, t.find("point_processer.cpp:38: ")) << t;
  EXPECT_NE(std::string::npos, r.find("[WARN] [harrow_node] DataSubscriber ")) << r;
  EXPECT_NE(std::string::npos, r.find("point_processer.cpp:41: ")) << r;
  node.interrupt();
  EXPECT_EQ(0, node.wait_for_exit(kStartTimeout));
}

TEST(NodeProcessStartup, ParameterFilesOfBothSensorsLoad)
{
  {
    NodeProcess node({"--ros-args", "--params-file", SWEEPMEND_CONFIG_DIR "/mid360.yaml"});
    ASSERT_TRUE(node.wait_for_line("lidar type:", kStartTimeout));
    EXPECT_TRUE(node.has_line_with("point_processer.cpp:73] lidar type: livox mid360"));
    EXPECT_TRUE(node.has_line_with("point_processer.cpp:51] frame_id: livox_frame"));
    EXPECT_FALSE(node.has_line_with("not found"));
    node.interrupt();
    EXPECT_EQ(0, node.wait_for_exit(kStartTimeout));
  }
  {
    NodeProcess node({"--ros-args", "--params-file", SWEEPMEND_CONFIG_DIR "/vanjee722.yaml"});
    ASSERT_TRUE(node.wait_for_line("lidar type:", kStartTimeout));
    EXPECT_TRUE(node.has_line_with("point_processer.cpp:77] lidar type: livox vanjee 722"));
    EXPECT_TRUE(node.has_line_with("point_processer.cpp:51] frame_id: lidar_link"));
    EXPECT_FALSE(node.has_line_with("not found"));
    node.interrupt();
    EXPECT_EQ(0, node.wait_for_exit(kStartTimeout));
  }
}

TEST(NodeProcessLidarType, OneSelectsThePointCloud2Input)
{
  NodeProcess node({"--ros-args", "-p", "lidar_type:=1"});
  ASSERT_TRUE(node.wait_for_line("lidar type:", kStartTimeout));
  const std::string type = node.line_with("point_processer.cpp:77]");
  EXPECT_EQ('I', type.at(0));
  EXPECT_EQ("lidar type: livox vanjee 722", glog_text(type, "point_processer.cpp:77"));
  EXPECT_FALSE(node.has_line_with("livox mid360"));
  node.interrupt();
  EXPECT_EQ(0, node.wait_for_exit(kStartTimeout));
}

TEST(NodeProcessLidarType, OtherValuesAreAnErrorButTheNodeRuns)
{
  NodeProcess node({"--ros-args", "-p", "lidar_type:=2"});
  ASSERT_TRUE(node.wait_for_line("lidar type error", kStartTimeout));
  const std::string type = node.line_with("point_processer.cpp:79]");
  EXPECT_EQ('E', type.at(0));
  EXPECT_EQ("lidar type error : 2", glog_text(type, "point_processer.cpp:79"));
  // Still spinning: it ends only on the interrupt, with status 0.
  EXPECT_EQ(-1, node.wait_for_exit(std::chrono::milliseconds(300)));
  node.interrupt();
  const int status = node.wait_for_exit(kStartTimeout);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
}

TEST(NodeProcessLidarType, TextValueEndsStartUpBeforeTheFrameRecord)
{
  NodeProcess node({"--ros-args", "-p", "lidar_type:=abc"});
  const int status = node.wait_for_exit(kStartTimeout);
  ASSERT_NE(-1, status);
  EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(node.has_line_with("hello world sweepmend package"));
  EXPECT_TRUE(node.has_line_with("InvalidParameterTypeException"));
  EXPECT_TRUE(node.has_line_with("lidar_type"));
  EXPECT_FALSE(node.has_line_with("frame_id: "));
  EXPECT_FALSE(node.has_line_with("lidar type"));
}

TEST(NodeProcessExtrinsics, ShortArraysFailStartUpNamingTheParameter)
{
  {
    NodeProcess node({"--ros-args", "-p", "extrinsic_T:=[0.1, 0.2]"});
    const int status = node.wait_for_exit(kStartTimeout);
    ASSERT_NE(-1, status);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(node.has_line_with("parameter 'extrinsic_T' needs 3 values, got 2"));
    EXPECT_FALSE(node.has_line_with("frame_id: "));
  }
  {
    NodeProcess node(
      {"--ros-args", "-p", "extrinsic_R:=[1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0]"});
    const int status = node.wait_for_exit(kStartTimeout);
    ASSERT_NE(-1, status);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(node.has_line_with("parameter 'extrinsic_R' needs 9 values, got 8"));
  }
}

TEST(NodeProcessShutdown, InterruptEndsARunningNodeWithStatusZero)
{
  NodeProcess node({"--ros-args", "-p", "use_sim_time:=true"});
  ASSERT_TRUE(node.wait_for_line("lidar type:", kStartTimeout));
  node.interrupt();
  const int status = node.wait_for_exit(kStartTimeout);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(0, WEXITSTATUS(status));
}

}  // namespace
