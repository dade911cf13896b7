// The offline runner: plays a recorded bag into the node on simulated time and records what it
// publishes.
#ifndef RUNNER__RUNNER_HPP_
#define RUNNER__RUNNER_HPP_

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace sweepmend
{
namespace runner
{

/// A run that cannot start or finish (missing input, existing output, corrupt file, ...);
/// what() is the message for the user. No output is left behind when it is thrown.
class RunError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

struct Options
{
  std::string input;                   ///< bag directory, or a single .db3 / .mcap file
  std::string output;                  ///< bag directory to create
  std::string storage;                 ///< "sqlite3" or "mcap"; empty: the input's format
  bool overwrite{false};               ///< replace an existing output
  std::vector<std::string> ros_args;   ///< passed to the node after --ros-args
};

/// Where a run stands; handed to the progress callback.
struct Progress
{
  double bag_seconds_done{0.0};
  double bag_seconds_total{0.0};
  uint64_t scans_in{0};
  uint64_t scans_out{0};
  double wall_seconds{0.0};
};

struct Summary
{
  uint64_t messages_read{0};        ///< every message of the input bag
  uint64_t messages_played{0};      ///< delivered to the node's subscriptions
  uint64_t messages_skipped{0};     ///< on topics the node does not subscribe to
  uint64_t decode_errors{0};        ///< could not be decoded; skipped
  uint64_t scans_in{0};             ///< scans played
  uint64_t scans_grouped{0};        ///< processing cycles that took a scan
  std::map<std::string, uint64_t> published;  ///< clouds recorded per output topic
  double bag_seconds{0.0};          ///< simulated time covered
  double wall_seconds{0.0};
};

/// Plays options.input through a freshly constructed DataSubscriber (with options.ros_args and
/// use_sim_time on) in receive-time order and writes its two output topics to options.output.
/// The node's 10 ms timer is anchored at simulated time 0 and the clock visits every multiple of
/// 10 ms from the first message on, so no processing cycle is skipped. Initialises and shuts down
/// rclcpp itself. Throws RunError; decode failures of single messages are counted, reported
/// through on_warning and skipped.
Summary run(
  const Options & options,
  const std::function<void(const Progress &)> & on_progress = nullptr,
  const std::function<void(const std::string &)> & on_warning = nullptr);

}  // namespace runner
}  // namespace sweepmend

#endif  // RUNNER__RUNNER_HPP_
