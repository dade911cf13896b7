// rosbag2's mcap storage: the bag view of an MCAP file with the ros2 profile.
#include <algorithm>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "storage/bag.hpp"
#include "storage/mcap.hpp"
#include "storage_files.hpp"

namespace sweepmend
{
namespace bag
{
namespace detail
{
namespace
{

constexpr char kQosKey[] = "offered_qos_profiles";

class McapBagReader : public Reader
{
public:
  explicit McapBagReader(const std::string & path)
  : reader_(path, McapReader::Order::log_time)
  {
    // Bag timestamps are signed nanoseconds; a later log time would come out negative and
    // out of order.
    if (reader_.message_end_time() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
      throw BagError(path + ": message log time " + std::to_string(reader_.message_end_time()) +
              " ns is beyond the range of a bag timestamp");
    }
    const auto counts = reader_.channel_message_counts();
    // Several channels may carry one topic; rosbag2 never writes that, other tools might.
    for (const auto & kv : reader_.channels()) {
      const McapChannel & channel = kv.second;
      auto count = counts.find(channel.id);
      counts_[channel.topic] += count == counts.end() ? 0 : count->second;
      if (std::any_of(topics_.begin(), topics_.end(),
        [&channel](const TopicMetadata & t) {return t.name == channel.topic;}))
      {
        continue;
      }
      TopicMetadata topic;
      topic.name = channel.topic;
      topic.type = reader_.schema_name(channel.id);
      topic.serialization_format = channel.message_encoding;
      auto qos = channel.metadata.find(kQosKey);
      topic.offered_qos_profiles = qos == channel.metadata.end() ? std::string() : qos->second;
      topics_.push_back(topic);
    }
  }

  std::string storage_id() const override {return "mcap";}
  const std::vector<TopicMetadata> & topics() const override {return topics_;}
  std::map<std::string, uint64_t> message_counts() const override {return counts_;}
  int64_t start_time() const override
  {
    return static_cast<int64_t>(reader_.message_start_time());
  }
  int64_t end_time() const override {return static_cast<int64_t>(reader_.message_end_time());}

  bool read_next(BagMessage & msg) override
  {
    if (!reader_.read_next(message_)) {
      return false;
    }
    msg.topic = reader_.channel(message_.channel_id).topic;
    msg.timestamp = static_cast<int64_t>(message_.log_time);
    msg.data.swap(message_.data);
    return true;
  }

private:
  McapReader reader_;
  std::vector<TopicMetadata> topics_;
  std::map<std::string, uint64_t> counts_;
  McapMessage message_;
};

class McapBagWriter : public FileWriter
{
public:
  McapBagWriter(const std::string & path, const MessageDefinitionLookup & definitions)
  : writer_(path, options()), definitions_(definitions)
  {
    writer_.add_metadata("rosbag2", {{"ROS_DISTRO", "humble"}});
  }

  void create_topic(const TopicMetadata & topic) override
  {
    auto schema = schemas_.find(topic.type);
    if (schema == schemas_.end()) {
      const std::string text = definitions_ ? definitions_(topic.type) : std::string();
      // rosbag2 leaves the encoding empty when it found no definition for the type.
      const uint16_t id = writer_.add_schema(topic.type, text.empty() ? "" : "ros2msg", text);
      schema = schemas_.emplace(topic.type, id).first;
    }
    channels_[topic.name] = writer_.add_channel(
      schema->second, topic.name, topic.serialization_format,
      {{kQosKey, topic.offered_qos_profiles}});
  }

  void write(const std::string & topic, int64_t timestamp, const std::vector<uint8_t> & data)
  override
  {
    const auto time = static_cast<uint64_t>(timestamp);
    writer_.write(channels_.at(topic), 0, time, time, data.data(), data.size());
  }

  void write(
    const std::string & topic, int64_t timestamp, std::size_t size,
    const std::function<void(uint8_t * out)> & encode) override
  {
    const auto time = static_cast<uint64_t>(timestamp);
    writer_.write(channels_.at(topic), 0, time, time, size, encode);
  }

  void close() override {writer_.close();}

private:
  static McapWriterOptions options()
  {
    McapWriterOptions o;
    o.profile = "ros2";
    o.library = "sweepmend storage";
    return o;
  }

  McapWriter writer_;
  MessageDefinitionLookup definitions_;
  std::map<std::string, uint16_t> schemas_;
  std::map<std::string, uint16_t> channels_;
};

}  // namespace

std::unique_ptr<Reader> open_mcap_file(const std::string & path)
{
  return std::make_unique<McapBagReader>(path);
}

std::unique_ptr<FileWriter> create_mcap_file(
  const std::string & path, const MessageDefinitionLookup & definitions)
{
  return std::make_unique<McapBagWriter>(path, definitions);
}

}  // namespace detail
}  // namespace bag
}  // namespace sweepmend
