// Plays a recorded bag onto the ROS graph at its recorded pace, like `ros2 bag play`.
#ifndef LIVE__PLAYER_HPP_
#define LIVE__PLAYER_HPP_

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"

namespace sweepmend
{
namespace live
{

/// A play or record that cannot start or finish; what() is the message for the user.
class LiveError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

struct PlayOptions
{
  std::string input;                ///< bag directory, or a single .db3 / .mcap file
  double rate{1.0};                 ///< playback speed relative to the recording (> 0)
  bool clock{false};                ///< publish /clock with the bag's time
  double clock_hz{40.0};            ///< how often /clock is published (wall time)
  std::vector<std::string> topics;  ///< topics to play; empty: every topic of a supported type
  /// Before the first message, wait up to this long (wall seconds) until every played topic has
  /// a matched subscription; 0: start at once. Throws LiveError when the time runs out.
  double wait_for_subscribers{0.0};
  size_t qos_depth{1000};           ///< history depth of the publishers
};

/// Where playback stands; handed to the progress callback about ten times a second.
struct PlayProgress
{
  double bag_seconds_done{0.0};
  double bag_seconds_total{0.0};
  uint64_t messages{0};
  double wall_seconds{0.0};
};

struct PlaySummary
{
  std::map<std::string, uint64_t> published;  ///< messages per topic
  uint64_t skipped{0};        ///< on topics not selected or of a type that cannot be played
  uint64_t decode_errors{0};  ///< could not be decoded; not published
  uint64_t clock_messages{0};
  double bag_seconds{0.0};
  double wall_seconds{0.0};
  bool interrupted{false};    ///< stopped early by `stop` or by rclcpp shutting down
};

/// Plays options.input through publishers of `node` (which needs no spinning). A message
/// received at bag time t goes out at wall time start + (t - first) / rate. With options.clock,
/// /clock carries the bag time that corresponds to the wall time, from the first message's
/// time up to 0.1 s (bag time) past the last one so that timers of sim-time nodes see the end.
/// Returns early when `stop` becomes true or rclcpp::ok() turns false.
PlaySummary play(
  rclcpp::Node & node, const PlayOptions & options, const std::atomic<bool> & stop,
  const std::function<void(const PlayProgress &)> & on_progress = nullptr,
  const std::function<void(const std::string &)> & on_warning = nullptr);

}  // namespace live
}  // namespace sweepmend

#endif  // LIVE__PLAYER_HPP_
