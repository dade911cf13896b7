// The Cyclone DDS transport.
//
// Payloads travel through a raw-CDR sertype (raw_cdr_type.hpp) rather than idlc-generated types:
// the project's own CDR codecs (shared with the bag tools) produce and consume the exact bytes
// Humble's middleware puts on the wire, including its zero padding, and received bytes reach our
// bounds-checked decoder directly, so one codec per type serves both the network and the bags,
// large clouds are copied once on each side, and no XTypes information is announced (Humble
// announces none either).
//
// Locking: mutex_ guards the tables; rosout_mutex_ guards the /rosout writers that the logging
// hook uses. Nothing logs while holding mutex_ (the logging hook may need it indirectly), and
// DDS writes of user messages happen outside it because a reliable write may block.
#include "dds_transport/dds_transport.hpp"

#include <dds/dds.h>
#include <dds/ddsi/ddsi_serdata.h>
#include <dds/ddsi/ddsi_sertype.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "dds_transport/message_codecs.hpp"
#include "dds_transport/qos_mapping.hpp"
#include "dds_transport/raw_cdr_type.hpp"
#include "rcl_interfaces/msg/log.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/logging.hpp"
#include "rcutils/logging.h"
#include "rmw/qos_profiles.h"
#include "rmw_dds_common/msg/participant_entities_info.hpp"

namespace sweepmend
{
namespace dds_transport
{
namespace
{

using rclcpp::detail::EndpointInfo;
using rclcpp::detail::MessagePtr;
using rclcpp::detail::MessageSink;
using rclcpp::detail::NodeInfo;
using rclcpp::detail::Transport;
using EndpointId = Transport::EndpointId;
using Gid = rmw_dds_common::msg::Gid;

constexpr const char * kDiscoveryTopic = "ros_discovery_info";
constexpr const char * kDiscoveryType = "rmw_dds_common/msg/ParticipantEntitiesInfo";
constexpr const char * kLocalhostOnlyConfig =
  "<CycloneDDS><Domain><General><Interfaces><NetworkInterface address=\"127.0.0.1\"/>"
  "</Interfaces></General></Domain></CycloneDDS>,";

rclcpp::Logger logger() {return rclcpp::get_logger("rmw_cyclonedds_cpp");}

/// The 24-byte ROS GID of a DDS entity: its 16-byte GUID and eight zero bytes.
Gid gid_of(dds_entity_t entity)
{
  Gid gid;
  dds_guid_t guid;
  if (dds_get_guid(entity, &guid) == DDS_RETCODE_OK) {
    std::memcpy(gid.data.data(), guid.v, sizeof(guid.v));
  }
  return gid;
}

rmw_qos_profile_t rosout_qos()
{
  rmw_qos_profile_t qos = rmw_qos_profile_default;
  qos.depth = 1000;
  qos.durability = RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL;
  qos.lifespan = rmw_time_t{10, 0};
  return qos;
}

/// What the data-available listener of one reader needs.
struct ReaderContext
{
  std::string topic;
  std::string ros_type;
  std::weak_ptr<MessageSink> sink;
  DropThrottle throttle;
};

void on_data_available(dds_entity_t reader, void * arg)
{
  auto * rc = static_cast<ReaderContext *>(arg);
  ddsi_serdata * sample = nullptr;
  dds_sample_info_t info;
  while (dds_takecdr(reader, &sample, 1, &info, DDS_ANY_STATE) == 1) {
    if (info.valid_data) {
      receive_payload(
        rc->topic, rc->ros_type, raw_cdr_data(sample), raw_cdr_size(sample), rc->throttle,
        [rc](const MessagePtr & message) {
          if (auto sink = rc->sink.lock()) {
            sink->receive(message);
          }
        });
    }
    ddsi_serdata_unref(sample);
  }
}

struct TopicEntry
{
  dds_entity_t topic{0};
  const ddsi_sertype * type{nullptr};
  std::string dds_type;
};

struct Participant
{
  std::weak_ptr<rclcpp::Context> context;
  size_t domain_id{0};
  dds_entity_t participant{0};
  dds_entity_t publisher{0};
  dds_entity_t subscriber{0};
  dds_entity_t discovery_writer{0};
  const ddsi_sertype * discovery_type{nullptr};
  dds_entity_t builtin_publications{0};
  dds_entity_t builtin_subscriptions{0};
  Gid gid;
  std::map<std::string, TopicEntry> topics;
  bool closed{false};
};

struct Writer
{
  dds_entity_t entity{0};
  const ddsi_sertype * type{nullptr};
};

struct NodeRecord
{
  NodeInfo info;
  Participant * participant{nullptr};
  Writer rosout;
  Writer parameter_events;
};

struct EndpointRecord
{
  EndpointInfo info;
  Participant * participant{nullptr};
  bool is_reader{false};
  dds_entity_t entity{0};
  const ddsi_sertype * type{nullptr};
  const MessageCodec * codec{nullptr};
  std::unique_ptr<ReaderContext> reader_context;
  Gid gid;
};

class DdsTransport;
std::atomic<DdsTransport *> g_rosout_transport{nullptr};
rcutils_logging_output_handler_t g_previous_output_handler = nullptr;

void rosout_output_handler(
  const rcutils_log_location_t * location, int severity, const char * name,
  rcutils_time_point_value_t timestamp, const char * format, va_list * args);

class DdsTransport : public Transport
{
public:
  ~DdsTransport() override
  {
    g_rosout_transport.store(nullptr);
  }

