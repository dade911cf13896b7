#include "storage/metadata.hpp"

#include <yaml-cpp/yaml.h>

#include <cctype>
#include <fstream>
#include <sstream>

namespace sweepmend
{
namespace bag
{
namespace
{

constexpr char kFileName[] = "metadata.yaml";

template<typename T>
T required(const YAML::Node & node, const char * key, const std::string & source)
{
  const YAML::Node value = node[key];
  if (!value) {
    throw BagError(source + ": missing key '" + key + "'");
  }
  try {
    return value.as<T>();
  } catch (const YAML::Exception &) {
    throw BagError(source + ": malformed value of '" + key + "'");
  }
}

template<typename T>
T optional(const YAML::Node & node, const char * key, const T & fallback, const std::string & source)
{
  return node[key] ? required<T>(node, key, source) : fallback;
}

// Plain scalars are what rosbag2's emitter writes for names and types; anything YAML could read
// as something else (empty, special first character, ": ", " #", ...) is double-quoted.
bool needs_quotes(const std::string & s)
{
  if (s.empty() || s == "~" || s == "null" || s == "true" || s == "false") {
    return true;
  }
  if (std::string("-?:,[]{}#&*!|>'\"%@` ").find(s.front()) != std::string::npos ||
    s.back() == ' ' || s.back() == ':')
  {
    return true;
  }
  if (s.find(": ") != std::string::npos || s.find(" #") != std::string::npos) {
    return true;
  }
  for (char c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      return true;
    }
  }
  bool numeric = true;
  for (char c : s) {
    numeric = numeric && (std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '+' ||
      c == '-' || c == 'e' || c == 'E');
  }
  return numeric;
}

std::string quoted(const std::string & s)
{
  static const char digits[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default:
        if (u < 0x20 || u == 0x7f) {
          out += "\\x";
          out += digits[u >> 4];
          out += digits[u & 0xf];
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string scalar(const std::string & s)
{
  return needs_quotes(s) ? quoted(s) : s;
}

}  // namespace

BagMetadata parse_metadata(const std::string & yaml_text, const std::string & source)
{
  YAML::Node root;
  try {
    root = YAML::Load(yaml_text);
  } catch (const YAML::Exception & e) {
    throw BagError(source + ": not YAML: " + e.what());
  }
  // Indexing a scalar or a sequence where a map belongs throws from yaml-cpp itself; every
  // such shape is a malformed file like any other.
  try {
    const YAML::Node info = root["rosbag2_bagfile_information"];
    if (!info || !info.IsMap()) {
      throw BagError(source + ": no rosbag2_bagfile_information map");
    }
    BagMetadata m;
    m.version = required<int>(info, "version", source);
    m.storage_identifier = required<std::string>(info, "storage_identifier", source);
    const YAML::Node duration = info["duration"];
    const YAML::Node starting = info["starting_time"];
    if (!duration || !starting) {
      throw BagError(source + ": missing duration or starting_time");
    }
    m.duration = required<int64_t>(duration, "nanoseconds", source);
    m.starting_time = required<int64_t>(starting, "nanoseconds_since_epoch", source);
    m.message_count = required<uint64_t>(info, "message_count", source);
    m.relative_file_paths = required<std::vector<std::string>>(info, "relative_file_paths", source);
    m.compression_format = optional<std::string>(info, "compression_format", "", source);
    m.compression_mode = optional<std::string>(info, "compression_mode", "", source);

    const YAML::Node topics = info["topics_with_message_count"];
    if (!topics || !(topics.IsSequence() || topics.IsNull())) {
      throw BagError(source + ": missing topics_with_message_count");
    }
    for (const YAML::Node & t : topics) {
      const YAML::Node tm = t["topic_metadata"];
      if (!tm) {
        throw BagError(source + ": topic without topic_metadata");
      }
      TopicInformation ti;
      ti.topic_metadata.name = required<std::string>(tm, "name", source);
      ti.topic_metadata.type = required<std::string>(tm, "type", source);
      ti.topic_metadata.serialization_format =
        required<std::string>(tm, "serialization_format", source);
      ti.topic_metadata.offered_qos_profiles =
        optional<std::string>(tm, "offered_qos_profiles", "", source);
      ti.message_count = required<uint64_t>(t, "message_count", source);
      m.topics_with_message_count.push_back(ti);
    }

    const YAML::Node files = info["files"];
    if (files && files.IsSequence()) {
      for (const YAML::Node & f : files) {
        FileInformation fi;
        fi.path = required<std::string>(f, "path", source);
        if (f["starting_time"]) {
          fi.starting_time = required<int64_t>(f["starting_time"], "nanoseconds_since_epoch", source);
        }
        if (f["duration"]) {
          fi.duration = required<int64_t>(f["duration"], "nanoseconds", source);
        }
        fi.message_count = optional<uint64_t>(f, "message_count", 0, source);
        m.files.push_back(fi);
      }
    }
    return m;
  } catch (const YAML::Exception & e) {
    throw BagError(source + ": malformed: " + e.what());
  }
}

BagMetadata read_metadata(const std::string & bag_directory)
{
  const std::string path = bag_directory + "/" + kFileName;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw BagError(path + ": cannot open");
  }
  std::stringstream text;
  text << in.rdbuf();
  return parse_metadata(text.str(), path);
}

std::string metadata_yaml(const BagMetadata & m)
{
  std::ostringstream y;
  y << "rosbag2_bagfile_information:\n"
    << "  version: " << m.version << "\n"
    << "  storage_identifier: " << scalar(m.storage_identifier) << "\n"
    << "  duration:\n"
    << "    nanoseconds: " << m.duration << "\n"
    << "  starting_time:\n"
    << "    nanoseconds_since_epoch: " << m.starting_time << "\n"
    << "  message_count: " << m.message_count << "\n";
  y << "  topics_with_message_count:" << (m.topics_with_message_count.empty() ? " []" : "") << "\n";
  for (const TopicInformation & t : m.topics_with_message_count) {
    const TopicMetadata & tm = t.topic_metadata;
    y << "    - topic_metadata:\n"
      << "        name: " << scalar(tm.name) << "\n"
      << "        type: " << scalar(tm.type) << "\n"
      << "        serialization_format: " << scalar(tm.serialization_format) << "\n"
      << "        offered_qos_profiles: " << quoted(tm.offered_qos_profiles) << "\n"
      << "      message_count: " << t.message_count << "\n";
  }
  y << "  compression_format: " << quoted(m.compression_format) << "\n"
    << "  compression_mode: " << quoted(m.compression_mode) << "\n";
  y << "  relative_file_paths:" << (m.relative_file_paths.empty() ? " []" : "") << "\n";
  for (const std::string & p : m.relative_file_paths) {
    y << "    - " << scalar(p) << "\n";
  }
  y << "  files:" << (m.files.empty() ? " []" : "") << "\n";
  for (const FileInformation & f : m.files) {
    y << "    - path: " << scalar(f.path) << "\n"
      << "      starting_time:\n"
      << "        nanoseconds_since_epoch: " << f.starting_time << "\n"
      << "      duration:\n"
      << "        nanoseconds: " << f.duration << "\n"
      << "      message_count: " << f.message_count << "\n";
  }
  return y.str();
}

void write_metadata(const std::string & bag_directory, const BagMetadata & metadata)
{
  const std::string path = bag_directory + "/" + kFileName;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << metadata_yaml(metadata);
  out.close();
  if (!out) {
    throw BagError(path + ": cannot write");
  }
}

}  // namespace bag
}  // namespace sweepmend
