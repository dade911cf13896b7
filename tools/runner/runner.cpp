#include "runner/runner.hpp"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "cdr/cdr.hpp"
#include "live/message_registry.hpp"
#include "rclcpp/detail/spin_control.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "storage/bag.hpp"
#include "sweepmend/point_processer.hpp"

namespace sweepmend
{
namespace runner
{
namespace
{

namespace fs = std::filesystem;

// The node's processing timer period; the clock visits every multiple of it.
constexpr int64_t kTickNs = 10'000'000;

builtin_interfaces::msg::Time to_stamp(int64_t ns)
{
  builtin_interfaces::msg::Time t;
  t.sec = static_cast<int32_t>(ns / 1'000'000'000);
  t.nanosec = static_cast<uint32_t>(ns % 1'000'000'000);
  return t;
}

// The output is written under a hidden sibling folder and renamed into place only when the run
// succeeds, so a failed or interrupted run never leaves a partial bag behind.
class StagedOutput
{
public:
  explicit StagedOutput(const fs::path & target)
  : target_(target)
  {
    fs::path parent = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code ec;
    fs::create_directories(parent, ec);
    staging_ = parent / (".sweepmend_bag-" + std::to_string(::getpid()));
    fs::remove_all(staging_, ec);
    if (!fs::create_directories(staging_, ec)) {
      throw RunError("cannot create a folder next to " + target.string() + ": " + ec.message());
    }
  }
  ~StagedOutput()
  {
    std::error_code ec;
    fs::remove_all(staging_, ec);
  }
  StagedOutput(const StagedOutput &) = delete;
  StagedOutput & operator=(const StagedOutput &) = delete;

  // The bag directory keeps the target's name so that its data files are named as rosbag2 would.
  fs::path path() const {return staging_ / target_.filename();}

  void commit(bool overwrite)
  {
    std::error_code ec;
    if (fs::exists(target_)) {
      if (!overwrite) {
        throw RunError("output exists: " + target_.string() + " (pass --overwrite to replace it)");
      }
      fs::remove_all(target_, ec);
      if (ec) {
        throw RunError("cannot remove " + target_.string() + ": " + ec.message());
      }
    }
    fs::rename(path(), target_, ec);
    if (ec) {
      throw RunError("cannot move the output into place at " + target_.string() + ": " + ec.message());
    }
  }

private:
  fs::path target_;
  fs::path staging_;
};

// rclcpp is initialised for one run and shut down however the run ends.
class RclcppSession
{
public:
  explicit RclcppSession(const std::vector<std::string> & ros_args)
  {
    args_.push_back("sweepmend_bag");
    args_.push_back("--ros-args");
    for (const auto & a : ros_args) {
      args_.push_back(a);
    }
    // A block of its own after the user's arguments, so that simulated time always wins.
    args_.push_back("--ros-args");
    args_.push_back("-p");
    args_.push_back("use_sim_time:=true");
    std::vector<const char *> argv;
    for (const auto & a : args_) {
      argv.push_back(a.c_str());
    }
    rclcpp::init(static_cast<int>(argv.size()), argv.data());
  }
  ~RclcppSession() {rclcpp::shutdown();}
  RclcppSession(const RclcppSession &) = delete;
  RclcppSession & operator=(const RclcppSession &) = delete;

private:
  std::vector<std::string> args_;
};

double seconds_since(std::chrono::steady_clock::time_point start)
{
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

Summary run(
  const Options & options,
  const std::function<void(const Progress &)> & on_progress,
  const std::function<void(const std::string &)> & on_warning)
{
  const auto wall_start = std::chrono::steady_clock::now();
  auto warn = [&](const std::string & text) {
      if (on_warning) {
        on_warning(text);
      }
    };

  if (!options.storage.empty() && options.storage != "sqlite3" && options.storage != "mcap") {
    throw RunError("unknown storage '" + options.storage + "' (use sqlite3 or mcap)");
  }
  if (!fs::exists(options.input)) {
    throw RunError("input bag not found: " + options.input);
  }
  const fs::path target(options.output);
  if (fs::exists(target) && !options.overwrite) {
    throw RunError("output exists: " + options.output + " (pass --overwrite to replace it)");
  }
  if (fs::exists(target) && fs::equivalent(target, fs::path(options.input))) {
    throw RunError("the output would replace the input: " + options.output);
  }

  std::unique_ptr<bag::Reader> reader;
  try {
    reader = bag::Reader::open(options.input);
  } catch (const std::exception & e) {
    throw RunError(std::string("cannot read ") + options.input + ": " + e.what());
  }
  const std::string storage = options.storage.empty() ? reader->storage_id() : options.storage;

  Summary summary;
  const int64_t bag_start = reader->start_time();
  const double bag_total = static_cast<double>(reader->end_time() - bag_start) * 1e-9;

  StagedOutput staged(target);
  {
    std::unique_ptr<bag::Writer> writer;
    try {
      writer = bag::Writer::create(staged.path().string(), storage);
    } catch (const std::exception & e) {
      throw RunError(std::string("cannot create ") + options.output + ": " + e.what());
    }

    RclcppSession session(options.ros_args);
    std::shared_ptr<DataSubscriber> node;
    try {
      node = std::make_shared<DataSubscriber>();
    } catch (const std::exception & e) {
      throw RunError(std::string("the node failed to start: ") + e.what());
    }
    // Player and recorder live in the node's namespace so that relative topic names resolve alike.
    auto player = std::make_shared<rclcpp::Node>(
      "sweepmend_bag_player", node->get_namespace());
    auto recorder = std::make_shared<rclcpp::Node>(
      "sweepmend_bag_recorder", node->get_namespace());

    auto clock_pub = player->create_publisher<rosgraph_msgs::msg::Clock>(
      "/clock", rclcpp::ClockQoS());

    // Record both output topics under their resolved names; the raw one also tells whether a
    // cycle grouped a scan.
    uint64_t raw_published = 0;
    // A failed write (a full disk, say) ends the run after the callback returns: it is raised
    // by settle() below rather than thrown through the executor.
    std::string write_error;
    std::vector<rclcpp::Subscription<sensor_msgs::msg::PointCloud2>::SharedPtr> recordings;
    std::vector<std::string> resolved_outputs(2);
    const std::string output_topics[] = {lidar_topic_undistorted, lidar_topic_undistorted_raw};
    for (size_t i = 0; i < 2; ++i) {
      const bool is_raw = (i == 1);
      std::string & topic = resolved_outputs[i];
      recordings.push_back(
        recorder->create_subscription<sensor_msgs::msg::PointCloud2>(
          output_topics[i], rclcpp::QoS(1000),
          [&, is_raw](const sensor_msgs::msg::PointCloud2::ConstSharedPtr & msg) {
            if (!write_error.empty()) {
              return;
            }
            try {
              // Encoded straight into the storage's buffer.
              const std::size_t size = cdr::serialized_size(*msg);
              writer->write(
                topic, recorder->now().nanoseconds(), size,
                [&msg, size](uint8_t * out) {cdr::serialize_into(*msg, out, size);});
            } catch (const std::exception & e) {
              write_error = e.what();
              return;
            }
            ++summary.published[topic];
            if (is_raw) {
              ++raw_published;
            }
          }));
      topic = recordings.back()->get_topic_name();
      bag::TopicMetadata meta;
      meta.name = topic;
      meta.type = "sensor_msgs/msg/PointCloud2";
      meta.offered_qos_profiles = bag::qos_profile_yaml(1, true, false);
      writer->create_topic(meta);
      summary.published[topic] = 0;
    }

    rclcpp::executors::SingleThreadedExecutor executor;
    executor.add_node(node);
    executor.add_node(player);
    executor.add_node(recorder);
    auto settle = [&]() {
        rclcpp::detail::spin_until_idle(executor);
        if (!write_error.empty()) {
          throw RunError("cannot write " + options.output + ": " + write_error);
        }
      };

    // One player per input topic the node listens to; everything else is skipped.
    std::map<std::string, std::unique_ptr<live::SerializedPublisher>> players;
    for (const auto & t : reader->topics()) {
      if (t.name == resolved_outputs[0] || t.name == resolved_outputs[1] || t.name == "/clock") {
        continue;
      }
      auto p = live::make_publisher(*player, t.name, t.type, rclcpp::QoS(100));
      if (p && p->subscription_count() > 0) {
        players.emplace(t.name, std::move(p));
      }
    }
    const std::string scan_topic = [&]() {
        for (const auto & t : reader->topics()) {
          if (players.count(t.name) && t.type != "sensor_msgs/msg/Imu") {
            return t.name;
          }
        }
        return std::string();
      }();
    settle();

    int64_t clock_ns = -1;
    auto set_clock = [&](int64_t ns) {
        rosgraph_msgs::msg::Clock c;
        c.clock = to_stamp(ns);
        clock_pub->publish(c);
        clock_ns = ns;
        settle();
      };
    auto last = std::chrono::steady_clock::now();
    auto report = [&](bool force) {
        if (!on_progress) {
          return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - last < std::chrono::milliseconds(100)) {
          return;
        }
        last = now;
        Progress p;
        p.bag_seconds_done = clock_ns < 0 ? 0.0 : static_cast<double>(clock_ns - bag_start) * 1e-9;
        p.bag_seconds_total = bag_total;
        p.scans_in = summary.scans_in;
        p.scans_out = raw_published;
        p.wall_seconds = seconds_since(wall_start);
        on_progress(p);
      };

    bag::BagMessage m;
    while (true) {
      try {
        if (!reader->read_next(m)) {
          break;
        }
      } catch (const std::exception & e) {
        throw RunError(std::string("cannot read ") + options.input + ": " + e.what());
      }
      ++summary.messages_read;
      if (!rclcpp::ok()) {
        throw RunError("interrupted");
      }
      auto it = players.find(m.topic);
      if (it == players.end()) {
        ++summary.messages_skipped;
        continue;
      }
      if (clock_ns >= 0) {
        // Every processing cycle between two messages runs, each on its own grid point.
        for (int64_t t = (clock_ns / kTickNs + 1) * kTickNs; t < m.timestamp; t += kTickNs) {
          set_clock(t);
        }
      }
      if (m.timestamp > clock_ns) {
        set_clock(m.timestamp);
      }
      try {
        it->second->publish(m.data.data(), m.data.size());
      } catch (const std::exception & e) {
        ++summary.decode_errors;
        warn("skipping a message on " + m.topic + " at " + std::to_string(m.timestamp) +
          " ns that cannot be decoded: " + e.what());
        continue;
      }
      ++summary.messages_played;
      if (m.topic == scan_topic) {
        ++summary.scans_in;
      }
      settle();
      report(false);
    }

    // Drain: keep ticking while cycles still group scans.
    if (clock_ns >= 0) {
      while (rclcpp::ok()) {
        const uint64_t before = raw_published;
        set_clock((clock_ns / kTickNs + 1) * kTickNs);
        if (raw_published == before) {
          break;
        }
      }
    }
    if (!rclcpp::ok()) {
      throw RunError("interrupted");
    }
    report(true);
    summary.scans_grouped = raw_published;
    summary.bag_seconds = clock_ns < 0 ? 0.0 : static_cast<double>(clock_ns - bag_start) * 1e-9;
    try {
      writer->close();
    } catch (const std::exception & e) {
      throw RunError(std::string("cannot write ") + options.output + ": " + e.what());
    }
    executor.remove_node(recorder);
    executor.remove_node(player);
    executor.remove_node(node);
  }
  staged.commit(options.overwrite);
  summary.wall_seconds = seconds_since(wall_start);
  return summary;
}

}  // namespace runner
}  // namespace sweepmend
