// The in-process graph: every publisher and subscription of the process, grouped by topic; and
// the choice between it and any other registered transport.

#include <atomic>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "rclcpp/detail/transport.hpp"
#include "rclcpp/logger.hpp"
#include "rclcpp/logging.hpp"

namespace rclcpp
{
namespace detail
{

namespace
{

// rmw leaves "system default" to the middleware; DDS writers default to reliable, readers to best
// effort, and both to volatile.
bool offers_reliable(const rmw_qos_profile_t & qos)
{
  return qos.reliability != RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT;
}

bool requests_reliable(const rmw_qos_profile_t & qos)
{
  return qos.reliability == RMW_QOS_POLICY_RELIABILITY_RELIABLE;
}

bool is_transient_local(const rmw_qos_profile_t & qos)
{
  return qos.durability == RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL;
}

/// Messages a keep-last endpoint holds; 0 means unbounded (keep-all). A depth of 0 with keep-last
/// makes no sense, DDS implementations treat it as 1.
size_t history_limit(const rmw_qos_profile_t & qos)
{
  if (qos.history == RMW_QOS_POLICY_HISTORY_KEEP_ALL) {
    return 0;
  }
  return qos.depth == 0 ? 1 : qos.depth;
}

class InProcessTransport : public Transport
{
public:
  EndpointId add_publisher(const EndpointInfo & info) override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const EndpointId id = next_id_++;
    publishers_.emplace(id, Publisher{info, {}});
    topics_[info.topic_name].publishers.push_back(id);
    for (EndpointId sub_id : topics_[info.topic_name].subscriptions) {
      warn_on_type_clash(info, subscriptions_.at(sub_id).info);
    }
    return id;
  }

  void remove_publisher(EndpointId publisher) override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = publishers_.find(publisher);
    if (it == publishers_.end()) {
      return;
    }
    erase_from(topics_[it->second.info.topic_name].publishers, publisher);
    publishers_.erase(it);
  }

  EndpointId add_subscription(
    const EndpointInfo & info, const std::shared_ptr<MessageSink> & sink) override
  {
    std::vector<MessagePtr> replay;
    EndpointId id = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      id = next_id_++;
      subscriptions_.emplace(id, Subscription{info, sink});
      auto & topic = topics_[info.topic_name];
      topic.subscriptions.push_back(id);
      for (EndpointId pub_id : topic.publishers) {
        const auto & pub = publishers_.at(pub_id);
        warn_on_type_clash(pub.info, info);
        // A late joiner only sees history it asked for with transient-local durability.
        if (matches(pub.info, info) && is_transient_local(info.qos)) {
          replay.insert(replay.end(), pub.history.begin(), pub.history.end());
        }
      }
    }
    for (const auto & message : replay) {
      sink->receive(message);
    }
    return id;
  }

  void remove_subscription(EndpointId subscription) override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = subscriptions_.find(subscription);
    if (it == subscriptions_.end()) {
      return;
    }
    erase_from(topics_[it->second.info.topic_name].subscriptions, subscription);
    subscriptions_.erase(it);
  }

  void publish(EndpointId publisher, MessagePtr message) override
  {
    std::vector<std::shared_ptr<MessageSink>> sinks;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = publishers_.find(publisher);
      if (it == publishers_.end()) {
        return;
      }
      auto & pub = it->second;
      if (is_transient_local(pub.info.qos)) {
        pub.history.push_back(message);
        const size_t limit = history_limit(pub.info.qos);
        while (limit != 0 && pub.history.size() > limit) {
          pub.history.pop_front();
        }
      }
      for (EndpointId sub_id : topics_[pub.info.topic_name].subscriptions) {
        const auto & sub = subscriptions_.at(sub_id);
        if (matches(pub.info, sub.info)) {
          if (auto sink = sub.sink.lock()) {
            sinks.push_back(std::move(sink));
          }
        }
      }
    }
    // Delivered outside the lock: a receiver may publish in turn.
    for (const auto & sink : sinks) {
      sink->receive(message);
    }
  }

  bool has_receivers(EndpointId publisher) const override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = publishers_.find(publisher);
    if (it == publishers_.end()) {
      return false;
    }
    return is_transient_local(it->second.info.qos) || count_matched_subscriptions(it->second) > 0;
  }

  size_t matched_subscription_count(EndpointId publisher) const override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = publishers_.find(publisher);
    return it == publishers_.end() ? 0 : count_matched_subscriptions(it->second);
  }

  size_t matched_publisher_count(EndpointId subscription) const override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = subscriptions_.find(subscription);
    if (it == subscriptions_.end()) {
      return 0;
    }
    size_t count = 0;
    auto topic = topics_.find(it->second.info.topic_name);
    for (EndpointId pub_id : topic->second.publishers) {
      if (matches(publishers_.at(pub_id).info, it->second.info)) {
        ++count;
      }
    }
    return count;
  }

  size_t count_publishers(const std::string & topic_name) const override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto topic = topics_.find(topic_name);
    return topic == topics_.end() ? 0 : topic->second.publishers.size();
  }

  size_t count_subscriptions(const std::string & topic_name) const override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto topic = topics_.find(topic_name);
    return topic == topics_.end() ? 0 : topic->second.subscriptions.size();
  }

  std::map<std::string, std::vector<std::string>> topic_names_and_types() const override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::map<std::string, std::vector<std::string>> out;
    for (const auto & [name, topic] : topics_) {
      std::set<std::string> types;
      for (EndpointId id : topic.publishers) {
        types.insert(publishers_.at(id).info.type_name);
      }
      for (EndpointId id : topic.subscriptions) {
        types.insert(subscriptions_.at(id).info.type_name);
      }
      if (!types.empty()) {
        out[name].assign(types.begin(), types.end());
      }
    }
    return out;
  }

