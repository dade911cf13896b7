// Helpers of the tests of the bag tools: message stamps, bags written and read back, and a scratch
// folder for each test.
#ifndef TOOL_TEST_HELPERS_HPP_
#define TOOL_TEST_HELPERS_HPP_

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "builtin_interfaces/msg/time.hpp"
#include "storage/bag.hpp"

namespace sweepmend_test
{

/// The message time of `ns` nanoseconds since the epoch.
inline builtin_interfaces::msg::Time stamp_of(int64_t ns)
{
  builtin_interfaces::msg::Time t;
  t.sec = static_cast<int32_t>(ns / 1'000'000'000);
  t.nanosec = static_cast<uint32_t>(ns % 1'000'000'000);
  return t;
}

/// Writes `messages` into the new bag `dir` in `storage` ("sqlite3" or "mcap"), with one topic per
/// entry of `types` (topic name to type) offering the QoS profiles `qos_yaml`.
inline void write_bag(
  const std::filesystem::path & dir, const std::string & storage,
  const std::map<std::string, std::string> & types,
  const std::vector<sweepmend::bag::BagMessage> & messages, const std::string & qos_yaml = "")
{
  auto writer = sweepmend::bag::Writer::create(dir.string(), storage);
  for (const auto & [topic, type] : types) {
    sweepmend::bag::TopicMetadata meta;
    meta.name = topic;
    meta.type = type;
    meta.offered_qos_profiles = qos_yaml;
    writer->create_topic(meta);
  }
  for (const auto & m : messages) {
    writer->write(m.topic, m.timestamp, m.data);
  }
  writer->close();
}

/// Every message of the bag at `path` (a folder or a single file), in the bag's order.
inline std::vector<sweepmend::bag::BagMessage> read_bag(const std::filesystem::path & path)
{
  auto reader = sweepmend::bag::Reader::open(path.string());
  std::vector<sweepmend::bag::BagMessage> out;
  sweepmend::bag::BagMessage m;
  while (reader->read_next(m)) {
    out.push_back(m);
  }
  return out;
}

/// A new empty folder for the running test, <temp>/<prefix>_<pid>_<test name>: tests of one
/// program that ctest runs side by side do not share one.
inline std::filesystem::path fresh_test_dir(const std::string & prefix)
{
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::replace(name.begin(), name.end(), '/', '_');  // a parameterised test's "Name/1"
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
    (prefix + "_" + std::to_string(::getpid()) + "_" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace sweepmend_test

#endif  // TOOL_TEST_HELPERS_HPP_
