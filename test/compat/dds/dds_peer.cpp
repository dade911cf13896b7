// A second process for the DDS transport tests. Written against the rclcpp API (so it speaks
// through the same transport as the node), except "garbage", which writes raw bytes with
// Cyclone's C API as a misbehaving foreign program would.
//
//   dds_peer pub TOPIC [--best-effort] [--transient-local] [--depth N] [--count K]
//                      [--period-ms P] [--linger-ms L] [--wait-match]
//       publishes K Imu messages (header.stamp.sec = 0 .. K-1, frame_id "peer")
//   dds_peer cloud TOPIC N [--linger-ms L]
//       publishes one PointCloud2 with N data bytes (see sample_cloud) once a reader matched
//   dds_peer tf_static FRAME... [--linger-ms L]
//       publishes one TFMessage on /tf_static (reliable, transient local, depth 1)
//   dds_peer clock SEC [--count K] [--period-ms P]
//       publishes /clock (best effort) SEC.5 s, K times
//   dds_peer node NAME [--log TEXT] [--param NAME=INT] [--linger-ms L]
//       a node with a publisher on /probe_out, a subscription on /probe_in, a log record and a
//       declared parameter
//   dds_peer garbage TOPIC DDS_TYPE [--count K]
//       K payloads of random bytes, then one valid Imu with stamp.sec 4242
// Prints "ready" when its endpoints exist and "done" before it leaves.
#include <dds/dds.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cdr/cdr.hpp"
#include "dds_transport/raw_cdr_type.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "tf2_msgs/msg/tf_message.hpp"

namespace
{

struct Options
{
  std::vector<std::string> positional;
  bool best_effort{false};
  bool transient_local{false};
  bool wait_match{false};
  size_t depth{10};
  int count{1};
  int period_ms{20};
  int linger_ms{0};
  std::string log_text;
  std::string param;
};

Options parse(int argc, char ** argv)
{
  Options o;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string {
        if (i + 1 >= argc) {
          std::fprintf(stderr, "missing value after %s\n", a.c_str());
          std::exit(2);
        }
        return argv[++i];
      };
    if (a == "--best-effort") {
      o.best_effort = true;
    } else if (a == "--transient-local") {
      o.transient_local = true;
    } else if (a == "--wait-match") {
      o.wait_match = true;
    } else if (a == "--depth") {
      o.depth = std::stoul(next());
    } else if (a == "--count") {
      o.count = std::stoi(next());
    } else if (a == "--period-ms") {
      o.period_ms = std::stoi(next());
    } else if (a == "--linger-ms") {
      o.linger_ms = std::stoi(next());
    } else if (a == "--log") {
      o.log_text = next();
    } else if (a == "--param") {
      o.param = next();
    } else {
      o.positional.push_back(a);
    }
  }
  return o;
}

void say(const char * text)
{
  std::printf("%s\n", text);
  std::fflush(stdout);
}

void sleep_ms(int ms) {std::this_thread::sleep_for(std::chrono::milliseconds(ms));}

}  // namespace

/// The cloud "cloud TOPIC N" publishes: N data bytes 0, 1, 2, ... (mod 251).
sensor_msgs::msg::PointCloud2 sample_cloud(size_t data_bytes)
{
  sensor_msgs::msg::PointCloud2 cloud;
  cloud.header.stamp.sec = 0x11223344;
  cloud.header.stamp.nanosec = 0x55667788;
  cloud.header.frame_id = "lidar";
  cloud.height = 1;
  cloud.width = static_cast<uint32_t>(data_bytes);
  sensor_msgs::msg::PointField field;
  field.name = "b";
  field.datatype = sensor_msgs::msg::PointField::UINT8;
  field.count = 1;
  cloud.fields.push_back(field);
  cloud.point_step = 1;
  cloud.row_step = cloud.width;
  for (size_t i = 0; i < data_bytes; ++i) {
    cloud.data.push_back(static_cast<uint8_t>(i % 251));
  }
  cloud.is_dense = true;
  return cloud;
}