  EndpointId add_publisher(const EndpointInfo & info) override
  {
    return add_endpoint(info, nullptr);
  }

  void remove_publisher(EndpointId publisher) override {remove_endpoint(publisher);}

  EndpointId add_subscription(
    const EndpointInfo & info, const std::shared_ptr<MessageSink> & sink) override
  {
    return add_endpoint(info, sink);
  }

  void remove_subscription(EndpointId subscription) override {remove_endpoint(subscription);}

  void publish(EndpointId publisher, MessagePtr message) override
  {
    Writer writer;
    const MessageCodec * codec = nullptr;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      auto it = endpoints_.find(publisher);
      if (it == endpoints_.end() || it->second.is_reader || it->second.entity <= 0) {
        return;
      }
      writer = Writer{it->second.entity, it->second.type};
      codec = it->second.codec;
    }
    write(writer, codec->encode(message.get()));
  }

  bool has_receivers(EndpointId publisher) const override
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = endpoints_.find(publisher);
    if (it == endpoints_.end() || it->second.entity <= 0) {
      return false;
    }
    if (it->second.info.qos.durability == RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL) {
      return true;
    }
    dds_publication_matched_status_t status;
    return dds_get_publication_matched_status(it->second.entity, &status) == DDS_RETCODE_OK &&
           status.current_count > 0;
  }

  size_t matched_subscription_count(EndpointId publisher) const override
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = endpoints_.find(publisher);
    dds_publication_matched_status_t status;
    if (it == endpoints_.end() || it->second.entity <= 0 ||
      dds_get_publication_matched_status(it->second.entity, &status) != DDS_RETCODE_OK)
    {
      return 0;
    }
    return status.current_count;
  }

