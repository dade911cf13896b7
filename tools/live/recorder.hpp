// Records topics of the ROS graph into a rosbag2 bag, like `ros2 bag record`.
#ifndef LIVE__RECORDER_HPP_
#define LIVE__RECORDER_HPP_

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "live/player.hpp"
#include "rclcpp/rclcpp.hpp"

namespace sweepmend
{
namespace bag
{
class Writer;
}  // namespace bag

namespace live
{

struct RecordOptions
{
  std::string output;               ///< bag directory to create; must not exist
  std::vector<std::string> topics;  ///< topics to record (their types come from the graph)
  bool all{false};                  ///< record every topic of a supported type instead
  double duration{0.0};             ///< stop after this many wall seconds; 0: until stopped
  std::string storage{"sqlite3"};   ///< "sqlite3" or "mcap"
  bool best_effort{false};          ///< subscribe best effort (reaches best-effort publishers)
  size_t qos_depth{1000};           ///< history depth of the subscriptions
};

/// Subscribes to the chosen topics as they appear in the graph and writes every message it
/// receives, stamped with the node clock's time of reception. The bag is complete on disk
/// (metadata.yaml written) once close() returns or the Recorder is destroyed.
class Recorder
{
public:
  /// Creates the output bag. Throws LiveError if it cannot.
  Recorder(rclcpp::Node & node, const RecordOptions & options);
  ~Recorder();
  Recorder(const Recorder &) = delete;
  Recorder & operator=(const Recorder &) = delete;

  /// Looks at the graph once and subscribes to selected topics not subscribed yet; returns the
  /// topics newly subscribed with their types. Call it regularly: topics may appear at any time.
  std::vector<std::pair<std::string, std::string>> discover();

  /// Stops recording and finishes the bag; later messages are ignored. Idempotent.
  void close();

  /// Messages written per topic so far.
  std::map<std::string, uint64_t> counts() const;

private:
  void write(const std::string & topic, std::vector<uint8_t> && data);

  rclcpp::Node & node_;
  RecordOptions options_;
  std::set<std::string> wanted_;
  mutable std::mutex mutex_;
  std::unique_ptr<bag::Writer> writer_;
  std::map<std::string, uint64_t> counts_;
  std::map<std::string, std::shared_ptr<rclcpp::SubscriptionBase>> subscriptions_;
  std::set<std::string> warned_;
};

/// Runs a Recorder on its own node and executor until `stop` becomes true, options.duration has
/// passed or rclcpp shuts down; then takes what the subscriptions still hold and finishes the bag.
/// on_subscribed is told each topic (and its type) as recording starts on it.
std::map<std::string, uint64_t> record(
  const RecordOptions & options, const std::atomic<bool> & stop,
  const std::function<void(const std::string & topic, const std::string & type)> & on_subscribed =
  nullptr,
  const std::function<void(const std::string &)> & on_warning = nullptr);

}  // namespace live
}  // namespace sweepmend

#endif  // LIVE__RECORDER_HPP_
