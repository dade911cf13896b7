// sweepmend_bag under faults from outside: a full file system, a signal in the middle of a run,
// an output folder it may not write, a truncated input and a .db3 that is no database. Each time
// the program must exit with a non-zero status and an error naming the file, leave no output
// (nor its staging folder) behind and leave the input exactly as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "cdr/cdr.hpp"
#include "child_process.hpp"
#include "livox_ros_driver2/msg/custom_msg.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "storage/bag.hpp"
#include "tool_test_helpers.hpp"

namespace fs = std::filesystem;
using sweepmend_test::stamp_of;

namespace
{

constexpr int64_t kStart = 100'000'000'000;
constexpr int64_t kMs = 1'000'000;

// `seconds` of a 10-Hz Livox stream (2000 points a scan) with its 200-Hz IMU.
void write_recording(const fs::path & dir, const std::string & storage, int seconds)
{
  auto writer = sweepmend::bag::Writer::create(dir.string(), storage);
  writer->create_topic({"/livox/imu", "sensor_msgs/msg/Imu", "cdr", ""});
  writer->create_topic({"/livox/lidar", "livox_ros_driver2/msg/CustomMsg", "cdr", ""});
  for (int64_t ms = 0; ms <= seconds * 1000; ms += 5) {
    const int64_t t = kStart + ms * kMs;
    sensor_msgs::msg::Imu imu;
    imu.header.stamp = stamp_of(t);
    imu.header.frame_id = "livox_frame";
    imu.angular_velocity.z = ms >= 300 ? 0.5 : 0.0;
    imu.linear_acceleration.z = 1.0;
    writer->write("/livox/imu", t, sweepmend::cdr::serialize(imu));
    if (ms % 100 == 0 && ms + 100 <= seconds * 1000) {
      livox_ros_driver2::msg::CustomMsg scan;
      scan.header.stamp = stamp_of(t);
      scan.header.frame_id = "livox_frame";
      scan.timebase = static_cast<uint64_t>(t);
      for (int k = 0; k < 2000; ++k) {
        livox_ros_driver2::msg::CustomPoint p;
        p.offset_time = static_cast<uint32_t>(k * 50'000);
        p.x = 5.0f;
        p.y = -2.0f + 0.002f * static_cast<float>(k);
        p.z = 0.1f * static_cast<float>(k % 7);
        p.line = static_cast<uint8_t>(k % 4);
        scan.points.push_back(p);
      }
      scan.point_num = static_cast<uint32_t>(scan.points.size());
      // Received as the driver delivers it, 1 ms after its last point.
      writer->write("/livox/lidar", t + 101 * kMs, sweepmend::cdr::serialize(scan));
    }
  }
  writer->close();
}

// FNV-1a over every file's name, mode, size and bytes under path.
uint64_t checksum(const fs::path & path)
{
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](const void * data, std::size_t n) {
      const auto * p = static_cast<const unsigned char *>(data);
      for (std::size_t i = 0; i < n; ++i) {
        h = (h ^ p[i]) * 1099511628211ull;
      }
    };
  std::vector<fs::path> files;
  if (fs::is_directory(path)) {
    for (const auto & e : fs::recursive_directory_iterator(path)) {
      files.push_back(e.path());
    }
  } else {
    files.push_back(path);
  }
  std::sort(files.begin(), files.end());
  for (const auto & f : files) {
    const std::string name = f.string();
    mix(name.data(), name.size());
    struct stat st {};
    ::stat(f.c_str(), &st);
    mix(&st.st_mode, sizeof(st.st_mode));
    mix(&st.st_size, sizeof(st.st_size));
    if (fs::is_regular_file(f)) {
      std::ifstream in(f, std::ios::binary);
      const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      mix(bytes.data(), bytes.size());
    }
  }
  return h;
}

struct Outcome
{
  int status{-1};          // exit status, or 128 + the signal that ended the run
  bool signalled{false};   // ended by a signal
  std::string errors;      // what it wrote
};

class FaultInjectionTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    dir_ = sweepmend_test::fresh_test_dir("sweepmend_fault_test");
    fs::create_directories(dir_ / "logs");
    fs::create_directories(dir_ / "out");
    // World-readable, so that a child without root rights can read the input.
    fs::permissions(dir_, fs::perms::all, fs::perm_options::replace);
    fs::permissions(dir_ / "logs", fs::perms::all, fs::perm_options::replace);
  }
  void TearDown() override
  {
    std::error_code ec;
    fs::permissions(dir_ / "out", fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }

  // Runs sweepmend_bag IN OUT; child_setup runs in the child before exec. If signal_number is
  // non-zero it is sent in the middle of the run: once the output it stages beside OUT has
  // grown past 1 MB (the node runs by then, and most of the recording is still to come).
  Outcome run_bag(
    const fs::path & in, const fs::path & out,
    const std::function<void()> & child_setup = nullptr, int signal_number = 0)
  {
    sweepmend_test::ChildProcess bag(
      {SWEEPMEND_BAG_EXE, in.string(), out.string()}, {{"GLOG_log_dir", (dir_ / "logs").string()}},
      (dir_ / "logs" / "stderr.txt").string(), child_setup);
    Outcome o;
    if (signal_number != 0) {
      const fs::path staging = out.parent_path() / (".sweepmend_bag-" + std::to_string(bag.pid()));
      auto staged_bytes = [&staging]() {
          std::error_code ec;
          uintmax_t total = 0;
          for (fs::recursive_directory_iterator it(staging, ec), end; !ec && it != end;
            it.increment(ec))
          {
            if (it->is_regular_file(ec)) {
              total += it->file_size(ec);
            }
          }
          return total;
        };
      bag.wait_until([&staged_bytes]() {return staged_bytes() >= (1u << 20);}, 60.0);
      EXPECT_FALSE(bag.ended()) << "the run ended before it could be interrupted";
      o.status = bag.stop(signal_number, 100.0);
    } else {
      o.status = bag.wait(100.0);
    }
    o.signalled = bag.signalled();
    o.errors = bag.log();
    return o;
  }

  // What every failed run must satisfy.
  void expect_clean_failure(
    const Outcome & o, const std::string & named, const fs::path & in, uint64_t sum_before)
  {
    EXPECT_FALSE(o.signalled) << "ended by signal " << o.status - 128 << "\n" << o.errors;
    EXPECT_NE(o.status, 0) << o.errors;
    EXPECT_NE(o.errors.find("error"), std::string::npos) << o.errors;
    EXPECT_NE(o.errors.find(named), std::string::npos) << "no mention of " << named << ":\n" <<
      o.errors;
    EXPECT_EQ(checksum(in), sum_before) << "the input changed";
    // Nothing in the output folder: neither the bag nor its hidden staging folder.
    std::vector<std::string> left;
    for (const auto & e : fs::directory_iterator(dir_ / "out")) {
      left.push_back(e.path().filename().string());
    }
    EXPECT_TRUE(left.empty()) << "left behind: " << (left.empty() ? "" : left.front());
  }

  fs::path dir_;
};

