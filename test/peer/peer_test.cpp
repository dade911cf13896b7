// sweepmend_node against an independent peer (plain Cyclone DDS, idlc types): the peer finds
// harrow_node in ros_discovery_info with GIDs equal to the discovered GUIDs, feeds it a Livox
// stream, and the clouds it receives equal those of the offline runner on what the network
// delivered (recorded beside the node by sweepmend_bag record).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "cdr/cdr.hpp"
#include "child_process.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "storage/bag.hpp"

namespace fs = std::filesystem;
using sweepmend_test::ChildProcess;

namespace
{

// Reads the peer's dump (format in ros_peer.c): clouds per topic, 0 undistorted, 1 raw.
class DumpReader
{
public:
  explicit DumpReader(const fs::path & path)
  {
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::map<int, std::vector<sensor_msgs::msg::PointCloud2>> clouds()
  {
    std::map<int, std::vector<sensor_msgs::msg::PointCloud2>> out;
    while (pos_ < bytes_.size()) {
      const int topic = u8();
      sensor_msgs::msg::PointCloud2 c;
      c.header.stamp.sec = static_cast<int32_t>(u32());
      c.header.stamp.nanosec = u32();
      c.header.frame_id = str();
      c.height = u32();
      c.width = u32();
      c.fields.resize(u32());
      for (auto & f : c.fields) {
        f.name = str();
        f.offset = u32();
        f.datatype = u8();
        f.count = u32();
      }
      c.is_bigendian = u8() != 0;
      c.point_step = u32();
      c.row_step = u32();
      const uint32_t n = u32();
      need(n);
      c.data.assign(bytes_.begin() + pos_, bytes_.begin() + pos_ + n);
      pos_ += n;
      c.is_dense = u8() != 0;
      out[topic].push_back(std::move(c));
    }
    return out;
  }

private:
  void need(size_t n)
  {
    if (pos_ + n > bytes_.size()) {
      throw std::runtime_error("truncated dump");
    }
  }
  uint8_t u8()
  {
    need(1);
    return static_cast<uint8_t>(bytes_[pos_++]);
  }
  uint32_t u32()
  {
    need(4);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes_[pos_ + i])) << (8 * i);
    }
    pos_ += 4;
    return v;
  }
  std::string str()
  {
    const uint32_t n = u32();
    need(n);
    std::string s(bytes_.begin() + pos_, bytes_.begin() + pos_ + n);
    pos_ += n;
    return s;
  }

  std::vector<char> bytes_;
  size_t pos_{0};
};

TEST(PeerTest, IndependentPeerSeesARos2NodeAndGetsTheOfflineClouds)
{
  const fs::path dir = fs::temp_directory_path() / ("sweepmend_peer_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const auto env = sweepmend_test::loopback_env(160);
  const std::string params = std::string(SWEEPMEND_SOURCE_DIR) + "/config/mid360.yaml";

  ChildProcess node(
    {SWEEPMEND_NODE_EXE, "--ros-args", "--params-file", params}, env,
    (dir / "node.log").string());
  ChildProcess rec(
    {SWEEPMEND_BAG_EXE, "record", (dir / "in").string(), "/livox/imu", "/livox/lidar"}, env,
    (dir / "record.log").string());
  // The recorder learns the topics' types from the node's subscriptions.
  ASSERT_TRUE(rec.wait_for_log("recording /livox/imu (", 30.0)) << rec.log();
  ASSERT_TRUE(rec.wait_for_log("recording /livox/lidar (", 5.0)) << rec.log();

  constexpr int kScans = 20;
  ChildProcess peer(
    {SWEEPMEND_PEER_EXE, "--scans", std::to_string(kScans), "--subscribers", "2", "--timeout",
      "30", "--dump", (dir / "dump").string()}, env, (dir / "peer.log").string());
  ASSERT_EQ(peer.wait(90.0), 0) << peer.log() << "\nnode:\n" << node.log();
  EXPECT_NE(peer.log().find("carry GIDs equal to their GUIDs"), std::string::npos) << peer.log();
  EXPECT_EQ(rec.stop(SIGINT), 0) << rec.log();
  EXPECT_EQ(node.stop(SIGINT), 0) << node.log();

  // The offline runner on exactly what reached the network.
  ChildProcess offline(
    {SWEEPMEND_BAG_EXE, (dir / "in").string(), (dir / "offline").string(), "--ros-args",
      "--params-file", params}, {}, (dir / "offline.log").string());
  ASSERT_EQ(offline.wait(), 0) << offline.log();
  std::map<int, std::vector<sensor_msgs::msg::PointCloud2>> want;
  {
    auto reader = sweepmend::bag::Reader::open((dir / "offline").string());
    sweepmend::bag::BagMessage m;
    while (reader->read_next(m)) {
      want[m.topic == "/livox/lidar_undistorted" ? 0 : 1].push_back(
        sweepmend::cdr::deserialize<sensor_msgs::msg::PointCloud2>(m.data));
    }
  }
  auto got = DumpReader(dir / "dump").clouds();
  // Every scan is processed: the first only initialises, so it has no undistorted cloud.
  EXPECT_EQ(want[1].size(), static_cast<size_t>(kScans));
  EXPECT_EQ(want[0].size(), static_cast<size_t>(kScans - 1));
  for (int topic : {0, 1}) {
    ASSERT_EQ(got[topic].size(), want[topic].size()) << "topic " << topic;
    for (size_t i = 0; i < want[topic].size(); ++i) {
      EXPECT_TRUE(got[topic][i] == want[topic][i]) << "topic " << topic << " cloud " << i;
    }
  }
  if (!HasFailure()) {
    fs::remove_all(dir);
  }
}

}  // namespace