  size_t matched_publisher_count(EndpointId subscription) const override
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = endpoints_.find(subscription);
    dds_subscription_matched_status_t status;
    if (it == endpoints_.end() || it->second.entity <= 0 ||
      dds_get_subscription_matched_status(it->second.entity, &status) != DDS_RETCODE_OK)
    {
      return 0;
    }
    return status.current_count;
  }

  size_t count_publishers(const std::string & topic_name) const override
  {
    return count_endpoints(topic_name, false);
  }

  size_t count_subscriptions(const std::string & topic_name) const override
  {
    return count_endpoints(topic_name, true);
  }

  EndpointId add_node(const NodeInfo & info) override
  {
    EndpointId id = 0;
    std::string error;
    std::string fatal;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      try {
        if (Participant * p = participant_for(info.context)) {
          id = register_node(*p, info, error);
        }
      } catch (const std::runtime_error & e) {
        fatal = e.what();
      }
    }
    if (!error.empty()) {
      RCLCPP_ERROR(logger(), "%s", error.c_str());
    }
    if (!fatal.empty()) {
      // Reported as Humble's middleware reports it; the node's creation then fails.
      RCLCPP_ERROR(logger(), "%s", fatal.c_str());
      throw std::runtime_error(fatal);
    }
    return id;
  }

  void remove_node(EndpointId node) override
  {
    std::vector<dds_entity_t> to_delete;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      auto it = nodes_.find(node);
      if (it == nodes_.end()) {
        return;
      }
      {
        std::lock_guard<std::recursive_mutex> rosout_lock(rosout_mutex_);
        for (auto w = rosout_writers_.begin(); w != rosout_writers_.end(); ) {
          w = w->second.first == node ? rosout_writers_.erase(w) : std::next(w);
        }
      }
      Participant * p = it->second.participant;
      for (const Writer & w : {it->second.rosout, it->second.parameter_events}) {
        if (w.entity > 0) {
          to_delete.push_back(w.entity);
        }
      }
      nodes_.erase(it);
      if (!p->closed) {
        for (dds_entity_t e : to_delete) {
          dds_delete(e);
        }
        announce(*p);
      }
    }
  }

  void publish_parameter_event(
    EndpointId node, const rcl_interfaces::msg::ParameterEvent & event) override
  {
    Writer writer;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      auto it = nodes_.find(node);
      if (it == nodes_.end() || it->second.participant->closed) {
        return;
      }
      writer = it->second.parameter_events;
    }
    if (writer.entity > 0) {
      write(writer, find_codec("rcl_interfaces/msg/ParameterEvent")->encode(&event));
    }
  }

  /// Publishes one log record on the /rosout writer of the node whose logger emitted it.
  void publish_rosout(
    const rcutils_log_location_t * location, int severity, const char * name,
    rcutils_time_point_value_t timestamp, const char * format, va_list * args)
  {
    // A record emitted while publishing a record (for example by a local /rosout subscriber that
    // fails) is not published again.
    thread_local bool busy = false;
    if (busy || name == nullptr) {
      return;
    }
    busy = true;
    std::lock_guard<std::recursive_mutex> lock(rosout_mutex_);
    auto range = rosout_writers_.equal_range(name);
    if (range.first != range.second) {
      rcl_interfaces::msg::Log record;
      record.stamp.sec = static_cast<int32_t>(timestamp / 1000000000);
      record.stamp.nanosec = static_cast<uint32_t>(timestamp % 1000000000);
      if (timestamp < 0 && record.stamp.nanosec != 0) {
        record.stamp.sec -= 1;
        record.stamp.nanosec = static_cast<uint32_t>(timestamp % 1000000000 + 1000000000);
      }
      record.level = static_cast<uint8_t>(severity);
      record.name = name;
      record.msg = format_message(format, args);
      if (location != nullptr) {
        record.file = location->file_name != nullptr ? location->file_name : "";
        record.function = location->function_name != nullptr ? location->function_name : "";
        record.line = static_cast<uint32_t>(location->line_number);
      }
      const auto payload = find_codec("rcl_interfaces/msg/Log")->encode(&record);
      for (auto it = range.first; it != range.second; ++it) {
        write(it->second.second, payload);
      }
    }
    busy = false;
  }

