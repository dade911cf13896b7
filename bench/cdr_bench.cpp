// CDR encode/decode throughput for the messages a bag run moves: a 2 MB PointCloud2 (the
// undistorted output), a Mid-360 CustomMsg of 20 000 points (the input) and an IMU sample.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "cdr/cdr.hpp"
#include "livox_ros_driver2/msg/custom_msg.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"

namespace
{

sensor_msgs::msg::PointCloud2 MakeCloud(uint32_t points)
{
  sensor_msgs::msg::PointCloud2 cloud;
  cloud.header.frame_id = "base_link";
  cloud.height = 1;
  cloud.width = points;
  cloud.point_step = 48;  // PointXYZINormal
  cloud.row_step = cloud.point_step * points;
  cloud.data.assign(cloud.row_step, 0x5a);
  cloud.is_dense = true;
  return cloud;
}

livox_ros_driver2::msg::CustomMsg MakeCustom(uint32_t points)
{
  livox_ros_driver2::msg::CustomMsg msg;
  msg.header.frame_id = "livox_frame";
  msg.point_num = points;
  msg.points.resize(points);
  for (uint32_t k = 0; k < points; ++k) {
    msg.points[k].offset_time = k * 5000u;
    msg.points[k].x = static_cast<float>(k);
  }
  return msg;
}

template<typename MessageT>
void Encode(benchmark::State & state, const MessageT & msg)
{
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::vector<uint8_t> out = sweepmend::cdr::serialize(msg);
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

template<typename MessageT>
void Decode(benchmark::State & state, const MessageT & msg)
{
  const std::vector<uint8_t> in = sweepmend::cdr::serialize(msg);
  for (auto _ : state) {
    MessageT decoded = sweepmend::cdr::deserialize<MessageT>(in);
    benchmark::DoNotOptimize(decoded);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_CdrEncodePointCloud2(benchmark::State & state) {Encode(state, MakeCloud(43690));}
void BM_CdrDecodePointCloud2(benchmark::State & state) {Decode(state, MakeCloud(43690));}
void BM_CdrEncodeCustomMsg(benchmark::State & state) {Encode(state, MakeCustom(20000));}
void BM_CdrDecodeCustomMsg(benchmark::State & state) {Decode(state, MakeCustom(20000));}
void BM_CdrEncodeImu(benchmark::State & state) {Encode(state, sensor_msgs::msg::Imu{});}
void BM_CdrDecodeImu(benchmark::State & state) {Decode(state, sensor_msgs::msg::Imu{});}

}  // namespace

BENCHMARK(BM_CdrEncodePointCloud2);
BENCHMARK(BM_CdrDecodePointCloud2);
BENCHMARK(BM_CdrEncodeCustomMsg);
BENCHMARK(BM_CdrDecodeCustomMsg);
BENCHMARK(BM_CdrEncodeImu);
BENCHMARK(BM_CdrDecodeImu);
