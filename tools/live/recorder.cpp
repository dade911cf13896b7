#include "live/recorder.hpp"

#include <chrono>
#include <filesystem>
#include <utility>

#include "live/message_registry.hpp"
#include "storage/bag.hpp"

namespace sweepmend
{
namespace live
{

Recorder::Recorder(rclcpp::Node & node, const RecordOptions & options)
: node_(node), options_(options), wanted_(options.topics.begin(), options.topics.end())
{
  if (options_.storage == "db3") {
    options_.storage = "sqlite3";
  }
  if (options_.storage != "sqlite3" && options_.storage != "mcap") {
    throw LiveError("unknown storage '" + options_.storage + "' (use db3 or mcap)");
  }
  if (!options_.all && wanted_.empty()) {
    throw LiveError("no topics to record (name some, or pass --all)");
  }
  if (std::filesystem::exists(options_.output)) {
    throw LiveError("output exists: " + options_.output);
  }
  try {
    writer_ = bag::Writer::create(options_.output, options_.storage);
  } catch (const std::exception & e) {
    throw LiveError("cannot create " + options_.output + ": " + e.what());
  }
}

Recorder::~Recorder()
{
  try {
    close();
  } catch (...) {
    // A destructor must not throw; close() reports failures to callers that call it themselves.
  }
}

std::vector<std::pair<std::string, std::string>> Recorder::discover()
{
  std::vector<std::pair<std::string, std::string>> added;
  for (const auto & [topic, types] : node_.get_topic_names_and_types()) {
    if (subscriptions_.count(topic) || (!options_.all && !wanted_.count(topic))) {
      continue;
    }
    if (types.size() != 1 || !is_supported(types.front())) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (warned_.insert(topic).second && (!options_.all || types.size() != 1)) {
        RCLCPP_WARN(
          node_.get_logger(), "not recording %s: %s", topic.c_str(),
          types.size() != 1 ? "more than one type on it" :
          ("type " + types.front() + " is not supported").c_str());
      }
      continue;
    }
    const std::string & type = types.front();
    rclcpp::QoS qos(options_.qos_depth);
    if (options_.best_effort) {
      qos.best_effort();
    }
    if (topic == "/tf_static") {
      // Late joiners get the static transforms only when they ask for the publisher's history.
      qos.transient_local();
    }
    bag::TopicMetadata meta;
    meta.name = topic;
    meta.type = type;
    meta.offered_qos_profiles = bag::qos_profile_yaml(
      static_cast<uint32_t>(options_.qos_depth), !options_.best_effort, topic == "/tf_static");
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!writer_) {
        break;
      }
      writer_->create_topic(meta);
      counts_[topic] = 0;
    }
    subscriptions_[topic] = make_subscription(
      node_, topic, type, qos, [this, name = topic](std::vector<uint8_t> && data) {
        write(name, std::move(data));
      });
    added.emplace_back(topic, type);
  }
  return added;
}

void Recorder::write(const std::string & topic, std::vector<uint8_t> && data)
{
  const int64_t stamp = node_.now().nanoseconds();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!writer_) {
    return;
  }
  writer_->write(topic, stamp, data);
  ++counts_[topic];
}

void Recorder::close()
{
  std::unique_ptr<bag::Writer> writer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    writer = std::move(writer_);
  }
  if (writer) {
    writer->close();
  }
}

std::map<std::string, uint64_t> Recorder::counts() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return counts_;
}

std::map<std::string, uint64_t> record(
  const RecordOptions & options, const std::atomic<bool> & stop,
  const std::function<void(const std::string &, const std::string &)> & on_subscribed,
  const std::function<void(const std::string &)> & on_warning)
{
  auto node = std::make_shared<rclcpp::Node>("sweepmend_bag_recorder");
  Recorder recorder(*node, options);
  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node);

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration_cast<Clock::duration>(
    std::chrono::duration<double>(options.duration));
  auto next_discovery = start;
  while (!stop.load() && rclcpp::ok() && (options.duration <= 0.0 || Clock::now() < end)) {
    if (Clock::now() >= next_discovery) {
      for (const auto & [topic, type] : recorder.discover()) {
        if (on_subscribed) {
          on_subscribed(topic, type);
        }
      }
      next_discovery = Clock::now() + std::chrono::milliseconds(100);
    }
    executor.spin_once(std::chrono::milliseconds(20));
  }
  // Whatever already reached the subscriptions belongs in the bag.
  if (rclcpp::ok()) {
    executor.spin_all(std::chrono::seconds(2));
  } else if (on_warning) {
    on_warning("rclcpp shut down before the last messages could be taken");
  }
  try {
    recorder.close();
  } catch (const std::exception & e) {
    throw LiveError("cannot finish " + options.output + ": " + e.what());
  }
  executor.remove_node(node);
  return recorder.counts();
}

}  // namespace live
}  // namespace sweepmend