TEST_F(FaultInjectionTest, FullFileSystemFailsCleanly)
{
  for (const std::string storage : {"mcap", "sqlite3"}) {
    SCOPED_TRACE(storage);
    const fs::path in = dir_ / ("in_" + storage);
    write_recording(in, storage, 2);
    const uint64_t before = checksum(in);
    // The output holds about 1.5 MB; the file system is full after 256 kB.
    const auto o = run_bag(in, dir_ / "out" / "bag", [] {
          const rlimit limit{256 * 1024, 256 * 1024};
          ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    expect_clean_failure(o, (dir_ / "out" / "bag").string(), in, before);
  }
}

TEST_F(FaultInjectionTest, InterruptedRunLeavesNothingBehind)
{
  const fs::path in = dir_ / "in";
  write_recording(in, "mcap", 30);
  const uint64_t before = checksum(in);
  for (const int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(strsignal(sig));
    const auto o = run_bag(in, dir_ / "out" / "bag", nullptr, sig);
    expect_clean_failure(o, "interrupted", in, before);
  }
}

TEST_F(FaultInjectionTest, UnwritableOutputFolderIsReported)
{
  const fs::path in = dir_ / "in";
  write_recording(in, "sqlite3", 1);
  const uint64_t before = checksum(in);
  fs::permissions(dir_ / "out", fs::perms::owner_read | fs::perms::owner_exec |
    fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
    fs::perms::others_exec, fs::perm_options::replace);
  // Root writes anywhere; the child gives up root (to nobody) so that the permissions count.
  const auto o = run_bag(in, dir_ / "out" / "bag", [] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
          ::_exit(126);
        }
      });
  ASSERT_NE(o.status, 126) << "cannot drop root rights";
  expect_clean_failure(o, (dir_ / "out" / "bag").string(), in, before);
}

