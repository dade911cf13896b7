// sweepmend_bag: runs the node offline on a recorded bag and records what it publishes.
#include <glog/logging.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "cli/command_line.hpp"
#include "cli/progress_bar.hpp"
#include "live/cli.hpp"
#include "rclcpp/detail/transport.hpp"
#include "runner/runner.hpp"
#include "sweepmend/malloc_tuning.hpp"

namespace
{

const char kProgram[] = "sweepmend_bag";

const char kUsage[] =
  "usage: sweepmend_bag IN OUT [--storage sqlite3|mcap] [--overwrite] [--verbose]\n"
  "                     [--ros-args ...]\n"
  "       sweepmend_bag play BAG [options]       (see sweepmend_bag play --help)\n"
  "       sweepmend_bag record OUT TOPIC... [options]   (sweepmend_bag record --help)\n"
  "\n"
  "Plays the bag IN (a rosbag2 directory, or a single .db3 or .mcap file) through the\n"
  "undistortion node harrow_node on simulated time and writes the undistorted and the raw\n"
  "clouds it publishes to the new bag OUT.\n"
  "\n"
  "  --storage S   format of OUT: sqlite3 or mcap (default: the format of IN)\n"
  "  --overwrite   replace OUT if it exists\n"
  "  --verbose     show the node's log lines on standard error\n"
  "  --ros-args    everything after it goes to the node, e.g.\n"
  "                --ros-args --params-file config/mid360.yaml -p lidar_type:=1\n"
  "\n"
  "play and record move bags onto and from a live ROS graph; a bag that is itself named\n"
  "play or record is given as ./play or ./record.\n";

void draw_progress(const sweepmend::runner::Progress & p)
{
  const std::string bar = sweepmend::cli::progress_bar(p.bag_seconds_done, p.bag_seconds_total);
  const double speed = p.wall_seconds > 0.0 ? p.bag_seconds_done / p.wall_seconds : 0.0;
  std::fprintf(
    stderr, "\r[%s] %6.1f / %.1f s  scans in %llu out %llu  %.1fx real time ", bar.c_str(),
    p.bag_seconds_done, p.bag_seconds_total, static_cast<unsigned long long>(p.scans_in),
    static_cast<unsigned long long>(p.scans_out), speed);
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char ** argv)
{
  sweepmend::tune_malloc();
  if (argc >= 2 && std::strcmp(argv[1], "play") == 0) {
    return sweepmend::live::play_main(argc - 1, argv + 1);
  }
  if (argc >= 2 && std::strcmp(argv[1], "record") == 0) {
    return sweepmend::live::record_main(argc - 1, argv + 1);
  }
  // The offline run drives the node by publishing and then spinning until idle, which relies on
  // the in-process graph delivering synchronously: it never joins a network, whatever
  // RMW_IMPLEMENTATION says.
  ::unsetenv("RMW_IMPLEMENTATION");
  rclcpp::detail::set_default_transport(rclcpp::detail::kInProcessTransportName);
  sweepmend::runner::Options options;
  bool verbose = false;
  std::vector<std::string> positional;
  using sweepmend::cli::OptionValues;
  const int status = sweepmend::cli::read_command_line(
    argc, argv, {kProgram, kUsage, {
        {"--overwrite", [&](OptionValues &) {options.overwrite = true;}},
        {"--verbose", [&](OptionValues &) {verbose = true;}},
        {"--storage", [&](OptionValues & values) {
            if (values.peek() == nullptr) {
              throw sweepmend::cli::UsageError{"--storage needs a value (sqlite3 or mcap)"};
            }
            options.storage = values.take();
            if (options.storage != "sqlite3" && options.storage != "mcap") {
              throw sweepmend::cli::UsageError{
                      "unknown storage '" + options.storage + "' (use sqlite3 or mcap)"};
            }
          }},
      }, [&](const std::string & operand) {positional.push_back(operand);}, &options.ros_args});
  if (status >= 0) {
    return status;
  }
  if (positional.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  options.input = positional[0];
  options.output = positional[1];

  // Past a file-size limit a write should fail with EFBIG and be reported like a full disk,
  // not end the process before it can remove its partial output.
  std::signal(SIGXFSZ, SIG_IGN);

  // The node logs a few lines per scan; offline they go to glog's files unless asked for.
  FLAGS_logbufsecs = 0;
  google::SetStderrLogging(verbose ? google::GLOG_INFO : google::GLOG_ERROR);
  google::InitGoogleLogging(argv[0]);
  if (!verbose) {
    options.ros_args.insert(options.ros_args.begin(), {"--log-level", "warn"});
  }

  const bool tty = ::isatty(STDERR_FILENO) && !verbose;
  bool drew = false;
  auto on_progress = [&](const sweepmend::runner::Progress & p) {
      if (tty) {
        draw_progress(p);
        drew = true;
      }
    };
  auto on_warning = [&](const std::string & text) {
      std::fprintf(stderr, "%swarning: %s\n", drew ? "\n" : "", text.c_str());
    };

  try {
    const auto s = sweepmend::runner::run(options, on_progress, on_warning);
    if (drew) {
      std::fputc('\n', stderr);
    }
    std::fprintf(stderr, "sweepmend_bag: %s -> %s\n", options.input.c_str(), options.output.c_str());
    std::fprintf(
      stderr, "  messages read %llu (played %llu, skipped %llu, decode errors %llu)\n",
      static_cast<unsigned long long>(s.messages_read),
      static_cast<unsigned long long>(s.messages_played),
      static_cast<unsigned long long>(s.messages_skipped),
      static_cast<unsigned long long>(s.decode_errors));
    std::fprintf(
      stderr, "  scans in %llu, grouped %llu\n", static_cast<unsigned long long>(s.scans_in),
      static_cast<unsigned long long>(s.scans_grouped));
    for (const auto & [topic, count] : s.published) {
      std::fprintf(
        stderr, "  published on %s: %llu\n", topic.c_str(),
        static_cast<unsigned long long>(count));
    }
    std::fprintf(
      stderr, "  %.2f s of data in %.2f s wall time (%.1fx real time)\n", s.bag_seconds,
      s.wall_seconds, s.wall_seconds > 0.0 ? s.bag_seconds / s.wall_seconds : 0.0);
  } catch (const std::exception & e) {
    if (drew) {
      std::fputc('\n', stderr);
    }
    std::fprintf(stderr, "%s: error: %s\n", kProgram, e.what());
    google::ShutdownGoogleLogging();
    return 1;
  }
  google::ShutdownGoogleLogging();
  return 0;
}