namespace
{

int run_pub(const Options & o)
{
  auto node = std::make_shared<rclcpp::Node>("peer_pub");
  rclcpp::QoS qos(o.depth);
  if (o.best_effort) {
    qos.best_effort();
  }
  if (o.transient_local) {
    qos.transient_local();
  }
  auto pub = node->create_publisher<sensor_msgs::msg::Imu>(o.positional.at(0), qos);
  say("ready");
  if (o.wait_match) {
    for (int i = 0; i < 500 && pub->get_subscription_count() == 0; ++i) {
      sleep_ms(10);
    }
  }
  for (int i = 0; i < o.count; ++i) {
    sensor_msgs::msg::Imu msg;
    msg.header.frame_id = "peer";
    msg.header.stamp.sec = i;
    msg.linear_acceleration.z = 9.81;
    pub->publish(msg);
    sleep_ms(o.period_ms);
  }
  say("published");
  sleep_ms(o.linger_ms);
  return 0;
}

int run_cloud(const Options & o)
{
  auto node = std::make_shared<rclcpp::Node>("peer_cloud");
  auto pub = node->create_publisher<sensor_msgs::msg::PointCloud2>(o.positional.at(0), 10);
  say("ready");
  for (int i = 0; i < 500 && pub->get_subscription_count() == 0; ++i) {
    sleep_ms(10);
  }
  pub->publish(sample_cloud(std::stoul(o.positional.at(1))));
  say("published");
  sleep_ms(o.linger_ms);
  return 0;
}

int run_tf_static(const Options & o)
{
  auto node = std::make_shared<rclcpp::Node>("peer_tf");
  // What tf2_ros' static broadcaster uses.
  auto pub = node->create_publisher<tf2_msgs::msg::TFMessage>(
    "/tf_static", rclcpp::QoS(1).reliable().transient_local());
  tf2_msgs::msg::TFMessage msg;
  for (const auto & frame : o.positional) {
    geometry_msgs::msg::TransformStamped t;
    t.header.frame_id = "base_link";
    t.child_frame_id = frame;
    t.transform.rotation.w = 1.0;
    msg.transforms.push_back(t);
  }
  pub->publish(msg);
  say("ready");
  sleep_ms(o.linger_ms);
  return 0;
}

int run_clock(const Options & o)
{
  auto node = std::make_shared<rclcpp::Node>("peer_clock");
  auto pub = node->create_publisher<rosgraph_msgs::msg::Clock>("/clock", rclcpp::ClockQoS());
  say("ready");
  for (int i = 0; i < o.count; ++i) {
    rosgraph_msgs::msg::Clock msg;
    msg.clock.sec = std::stoi(o.positional.at(0));
    msg.clock.nanosec = 500000000u;
    pub->publish(msg);
    sleep_ms(o.period_ms);
  }
  return 0;
}

int run_node(const Options & o)
{
  auto node = std::make_shared<rclcpp::Node>(o.positional.at(0));
  auto pub = node->create_publisher<sensor_msgs::msg::Imu>("/probe_out", 10);
  auto sub = node->create_subscription<sensor_msgs::msg::Imu>(
    "/probe_in", rclcpp::SensorDataQoS(), [](sensor_msgs::msg::Imu::ConstSharedPtr) {});
  if (!o.param.empty()) {
    // /parameter_events is volatile: announce only once a listener has been discovered.
    for (int i = 0; i < 500 && node->count_subscribers("/parameter_events") == 0; ++i) {
      sleep_ms(10);
    }
    sleep_ms(200);
    const auto eq = o.param.find('=');
    node->declare_parameter(
      o.param.substr(0, eq), static_cast<int64_t>(std::stoll(o.param.substr(eq + 1))));
  }
  if (!o.log_text.empty()) {
    RCLCPP_INFO(node->get_logger(), "%s", o.log_text.c_str());
  }
  say("ready");
  sleep_ms(o.linger_ms);
  return 0;
}

int run_garbage(const Options & o)
{
  const char * domain_text = std::getenv("ROS_DOMAIN_ID");
  const dds_domainid_t domain = domain_text ? std::atoi(domain_text) : 0;
  const dds_entity_t participant = dds_create_participant(domain, nullptr, nullptr);
  if (participant < 0) {
    std::fprintf(stderr, "cannot create participant: %s\n", dds_strretcode(participant));
    return 1;
  }
  ddsi_sertype * type = sweepmend::dds_transport::make_raw_cdr_type(o.positional.at(1));
  const std::string topic_name = "rt" + o.positional.at(0);
  const dds_entity_t topic =
    dds_create_topic_sertype(participant, topic_name.c_str(), &type, nullptr, nullptr, nullptr);
  dds_qos_t * qos = dds_create_qos();
  dds_qset_reliability(qos, DDS_RELIABILITY_RELIABLE, DDS_INFINITY);
  dds_qset_history(qos, DDS_HISTORY_KEEP_ALL, 0);
  const dds_entity_t writer = dds_create_writer(participant, topic, qos, nullptr);
  dds_delete_qos(qos);
  if (topic < 0 || writer < 0) {
    std::fprintf(stderr, "cannot create writer\n");
    return 1;
  }
  say("ready");
  dds_publication_matched_status_t status{};
  for (int i = 0; i < 500; ++i) {
    dds_get_publication_matched_status(writer, &status);
    if (status.current_count > 0) {
      break;
    }
    sleep_ms(10);
  }
  std::mt19937 rng(1234);
  for (int i = 0; i < o.count; ++i) {
    // Random lengths and contents behind a valid CDR encapsulation header (Cyclone itself drops
    // payloads with an unknown encoding before any reader sees them); every other one claims a
    // huge frame_id length.
    std::vector<uint8_t> bytes(8 + rng() % 200);
    for (auto & b : bytes) {
      b = static_cast<uint8_t>(rng());
    }
    bytes[0] = 0;
    bytes[1] = static_cast<uint8_t>(i % 3 == 0 ? 0 : 1);
    if (i % 2 == 0) {
      bytes[12] = 0xff;
      bytes[13] = 0xff;
    }
    bytes.resize((bytes.size() + 3) & ~size_t{3});
    dds_writecdr(writer, sweepmend::dds_transport::make_raw_cdr_sample(type, bytes));
  }
  sensor_msgs::msg::Imu valid;
  valid.header.stamp.sec = 4242;
  valid.header.frame_id = "after_garbage";
  auto bytes = sweepmend::cdr::serialize(valid);
  bytes.resize((bytes.size() + 3) & ~size_t{3});
  dds_writecdr(writer, sweepmend::dds_transport::make_raw_cdr_sample(type, bytes));
  // Reliable: stay until the reader has everything.
  dds_wait_for_acks(writer, DDS_SECS(5));
  say("done");
  dds_delete(participant);
  return 0;
}

}  // namespace

int main(int argc, char ** argv)
{
  if (argc < 3) {
    std::fprintf(stderr, "usage: dds_peer pub|cloud|tf_static|clock|node|garbage ARGS...\n");
    return 2;
  }
  const std::string mode = argv[1];
  const Options o = parse(argc, argv);
  if (mode == "garbage") {
    return run_garbage(o);
  }
  rclcpp::init(argc, argv);
  int rc = 2;
  try {
    if (mode == "pub") {
      rc = run_pub(o);
    } else if (mode == "cloud") {
      rc = run_cloud(o);
    } else if (mode == "tf_static") {
      rc = run_tf_static(o);
    } else if (mode == "clock") {
      rc = run_clock(o);
    } else if (mode == "node") {
      rc = run_node(o);
    }
  } catch (const std::exception & e) {
    std::fprintf(stderr, "dds_peer: %s\n", e.what());
    rc = 1;
  }
  rclcpp::shutdown();
  say("done");
  return rc;
}