// Offset and length of the first Chunk record of an MCAP file (0 if there is none).
std::pair<uint64_t, uint64_t> first_chunk(const std::string & bytes)
{
  uint64_t pos = 8;  // magic
  while (pos + 9 <= bytes.size()) {
    uint64_t length = 0;
    std::memcpy(&length, bytes.data() + pos + 1, 8);
    if (static_cast<uint8_t>(bytes[pos]) == 0x06) {
      return {pos, 9 + length};
    }
    pos += 9 + length;
  }
  return {0, 0};
}

TEST_F(FaultInjectionTest, InputTruncatedMidChunkIsReported)
{
  const fs::path in = dir_ / "in";
  write_recording(in, "mcap", 1);
  fs::path file;
  for (const auto & e : fs::directory_iterator(in)) {
    if (e.path().extension() == ".mcap") {
      file = e.path();
    }
  }
  std::string bytes;
  {
    std::ifstream f(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  const auto [chunk, length] = first_chunk(bytes);
  ASSERT_GT(length, 1000u);
  fs::resize_file(file, chunk + length / 2);
  const uint64_t before = checksum(in);
  const auto o = run_bag(in, dir_ / "out" / "bag");
  expect_clean_failure(o, file.string(), in, before);
}

TEST_F(FaultInjectionTest, InputTruncatedMidPageIsReported)
{
  const fs::path in = dir_ / "in";
  write_recording(in, "sqlite3", 2);
  fs::path file;
  for (const auto & e : fs::directory_iterator(in)) {
    if (e.path().extension() == ".db3") {
      file = e.path();
    }
  }
  const auto size = fs::file_size(file);
  ASSERT_GT(size, 16 * 4096u);
  // Half way into a page in the middle of the messages.
  fs::resize_file(file, (size / 2 / 4096) * 4096 + 2048);
  const uint64_t before = checksum(in);
  const auto o = run_bag(in, dir_ / "out" / "bag");
  expect_clean_failure(o, file.string(), in, before);
}

TEST_F(FaultInjectionTest, Db3ThatIsNoDatabaseIsReported)
{
  const fs::path in = dir_ / "in.db3";
  std::ofstream(in) << "these are not the bytes of an SQLite database\n";
  const uint64_t before = checksum(in);
  const auto o = run_bag(in, dir_ / "out" / "bag");
  expect_clean_failure(o, in.string(), in, before);

  // The same inside a bag folder whose metadata.yaml names it.
  const fs::path bag = dir_ / "bag_in";
  write_recording(bag, "sqlite3", 1);
  for (const auto & e : fs::directory_iterator(bag)) {
    if (e.path().extension() == ".db3") {
      std::ofstream(e.path(), std::ios::trunc) << std::string(8192, 'x');
    }
  }
  const uint64_t bag_before = checksum(bag);
  const auto o2 = run_bag(bag, dir_ / "out" / "bag");
  expect_clean_failure(o2, (bag / "bag_in_0.db3").string(), bag, bag_before);
}

}  // namespace