private:
  static std::string format_message(const char * format, va_list * args)
  {
    if (format == nullptr) {
      return std::string();
    }
    va_list copy;
    va_copy(copy, *args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) {
      return std::string();
    }
    std::vector<char> text(static_cast<size_t>(needed) + 1);
    va_copy(copy, *args);
    std::vsnprintf(text.data(), text.size(), format, copy);
    va_end(copy);
    return std::string(text.data(), static_cast<size_t>(needed));
  }

  static void write(const Writer & writer, std::vector<uint8_t> payload)
  {
    // The sample's reference passes to Cyclone.
    dds_writecdr(writer.entity, make_raw_cdr_sample(writer.type, std::move(payload)));
  }

  /// A node's own writers (/rosout, /parameter_events) and its place in the announcements.
  EndpointId register_node(Participant & p, const NodeInfo & info, std::string & error)
  {
    const EndpointId id = next_id_++;
    NodeRecord record;
    record.info = info;
    record.participant = &p;
    if (info.enable_rosout) {
      record.rosout = create_writer(p, "/rosout", "rcl_interfaces/msg/Log", rosout_qos(), error);
    }
    if (info.enable_parameter_events) {
      record.parameter_events = create_writer(
        p, "/parameter_events", "rcl_interfaces/msg/ParameterEvent",
        rmw_qos_profile_parameter_events, error);
    }
    if (record.rosout.entity > 0) {
      std::lock_guard<std::recursive_mutex> rosout_lock(rosout_mutex_);
      rosout_writers_.emplace(info.logger_name, std::make_pair(id, record.rosout));
    }
    nodes_.emplace(id, std::move(record));
    announce(p);
    return id;
  }

  EndpointId add_endpoint(const EndpointInfo & info, const std::shared_ptr<MessageSink> & sink)
  {
    const bool is_reader = static_cast<bool>(sink);
    EndpointId id = 0;
    std::string error;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      id = next_id_++;
      EndpointRecord record;
      record.info = info;
      record.is_reader = is_reader;
      record.codec = find_codec(info.type_name);
      Participant * p = nullptr;
      try {
        p = participant_for(info.context);
      } catch (const std::exception & e) {
        error = e.what();
      }
      if (record.codec == nullptr) {
        error = "type '" + info.type_name + "' has no DDS codec; the " +
          (is_reader ? "subscription" : "publisher") + " on '" + info.topic_name +
          "' stays unconnected";
      } else if (p != nullptr) {
        record.participant = p;
        const std::string topic_name = info.qos.avoid_ros_namespace_conventions ?
          info.topic_name : dds_topic_name(info.topic_name);
        const TopicEntry * topic = topic_for(*p, topic_name, record.codec->dds_type, error);
        if (topic != nullptr) {
          dds_qos_t * qos = make_endpoint_qos(info.qos);
          if (is_reader) {
            record.reader_context = std::make_unique<ReaderContext>();
            record.reader_context->topic = info.topic_name;
            record.reader_context->ros_type = info.type_name;
            record.reader_context->sink = sink;
            dds_listener_t * listener = dds_create_listener(record.reader_context.get());
            dds_lset_data_available(listener, on_data_available);
            record.entity = dds_create_reader(p->subscriber, topic->topic, qos, listener);
            dds_delete_listener(listener);
          } else {
            record.entity = dds_create_writer(p->publisher, topic->topic, qos, nullptr);
          }
          dds_delete_qos(qos);
          if (record.entity < 0) {
            error = std::string("cannot create a DDS ") + (is_reader ? "reader" : "writer") +
              " on '" + topic_name + "': " + dds_strretcode(record.entity);
            record.entity = 0;
          } else {
            record.type = topic->type;
            record.gid = gid_of(record.entity);
          }
        }
      }
      Participant * announce_on = record.entity > 0 ? record.participant : nullptr;
      endpoints_.emplace(id, std::move(record));
      if (announce_on != nullptr) {
        announce(*announce_on);
      }
    }
    if (!error.empty()) {
      RCLCPP_ERROR(logger(), "%s", error.c_str());
    }
    return id;
  }

  void remove_endpoint(EndpointId id)
  {
    EndpointRecord record;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      auto it = endpoints_.find(id);
      if (it == endpoints_.end()) {
        return;
      }
      record = std::move(it->second);
      endpoints_.erase(it);
      if (record.entity <= 0 || record.participant->closed) {
        return;
      }
    }
    // Deleting a reader waits for a listener call in progress, which must not wait for us.
    dds_delete(record.entity);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!record.participant->closed) {
      announce(*record.participant);
    }
  }

  std::map<std::string, std::vector<std::string>> topic_names_and_types() const override
  {
    std::map<std::string, std::set<std::string>> found;
    for (const bool readers : {false, true}) {
      dds_entity_t builtin = 0;
      {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        for (const auto & entry : participants_) {
          if (!entry.second->closed) {
            builtin = readers ? entry.second->builtin_subscriptions :
              entry.second->builtin_publications;
            break;
          }
        }
      }
      if (builtin <= 0) {
        continue;
      }
      constexpr int kMax = 1024;
      std::vector<void *> samples(kMax, nullptr);
      std::vector<dds_sample_info_t> infos(kMax);
      const dds_return_t n = dds_read(builtin, samples.data(), infos.data(), kMax, kMax);
      for (dds_return_t i = 0; i < n; ++i) {
        const auto * endpoint = static_cast<const dds_builtintopic_endpoint_t *>(samples[i]);
        if (!infos[i].valid_data || infos[i].instance_state != DDS_ALIVE_INSTANCE_STATE ||
          endpoint->topic_name == nullptr || endpoint->type_name == nullptr)
        {
          continue;
        }
        // Only ROS topics ("rt/...") with ROS type names ("pkg::msg::dds_::Name_"), as the ROS
        // graph API shows them.
        const std::string topic = endpoint->topic_name;
        const std::string type = endpoint->type_name;
        const std::string marker = "::dds_::";
        const size_t at = type.find(marker);
        if (topic.rfind("rt/", 0) != 0 || at == std::string::npos || type.back() != '_') {
          continue;
        }
        std::string ros_type = type.substr(0, at) + "/" +
          type.substr(at + marker.size(), type.size() - at - marker.size() - 1);
        for (size_t pos; (pos = ros_type.find("::")) != std::string::npos; ) {
          ros_type.replace(pos, 2, "/");
        }
        found[topic.substr(2)].insert(ros_type);
      }
      if (n > 0) {
        dds_return_loan(builtin, samples.data(), n);
      }
    }
    std::map<std::string, std::vector<std::string>> out;
    for (const auto & [topic, types] : found) {
      out[topic].assign(types.begin(), types.end());
    }
    return out;
  }

  size_t count_endpoints(const std::string & topic_name, bool readers) const
  {
    dds_entity_t builtin = 0;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      for (const auto & entry : participants_) {
        if (!entry.second->closed) {
          builtin = readers ? entry.second->builtin_subscriptions :
            entry.second->builtin_publications;
          break;
        }
      }
    }
    if (builtin <= 0) {
      return 0;
    }
    const std::string wanted = dds_topic_name(topic_name);
    constexpr int kMax = 1024;
    std::vector<void *> samples(kMax, nullptr);
    std::vector<dds_sample_info_t> infos(kMax);
    const dds_return_t n = dds_read(builtin, samples.data(), infos.data(), kMax, kMax);
    size_t count = 0;
    for (dds_return_t i = 0; i < n; ++i) {
      const auto * endpoint = static_cast<const dds_builtintopic_endpoint_t *>(samples[i]);
      if (infos[i].valid_data && infos[i].instance_state == DDS_ALIVE_INSTANCE_STATE &&
        endpoint->topic_name != nullptr && wanted == endpoint->topic_name)
      {
        ++count;
      }
    }
    if (n > 0) {
      dds_return_loan(builtin, samples.data(), n);
    }
    return count;
  }

  /// The participant of a context, created on first use. Returns nullptr for a context that
  /// has shut down; throws if Cyclone refuses to start.
  Participant * participant_for(const std::weak_ptr<rclcpp::Context> & weak_context)
  {
    std::shared_ptr<rclcpp::Context> context = weak_context.lock();
    if (!context) {
      context = rclcpp::contexts::get_global_default_context();
    }
    auto it = participants_.find(context.get());
    if (it != participants_.end()) {
      return it->second.get();
    }
    if (!context->is_valid()) {
      return nullptr;
    }
    auto p = std::make_unique<Participant>();
    p->context = context;
    p->domain_id = context->get_domain_id();
    acquire_domain(p->domain_id);

    dds_qos_t * qos = dds_create_qos();
    static const char kEnclave[] = "enclave=/;";
    dds_qset_userdata(qos, kEnclave, sizeof(kEnclave) - 1);
    p->participant = dds_create_participant(static_cast<dds_domainid_t>(p->domain_id), qos, nullptr);
    dds_delete_qos(qos);
    if (p->participant < 0) {
      const std::string reason = dds_strretcode(p->participant);
      release_domain(p->domain_id);
      throw std::runtime_error("rmw_create_node: failed to create DDS participant: " + reason);
    }
    p->gid = gid_of(p->participant);
    p->publisher = dds_create_publisher(p->participant, nullptr, nullptr);
    p->subscriber = dds_create_subscriber(p->participant, nullptr, nullptr);
    p->builtin_publications =
      dds_create_reader(p->participant, DDS_BUILTIN_TOPIC_DCPSPUBLICATION, nullptr, nullptr);
    p->builtin_subscriptions =
      dds_create_reader(p->participant, DDS_BUILTIN_TOPIC_DCPSSUBSCRIPTION, nullptr, nullptr);

    std::string error;
    rmw_qos_profile_t discovery_qos = rmw_qos_profile_default;
    discovery_qos.depth = 1;
    discovery_qos.durability = RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL;
    discovery_qos.avoid_ros_namespace_conventions = true;
    const Writer discovery = create_writer(*p, kDiscoveryTopic, kDiscoveryType, discovery_qos, error);
    p->discovery_writer = discovery.entity;
    p->discovery_type = discovery.type;

    Participant * raw = p.get();
    participants_.emplace(context.get(), std::move(p));
    rclcpp::Context * key = context.get();
    context->add_pre_shutdown_callback([this, key]() {close_participant(key);});
    install_rosout_hook();
    return raw;
  }

  void acquire_domain(size_t domain_id)
  {
    auto & domain = domains_[domain_id];
    if (domain.second++ > 0) {
      return;
    }
    // As Humble's middleware: the localhost-only interface selection goes before the user's
    // configuration, so both together name the loopback interface twice and Cyclone refuses.
    const char * localhost_only = std::getenv("ROS_LOCALHOST_ONLY");
    std::string config =
      (localhost_only != nullptr && std::strcmp(localhost_only, "1") == 0) ?
      kLocalhostOnlyConfig : "";
    const char * uri = std::getenv("CYCLONEDDS_URI");
    if (uri != nullptr) {
      config += uri;
    }
    domain.first = dds_create_domain(static_cast<dds_domainid_t>(domain_id), config.c_str());
    if (domain.first < 0) {
      const std::string reason = dds_strretcode(domain.first);
      domains_.erase(domain_id);
      throw std::runtime_error("rmw_create_node: failed to create domain, error " + reason);
    }
  }

  void release_domain(size_t domain_id)
  {
    auto it = domains_.find(domain_id);
    if (it != domains_.end() && --it->second.second == 0) {
      dds_delete(it->second.first);
      domains_.erase(it);
    }
  }

  void close_participant(rclcpp::Context * key)
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = participants_.find(key);
    if (it == participants_.end() || it->second->closed) {
      return;
    }
    Participant & p = *it->second;
    // Other processes drop our nodes at once instead of when the participant's lease runs out.
    write_discovery(p, rmw_dds_common::msg::ParticipantEntitiesInfo{p.gid, {}});
    {
      std::lock_guard<std::recursive_mutex> rosout_lock(rosout_mutex_);
      for (auto w = rosout_writers_.begin(); w != rosout_writers_.end(); ) {
        auto node = nodes_.find(w->second.first);
        w = (node != nodes_.end() && node->second.participant == &p) ?
          rosout_writers_.erase(w) : std::next(w);
      }
    }
    p.closed = true;
    // Deleting the participant deletes all its readers and writers (waiting for listeners).
    dds_delete(p.participant);
    release_domain(p.domain_id);
    // Records of endpoints and nodes still point at it; a re-initialised context gets a new one.
    retired_.push_back(std::move(it->second));
    participants_.erase(it);
  }

  /// The topic entity for `topic_name` on a participant, created on first use.
  const TopicEntry * topic_for(
    Participant & p, const std::string & topic_name, const std::string & dds_type,
    std::string & error)
  {
    auto it = p.topics.find(topic_name);
    if (it != p.topics.end()) {
      if (it->second.dds_type != dds_type) {
        error = "topic '" + topic_name + "' is already used with type '" + it->second.dds_type +
          "' in this process; cannot use it with '" + dds_type + "'";
        return nullptr;
      }
      return &it->second;
    }
    ddsi_sertype * type = make_raw_cdr_type(dds_type);
    const dds_entity_t topic =
      dds_create_topic_sertype(p.participant, topic_name.c_str(), &type, nullptr, nullptr, nullptr);
    if (topic < 0) {
      error = "cannot create DDS topic '" + topic_name + "' of type '" + dds_type + "': " +
        dds_strretcode(topic);
      return nullptr;
    }
    TopicEntry entry{topic, type, dds_type};
    return &p.topics.emplace(topic_name, entry).first->second;
  }

  Writer create_writer(
    Participant & p, const std::string & ros_topic, const std::string & ros_type,
    const rmw_qos_profile_t & profile, std::string & error)
  {
    const std::string topic_name = profile.avoid_ros_namespace_conventions ?
      ros_topic : dds_topic_name(ros_topic);
    const TopicEntry * topic = topic_for(p, topic_name, dds_type_name(ros_type), error);
    if (topic == nullptr) {
      return Writer{};
    }
    dds_qos_t * qos = make_endpoint_qos(profile);
    const dds_entity_t writer = dds_create_writer(p.publisher, topic->topic, qos, nullptr);
    dds_delete_qos(qos);
    if (writer < 0) {
      error = "cannot create a DDS writer on '" + topic_name + "': " + dds_strretcode(writer);
      return Writer{};
    }
    return Writer{writer, topic->type};
  }

  /// Publishes the participant's current nodes and their endpoints on ros_discovery_info.
  void announce(Participant & p)
  {
    if (p.closed || p.discovery_writer <= 0) {
      return;
    }
    rmw_dds_common::msg::ParticipantEntitiesInfo message;
    message.gid = p.gid;
    for (const auto & entry : nodes_) {
      const NodeRecord & node = entry.second;
      if (node.participant != &p) {
        continue;
      }
      rmw_dds_common::msg::NodeEntitiesInfo info;
      info.node_namespace = node.info.node_namespace;
      info.node_name = node.info.name;
      for (const Writer & w : {node.rosout, node.parameter_events}) {
        if (w.entity > 0) {
          info.writer_gid_seq.push_back(gid_of(w.entity));
        }
      }
      for (const auto & endpoint : endpoints_) {
        const EndpointRecord & e = endpoint.second;
        if (e.participant != &p || e.entity <= 0 ||
          e.info.node_name != node.info.fully_qualified_name)
        {
          continue;
        }
        (e.is_reader ? info.reader_gid_seq : info.writer_gid_seq).push_back(e.gid);
      }
      message.node_entities_info_seq.push_back(std::move(info));
    }
    write_discovery(p, message);
  }

  static void write_discovery(
    const Participant & p, const rmw_dds_common::msg::ParticipantEntitiesInfo & message)
  {
    if (p.discovery_writer > 0) {
      write(Writer{p.discovery_writer, p.discovery_type}, find_codec(kDiscoveryType)->encode(&message));
    }
  }

  void install_rosout_hook()
  {
    DdsTransport * expected = nullptr;
    if (g_rosout_transport.compare_exchange_strong(expected, this)) {
      g_previous_output_handler = rcutils_logging_get_output_handler();
      rcutils_logging_set_output_handler(rosout_output_handler);
    }
  }

  mutable std::recursive_mutex mutex_;
  EndpointId next_id_{1};
  std::map<rclcpp::Context *, std::unique_ptr<Participant>> participants_;
  std::vector<std::unique_ptr<Participant>> retired_;
  std::map<size_t, std::pair<dds_entity_t, int>> domains_;
  std::map<EndpointId, NodeRecord> nodes_;
  std::map<EndpointId, EndpointRecord> endpoints_;

  std::recursive_mutex rosout_mutex_;
  // logger name -> (node, its /rosout writer)
  std::multimap<std::string, std::pair<EndpointId, Writer>> rosout_writers_;
};

void rosout_output_handler(
  const rcutils_log_location_t * location, int severity, const char * name,
  rcutils_time_point_value_t timestamp, const char * format, va_list * args)
{
  if (g_previous_output_handler != nullptr) {
    va_list copy;
    va_copy(copy, *args);
    g_previous_output_handler(location, severity, name, timestamp, format, &copy);
    va_end(copy);
  }
  if (DdsTransport * transport = g_rosout_transport.load()) {
    transport->publish_rosout(location, severity, name, timestamp, format, args);
  }
}

// Linked into a program as an object library, so this registration always runs: programs that
// link the DDS transport join DDS unless RMW_IMPLEMENTATION or the program says otherwise.
const bool kRegistered = [] {
    rclcpp::detail::register_transport(kTransportName, make_dds_transport, true);
    return true;
  }();

}  // namespace

std::unique_ptr<rclcpp::detail::Transport> make_dds_transport()
{
  return std::make_unique<DdsTransport>();
}

}  // namespace dds_transport
}  // namespace sweepmend
