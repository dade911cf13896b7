// Every message type survives encode -> decode unchanged, and encodings have the sizes the
// alignment rules predict for strings and sequences of every length phase.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cdr/cdr.hpp"
#include "cdr_test_messages.hpp"

namespace sweepmend
{
namespace cdr
{
namespace test
{
namespace
{

std::size_t a4(std::size_t x) {return (x + 3) / 4 * 4;}
std::size_t a8(std::size_t x) {return (x + 7) / 8 * 8;}

/// Encodes, decodes, compares, and checks that the decoded copy encodes to the same bytes.
template<typename MessageT>
Bytes expect_round_trip(const MessageT & msg)
{
  const Bytes bytes = serialize(msg);
  EXPECT_GE(bytes.size(), 4u);
  const MessageT back = deserialize<MessageT>(bytes);
  EXPECT_TRUE(back == msg);
  EXPECT_TRUE(same_bytes(serialize(back), bytes));
  // Encoded into a buffer that holds garbage, the padding comes out as zeros all the same.
  Bytes into(serialized_size(msg), 0xa5);
  serialize_into(msg, into.data(), into.size());
  EXPECT_TRUE(same_bytes(into, bytes));
  return bytes;
}

std::string frame_of_length(std::size_t n)
{
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    s += static_cast<char>('a' + i % 26);
  }
  return s;
}

TEST(CdrRoundTrip, TimeAndClockKeepSignAndFullRange)
{
  builtin_interfaces::msg::Time t;
  t.sec = -2147483647 - 1;
  t.nanosec = 4294967295u;
  EXPECT_EQ(expect_round_trip(t).size(), 12u);
  EXPECT_EQ(expect_round_trip(make_clock()).size(), 12u);
}

TEST(CdrRoundTrip, HeaderSizeFollowsFrameLength)
{
  for (std::size_t len = 0; len <= 12; ++len) {
    SCOPED_TRACE("frame length " + std::to_string(len));
    const auto header = make_header(frame_of_length(len), 12, 34u);
    // 8 stamp + 4 length + characters + NUL, no trailing padding.
    EXPECT_EQ(expect_round_trip(header).size(), 4 + 12 + len + 1);
  }
}

TEST(CdrRoundTrip, StringsKeepEmbeddedNulAndUtf8)
{
  std_msgs::msg::Header header;
  header.frame_id = std::string("a\0b", 3) + "\xc3\xa9t\xc3\xa9";
  const Bytes bytes = expect_round_trip(header);
  // The wire length counts all 8 bytes plus the terminating NUL.
  EXPECT_EQ(bytes[12], 9u);
  EXPECT_EQ(bytes.size(), 4u + 12u + 9u);
}

TEST(CdrRoundTrip, ImuDoublesStart8AlignedForEveryFrameLength)
{
  for (std::size_t len = 0; len <= 21; ++len) {
    SCOPED_TRACE("frame length " + std::to_string(len));
    const Bytes bytes = expect_round_trip(make_imu(frame_of_length(len)));
    EXPECT_EQ(bytes.size(), 4 + a8(12 + len + 1) + 296);
  }
}

TEST(CdrRoundTrip, PointFieldNamesOfEveryLength)
{
  for (std::size_t len = 0; len <= 9; ++len) {
    SCOPED_TRACE("name length " + std::to_string(len));
    const auto field = make_field(frame_of_length(len), 0x01020304u, 8, 0xfffffffeu);
    EXPECT_EQ(expect_round_trip(field).size(), 4 + a4(4 + len + 1) + 12);
  }
}

std::size_t expected_cloud_size(const sensor_msgs::msg::PointCloud2 & m)
{
  std::size_t p = a4(12 + m.header.frame_id.size() + 1) + 12;  // height, width, field count
  for (const auto & f : m.fields) {
    p += a4(4 + f.name.size() + 1) + 12;
  }
  return 4 + p + 16 + m.data.size() + 1;
}

TEST(CdrRoundTrip, PointCloud2WithFieldsOfEveryNameLength)
{
  for (std::size_t len = 0; len <= 7; ++len) {
    SCOPED_TRACE("frame length " + std::to_string(len));
    const auto cloud = make_cloud(frame_of_length(len), 10);
    EXPECT_EQ(expect_round_trip(cloud).size(), expected_cloud_size(cloud));
  }
}

TEST(CdrRoundTrip, PointCloud2EdgeCases)
{
  sensor_msgs::msg::PointCloud2 empty;  // no fields, no data, both bools false
  EXPECT_EQ(expect_round_trip(empty).size(), expected_cloud_size(empty));

  auto big = make_cloud("vanjee_lidar", 100000);  // 1.9 MB payload
  big.is_bigendian = true;
  big.is_dense = false;
  big.height = 2;
  EXPECT_EQ(expect_round_trip(big).size(), expected_cloud_size(big));
}

TEST(CdrRoundTrip, CustomMsgWithAnyNumberOfPoints)
{
  for (uint32_t n : {0u, 1u, 2u, 3u, 1000u, 24000u}) {
    for (std::size_t len : {0u, 3u, 11u}) {
      SCOPED_TRACE("points " + std::to_string(n) + ", frame length " + std::to_string(len));
      const auto msg = make_custom(frame_of_length(len), n);
      const std::size_t points = n == 0 ? 0 : 20 * n - 1;
      EXPECT_EQ(expect_round_trip(msg).size(), 4 + a8(12 + len + 1) + 20 + points);
    }
  }
}

TEST(CdrRoundTrip, CustomMsgPointPaddingIsWrittenAsZero)
{
  // Padding content is free on the wire, but our output must not leak memory contents.
  const auto msg = make_custom("livox_frame", 50);
  const Bytes bytes = serialize(msg);
  const std::size_t first_point = 4 + 24 + 20;
  for (std::size_t k = 0; k + 1 < 50; ++k) {
    ASSERT_EQ(bytes[first_point + 20 * k + 19], 0u) << "after point " << k;
  }
}

TEST(CdrRoundTrip, CustomPointAlone)
{
  livox_ros_driver2::msg::CustomPoint p;
  p.offset_time = 4000000000u;
  p.x = -1.25f;
  p.y = 1e-7f;
  p.z = 3e4f;
  p.reflectivity = 255;
  p.tag = 0x30;
  p.line = 3;
  EXPECT_EQ(expect_round_trip(p).size(), 4u + 19u);
}

std::size_t expected_tf_size(const tf2_msgs::msg::TFMessage & m)
{
  std::size_t p = 4;
  for (const auto & t : m.transforms) {
    const std::size_t c = p + a4(12 + t.header.frame_id.size() + 1);
    p = a8(c + 4 + t.child_frame_id.size() + 1) + 56;
  }
  return 4 + p;
}

TEST(CdrRoundTrip, TfMessageElementsRealignEachTransform)
{
  tf2_msgs::msg::TFMessage empty;
  EXPECT_EQ(expect_round_trip(empty).size(), 8u);

  const auto tf = make_tf();
  EXPECT_EQ(expect_round_trip(tf).size(), expected_tf_size(tf));

  tf2_msgs::msg::TFMessage many;
  for (std::size_t i = 0; i < 17; ++i) {
    many.transforms.push_back(
      make_transform(frame_of_length(i), frame_of_length(16 - i), static_cast<double>(i)));
  }
  EXPECT_EQ(expect_round_trip(many).size(), expected_tf_size(many));

  // Alone, a TransformStamped starts at offset 0: 5-character frame, 11-character child.
  const auto & single = many.transforms[5];
  EXPECT_EQ(expect_round_trip(single).size(), 4 + a8(a4(12 + 5 + 1) + 4 + 11 + 1) + 56);
}

TEST(CdrRoundTrip, DecodingReplacesEveryFieldOfTheTarget)
{
  auto target = make_cloud("old_frame_name", 500);
  const auto small = make_cloud("x", 1);
  const Bytes bytes = serialize(small);
  deserialize(bytes.data(), bytes.size(), target);
  EXPECT_TRUE(target == small);

  auto custom = make_custom("old", 300);
  livox_ros_driver2::msg::CustomMsg none;
  const Bytes none_bytes = serialize(none);
  deserialize(none_bytes.data(), none_bytes.size(), custom);
  EXPECT_TRUE(custom == none);
}

TEST(CdrRoundTrip, FailedDecodeLeavesTargetUntouched)
{
  const auto original = make_imu("imu_link");
  auto target = original;
  Bytes bytes = serialize(make_imu("other"));
  bytes.resize(bytes.size() - 1);
  EXPECT_THROW(deserialize(bytes.data(), bytes.size(), target), CdrError);
  EXPECT_TRUE(target == original);
}

}  // namespace
}  // namespace test
}  // namespace cdr
}  // namespace sweepmend
