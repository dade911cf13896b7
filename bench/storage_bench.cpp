// Bag storage throughput for a 10-s Mid-360 recording: 100 scans of 500 KB and 2000 IMU
// samples, written to and read from each storage format.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "storage/bag.hpp"

namespace
{

namespace fs = std::filesystem;
using sweepmend::bag::BagMessage;

constexpr int kScans = 100;
constexpr int kImuPerScan = 20;
constexpr std::size_t kScanBytes = 500 * 1024;
constexpr std::size_t kImuBytes = 324;

fs::path ScratchPath(const char * what)
{
  return fs::temp_directory_path() /
         ("sweepmend_bench_" + std::string(what) + "_" + std::to_string(::getpid()));
}

void WriteRecording(const fs::path & dir, const std::string & storage)
{
  static const std::vector<uint8_t> scan(kScanBytes, 0x5a);
  static const std::vector<uint8_t> imu(kImuBytes, 0x11);
  auto writer = sweepmend::bag::Writer::create(dir.string(), storage);
  writer->create_topic({"/livox/lidar", "livox_ros_driver2/msg/CustomMsg", "cdr",
      sweepmend::bag::qos_profile_yaml(10, true, false)});
  writer->create_topic({"/livox/imu", "sensor_msgs/msg/Imu", "cdr",
      sweepmend::bag::qos_profile_yaml(10, true, false)});
  int64_t t = 1'700'000'000'000'000'000;
  for (int s = 0; s < kScans; ++s) {
    for (int i = 0; i < kImuPerScan; ++i) {
      writer->write("/livox/imu", t + i * 5'000'000, imu);
    }
    writer->write("/livox/lidar", t + 100'000'000, scan);
    t += 100'000'000;
  }
  writer->close();
}

void BM_WriteRecording(benchmark::State & state, const std::string & storage)
{
  const fs::path dir = ScratchPath("write");
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(dir);
    state.ResumeTiming();
    WriteRecording(dir, storage);
  }
  fs::remove_all(dir);
  state.SetBytesProcessed(
    state.iterations() * static_cast<int64_t>(kScans * (kScanBytes + kImuPerScan * kImuBytes)));
}

void BM_ReadRecording(benchmark::State & state, const std::string & storage)
{
  const fs::path dir = ScratchPath("read");
  fs::remove_all(dir);
  WriteRecording(dir, storage);
  for (auto _ : state) {
    auto reader = sweepmend::bag::Reader::open(dir.string());
    BagMessage msg;
    std::size_t count = 0;
    while (reader->read_next(msg)) {
      ++count;
    }
    benchmark::DoNotOptimize(count);
  }
  fs::remove_all(dir);
  state.SetBytesProcessed(
    state.iterations() * static_cast<int64_t>(kScans * (kScanBytes + kImuPerScan * kImuBytes)));
}

BENCHMARK_CAPTURE(BM_WriteRecording, sqlite3, std::string("sqlite3"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteRecording, mcap, std::string("mcap"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadRecording, sqlite3, std::string("sqlite3"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadRecording, mcap, std::string("mcap"))->Unit(benchmark::kMillisecond);

}  // namespace
