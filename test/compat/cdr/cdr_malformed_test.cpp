// Corrupt input must end in CdrError, never in a crash, an over-read or a giant allocation.
// Buffers are copied into heap blocks of exactly their size so that AddressSanitizer sees any
// read past the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <utility>
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

/// Decodes a copy of bytes[0, size) held in a block of exactly that size. Returns true on
/// success, false on CdrError; anything else escapes and fails the test.
template<typename MessageT>
bool decodes(const uint8_t * bytes, std::size_t size)
{
  std::unique_ptr<uint8_t[]> exact(new uint8_t[size == 0 ? 1 : size]);
  std::copy(bytes, bytes + size, exact.get());
  MessageT msg;
  try {
    deserialize(size == 0 ? nullptr : exact.get(), size, msg);
    return true;
  } catch (const CdrError &) {
    return false;
  }
}

template<typename MessageT>
std::string error_of(const Bytes & bytes)
{
  MessageT msg;
  try {
    deserialize(bytes.data(), bytes.size(), msg);
  } catch (const CdrError & e) {
    return e.what();
  }
  ADD_FAILURE() << "decoded without error";
  return "";
}

template<typename MessageT>
void expect_every_truncation_fails(const MessageT & msg)
{
  const Bytes bytes = serialize(msg);
  ASSERT_TRUE(decodes<MessageT>(bytes.data(), bytes.size()));
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    EXPECT_FALSE(decodes<MessageT>(bytes.data(), n)) << "accepted the first " << n << " of " <<
      bytes.size() << " bytes";
  }
}

TEST(CdrMalformed, EveryTruncationOfEveryTypeFails)
{
  builtin_interfaces::msg::Time t;
  t.sec = 5;
  expect_every_truncation_fails(t);
  expect_every_truncation_fails(make_clock());
  expect_every_truncation_fails(make_header("base_link", 3, 4u));
  expect_every_truncation_fails(make_imu("imu_link"));
  expect_every_truncation_fails(make_field("intensity", 12, 7, 1));
  expect_every_truncation_fails(make_cloud("lidar", 3));
  expect_every_truncation_fails(sensor_msgs::msg::PointCloud2{});
  expect_every_truncation_fails(make_custom("livox_frame", 3));
  expect_every_truncation_fails(make_custom("", 0));
  expect_every_truncation_fails(make_custom("livox_frame", 1).points[0]);
  expect_every_truncation_fails(make_tf());
  expect_every_truncation_fails(tf2_msgs::msg::TFMessage{});
}

Bytes with_u32(Bytes bytes, std::size_t at, uint32_t v)
{
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  return bytes;
}

TEST(CdrMalformed, HugeLengthsAreRejectedBeforeAllocating)
{
  const std::string cloud_type = "sensor_msgs/msg/PointCloud2";
  // make_cloud("lidar", 2): header ends at 0x16 -> pad to 0x18: height, width, field count at 0x20.
  const Bytes cloud = serialize(make_cloud("lidar", 2));
  for (uint32_t n : {0xffffffffu, 0x80000000u, 0x10000000u, 1000u}) {
    const std::string what = error_of<sensor_msgs::msg::PointCloud2>(with_u32(cloud, 0x20, n));
    EXPECT_NE(what.find(cloud_type), std::string::npos) << what;
    EXPECT_NE(what.find("fields"), std::string::npos) << what;
  }
  // The data length sits 16 bytes before the data, which ends one byte before the buffer.
  const std::size_t data_length_at = cloud.size() - 1 - 38 - 4;
  ASSERT_EQ(cloud[data_length_at], 38u);  // 2 points of 19 bytes
  for (uint32_t n : {0xffffffffu, 40u}) {  // 39 bytes follow the length, is_dense included
    const std::string what = error_of<sensor_msgs::msg::PointCloud2>(
      with_u32(cloud, data_length_at, n));
    EXPECT_NE(what.find("data"), std::string::npos) << what;
  }

  // Header length at 0x0c.
  const Bytes header = serialize(make_header("imu", 1, 2u));
  for (uint32_t n : {0xffffffffu, 0x7fffffffu, 5u}) {
    const std::string what = error_of<std_msgs::msg::Header>(with_u32(header, 0x0c, n));
    EXPECT_NE(what.find("std_msgs/msg/Header"), std::string::npos) << what;
    EXPECT_NE(what.find("frame_id"), std::string::npos) << what;
  }

  // CustomMsg "livox_frame": point count at 0x2c. 3 points need 59 bytes; 2 fit the bytes
  // left only by the 1-byte-per-element bound, not by the 20-byte stride.
  const Bytes custom = serialize(make_custom("livox_frame", 3));
  for (uint32_t n : {0xffffffffu, 0x0ccccccdu, 4u}) {
    const std::string what = error_of<livox_ros_driver2::msg::CustomMsg>(
      with_u32(custom, 0x2c, n));
    EXPECT_NE(what.find("livox_ros_driver2/msg/CustomMsg"), std::string::npos) << what;
    EXPECT_NE(what.find("points"), std::string::npos) << what;
  }

  // TFMessage transform count at 0x04.
  const Bytes tf = serialize(make_tf());
  for (uint32_t n : {0xffffffffu, 0x7fffffffu, 1000u}) {
    const std::string what = error_of<tf2_msgs::msg::TFMessage>(with_u32(tf, 0x04, n));
    EXPECT_NE(what.find("tf2_msgs/msg/TFMessage"), std::string::npos) << what;
    EXPECT_NE(what.find("transforms"), std::string::npos) << what;
  }
}

