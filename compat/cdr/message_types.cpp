#include "cdr/message_types.hpp"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace sweepmend
{
namespace cdr
{
namespace
{

/// One .msg file: its text (field and constant lines only; comments carry no meaning for
/// readers) and the nested types it names, as "pkg/Type" in sorted order.
struct MsgFile
{
  const char * text;
  std::vector<std::string> nested;
};

// Keyed by "pkg/Type", the form the "MSG:" lines use.
const std::map<std::string, MsgFile> & msg_files()
{
  static const std::map<std::string, MsgFile> files{
    {"builtin_interfaces/Time", {
        "int32 sec\n"
        "uint32 nanosec\n", {}}},
    {"builtin_interfaces/Duration", {
        "int32 sec\n"
        "uint32 nanosec\n", {}}},
    {"std_msgs/Header", {
        "builtin_interfaces/Time stamp\n"
        "string frame_id\n", {"builtin_interfaces/Time"}}},
    {"geometry_msgs/Vector3", {
        "float64 x\n"
        "float64 y\n"
        "float64 z\n", {}}},
    {"geometry_msgs/Quaternion", {
        "float64 x 0\n"
        "float64 y 0\n"
        "float64 z 0\n"
        "float64 w 1\n", {}}},
    {"geometry_msgs/Transform", {
        "Vector3 translation\n"
        "Quaternion rotation\n", {"geometry_msgs/Quaternion", "geometry_msgs/Vector3"}}},
    {"geometry_msgs/TransformStamped", {
        "std_msgs/Header header\n"
        "string child_frame_id\n"
        "Transform transform\n", {"geometry_msgs/Transform", "std_msgs/Header"}}},
    {"tf2_msgs/TFMessage", {
        "geometry_msgs/TransformStamped[] transforms\n", {"geometry_msgs/TransformStamped"}}},
    {"rosgraph_msgs/Clock", {
        "builtin_interfaces/Time clock\n", {"builtin_interfaces/Time"}}},
    {"sensor_msgs/Imu", {
        "std_msgs/Header header\n"
        "geometry_msgs/Quaternion orientation\n"
        "float64[9] orientation_covariance\n"
        "geometry_msgs/Vector3 angular_velocity\n"
        "float64[9] angular_velocity_covariance\n"
        "geometry_msgs/Vector3 linear_acceleration\n"
        "float64[9] linear_acceleration_covariance\n",
        {"geometry_msgs/Quaternion", "geometry_msgs/Vector3", "std_msgs/Header"}}},
    {"sensor_msgs/PointField", {
        "uint8 INT8 = 1\n"
        "uint8 UINT8 = 2\n"
        "uint8 INT16 = 3\n"
        "uint8 UINT16 = 4\n"
        "uint8 INT32 = 5\n"
        "uint8 UINT32 = 6\n"
        "uint8 FLOAT32 = 7\n"
        "uint8 FLOAT64 = 8\n"
        "string name\n"
        "uint32 offset\n"
        "uint8 datatype\n"
        "uint32 count\n", {}}},
    {"sensor_msgs/PointCloud2", {
        "std_msgs/Header header\n"
        "uint32 height\n"
        "uint32 width\n"
        "PointField[] fields\n"
        "bool is_bigendian\n"
        "uint32 point_step\n"
        "uint32 row_step\n"
        "uint8[] data\n"
        "bool is_dense\n", {"sensor_msgs/PointField", "std_msgs/Header"}}},
    {"livox_ros_driver2/CustomPoint", {
        "uint32 offset_time\n"
        "float32 x\n"
        "float32 y\n"
        "float32 z\n"
        "uint8 reflectivity\n"
        "uint8 tag\n"
        "uint8 line\n", {}}},
    {"livox_ros_driver2/CustomMsg", {
        "std_msgs/Header header\n"
        "uint64 timebase\n"
        "uint32 point_num\n"
        "uint8 lidar_id\n"
        "uint8[3] rsvd\n"
        "CustomPoint[] points\n", {"livox_ros_driver2/CustomPoint", "std_msgs/Header"}}},
  };
  return files;
}

// Pre-order, each type once: the order rosbag2's definition cache emits nested types in.
void append_nested(
  const std::string & name, std::set<std::string> & seen, std::string & out)
{
  for (const auto & nested : msg_files().at(name).nested) {
    if (!seen.insert(nested).second) {
      continue;
    }
    out += "\n";
    out += std::string(80, '=');
    out += "\nMSG: ";
    out += nested;
    out += "\n";
    out += msg_files().at(nested).text;
    append_nested(nested, seen, out);
  }
}

std::string short_name(const std::string & full_name)
{
  const std::string infix = "/msg/";
  const auto pos = full_name.find(infix);
  if (pos == std::string::npos) {
    return full_name;
  }
  return full_name.substr(0, pos) + "/" + full_name.substr(pos + infix.size());
}

std::string full_name(const std::string & short_name)
{
  const auto slash = short_name.find('/');
  return short_name.substr(0, slash) + "/msg/" + short_name.substr(slash + 1);
}

const std::map<std::string, std::string> & definitions()
{
  static const std::map<std::string, std::string> texts = [] {
      std::map<std::string, std::string> result;
      for (const auto & entry : msg_files()) {
        std::string text = entry.second.text;
        std::set<std::string> seen{entry.first};
        append_nested(entry.first, seen, text);
        result.emplace(entry.first, std::move(text));
      }
      return result;
    }();
  return texts;
}

}  // namespace

const char * ros2msg_definition(const std::string & type_name)
{
  const auto it = definitions().find(short_name(type_name));
  return it == definitions().end() ? nullptr : it->second.c_str();
}

const std::vector<std::string> & known_message_types()
{
  static const std::vector<std::string> names = [] {
      std::set<std::string> sorted;
      for (const auto & entry : msg_files()) {
        sorted.insert(full_name(entry.first));
      }
      return std::vector<std::string>(sorted.begin(), sorted.end());
    }();
  return names;
}

}  // namespace cdr
}  // namespace sweepmend
