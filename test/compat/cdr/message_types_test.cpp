// Schema texts: the concatenated ros2msg form bag readers expect, nested types in the order
// rosbag2 writes them, and field lists that agree with what the codecs put on the wire.
#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cdr/cdr.hpp"
#include "cdr/message_types.hpp"
#include "cdr_test_messages.hpp"

namespace sweepmend
{
namespace cdr
{
namespace test
{
namespace
{

const std::string kSeparator = "\n" + std::string(80, '=') + "\nMSG: ";

/// Splits a ros2msg text into its root definition and its "MSG:" blocks, in order.
struct Schema
{
  std::string root;
  std::vector<std::pair<std::string, std::string>> nested;  // name, definition
};

Schema split(const std::string & text)
{
  Schema s;
  std::size_t pos = text.find(kSeparator);
  s.root = text.substr(0, pos);
  while (pos != std::string::npos) {
    const std::size_t name_start = pos + kSeparator.size();
    const std::size_t name_end = text.find('\n', name_start);
    const std::size_t next = text.find(kSeparator, name_end);
    const std::size_t body_length =
      next == std::string::npos ? std::string::npos : next - name_end - 1;
    s.nested.emplace_back(
      text.substr(name_start, name_end - name_start), text.substr(name_end + 1, body_length));
    pos = next;
  }
  return s;
}

std::vector<std::string> nested_names(const char * type)
{
  const char * text = ros2msg_definition(type);
  EXPECT_NE(text, nullptr) << type;
  std::vector<std::string> names;
  if (text != nullptr) {
    for (const auto & n : split(text).nested) {
      names.push_back(n.first);
    }
  }
  return names;
}

TEST(MessageTypes, CustomMsgTextIsTheConcatenatedForm)
{
  const std::string expected =
    "std_msgs/Header header\n"
    "uint64 timebase\n"
    "uint32 point_num\n"
    "uint8 lidar_id\n"
    "uint8[3] rsvd\n"
    "CustomPoint[] points\n"
    "\n"
    "================================================================================\n"
    "MSG: livox_ros_driver2/CustomPoint\n"
    "uint32 offset_time\n"
    "float32 x\n"
    "float32 y\n"
    "float32 z\n"
    "uint8 reflectivity\n"
    "uint8 tag\n"
    "uint8 line\n"
    "\n"
    "================================================================================\n"
    "MSG: std_msgs/Header\n"
    "builtin_interfaces/Time stamp\n"
    "string frame_id\n"
    "\n"
    "================================================================================\n"
    "MSG: builtin_interfaces/Time\n"
    "int32 sec\n"
    "uint32 nanosec\n";
  const char * text = ros2msg_definition("livox_ros_driver2/msg/CustomMsg");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), expected);
}

TEST(MessageTypes, NestedTypesComeDepthFirstInSortedOrderEachOnce)
{
  using V = std::vector<std::string>;
  EXPECT_EQ(
    nested_names("sensor_msgs/msg/Imu"),
    (V{"geometry_msgs/Quaternion", "geometry_msgs/Vector3", "std_msgs/Header",
      "builtin_interfaces/Time"}));
  EXPECT_EQ(
    nested_names("sensor_msgs/msg/PointCloud2"),
    (V{"sensor_msgs/PointField", "std_msgs/Header", "builtin_interfaces/Time"}));
  EXPECT_EQ(
    nested_names("tf2_msgs/msg/TFMessage"),
    (V{"geometry_msgs/TransformStamped", "geometry_msgs/Transform", "geometry_msgs/Quaternion",
      "geometry_msgs/Vector3", "std_msgs/Header", "builtin_interfaces/Time"}));
  EXPECT_EQ(
    nested_names("livox_ros_driver2/msg/CustomMsg"),
    (V{"livox_ros_driver2/CustomPoint", "std_msgs/Header", "builtin_interfaces/Time"}));
  EXPECT_EQ(nested_names("rosgraph_msgs/msg/Clock"), (V{"builtin_interfaces/Time"}));
  EXPECT_EQ(nested_names("std_msgs/msg/Header"), (V{"builtin_interfaces/Time"}));
  EXPECT_EQ(nested_names("builtin_interfaces/msg/Time"), V{});
  EXPECT_EQ(nested_names("sensor_msgs/msg/PointField"), V{});
}

TEST(MessageTypes, EveryNestedBlockEqualsThatTypesOwnDefinition)
{
  for (const auto & type : known_message_types()) {
    SCOPED_TRACE(type);
    const Schema schema = split(ros2msg_definition(type));
    for (const auto & nested : schema.nested) {
      const char * own = ros2msg_definition(nested.first);
      ASSERT_NE(own, nullptr) << nested.first;
      EXPECT_EQ(nested.second, split(own).root) << nested.first;
    }
  }
}

TEST(MessageTypes, LookupByNameAndType)
{
  for (const char * type : {"builtin_interfaces/msg/Time", "std_msgs/msg/Header",
      "sensor_msgs/msg/Imu", "sensor_msgs/msg/PointField", "sensor_msgs/msg/PointCloud2",
      "livox_ros_driver2/msg/CustomMsg", "livox_ros_driver2/msg/CustomPoint",
      "tf2_msgs/msg/TFMessage", "rosgraph_msgs/msg/Clock"})
  {
    EXPECT_NE(ros2msg_definition(type), nullptr) << type;
    bool listed = false;
    for (const auto & known : known_message_types()) {
      listed = listed || known == type;
    }
    EXPECT_TRUE(listed) << type;
  }
  EXPECT_STREQ(ros2msg_definition("sensor_msgs/Imu"), ros2msg_definition("sensor_msgs/msg/Imu"));
  EXPECT_EQ(ros2msg_definition<sensor_msgs::msg::Imu>(), ros2msg_definition("sensor_msgs/msg/Imu"));
  EXPECT_STREQ(message_type_name<tf2_msgs::msg::TFMessage>(), "tf2_msgs/msg/TFMessage");
  EXPECT_EQ(ros2msg_definition("std_msgs/msg/String"), nullptr);
  EXPECT_EQ(ros2msg_definition("sensor_msgs/msg/Im"), nullptr);
  EXPECT_EQ(ros2msg_definition(""), nullptr);
}

// ---- the schema agrees with the codec ----

/// Size in bytes of a default-valued message (empty strings and sequences) laid out from its
/// ros2msg text with the plain-CDR rules; an independent reading of the schema.
class SchemaSizer
{
public:
  explicit SchemaSizer(const std::string & full_text, const std::string & root_name)
  {
    const Schema s = split(full_text);
    defs_[root_name] = s.root;
    for (const auto & n : s.nested) {
      defs_[n.first] = n.second;
    }
  }

