// fuzz_seed_corpus: writes the seed corpora of the fuzz targets from the team's fixture bags,
// the node's parameter files and synthetic recordings, kept small so that the fuzzers stay fast.
//   fuzz_seed_corpus OUT FIXTURES CONFIG SYNTH_BAG...
// OUT/<target>/ receives the seeds of each target (cdr, mcap, sqlite, ros_args, node).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "cdr/cdr.hpp"
#include "livox_ros_driver2/msg/custom_msg.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "storage/bag.hpp"
#include "storage/mcap.hpp"
#include "tf2_msgs/msg/tf_message.hpp"

namespace
{

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Points kept per scan in a seed: enough for every code path, small enough to mutate quickly.
constexpr std::size_t kSeedPoints = 48;

Bytes read_file(const fs::path & path)
{
  std::ifstream in(path, std::ios::binary);
  return Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_seed(const fs::path & dir, const std::string & name, const Bytes & bytes)
{
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string stem_of(const fs::path & p)
{
  std::string s = p.parent_path().filename().string() + "_" + p.filename().string();
  std::replace(s.begin(), s.end(), '.', '_');
  return s;
}

// A scan thinned to at most kSeedPoints points, spread over the whole sweep.
Bytes thin_scan(const std::string & type, const Bytes & data)
{
  if (type == "livox_ros_driver2/msg/CustomMsg") {
    auto msg = sweepmend::cdr::deserialize<livox_ros_driver2::msg::CustomMsg>(data);
    const std::size_t step = std::max<std::size_t>(1, msg.points.size() / kSeedPoints);
    std::vector<livox_ros_driver2::msg::CustomPoint> kept;
    for (std::size_t i = 0; i < msg.points.size() && kept.size() < kSeedPoints; i += step) {
      kept.push_back(msg.points[i]);
    }
    if (!msg.points.empty() && kept.back().offset_time != msg.points.back().offset_time) {
      kept.back() = msg.points.back();  // keep the sweep's full duration
    }
    msg.points = kept;
    msg.point_num = static_cast<uint32_t>(kept.size());
    return sweepmend::cdr::serialize(msg);
  }
  auto msg = sweepmend::cdr::deserialize<sensor_msgs::msg::PointCloud2>(data);
  const std::size_t count = msg.point_step ? msg.data.size() / msg.point_step : 0;
  const std::size_t step = std::max<std::size_t>(1, count / kSeedPoints);
  Bytes kept;
  std::size_t n = 0;
  for (std::size_t i = 0; i < count && n < kSeedPoints; i += step, ++n) {
    const std::size_t at = (n + 1 == kSeedPoints ? count - 1 : i) * msg.point_step;
    kept.insert(kept.end(), msg.data.begin() + static_cast<std::ptrdiff_t>(at),
      msg.data.begin() + static_cast<std::ptrdiff_t>(at + msg.point_step));
  }
  msg.data = kept;
  msg.height = n ? 1 : 0;
  msg.width = static_cast<uint32_t>(n);
  msg.row_step = msg.point_step * msg.width;
  return sweepmend::cdr::serialize(msg);
}

bool is_scan(const std::string & type)
{
  return type == "livox_ros_driver2/msg/CustomMsg" || type == "sensor_msgs/msg/PointCloud2";
}

// The first `seconds` of a synthetic recording's node inputs, scans thinned.
struct Inputs
{
  std::vector<sweepmend::bag::TopicMetadata> topics;
  std::vector<sweepmend::bag::BagMessage> messages;
  bool pointcloud2{false};
};

Inputs node_inputs(const fs::path & bag, double seconds)
{
  Inputs in;
  auto reader = sweepmend::bag::Reader::open(bag.string());
  std::map<std::string, std::string> types;
  for (const auto & t : reader->topics()) {
    if (t.name == "/livox/imu" || t.name == "/livox/lidar") {
      in.topics.push_back(t);
      types[t.name] = t.type;
      in.pointcloud2 = in.pointcloud2 || t.type == "sensor_msgs/msg/PointCloud2";
    }
  }
  const int64_t end = reader->start_time() + static_cast<int64_t>(seconds * 1e9);
  sweepmend::bag::BagMessage m;
  while (reader->read_next(m) && m.timestamp <= end) {
    auto it = types.find(m.topic);
    if (it == types.end()) {
      continue;
    }
    if (is_scan(it->second)) {
      m.data = thin_scan(it->second, m.data);
    }
    in.messages.push_back(m);
  }
  return in;
}

void append_record(Bytes & out, uint8_t kind, const Bytes & payload)
{
  out.push_back(kind);
  out.push_back(static_cast<uint8_t>(payload.size() & 0xff));
  out.push_back(static_cast<uint8_t>(payload.size() >> 8));
  out.insert(out.end(), payload.begin(), payload.end());
}

// The node target's layout: configuration byte, then messages, the clock moved on to each
// message's receive time as a player would.
Bytes node_seed(const Inputs & in)
{
  Bytes out{static_cast<uint8_t>(in.pointcloud2 ? 1 : 0)};
  int64_t last = in.messages.empty() ? 0 : in.messages.front().timestamp;
  for (const auto & m : in.messages) {
    const int64_t periods = (m.timestamp - last) / 10'000'000;
    if (periods > 0) {
      append_record(out, 2, Bytes(static_cast<std::size_t>(std::min<int64_t>(periods, 64) - 1)));
      last += periods * 10'000'000;
    }
    if (m.data.size() <= 0xffff) {
      append_record(out, m.topic == "/livox/imu" ? 0 : 1, m.data);
    }
  }
  return out;
}

void write_bag(const fs::path & dir, const std::string & storage, const Inputs & in)
{
  std::error_code ec;
  fs::remove_all(dir, ec);
  auto writer = sweepmend::bag::Writer::create(dir.string(), storage);
  for (const auto & t : in.topics) {
    writer->create_topic(t);
  }
  for (const auto & m : in.messages) {
    writer->write(m.topic, m.timestamp, m.data);
  }
  writer->close();
}

// The sqlite target's layout: 2-byte size of metadata.yaml, the yaml, then the .db3 file.
Bytes sqlite_seed(const fs::path & yaml, const fs::path & db3)
{
  const Bytes y = yaml.empty() ? Bytes{} : read_file(yaml);
  const Bytes d = read_file(db3);
  Bytes out{static_cast<uint8_t>(y.size() & 0xff), static_cast<uint8_t>(y.size() >> 8)};
  out.insert(out.end(), y.begin(), y.end());
  out.insert(out.end(), d.begin(), d.end());
  return out;
}

Bytes text(const std::string & s) {return Bytes(s.begin(), s.end());}

}  // namespace

int main(int argc, char ** argv)
{
  if (argc < 4) {
    std::fprintf(stderr, "usage: fuzz_seed_corpus OUT FIXTURES CONFIG [SYNTH_BAG...]\n");
    return 2;
  }
  const fs::path out(argv[1]);
  const fs::path fixtures(argv[2]);
  const fs::path config(argv[3]);
  const fs::path scratch = out / ".scratch";
  try {
    // Fixture files as they are: MCAP files, SQLite bags with and without metadata.yaml.
    if (fs::is_directory(fixtures)) {
      for (const auto & e : fs::recursive_directory_iterator(fixtures)) {
        const fs::path p = e.path();
        if (p.extension() == ".mcap" && fs::file_size(p) <= 64 * 1024) {
          write_seed(out / "mcap", stem_of(p), read_file(p));
        }
        if (p.extension() == ".db3" && fs::file_size(p) <= 128 * 1024) {
          const fs::path yaml = p.parent_path() / "metadata.yaml";
          write_seed(out / "sqlite", stem_of(p), sqlite_seed(fs::exists(yaml) ? yaml : fs::path(), p));
        }
      }
      // Every recorded message of the fixture bags, for the CDR decoders.
      for (const auto & e : fs::directory_iterator(fixtures / "rosbag2")) {
        try {
          auto reader = sweepmend::bag::Reader::open(e.path().string());
          sweepmend::bag::BagMessage m;
          for (int i = 0; i < 4 && reader->read_next(m); ++i) {
            write_seed(out / "cdr", stem_of(e.path() / m.topic) + std::to_string(i), m.data);
          }
        } catch (const std::exception &) {
          // A fixture this reader refuses seeds nothing here.
        }
      }
    }

    // Messages of the other decoded types.
    rosgraph_msgs::msg::Clock clock;
    clock.clock.sec = 1700000000;
    clock.clock.nanosec = 5000000;
    write_seed(out / "cdr", "clock", sweepmend::cdr::serialize(clock));
    tf2_msgs::msg::TFMessage tf;
    tf.transforms.resize(2);
    tf.transforms[0].header.frame_id = "base_link";
    tf.transforms[0].child_frame_id = "livox_frame";
    tf.transforms[0].transform.rotation.w = 1.0;
    tf.transforms[1].header.frame_id = "livox_frame";
    tf.transforms[1].child_frame_id = "imu_link";
    tf.transforms[1].transform.translation.x = -0.011;
    tf.transforms[1].transform.rotation.w = 1.0;
    write_seed(out / "cdr", "tf", sweepmend::cdr::serialize(tf));

    // Parameter files and command lines.
    for (const auto & e : fs::directory_iterator(config)) {
      if (e.path().extension() == ".yaml") {
        Bytes seed = text("--ros-args\n-p\nlidar_type:=1");
        seed.push_back(0);
        const Bytes file = read_file(e.path());
        seed.insert(seed.end(), file.begin(), file.end());
        write_seed(out / "ros_args", e.path().stem().string(), seed);
      }
    }
    write_seed(out / "ros_args", "command_line", text(
        "sweepmend_node\n--ros-args\n-p\nextrinsic_T:=[0.1, -0.2, 0.3]\n-p\nframe_id:='imu'\n"
        "-r\n__node:=harrow\n-r\n__ns:=/robot\n-r\n/livox/lidar:=scan\n--log-level\n"
        "harrow_node:=debug\n--enclave\n/e\n--\nrest"));

    // Synthetic recordings: thinned node inputs for the node target, small bags of both
    // storages (MCAP also compressed) for the readers, and their messages for the decoders.
    for (int i = 4; i < argc; ++i) {
      const fs::path bag(argv[i]);
      const std::string name = bag.filename().string();
      const Inputs in = node_inputs(bag, 0.5);
      write_seed(out / "node", name, node_seed(in));
      Inputs short_in = in;
      short_in.messages.resize(std::min<std::size_t>(short_in.messages.size(), 40));
      write_seed(out / "node", name + "_short", node_seed(short_in));

      int scans = 0;
      int imus = 0;
      for (const auto & m : in.messages) {
        if (m.topic == "/livox/imu" ? imus++ < 2 : scans++ < 2) {
          write_seed(out / "cdr", name + "_" + std::to_string(scans + imus), m.data);
        }
      }

      Inputs small = in;
      small.messages.resize(std::min<std::size_t>(small.messages.size(), 30));
      write_bag(scratch / "db", "sqlite3", small);
      for (const auto & e : fs::directory_iterator(scratch / "db")) {
        if (e.path().extension() == ".db3") {
          write_seed(out / "sqlite", name, sqlite_seed(scratch / "db" / "metadata.yaml", e.path()));
        }
      }
      // Compressed chunks, which the bag writer does not make.
      for (const char * compression : {"zstd", "lz4"}) {
        sweepmend::bag::McapWriterOptions options;
        options.compression = compression;
        options.chunk_size = 4096;
        fs::create_directories(scratch);
        const fs::path file = scratch / (std::string(compression) + ".mcap");
        {
          sweepmend::bag::McapWriter writer(file.string(), options);
          std::map<std::string, uint16_t> channels;
          for (const auto & t : small.topics) {
            const uint16_t schema = writer.add_schema(t.type, "ros2msg", "");
            channels[t.name] = writer.add_channel(schema, t.name, "cdr", {});
          }
          uint32_t sequence = 0;
          for (const auto & m : small.messages) {
            writer.write(channels.at(m.topic), sequence++, static_cast<uint64_t>(m.timestamp),
              static_cast<uint64_t>(m.timestamp), m.data.data(), m.data.size());
          }
          writer.close();
        }
        write_seed(out / "mcap", name + "_" + compression, read_file(file));
      }
      write_bag(scratch / "mc", "mcap", small);
      for (const auto & e : fs::directory_iterator(scratch / "mc")) {
        if (e.path().extension() == ".mcap") {
          write_seed(out / "mcap", name, read_file(e.path()));
        }
      }
    }
    fs::remove_all(scratch);
  } catch (const std::exception & e) {
    std::fprintf(stderr, "fuzz_seed_corpus: %s\n", e.what());
    return 1;
  }
  return 0;
}