private:
  struct Publisher
  {
    EndpointInfo info;
    std::deque<MessagePtr> history;
  };

  struct Subscription
  {
    EndpointInfo info;
    std::weak_ptr<MessageSink> sink;
  };

  struct Topic
  {
    std::vector<EndpointId> publishers;
    std::vector<EndpointId> subscriptions;
  };

  static void erase_from(std::vector<EndpointId> & ids, EndpointId id)
  {
    for (auto it = ids.begin(); it != ids.end(); ++it) {
      if (*it == id) {
        ids.erase(it);
        return;
      }
    }
  }

  static bool matches(const EndpointInfo & pub, const EndpointInfo & sub)
  {
    return pub.type_name == sub.type_name && qos_compatible(pub.qos, sub.qos);
  }

  size_t count_matched_subscriptions(const Publisher & pub) const
  {
    size_t count = 0;
    auto topic = topics_.find(pub.info.topic_name);
    for (EndpointId sub_id : topic->second.subscriptions) {
      if (matches(pub.info, subscriptions_.at(sub_id).info)) {
        ++count;
      }
    }
    return count;
  }

  void warn_on_type_clash(const EndpointInfo & pub, const EndpointInfo & sub)
  {
    if (pub.type_name == sub.type_name) {
      return;
    }
    auto key = std::make_tuple(pub.topic_name, pub.type_name, sub.type_name);
    if (!warned_clashes_.insert(key).second) {
      return;
    }
    RCLCPP_WARN(
      rclcpp::get_logger("rclcpp"),
      "topic '%s' is published as '%s' but subscribed as '%s'; no messages pass between them",
      pub.topic_name.c_str(), pub.type_name.c_str(), sub.type_name.c_str());
  }

  mutable std::mutex mutex_;
  EndpointId next_id_{1};
  std::map<EndpointId, Publisher> publishers_;
  std::map<EndpointId, Subscription> subscriptions_;
  std::map<std::string, Topic> topics_;
  std::set<std::tuple<std::string, std::string, std::string>> warned_clashes_;
};

}  // namespace

bool qos_compatible(const rmw_qos_profile_t & offered, const rmw_qos_profile_t & requested)
{
  if (requests_reliable(requested) && !offers_reliable(offered)) {
    return false;
  }
  if (is_transient_local(requested) && !is_transient_local(offered)) {
    return false;
  }
  return true;
}

namespace
{

struct TransportRegistry
{
  std::mutex mutex;
  std::map<std::string, TransportFactory> factories;
  std::string default_name{kInProcessTransportName};
  std::string selected_name;
  Transport * selected{nullptr};
};

TransportRegistry & registry()
{
  // Leaked on purpose: registrations run during static initialisation of other objects.
  static auto * r = new TransportRegistry();
  return *r;
}

Transport & select_transport_locked(TransportRegistry & r)
{
  if (r.selected != nullptr) {
    return *r.selected;
  }
  const char * requested = std::getenv("RMW_IMPLEMENTATION");
  const std::string name =
    (requested != nullptr && *requested != '\0') ? std::string(requested) : r.default_name;
  if (name == kInProcessTransportName) {
    // Leaked on purpose: endpoints owned by static objects unregister during static destruction.
    r.selected = new InProcessTransport();
  } else {
    auto it = r.factories.find(name);
    if (it == r.factories.end()) {
      std::string available = kInProcessTransportName;
      for (const auto & entry : r.factories) {
        available += ", " + entry.first;
      }
      throw std::runtime_error(
              "RMW implementation '" + name + "' is not available in this program (available: " +
              available + ")");
    }
    r.selected = it->second().release();
  }
  r.selected_name = name;
  return *r.selected;
}

}  // namespace

void register_transport(const std::string & name, TransportFactory factory, bool make_default)
{
  auto & r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.factories[name] = std::move(factory);
  if (make_default) {
    r.default_name = name;
  }
}

void set_default_transport(const std::string & name)
{
  auto & r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.default_name = name;
}

Transport & get_transport()
{
  auto & r = registry();
  // Fast path without the lock once chosen; the pointer never changes afterwards.
  static std::atomic<Transport *> chosen{nullptr};
  if (Transport * t = chosen.load(std::memory_order_acquire)) {
    return *t;
  }
  std::lock_guard<std::mutex> lock(r.mutex);
  Transport & t = select_transport_locked(r);
  chosen.store(&t, std::memory_order_release);
  return t;
}

std::string transport_name()
{
  get_transport();
  auto & r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.selected_name;
}

}  // namespace detail
}  // namespace rclcpp