  std::size_t size_of(const std::string & type)
  {
    std::size_t pos = 0;
    walk(type, pos);
    return pos;
  }

private:
  static void align(std::size_t & pos, std::size_t n) {pos = (pos + n - 1) / n * n;}

  static std::size_t primitive_size(const std::string & t)
  {
    static const std::map<std::string, std::size_t> sizes{
      {"bool", 1}, {"byte", 1}, {"char", 1}, {"int8", 1}, {"uint8", 1}, {"int16", 2},
      {"uint16", 2}, {"int32", 4}, {"uint32", 4}, {"float32", 4}, {"int64", 8}, {"uint64", 8},
      {"float64", 8}};
    const auto it = sizes.find(t);
    return it == sizes.end() ? 0 : it->second;
  }

  void walk(const std::string & type, std::size_t & pos)
  {
    const auto def = defs_.find(type);
    ASSERT_NE(def, defs_.end()) << "no definition for " << type;
    const std::string package = type.substr(0, type.find('/'));
    std::istringstream lines(def->second);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.empty() || line[0] == '#' || line.find('=') != std::string::npos) {
        continue;  // blank, comment or constant
      }
      std::istringstream tokens(line);
      std::string field_type;
      tokens >> field_type;
      std::size_t count = 1;
      bool sequence = false;
      const auto bracket = field_type.find('[');
      if (bracket != std::string::npos) {
        const std::string inside = field_type.substr(bracket + 1, field_type.size() - bracket - 2);
        sequence = inside.empty();
        count = sequence ? 0 : std::stoul(inside);
        field_type = field_type.substr(0, bracket);
      }
      if (sequence) {  // an empty sequence is its count alone
        align(pos, 4);
        pos += 4;
        continue;
      }
      for (std::size_t i = 0; i < count; ++i) {
        if (field_type == "string") {
          align(pos, 4);
          pos += 4 + 1;
        } else if (const std::size_t n = primitive_size(field_type)) {
          align(pos, n);
          pos += n;
        } else {
          walk(
            field_type.find('/') == std::string::npos ? package + "/" + field_type : field_type,
            pos);
        }
      }
    }
  }

  std::map<std::string, std::string> defs_;
};

template<typename MessageT>
void expect_schema_matches_codec(const std::string & short_name)
{
  SCOPED_TRACE(short_name);
  const char * text = ros2msg_definition<MessageT>();
  ASSERT_NE(text, nullptr);
  SchemaSizer sizer(text, short_name);
  EXPECT_EQ(4 + sizer.size_of(short_name), serialize(MessageT{}).size());
}

TEST(MessageTypes, SchemaLayoutMatchesEncodedSize)
{
  expect_schema_matches_codec<builtin_interfaces::msg::Time>("builtin_interfaces/Time");
  expect_schema_matches_codec<std_msgs::msg::Header>("std_msgs/Header");
  expect_schema_matches_codec<sensor_msgs::msg::Imu>("sensor_msgs/Imu");
  expect_schema_matches_codec<sensor_msgs::msg::PointField>("sensor_msgs/PointField");
  expect_schema_matches_codec<sensor_msgs::msg::PointCloud2>("sensor_msgs/PointCloud2");
  expect_schema_matches_codec<livox_ros_driver2::msg::CustomPoint>(
    "livox_ros_driver2/CustomPoint");
  expect_schema_matches_codec<livox_ros_driver2::msg::CustomMsg>("livox_ros_driver2/CustomMsg");
  expect_schema_matches_codec<tf2_msgs::msg::TFMessage>("tf2_msgs/TFMessage");
  expect_schema_matches_codec<geometry_msgs::msg::TransformStamped>(
    "geometry_msgs/TransformStamped");
  expect_schema_matches_codec<rosgraph_msgs::msg::Clock>("rosgraph_msgs/Clock");
}

}  // namespace
}  // namespace test
}  // namespace cdr
}  // namespace sweepmend
