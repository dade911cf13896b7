// Runs the example program (written only against the rclcpp API) as a separate process and
// checks what it prints: parameters from -p and from a params file, remapping, publish/subscribe
// through a 10 ms timer, the failure on a wrongly typed parameter, and SIGINT.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{

struct ProgramRun
{
  int status = -1;
  std::string out;
  std::string err;
};

std::string read_file(const std::string & path)
{
  std::ifstream file(path);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

/// Runs the example with `arguments`; if `interrupt` is set, sends SIGINT once it has printed its
/// configuration. Gives up (SIGKILL) after 20 s.
ProgramRun run_example(const std::vector<std::string> & arguments, bool interrupt = false)
{
  static int counter = 0;
  const std::string base = testing::TempDir() + "example_node_" + std::to_string(getpid()) + "_" +
    std::to_string(counter++);
  const std::string out_path = base + ".out";
  const std::string err_path = base + ".err";
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(EXAMPLE_NODE_PATH));
    for (const auto & argument : arguments) {
      argv.push_back(const_cast<char *>(argument.c_str()));
    }
    argv.push_back(nullptr);
    execv(EXAMPLE_NODE_PATH, argv.data());
    _exit(127);
  }
  ProgramRun run;
  bool interrupted = false;
  for (int i = 0; i < 400; ++i) {
    if (waitpid(pid, &run.status, WNOHANG) == pid) {
      break;
    }
    if (interrupt && !interrupted && read_file(out_path).find("config") != std::string::npos) {
      kill(pid, SIGINT);
      interrupted = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (i == 399) {
      kill(pid, SIGKILL);
      waitpid(pid, &run.status, 0);
      ADD_FAILURE() << "the example did not finish";
    }
  }
  run.out = read_file(out_path);
  run.err = read_file(err_path);
  return run;
}

bool exited_with(const ProgramRun & run, int code)
{
  return WIFEXITED(run.status) && WEXITSTATUS(run.status) == code;
}

TEST(ExampleNodeTest, ParametersFromTheCommandLine)
{
  const ProgramRun run = run_example(
    {"--ros-args", "-p", "count:=2", "-p", "prefix:=hello", "-p", "offsets:=[0.5, 1.5]"});
  EXPECT_TRUE(exited_with(run, 0)) << run.status << run.err;
  EXPECT_EQ(
    run.out,
    "config count=2 prefix=hello scale=1 offsets=2 topic=/chatter\n"
    "heard hello 0\n"
    "heard hello 1\n"
    "stopped: user called rclcpp::shutdown()\n");
  EXPECT_EQ(run.err.find("offsets not set"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("[INFO] ["), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("] [echo]: done after 2 messages"), std::string::npos) << run.err;
}

TEST(ExampleNodeTest, ParametersFromAParamsFileAndRemapping)
{
  const std::string path = testing::TempDir() + "example_node_params.yaml";
  {
    std::ofstream file(path);
    file << "/demo/echo:\n"
         << "  ros__parameters:\n"
         << "    count: 1\n"
         << "    prefix: \"from file\"\n"
         << "    scale: 2.5\n";
  }
  const ProgramRun run = run_example(
    {"--ros-args", "-r", "__ns:=/demo", "-r", "chatter:=/talk", "--params-file", path});
  EXPECT_TRUE(exited_with(run, 0)) << run.status << run.err;
  EXPECT_EQ(
    run.out,
    "config count=1 prefix=from file scale=2.5 offsets=0 topic=/talk\n"
    "heard from file 0\n"
    "stopped: user called rclcpp::shutdown()\n");
  // Logger named after namespace and node.
  EXPECT_NE(run.err.find("[WARN] ["), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("] [demo.echo]: offsets not set"), std::string::npos) << run.err;
}

TEST(ExampleNodeTest, WronglyTypedParameterEndsStartUp)
{
  const ProgramRun run = run_example({"--ros-args", "-p", "count:=2.0"});
  ASSERT_TRUE(WIFSIGNALED(run.status)) << run.status;
  EXPECT_EQ(WTERMSIG(run.status), SIGABRT);
  EXPECT_NE(
    run.err.find(
      "parameter 'count' has invalid type: Wrong parameter type, parameter {count} is of type "
      "{integer}, setting it to {double} is not allowed."),
    std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

TEST(ExampleNodeTest, SigintEndsSpinAndTheProgramExitsNormally)
{
  const ProgramRun run = run_example({"--ros-args", "-p", "count:=0"}, true);
  EXPECT_TRUE(exited_with(run, 0)) << run.status << run.err;
  EXPECT_NE(run.out.find("stopped: signal handler\n"), std::string::npos) << run.out;
}

}  // namespace