TEST(CdrMalformed, StringWithoutTerminatingNulIsRejected)
{
  Bytes header = serialize(make_header("imu", 1, 2u));
  header.back() = 'x';
  const std::string what = error_of<std_msgs::msg::Header>(header);
  EXPECT_NE(what.find("NUL"), std::string::npos) << what;

  Bytes tf = serialize(make_tf());
  tf[0x14 + 4] = '!';  // "odom\0" -> "odom!"
  EXPECT_NE(error_of<tf2_msgs::msg::TFMessage>(tf).find("NUL"), std::string::npos);
}

TEST(CdrMalformed, BoolOtherThanZeroOrOneIsRejected)
{
  Bytes cloud = serialize(make_cloud("x", 1));
  cloud.back() = 0x02;  // is_dense
  const std::string what = error_of<sensor_msgs::msg::PointCloud2>(cloud);
  EXPECT_NE(what.find("sensor_msgs/msg/PointCloud2"), std::string::npos) << what;
}

TEST(CdrMalformed, OnlyPlainCdrEncapsulationsAreAccepted)
{
  const Bytes good = serialize(make_header("imu", 1, 2u));
  for (std::size_t n = 0; n < 4; ++n) {
    const std::string what = error_of<std_msgs::msg::Header>(Bytes(good.begin(), good.begin() + n));
    EXPECT_NE(what.find("std_msgs/msg/Header"), std::string::npos) << what;
    EXPECT_NE(what.find("encapsulation"), std::string::npos) << what;
  }
  // PL_CDR_BE, PL_CDR_LE, CDR2_BE, CDR2_LE, and a non-zero first byte.
  for (const auto & id : std::vector<std::pair<uint8_t, uint8_t>>{
      {0x00, 0x02}, {0x00, 0x03}, {0x00, 0x06}, {0x00, 0x07}, {0x01, 0x01}})
  {
    Bytes bad = good;
    bad[0] = id.first;
    bad[1] = id.second;
    const std::string what = error_of<std_msgs::msg::Header>(bad);
    EXPECT_NE(what.find("encapsulation"), std::string::npos) << what;
  }
  std_msgs::msg::Header msg;
  EXPECT_THROW(deserialize(nullptr, 0, msg), CdrError);
}

/// Returns how many of `rounds` random buffers were rejected.
template<typename MessageT>
int fuzz_random_bytes(std::mt19937 & rng, int rounds)
{
  int rejected = 0;
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<std::size_t> length(0, 200);
  std::bernoulli_distribution small(0.5);
  for (int i = 0; i < rounds; ++i) {
    Bytes bytes(length(rng));
    for (auto & b : bytes) {
      // Half the time keep values small so that lengths and counts are often plausible.
      b = static_cast<uint8_t>(small(rng) ? byte(rng) % 4 : byte(rng));
    }
    if (bytes.size() >= 2 && i % 8 != 0) {
      bytes[0] = 0x00;
      bytes[1] = static_cast<uint8_t>(i % 2);
    }
    rejected += decodes<MessageT>(bytes.data(), bytes.size()) ? 0 : 1;
  }
  return rejected;
}

TEST(CdrMalformed, RandomBytesNeverCrash)
{
  std::mt19937 rng(20240611u);
  // Short buffers and foreign headers are among the inputs, so every type rejects some.
  EXPECT_GT(fuzz_random_bytes<std_msgs::msg::Header>(rng, 2000), 0);
  EXPECT_GT(fuzz_random_bytes<sensor_msgs::msg::Imu>(rng, 2000), 0);
  EXPECT_GT(fuzz_random_bytes<sensor_msgs::msg::PointCloud2>(rng, 4000), 0);
  EXPECT_GT(fuzz_random_bytes<livox_ros_driver2::msg::CustomMsg>(rng, 4000), 0);
  EXPECT_GT(fuzz_random_bytes<tf2_msgs::msg::TFMessage>(rng, 4000), 0);
  EXPECT_GT(fuzz_random_bytes<rosgraph_msgs::msg::Clock>(rng, 500), 0);
}

template<typename MessageT>
int fuzz_mutations(std::mt19937 & rng, const MessageT & msg, int rounds)
{
  const Bytes valid = serialize(msg);
  std::uniform_int_distribution<std::size_t> where(4, valid.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> flips(1, 4);
  int rejected = 0;
  for (int i = 0; i < rounds; ++i) {
    Bytes bytes = valid;
    for (int k = flips(rng); k > 0; --k) {
      bytes[where(rng)] = static_cast<uint8_t>(byte(rng));
    }
    MessageT decoded;
    try {
      deserialize(bytes.data(), bytes.size(), decoded);
    } catch (const CdrError &) {
      ++rejected;
      continue;
    }
    // Whatever was accepted encodes and decodes stably (bytes compared: NaNs may appear).
    const Bytes again = serialize(decoded);
    EXPECT_TRUE(same_bytes(serialize(deserialize<MessageT>(again)), again));
  }
  return rejected;
}

TEST(CdrMalformed, MutatedValidEncodingsNeverCrash)
{
  std::mt19937 rng(7u);
  // Mutations land in lengths often enough that some must be caught; the rest may decode.
  EXPECT_GT(fuzz_mutations(rng, make_cloud("lidar", 4), 3000), 0);
  EXPECT_GT(fuzz_mutations(rng, make_custom("livox_frame", 4), 3000), 0);
  EXPECT_GT(fuzz_mutations(rng, make_tf(), 3000), 0);
  EXPECT_GT(fuzz_mutations(rng, make_imu("base_link"), 1000), 0);
}

}  // namespace
}  // namespace test
}  // namespace cdr
}  // namespace sweepmend
