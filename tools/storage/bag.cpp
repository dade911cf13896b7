// Bag directories: locating the data files, merging them in time order, writing metadata.yaml.
#include "storage/bag.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <utility>

#include "storage/metadata.hpp"
#include "storage_files.hpp"

#if defined(SWEEPMEND_STORAGE_WITH_CDR) && __has_include("cdr/message_types.hpp")
#include "cdr/message_types.hpp"
#define SWEEPMEND_STORAGE_HAVE_DEFINITIONS 1
#endif

namespace sweepmend
{
namespace bag
{
namespace
{

namespace fs = std::filesystem;

enum class Format { sqlite3, mcap, unknown };

Format sniff(const fs::path & file)
{
  const std::string ext = file.extension().string();
  if (ext == ".db3") {
    return Format::sqlite3;
  }
  if (ext == ".mcap") {
    return Format::mcap;
  }
  char head[16] = {};
  std::ifstream(file, std::ios::binary).read(head, sizeof(head));
  if (std::memcmp(head, "\x89MCAP0\r\n", 8) == 0) {
    return Format::mcap;
  }
  if (std::memcmp(head, "SQLite format 3", 16) == 0) {
    return Format::sqlite3;
  }
  return Format::unknown;
}

std::unique_ptr<Reader> open_file(const fs::path & file)
{
  switch (sniff(file)) {
    case Format::sqlite3:
      return detail::open_sqlite_file(file.string());
    case Format::mcap:
      return detail::open_mcap_file(file.string());
    case Format::unknown:
      break;
  }
  throw BagError(file.string() + ": neither an SQLite (.db3) nor an MCAP file");
}

// "bag_2.db3" before "bag_10.db3": rosbag2 numbers split files without leading zeros.
bool natural_less(const std::string & a, const std::string & b)
{
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) &&
      std::isdigit(static_cast<unsigned char>(b[j])))
    {
      std::size_t ie = i;
      std::size_t je = j;
      while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie]))) {++ie;}
      while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je]))) {++je;}
      std::string na = a.substr(i, ie - i);
      std::string nb = b.substr(j, je - j);
      na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
      nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
      if (na.size() != nb.size()) {
        return na.size() < nb.size();
      }
      if (na != nb) {
        return na < nb;
      }
      i = ie;
      j = je;
    } else {
      if (a[i] != b[j]) {
        return a[i] < b[j];
      }
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

/// The files of one bag, merged by timestamp; on equal timestamps the earlier file comes first.
class MultiFileReader : public Reader
{
public:
  MultiFileReader(
    std::vector<std::unique_ptr<Reader>> files, std::string storage_id,
    const std::vector<TopicMetadata> & listed_topics)
  : files_(std::move(files)), storage_id_(std::move(storage_id)), topics_(listed_topics),
    heads_(files_.size()), state_(files_.size(), kEmpty)
  {
    std::set<std::string> names;
    for (const TopicMetadata & t : topics_) {
      names.insert(t.name);
      counts_[t.name] = 0;
    }
    bool any = false;
    for (const auto & file : files_) {
      for (const TopicMetadata & t : file->topics()) {
        if (names.insert(t.name).second) {
          topics_.push_back(t);
        }
      }
      uint64_t total = 0;
      for (const auto & kv : file->message_counts()) {
        counts_[kv.first] += kv.second;
        total += kv.second;
      }
      if (total > 0) {
        start_ = any ? std::min(start_, file->start_time()) : file->start_time();
        end_ = any ? std::max(end_, file->end_time()) : file->end_time();
        any = true;
      }
    }
  }

  std::string storage_id() const override {return storage_id_;}
  const std::vector<TopicMetadata> & topics() const override {return topics_;}
  std::map<std::string, uint64_t> message_counts() const override {return counts_;}
  int64_t start_time() const override {return start_;}
  int64_t end_time() const override {return end_;}

  bool read_next(BagMessage & msg) override
  {
    std::size_t best = files_.size();
    for (std::size_t i = 0; i < files_.size(); ++i) {
      if (state_[i] == kEmpty) {
        state_[i] = files_[i]->read_next(heads_[i]) ? kLoaded : kDone;
      }
      if (state_[i] == kLoaded &&
        (best == files_.size() || heads_[i].timestamp < heads_[best].timestamp))
      {
        best = i;
      }
    }
    if (best == files_.size()) {
      return false;
    }
    msg.topic.swap(heads_[best].topic);
    msg.timestamp = heads_[best].timestamp;
    msg.data.swap(heads_[best].data);
    state_[best] = kEmpty;
    return true;
  }

private:
  enum State : char { kEmpty, kLoaded, kDone };

  std::vector<std::unique_ptr<Reader>> files_;
  std::string storage_id_;
  std::vector<TopicMetadata> topics_;
  std::map<std::string, uint64_t> counts_;
  int64_t start_{0};
  int64_t end_{0};
  std::vector<BagMessage> heads_;
  std::vector<State> state_;
};

fs::path resolve_listed_file(const fs::path & dir, int version, const std::string & listed)
{
  std::error_code ec;
  // Up to version 3 the paths were relative to the bag's parent directory.
  const fs::path primary = version <= 3 ? dir.parent_path() / listed : dir / listed;
  if (fs::is_regular_file(primary, ec)) {
    return primary;
  }
  const fs::path beside = dir / fs::path(listed).filename();
  if (fs::is_regular_file(beside, ec)) {
    return beside;
  }
  throw BagError(
    (dir / "metadata.yaml").string() + ": listed data file '" + listed + "' does not exist");
}

std::unique_ptr<Reader> open_directory(const fs::path & dir)
{
  std::error_code ec;
  std::vector<std::unique_ptr<Reader>> readers;
  if (fs::exists(dir / "metadata.yaml", ec)) {
    const BagMetadata m = read_metadata(dir.string());
    if (!m.compression_format.empty()) {
      throw BagError(
        (dir / "metadata.yaml").string() + ": compressed bags (" + m.compression_format + ", " +
        m.compression_mode + ") are not supported");
    }
    std::vector<std::string> listed = m.relative_file_paths;
    if (listed.empty()) {
      for (const FileInformation & f : m.files) {
        listed.push_back(f.path);
      }
    }
    for (const std::string & file : listed) {
      readers.push_back(open_file(resolve_listed_file(dir, m.version, file)));
    }
    std::vector<TopicMetadata> topics;
    for (const TopicInformation & t : m.topics_with_message_count) {
      topics.push_back(t.topic_metadata);
    }
    return std::make_unique<MultiFileReader>(std::move(readers), m.storage_identifier, topics);
  }

  std::vector<std::string> names;
  for (const auto & entry : fs::directory_iterator(dir, ec)) {
    const std::string ext = entry.path().extension().string();
    if ((ext == ".db3" || ext == ".mcap") && entry.is_regular_file(ec)) {
      names.push_back(entry.path().filename().string());
    }
  }
  if (ec) {
    throw BagError(dir.string() + ": cannot list: " + ec.message());
  }
  if (names.empty()) {
    throw BagError(dir.string() + ": no metadata.yaml and no .db3 or .mcap file");
  }
  std::sort(names.begin(), names.end(), natural_less);
  for (const std::string & name : names) {
    readers.push_back(open_file(dir / name));
  }
  const std::string id = readers.front()->storage_id();
  return std::make_unique<MultiFileReader>(std::move(readers), id, std::vector<TopicMetadata>{});
}

class BagWriter : public Writer
{
public:
  BagWriter(
    const std::string & directory, const std::string & storage_id,
    const MessageDefinitionLookup & definitions)
  : storage_id_(storage_id)
  {
    if (storage_id != "sqlite3" && storage_id != "mcap") {
      throw BagError(directory + ": unknown storage id '" + storage_id + "'");
    }
    fs::path dir = fs::path(directory).lexically_normal();
    if (dir.filename().empty()) {
      dir = dir.parent_path();
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(dir, ec))) {
      throw BagError(directory + ": already exists");
    }
    if (!fs::create_directories(dir, ec)) {
      throw BagError(directory + ": cannot create: " + ec.message());
    }
    dir_ = dir.string();
    file_name_ = dir.filename().string() + "_0" + (storage_id == "mcap" ? ".mcap" : ".db3");
    const std::string file = (dir / file_name_).string();
    file_ = storage_id == "mcap" ?
      detail::create_mcap_file(file, definitions) : detail::create_sqlite_file(file);
  }

  ~BagWriter() override
  {
    try {
      close();
    } catch (const BagError &) {
    }
  }

  void create_topic(const TopicMetadata & topic) override
  {
    check_open();
    for (const TopicInformation & t : topics_) {
      if (t.topic_metadata.name == topic.name) {
        if (t.topic_metadata.type != topic.type) {
          throw BagError(
            dir_ + ": topic " + topic.name + " exists with type " + t.topic_metadata.type);
        }
        return;
      }
    }
    file_->create_topic(topic);
    topics_.push_back({topic, 0});
  }

  void write(const std::string & topic, int64_t timestamp, const std::vector<uint8_t> & data)
  override
  {
    TopicInformation & t = topic_for_write(topic);
    file_->write(topic, timestamp, data);
    count_message(t, timestamp);
  }

  void write(
    const std::string & topic, int64_t timestamp, std::size_t size,
    const std::function<void(uint8_t * out)> & encode) override
  {
    TopicInformation & t = topic_for_write(topic);
    file_->write(topic, timestamp, size, encode);
    count_message(t, timestamp);
  }

  TopicInformation & topic_for_write(const std::string & topic)
  {
    check_open();
    auto it = std::find_if(
      topics_.begin(), topics_.end(),
      [&topic](const TopicInformation & t) {return t.topic_metadata.name == topic;});
    if (it == topics_.end()) {
      throw BagError(dir_ + ": write to topic " + topic + " that was not created");
    }
    return *it;
  }

  void count_message(TopicInformation & t, int64_t timestamp)
  {
    ++t.message_count;
    start_ = count_ == 0 ? timestamp : std::min(start_, timestamp);
    end_ = count_ == 0 ? timestamp : std::max(end_, timestamp);
    ++count_;
  }

  void close() override
  {
    if (closed_) {
      return;
    }
    closed_ = true;
    file_->close();
    BagMetadata m;
    m.version = 5;
    m.storage_identifier = storage_id_;
    m.starting_time = count_ > 0 ? start_ : std::numeric_limits<int64_t>::max();
    m.duration = count_ > 0 ? end_ - start_ : 0;
    m.message_count = count_;
    m.topics_with_message_count = topics_;
    m.relative_file_paths = {file_name_};
    m.files = {{file_name_, m.starting_time, m.duration, count_}};
    write_metadata(dir_, m);
  }

private:
  void check_open() const
  {
    if (closed_) {
      throw BagError(dir_ + ": the bag is closed");
    }
  }

  std::string storage_id_;
  std::string dir_;
  std::string file_name_;
  std::unique_ptr<detail::FileWriter> file_;
  std::vector<TopicInformation> topics_;
  uint64_t count_{0};
  int64_t start_{0};
  int64_t end_{0};
  bool closed_{false};
};

