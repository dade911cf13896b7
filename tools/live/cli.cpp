#include "live/cli.hpp"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cli/command_line.hpp"
#include "cli/progress_bar.hpp"
#include "live/player.hpp"
#include "live/recorder.hpp"
#include "rclcpp/rclcpp.hpp"

namespace sweepmend
{
namespace live
{
namespace
{

using cli::OptionValues;
using cli::UsageError;

const char kPlayProgram[] = "sweepmend_bag play";
const char kRecordProgram[] = "sweepmend_bag record";

const char kPlayUsage[] =
  "usage: sweepmend_bag play BAG [--rate R] [--clock [HZ]] [--topics TOPIC...]\n"
  "                          [--wait-for-subscribers S] [--ros-args ...]\n"
  "\n"
  "Publishes the messages of the rosbag2 bag BAG (a directory, or a single .db3 or .mcap file)\n"
  "on the ROS graph at the pace they were recorded, like `ros2 bag play`. Types played:\n"
  "sensor_msgs/msg/Imu, sensor_msgs/msg/PointCloud2, livox_ros_driver2/msg/CustomMsg,\n"
  "tf2_msgs/msg/TFMessage, rosgraph_msgs/msg/Clock. Publishers are reliable (best effort or\n"
  "transient local where the bag records that the original publisher was), keep last 1000.\n"
  "\n"
  "  --rate R                    play R times as fast (default 1)\n"
  "  --clock [HZ]                publish the bag's time on /clock, HZ times a second (default\n"
  "                              40), up to 0.1 s past the last message; nodes started with\n"
  "                              use_sim_time:=true then run on the recording's time\n"
  "  --topics TOPIC...           play only these topics\n"
  "  --wait-for-subscribers S    before playing, wait up to S seconds until every played topic\n"
  "                              has a subscriber (so that nothing is published into the void)\n"
  "  --ros-args ...              ROS arguments of the player's node (e.g. -r remappings)\n"
  "\n"
  "A progress line is drawn on a terminal; Ctrl-C stops.\n";

const char kRecordUsage[] =
  "usage: sweepmend_bag record OUT (TOPIC... | --all) [--duration S] [--storage db3|mcap]\n"
  "                            [--best-effort] [--use-sim-time] [--ros-args ...]\n"
  "\n"
  "Records topics of the ROS graph into the new rosbag2 bag OUT, like `ros2 bag record`, until\n"
  "Ctrl-C (SIGINT), SIGTERM or the end of --duration; then it takes what has already arrived\n"
  "and writes metadata.yaml, so the bag is complete. Each topic is subscribed as soon as a\n"
  "publisher or subscription makes its type known. Types recorded: those of `play`.\n"
  "\n"
  "  --all             every topic of a recordable type\n"
  "  --duration S      stop after S seconds\n"
  "  --storage F       db3 (SQLite, default) or mcap\n"
  "  --best-effort     subscribe best effort (needed for best-effort publishers; default reliable)\n"
  "  --use-sim-time    stamp messages with /clock's time instead of the system time\n"
  "  --ros-args ...    ROS arguments of the recorder's node\n";

// SIGINT and SIGTERM are blocked in every thread (they inherit the mask) and taken by one waiting
// thread, which only raises a flag: the tool then finishes its work in its own time.
class StopOnSignal
{
public:
  StopOnSignal()
  {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGUSR1);  // only to end the waiting thread
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    thread_ = std::thread([this]() {
        int sig = 0;
        while (sigwait(&set_, &sig) == 0 && sig != SIGUSR1) {
          stop_ = true;
        }
      });
  }
  ~StopOnSignal()
  {
    pthread_kill(thread_.native_handle(), SIGUSR1);
    thread_.join();
  }
  const std::atomic<bool> & flag() const {return stop_;}

private:
  sigset_t set_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// rclcpp for one tool run, without rclcpp's own signal handlers.
class Session
{
public:
  Session(const char * name, const std::vector<std::string> & ros_args)
  {
    args_.push_back(name);
    if (!ros_args.empty()) {
      args_.push_back("--ros-args");
      args_.insert(args_.end(), ros_args.begin(), ros_args.end());
    }
    std::vector<const char *> argv;
    for (const auto & a : args_) {
      argv.push_back(a.c_str());
    }
    rclcpp::init(
      static_cast<int>(argv.size()), argv.data(), rclcpp::InitOptions(),
      rclcpp::SignalHandlerOptions::None);
  }
  ~Session() {rclcpp::shutdown();}
  Session(const Session &) = delete;
  Session & operator=(const Session &) = delete;

private:
  std::vector<std::string> args_;
};

bool parse_double(const char * text, double & out)
{
  char * end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == '\0';
}

// A number as the value of the option, taken from the words after it.
double number_value(OptionValues & values)
{
  double out = 0.0;
  if (values.peek() == nullptr || !parse_double(values.peek(), out)) {
    throw UsageError{values.option() + " needs a number"};
  }
  values.take();
  return out;
}

void draw_play_progress(const PlayProgress & p)
{
  const std::string bar = cli::progress_bar(p.bag_seconds_done, p.bag_seconds_total);
  std::fprintf(
    stderr, "\r[%s] %6.1f / %.1f s  %llu messages  %.2fx ", bar.c_str(), p.bag_seconds_done,
    p.bag_seconds_total, static_cast<unsigned long long>(p.messages),
    p.wall_seconds > 0.0 ? p.bag_seconds_done / p.wall_seconds : 0.0);
  std::fflush(stderr);
}

}  // namespace

int play_main(int argc, char ** argv)
{
  PlayOptions options;
  std::vector<std::string> ros_args;
  std::vector<std::string> positional;
  const auto rate = [&](OptionValues & values) {options.rate = number_value(values);};
  const int status = cli::read_command_line(
    argc, argv, {kPlayProgram, kPlayUsage, {
        {"--rate", rate},
        {"-r", rate},
        {"--clock", [&](OptionValues & values) {
            options.clock = true;
            double hz = 0.0;
            if (values.peek() != nullptr && parse_double(values.peek(), hz)) {
              options.clock_hz = hz;
              values.take();
            }
          }},
        {"--wait-for-subscribers", [&](OptionValues & values) {
            options.wait_for_subscribers = number_value(values);
          }},
        {"--topics", [&](OptionValues & values) {
            while (values.peek() != nullptr && values.peek()[0] != '-') {
              options.topics.push_back(values.take());
            }
          }},
      }, [&](const std::string & operand) {positional.push_back(operand);}, &ros_args});
  if (status >= 0) {
    return status;
  }
  if (positional.size() != 1) {
    std::fputs(kPlayUsage, stderr);
    return 2;
  }
  options.input = positional[0];

  StopOnSignal signals;
  const bool tty = ::isatty(STDERR_FILENO);
  bool drew = false;
  try {
    Session session("sweepmend_bag_play", ros_args);
    auto node = std::make_shared<rclcpp::Node>("sweepmend_bag_player");
    const auto s = play(
      *node, options, signals.flag(),
      [&](const PlayProgress & p) {
        if (tty) {
          draw_play_progress(p);
          drew = true;
        }
      },
      [&](const std::string & text) {
        std::fprintf(stderr, "%swarning: %s\n", drew ? "\n" : "", text.c_str());
        drew = false;
      });
    if (drew) {
      std::fputc('\n', stderr);
    }
    uint64_t total = 0;
    for (const auto & [topic, count] : s.published) {
      std::fprintf(
        stderr, "  played on %s: %llu\n", topic.c_str(), static_cast<unsigned long long>(count));
      total += count;
    }
    std::fprintf(
      stderr, "sweepmend_bag play: %llu messages (%llu skipped, %llu undecodable), %.2f s of the "
      "bag in %.2f s%s\n", static_cast<unsigned long long>(total),
      static_cast<unsigned long long>(s.skipped), static_cast<unsigned long long>(s.decode_errors),
      s.bag_seconds, s.wall_seconds, s.interrupted ? ", interrupted" : "");
  } catch (const std::exception & e) {
    if (drew) {
      std::fputc('\n', stderr);
    }
    std::fprintf(stderr, "%s: error: %s\n", kPlayProgram, e.what());
    return 1;
  }
  return 0;
}

int record_main(int argc, char ** argv)
{
  RecordOptions options;
  std::vector<std::string> ros_args;
  std::vector<std::string> positional;
  bool use_sim_time = false;
  const auto all = [&](OptionValues &) {options.all = true;};
  const auto duration = [&](OptionValues & values) {
      if (values.peek() == nullptr || !parse_double(values.peek(), options.duration) ||
        options.duration <= 0)
      {
        throw UsageError{"--duration needs a positive number"};
      }
      values.take();
    };
  const auto storage = [&](OptionValues & values) {
      if (values.peek() == nullptr) {
        throw UsageError{"--storage needs db3 or mcap"};
      }
      options.storage = values.take();
      if (options.storage != "db3" && options.storage != "sqlite3" && options.storage != "mcap") {
        throw UsageError{"unknown storage '" + options.storage + "' (use db3 or mcap)"};
      }
    };
  const int status = cli::read_command_line(
    argc, argv, {kRecordProgram, kRecordUsage, {
        {"--all", all},
        {"-a", all},
        {"--best-effort", [&](OptionValues &) {options.best_effort = true;}},
        {"--use-sim-time", [&](OptionValues &) {use_sim_time = true;}},
        {"--duration", duration},
        {"-d", duration},
        {"--storage", storage},
        {"-s", storage},
      }, [&](const std::string & operand) {positional.push_back(operand);}, &ros_args});
  if (status >= 0) {
    return status;
  }
  // Added once everything is read: --ros-args replaces what was collected before it.
  if (use_sim_time) {
    ros_args.insert(ros_args.begin(), {"-p", "use_sim_time:=true"});
  }
  if (positional.empty() || (positional.size() == 1 && !options.all)) {
    std::fputs(kRecordUsage, stderr);
    return 2;
  }
  options.output = positional[0];
  options.topics.assign(positional.begin() + 1, positional.end());

  StopOnSignal signals;
  try {
    Session session("sweepmend_bag_record", ros_args);
    const auto counts = record(
      options, signals.flag(),
      [](const std::string & topic, const std::string & type) {
        std::fprintf(stderr, "recording %s (%s)\n", topic.c_str(), type.c_str());
      },
      [](const std::string & text) {std::fprintf(stderr, "warning: %s\n", text.c_str());});
    uint64_t total = 0;
    for (const auto & [topic, count] : counts) {
      std::fprintf(
        stderr, "  recorded on %s: %llu\n", topic.c_str(), static_cast<unsigned long long>(count));
      total += count;
    }
    for (const auto & topic : options.topics) {
      if (!counts.count(topic)) {
        std::fprintf(stderr, "warning: %s never appeared in the graph\n", topic.c_str());
      }
    }
    std::fprintf(
      stderr, "sweepmend_bag record: %llu messages in %s\n", static_cast<unsigned long long>(total),
      options.output.c_str());
  } catch (const std::exception & e) {
    std::fprintf(stderr, "%s: error: %s\n", kRecordProgram, e.what());
    return 1;
  }
  return 0;
}

}  // namespace live
}  // namespace sweepmend
