#include "live/player.hpp"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <limits>
#include <memory>
#include <set>
#include <thread>
#include <utility>

#include "live/message_registry.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "storage/bag.hpp"

namespace sweepmend
{
namespace live
{
namespace
{

using SteadyClock = std::chrono::steady_clock;

// How long the player sleeps at most before it looks at `stop` again.
constexpr auto kMaxSleep = std::chrono::milliseconds(50);
// Bag time the clock keeps running after the last message.
constexpr int64_t kClockTailNs = 100'000'000;

builtin_interfaces::msg::Time to_stamp(int64_t ns)
{
  builtin_interfaces::msg::Time t;
  t.sec = static_cast<int32_t>(ns / 1'000'000'000);
  t.nanosec = static_cast<uint32_t>(ns % 1'000'000'000);
  return t;
}

double seconds_since(SteadyClock::time_point start)
{
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

}  // namespace

PlaySummary play(
  rclcpp::Node & node, const PlayOptions & options, const std::atomic<bool> & stop,
  const std::function<void(const PlayProgress &)> & on_progress,
  const std::function<void(const std::string &)> & on_warning)
{
  auto warn = [&](const std::string & text) {
      if (on_warning) {
        on_warning(text);
      }
    };
  if (!(options.rate > 0.0)) {
    throw LiveError("the rate must be greater than 0");
  }
  if (options.clock && !(options.clock_hz > 0.0)) {
    throw LiveError("the clock frequency must be greater than 0");
  }
  if (!std::filesystem::exists(options.input)) {
    throw LiveError("bag not found: " + options.input);
  }
  std::unique_ptr<bag::Reader> reader;
  try {
    reader = bag::Reader::open(options.input);
  } catch (const std::exception & e) {
    throw LiveError(std::string("cannot read ") + options.input + ": " + e.what());
  }

  const std::set<std::string> selected(options.topics.begin(), options.topics.end());
  std::map<std::string, std::unique_ptr<SerializedPublisher>> publishers;
  for (const auto & t : reader->topics()) {
    if (!selected.empty() && !selected.count(t.name)) {
      continue;
    }
    if (options.clock && t.name == "/clock") {
      warn("not playing the recorded /clock: --clock publishes the bag's own time");
      continue;
    }
    auto pub = make_publisher(
      node, t.name, t.type, qos_from_offered_profiles(t.offered_qos_profiles, options.qos_depth));
    if (!pub) {
      warn("not playing " + t.name + ": type " + t.type + " is not supported");
      continue;
    }
    publishers.emplace(t.name, std::move(pub));
  }
  for (const auto & name : selected) {
    bool found = false;
    for (const auto & t : reader->topics()) {
      found = found || t.name == name;
    }
    if (!found) {
      warn("topic " + name + " is not in the bag");
    }
  }

  rclcpp::Publisher<rosgraph_msgs::msg::Clock>::SharedPtr clock_pub;
  if (options.clock) {
    clock_pub = node.create_publisher<rosgraph_msgs::msg::Clock>("/clock", rclcpp::ClockQoS());
  }

  PlaySummary summary;
  auto stopped = [&]() {return stop.load() || !rclcpp::ok();};

  if (options.wait_for_subscribers > 0.0) {
    const auto deadline = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
      std::chrono::duration<double>(options.wait_for_subscribers));
    while (!stopped()) {
      std::string waiting;
      for (const auto & [name, pub] : publishers) {
        if (pub->subscription_count() == 0) {
          waiting = name;
          break;
        }
      }
      if (waiting.empty()) {
        break;
      }
      if (SteadyClock::now() > deadline) {
        throw LiveError("no subscriber appeared on " + waiting);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  const int64_t bag_first = reader->start_time();
  const double bag_total = static_cast<double>(reader->end_time() - bag_first) * 1e-9;
  const auto wall_start = SteadyClock::now();
  // Wall time at which bag time `ns` is due.
  auto due = [&](int64_t ns) {
      return wall_start + std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(static_cast<double>(ns - bag_first) * 1e-9 / options.rate));
    };
  // Bag time that corresponds to the wall time now.
  auto bag_now = [&]() {
      return bag_first + static_cast<int64_t>(seconds_since(wall_start) * options.rate * 1e9);
    };
  const auto clock_period = std::chrono::duration_cast<SteadyClock::duration>(
    std::chrono::duration<double>(1.0 / options.clock_hz));
  auto next_clock = wall_start;
  int64_t clock_ns = bag_first - 1;
  // The schedule never runs the clock past the end of the tail, however late it wakes.
  int64_t clock_cap = std::numeric_limits<int64_t>::max();
  // The clock never runs backwards, whichever of the schedule and a message moved it last.
  auto publish_clock = [&](int64_t ns) {
      if (ns <= clock_ns) {
        return;
      }
      clock_ns = ns;
      rosgraph_msgs::msg::Clock c;
      c.clock = to_stamp(ns);
      clock_pub->publish(c);
      ++summary.clock_messages;
    };

  uint64_t messages = 0;
  auto last_report = SteadyClock::now();
  int64_t done_ns = bag_first;
  auto report = [&](bool force) {
      const auto now = SteadyClock::now();
      if (!on_progress || (!force && now - last_report < std::chrono::milliseconds(100))) {
        return;
      }
      last_report = now;
      PlayProgress p;
      p.bag_seconds_done = static_cast<double>(done_ns - bag_first) * 1e-9;
      p.bag_seconds_total = bag_total;
      p.messages = messages;
      p.wall_seconds = seconds_since(wall_start);
      on_progress(p);
    };
  // Sleeps until `until`, publishing /clock on its schedule meanwhile; false if stopped.
  auto wait_until = [&](SteadyClock::time_point until) {
      while (!stopped()) {
        const auto now = SteadyClock::now();
        if (clock_pub && now >= next_clock) {
          publish_clock(std::min(clock_cap, std::max(bag_first, bag_now())));
          next_clock += clock_period;
          if (next_clock < now) {
            next_clock = now + clock_period;
          }
          continue;
        }
        if (now >= until) {
          return true;
        }
        auto wake = std::min(until, now + kMaxSleep);
        if (clock_pub) {
          wake = std::min(wake, next_clock);
        }
        report(false);
        std::this_thread::sleep_until(wake);
      }
      return false;
    };

  if (clock_pub) {
    // The clock starts at the bag's first time, whatever the schedule makes of it.
    publish_clock(bag_first);
    next_clock = wall_start + clock_period;
  }
  bag::BagMessage m;
  int64_t last_ns = bag_first;
  while (!stopped()) {
    try {
      if (!reader->read_next(m)) {
        break;
      }
    } catch (const std::exception & e) {
      throw LiveError(std::string("cannot read ") + options.input + ": " + e.what());
    }
    auto it = publishers.find(m.topic);
    if (it == publishers.end()) {
      ++summary.skipped;
      continue;
    }
    if (!wait_until(due(m.timestamp))) {
      break;
    }
    if (clock_pub) {
      // Subscribers see the message's time on the clock no later than the message itself.
      publish_clock(m.timestamp);
    }
    try {
      it->second->publish(m.data.data(), m.data.size());
    } catch (const std::exception & e) {
      ++summary.decode_errors;
      warn("skipping a message on " + m.topic + " at " + std::to_string(m.timestamp) +
        " ns that cannot be decoded: " + e.what());
      continue;
    }
    ++summary.published[m.topic];
    ++messages;
    last_ns = std::max(last_ns, m.timestamp);
    done_ns = last_ns;
    report(false);
  }
  if (clock_pub && !stopped()) {
    const int64_t end_ns = last_ns + kClockTailNs;
    clock_cap = end_ns;
    if (wait_until(due(end_ns))) {
      publish_clock(end_ns);
    }
  }
  summary.interrupted = stopped();
  report(true);
  summary.bag_seconds = static_cast<double>(last_ns - bag_first) * 1e-9;
  summary.wall_seconds = seconds_since(wall_start);
  return summary;
}

}  // namespace live
}  // namespace sweepmend