MessageDefinitionLookup default_definitions()
{
#ifdef SWEEPMEND_STORAGE_HAVE_DEFINITIONS
  return [](const std::string & type) {
           const char * text = cdr::ros2msg_definition(type);
           return text != nullptr ? std::string(text) : std::string();
         };
#else
  return {};
#endif
}

}  // namespace

std::unique_ptr<Reader> Reader::open(const std::string & path)
{
  const fs::path p(path);
  std::error_code ec;
  if (fs::is_directory(p, ec)) {
    return open_directory(p);
  }
  if (p.filename() == "metadata.yaml" && fs::is_regular_file(p, ec)) {
    return open_directory(p.parent_path());
  }
  if (fs::is_regular_file(p, ec)) {
    return open_file(p);
  }
  throw BagError(path + ": no such file or directory");
}

std::unique_ptr<Writer> Writer::create(const std::string & directory, const std::string & storage_id)
{
  return create(directory, storage_id, default_definitions());
}

std::unique_ptr<Writer> Writer::create(
  const std::string & directory, const std::string & storage_id,
  const MessageDefinitionLookup & definitions)
{
  return std::make_unique<BagWriter>(directory, storage_id, definitions);
}

std::string qos_profile_yaml(uint32_t depth, bool reliable, bool transient_local)
{
  std::ostringstream y;
  y << "- history: 1\n"
    << "  depth: " << depth << "\n"
    << "  reliability: " << (reliable ? 1 : 2) << "\n"
    << "  durability: " << (transient_local ? 1 : 2) << "\n"
    << "  deadline:\n    sec: 0\n    nsec: 0\n"
    << "  lifespan:\n    sec: 0\n    nsec: 0\n"
    << "  liveliness: 1\n"
    << "  liveliness_lease_duration:\n    sec: 0\n    nsec: 0\n"
    << "  avoid_ros_namespace_conventions: false";
  return y.str();
}

}  // namespace bag
}  // namespace sweepmend
