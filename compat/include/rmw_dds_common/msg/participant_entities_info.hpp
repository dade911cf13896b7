// rmw_dds_common's graph messages (Humble layout): what every ROS 2 participant announces on the
// DDS topic "ros_discovery_info" so that other processes can tell its nodes and their endpoints.
#ifndef RMW_DDS_COMMON__MSG__PARTICIPANT_ENTITIES_INFO_HPP_
#define RMW_DDS_COMMON__MSG__PARTICIPANT_ENTITIES_INFO_HPP_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/message_traits.hpp"

namespace rmw_dds_common
{
namespace msg
{
/// rmw_dds_common/msg/Gid: a DDS GUID (16 bytes) followed by 8 zero bytes.
struct Gid
{
  std::array<uint8_t, 24> data{};

  SWEEPMEND_COMPAT_MSG_ALIASES(Gid);
  bool operator==(const Gid & o) const {return data == o.data;}
  bool operator!=(const Gid & o) const {return !(*this == o);}
};

/// rmw_dds_common/msg/NodeEntitiesInfo: one node and the GIDs of its readers and writers.
struct NodeEntitiesInfo
{
  std::string node_namespace;
  std::string node_name;
  std::vector<Gid> reader_gid_seq;
  std::vector<Gid> writer_gid_seq;

  SWEEPMEND_COMPAT_MSG_ALIASES(NodeEntitiesInfo);
  bool operator==(const NodeEntitiesInfo & o) const
  {
    return node_namespace == o.node_namespace && node_name == o.node_name &&
           reader_gid_seq == o.reader_gid_seq && writer_gid_seq == o.writer_gid_seq;
  }
  bool operator!=(const NodeEntitiesInfo & o) const {return !(*this == o);}
};

/// rmw_dds_common/msg/ParticipantEntitiesInfo: a participant and all its nodes.
struct ParticipantEntitiesInfo
{
  Gid gid;
  std::vector<NodeEntitiesInfo> node_entities_info_seq;

  SWEEPMEND_COMPAT_MSG_ALIASES(ParticipantEntitiesInfo);
  bool operator==(const ParticipantEntitiesInfo & o) const
  {
    return gid == o.gid && node_entities_info_seq == o.node_entities_info_seq;
  }
  bool operator!=(const ParticipantEntitiesInfo & o) const {return !(*this == o);}
};
}  // namespace msg
}  // namespace rmw_dds_common

SWEEPMEND_COMPAT_MSG_NAME(rmw_dds_common::msg::Gid, "rmw_dds_common/msg/Gid", "rmw_dds_common::msg::Gid")
SWEEPMEND_COMPAT_MSG_NAME(rmw_dds_common::msg::NodeEntitiesInfo, "rmw_dds_common/msg/NodeEntitiesInfo", "rmw_dds_common::msg::NodeEntitiesInfo")
SWEEPMEND_COMPAT_MSG_NAME(rmw_dds_common::msg::ParticipantEntitiesInfo, "rmw_dds_common/msg/ParticipantEntitiesInfo", "rmw_dds_common::msg::ParticipantEntitiesInfo")

#endif  // RMW_DDS_COMMON__MSG__PARTICIPANT_ENTITIES_INFO_HPP_
