// The Cyclone DDS transport. Unit tests of its parts, then tests against a second process
// (compat_dds_peer) on loopback. Each test joins its own DDS domain (100-149) so that tests run
// in parallel never hear each other.
#include <dds/dds.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cdr/cdr.hpp"
#include "dds_transport/dds_transport.hpp"
#include "dds_transport/message_codecs.hpp"
#include "dds_transport/qos_mapping.hpp"
#include "dds_transport/raw_cdr_type.hpp"
#include "rcl_interfaces/msg/log.hpp"
#include "rcl_interfaces/msg/parameter_event.hpp"
#include "rcl_interfaces/msg/parameter_type.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rcutils/logging.h"
#include "rmw_dds_common/msg/participant_entities_info.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "sample_messages.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "tf2_msgs/msg/tf_message.hpp"

extern char ** environ;

namespace
{

using namespace std::chrono_literals;
using sweepmend::dds_transport::decode_received;
using sweepmend::dds_transport::dds_topic_name;
using sweepmend::dds_transport::dds_type_name;
using sweepmend::dds_transport::DropThrottle;
using sweepmend::dds_transport::find_codec;
using sweepmend::dds_transport::make_endpoint_qos;
using Imu = sensor_msgs::msg::Imu;

// ---------------------------------------------------------------------------------------------
// A child process whose stdout lines are collected.

class Peer
{
public:
  /// Starts compat_dds_peer with `args`; `env` entries ("NAME=value", or "NAME=" to remove)
  /// change the inherited environment.
  explicit Peer(
    const std::vector<std::string> & args, const std::vector<std::string> & env = {},
    const std::string & program = DDS_PEER_PATH)
  {
    std::vector<std::string> environment;
    for (char ** e = environ; *e != nullptr; ++e) {
      environment.emplace_back(*e);
    }
    for (const auto & change : env) {
      const std::string key = change.substr(0, change.find('=') + 1);
      environment.erase(
        std::remove_if(
          environment.begin(), environment.end(),
          [&](const std::string & v) {return v.compare(0, key.size(), key) == 0;}),
        environment.end());
      if (change.size() > key.size()) {
        environment.push_back(change);
      }
    }
    std::vector<std::string> argv_text{program};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char *> argv, envp;
    for (auto & a : argv_text) {
      argv.push_back(&a[0]);
    }
    argv.push_back(nullptr);
    for (auto & e : environment) {
      envp.push_back(&e[0]);
    }
    envp.push_back(nullptr);

    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) {
      throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
      throw std::runtime_error("cannot start " + program);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    readers_.emplace_back([this, fd = out[0]] {collect(fd, stdout_);});
    readers_.emplace_back([this, fd = err[0]] {collect(fd, stderr_);});
  }

  ~Peer()
  {
    if (!exited_) {
      kill(pid_, SIGKILL);
      wait_exit(10s);
    }
    for (auto & t : readers_) {
      t.join();
    }
  }

  /// True once a whole stdout line equal to `line` arrived within `timeout`.
  bool wait_for_line(const std::string & line, std::chrono::milliseconds timeout = 10s)
  {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(
      lock, timeout, [&] {
        return stdout_.find(line + "\n") == 0 || stdout_.find("\n" + line + "\n") !=
        std::string::npos;
      });
  }

  void signal(int sig) {kill(pid_, sig);}

  /// Exit status (or -1 if it did not exit in time, then it is killed).
  int wait_exit(std::chrono::milliseconds timeout = 20s)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!exited_) {
      int status = 0;
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        exited_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        exited_ = true;
        status_ = -1;
        break;
      }
      std::this_thread::sleep_for(10ms);
    }
    return status_;
  }

  std::string err()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return stderr_;
  }

private:
  void collect(int fd, std::string & into)
  {
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof(buffer))) > 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      into.append(buffer, static_cast<size_t>(n));
      cv_.notify_all();
    }
    close(fd);
  }

  pid_t pid_{0};
  bool exited_{false};
  int status_{-1};
  std::mutex mutex_;
  std::condition_variable cv_;
  std::string stdout_, stderr_;
  std::vector<std::thread> readers_;
};

// ---------------------------------------------------------------------------------------------
// Unit tests: names, payloads, QoS, the receive path.

TEST(DdsNames, TypeAndTopicNamesAsHumbleMangles)
{
  EXPECT_EQ(dds_type_name("sensor_msgs/msg/PointCloud2"), "sensor_msgs::msg::dds_::PointCloud2_");
  EXPECT_EQ(
    dds_type_name("livox_ros_driver2/msg/CustomMsg"), "livox_ros_driver2::msg::dds_::CustomMsg_");
  EXPECT_EQ(
    dds_type_name("rmw_dds_common/msg/ParticipantEntitiesInfo"),
    "rmw_dds_common::msg::dds_::ParticipantEntitiesInfo_");
  EXPECT_EQ(dds_type_name("Imu"), "");
  EXPECT_EQ(dds_topic_name("/livox/lidar"), "rt/livox/lidar");
  for (const auto & type : sweepmend::dds_transport::carried_types()) {
    EXPECT_EQ(find_codec(type)->dds_type, dds_type_name(type));
  }
}

TEST(DdsPayload, EncapsulationHeaderAndZeroPaddingToFourBytes)
{
  // A cloud of 9 data bytes: the bag codec writes a length that is not a multiple of 4, the
  // wire payload is zero-padded like Humble's.
  sensor_msgs::msg::PointCloud2 cloud;
  cloud.header.frame_id = "lidar";
  cloud.data.assign(9, 0xab);
  cloud.is_dense = true;
  const auto bag_bytes = sweepmend::cdr::serialize(cloud);
  const auto wire = find_codec("sensor_msgs/msg/PointCloud2")->encode(&cloud);
  ASSERT_NE(bag_bytes.size() % 4, 0u);
  ASSERT_EQ(wire.size(), (bag_bytes.size() + 3) / 4 * 4);
  EXPECT_TRUE(std::equal(bag_bytes.begin(), bag_bytes.end(), wire.begin()));
  for (size_t i = bag_bytes.size(); i < wire.size(); ++i) {
    EXPECT_EQ(wire[i], 0) << i;
  }
  EXPECT_THAT(std::vector<uint8_t>(wire.begin(), wire.begin() + 4), testing::ElementsAre(0, 1, 0, 0));
  // The padded payload decodes to the same cloud.
  std::string error;
  auto decoded = decode_received("sensor_msgs/msg/PointCloud2", wire.data(), wire.size(), error);
  ASSERT_TRUE(decoded) << error;
  EXPECT_EQ(*std::static_pointer_cast<const sensor_msgs::msg::PointCloud2>(decoded), cloud);
}

TEST(DdsPayload, GraphAndLogMessagesRoundTrip)
{
  rmw_dds_common::msg::ParticipantEntitiesInfo info;
  info.gid.data[0] = 1;
  info.gid.data[15] = 0xc1;
  rmw_dds_common::msg::NodeEntitiesInfo node;
  node.node_namespace = "/";
  node.node_name = "test_node";
  rmw_dds_common::msg::Gid writer;
  writer.data[15] = 0x03;
  node.writer_gid_seq.push_back(writer);
  info.node_entities_info_seq.push_back(node);
  const auto bytes = sweepmend::cdr::serialize(info);
  // Header 4, gid 24, count 4, "/" 4+2 (+2 pad), "test_node" 4+10 (+2 pad), 0 readers 4,
  // 1 writer 4+24: the 88 bytes a Humble participant sends for one node and one writer.
  EXPECT_EQ(bytes.size(), 88u);
  EXPECT_EQ(
    sweepmend::cdr::deserialize<rmw_dds_common::msg::ParticipantEntitiesInfo>(bytes), info);

  rcl_interfaces::msg::ParameterEvent event;
  event.node = "/n";
  rcl_interfaces::msg::Parameter p;
  p.name = "xs";
  p.value.type = 9;
  p.value.string_array_value = {"a", "bc"};
  p.value.bool_array_value = {true, false, true};
  p.value.integer_array_value = {-1, 7};
  event.new_parameters.push_back(p);
  EXPECT_EQ(
    sweepmend::cdr::deserialize<rcl_interfaces::msg::ParameterEvent>(
      sweepmend::cdr::serialize(event)), event);

  rcl_interfaces::msg::Log log;
  log.level = rcl_interfaces::msg::Log::WARN;
  log.name = "harrow_node";
  log.msg = "hello";
  log.line = 402;
  EXPECT_EQ(
    sweepmend::cdr::deserialize<rcl_interfaces::msg::Log>(sweepmend::cdr::serialize(log)), log);
}

TEST(DdsReceive, GarbageIsDroppedNeverThrownAndOnlyValidPayloadsAreDelivered)
{
  std::mt19937 rng(7);
  for (const auto & type : sweepmend::dds_transport::carried_types()) {
    DropThrottle throttle(1h);
    size_t delivered = 0, dropped = 0;
    for (int i = 0; i < 300; ++i) {
      std::vector<uint8_t> bytes(rng() % 64);
      for (auto & b : bytes) {
        b = static_cast<uint8_t>(rng());
      }
      if (bytes.size() >= 2 && i % 2 == 0) {
        bytes[0] = 0;
        bytes[1] = 1;
      }
      std::string error;
      const bool decodes = static_cast<bool>(
        decode_received(type, bytes.data(), bytes.size(), error));
      bool handed_on = false;
      const bool result = sweepmend::dds_transport::receive_payload(
        "/t", type, bytes.data(), bytes.size(), throttle,
        [&](const rclcpp::detail::MessagePtr & m) {handed_on = m != nullptr;});
      EXPECT_EQ(result, decodes);
      EXPECT_EQ(handed_on, decodes);
      (decodes ? delivered : dropped) += 1;
    }
    EXPECT_GT(dropped, 0u) << type;
    // A valid payload after all that garbage still goes through.
    std::string error;
    bool handed_on = false;
    if (type == "sensor_msgs/msg/Imu") {
      Imu imu;
      imu.header.frame_id = "ok";
      const auto bytes = find_codec(type)->encode(&imu);
      EXPECT_TRUE(
        sweepmend::dds_transport::receive_payload(
          "/t", type, bytes.data(), bytes.size(), throttle,
          [&](const rclcpp::detail::MessagePtr &) {handed_on = true;}));
      EXPECT_TRUE(handed_on);
    }
  }
  std::string error;
  EXPECT_FALSE(decode_received("std_msgs/msg/Nothing", nullptr, 0, error));
  EXPECT_THAT(error, testing::HasSubstr("std_msgs/msg/Nothing"));
}

TEST(DdsReceive, DropReportsAreThrottled)
{
  DropThrottle throttle(1s);
  const auto t0 = std::chrono::steady_clock::time_point{} + 100s;
  EXPECT_EQ(throttle.record(t0), 1u);  // the first drop at once
  EXPECT_EQ(throttle.record(t0 + 10ms), 0u);
  EXPECT_EQ(throttle.record(t0 + 500ms), 0u);
  EXPECT_EQ(throttle.record(t0 + 1001ms), 3u);  // everything since the last report
  EXPECT_EQ(throttle.record(t0 + 1500ms), 0u);
}

TEST(DdsQos, ProfilesMapAsHumbleMiddlewareMapsThem)
{
  {
    dds_qos_t * qos = make_endpoint_qos(rmw_qos_profile_sensor_data);
    dds_reliability_kind_t reliability;
    dds_duration_t blocking;
    dds_history_kind_t history;
    int32_t depth;
    dds_durability_kind_t durability;
    ASSERT_TRUE(dds_qget_reliability(qos, &reliability, &blocking));
    EXPECT_EQ(reliability, DDS_RELIABILITY_BEST_EFFORT);
    ASSERT_TRUE(dds_qget_history(qos, &history, &depth));
    EXPECT_EQ(history, DDS_HISTORY_KEEP_LAST);
    EXPECT_EQ(depth, 5);
    ASSERT_TRUE(dds_qget_durability(qos, &durability));
    EXPECT_EQ(durability, DDS_DURABILITY_VOLATILE);
    dds_duration_t d;
    EXPECT_FALSE(dds_qget_deadline(qos, &d));
    EXPECT_FALSE(dds_qget_lifespan(qos, &d));
    bool autodispose = true;
    ASSERT_TRUE(dds_qget_writer_data_lifecycle(qos, &autodispose));
    EXPECT_FALSE(autodispose);
    dds_delete_qos(qos);
  }
  {
    // tf_static's broadcaster: reliable, transient local, and late joiners served from a history
    // as deep as the writer's.
    rmw_qos_profile_t profile = rmw_qos_profile_default;
    profile.depth = 3;
    profile.durability = RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL;
    profile.lifespan = rmw_time_t{10, 0};
    profile.reliability = RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT;
    dds_qos_t * qos = make_endpoint_qos(profile);
    dds_reliability_kind_t reliability;
    dds_duration_t blocking;
    ASSERT_TRUE(dds_qget_reliability(qos, &reliability, &blocking));
    EXPECT_EQ(reliability, DDS_RELIABILITY_RELIABLE);
    EXPECT_EQ(blocking, DDS_INFINITY);
    dds_durability_kind_t durability;
    ASSERT_TRUE(dds_qget_durability(qos, &durability));
    EXPECT_EQ(durability, DDS_DURABILITY_TRANSIENT_LOCAL);
    dds_duration_t delay;
    dds_history_kind_t kind;
    int32_t depth, a, b, c;
    ASSERT_TRUE(dds_qget_durability_service(qos, &delay, &kind, &depth, &a, &b, &c));
    EXPECT_EQ(kind, DDS_HISTORY_KEEP_LAST);
    EXPECT_EQ(depth, 3);
    dds_duration_t lifespan;
    ASSERT_TRUE(dds_qget_lifespan(qos, &lifespan));
    EXPECT_EQ(lifespan, DDS_SECS(10));
    dds_delete_qos(qos);
  }
  {
    rmw_qos_profile_t profile = rmw_qos_profile_default;
    profile.history = RMW_QOS_POLICY_HISTORY_KEEP_LAST;
    profile.depth = 0;  // "system default" depth
    dds_qos_t * qos = make_endpoint_qos(profile);
    dds_history_kind_t history;
    int32_t depth;
    ASSERT_TRUE(dds_qget_history(qos, &history, &depth));
    EXPECT_EQ(depth, 1);
    dds_delete_qos(qos);
    profile.history = RMW_QOS_POLICY_HISTORY_KEEP_ALL;
    qos = make_endpoint_qos(profile);
    ASSERT_TRUE(dds_qget_history(qos, &history, &depth));
    EXPECT_EQ(history, DDS_HISTORY_KEEP_ALL);
    dds_delete_qos(qos);
  }
}

// ---------------------------------------------------------------------------------------------
// Against other processes on loopback.

/// Collects what a subscription callback received.
template<typename MessageT>
struct Inbox
{
  std::mutex mutex;
  std::vector<MessageT> messages;
  void add(const MessageT & m)
  {
    std::lock_guard<std::mutex> lock(mutex);
    messages.push_back(m);
  }
  size_t size()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return messages.size();
  }
  std::vector<MessageT> copy()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return messages;
  }
};

class DdsGraphTest : public ::testing::Test
{
protected:
  /// Joins `domain` (also for the peers this test starts) and creates the test's node.
  void join(int domain, const rclcpp::NodeOptions & options = rclcpp::NodeOptions())
  {
    setenv("ROS_DOMAIN_ID", std::to_string(domain).c_str(), 1);
    std::vector<const char *> argv{"dds_transport_test"};
    rclcpp::init(1, argv.data(), rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::None);
    node_ = std::make_shared<rclcpp::Node>("dds_test", options);
    // An executor needs a live context, as in rclcpp: made after init, gone before shutdown.
    executor_ = std::make_unique<rclcpp::executors::SingleThreadedExecutor>();
    executor_->add_node(node_);
  }

  void TearDown() override
  {
    if (node_ && executor_) {
      executor_->remove_node(node_);
    }
    executor_.reset();
    node_.reset();
    rclcpp::shutdown();
  }

  /// Spins until `done` or the timeout; returns done().
  bool spin_until(const std::function<bool()> & done, std::chrono::milliseconds timeout = 10s)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      executor_->spin_some(50ms);
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  void spin_for(std::chrono::milliseconds duration)
  {
    spin_until([] {return false;}, duration);
  }

  template<typename MessageT>
  typename rclcpp::Subscription<MessageT>::SharedPtr subscribe(
    const std::string & topic, const rclcpp::QoS & qos, Inbox<MessageT> & inbox)
  {
    return node_->create_subscription<MessageT>(
      topic, qos, [&inbox](typename MessageT::ConstSharedPtr m) {inbox.add(*m);});
  }

  rclcpp::Node::SharedPtr node_;
  std::unique_ptr<rclcpp::executors::SingleThreadedExecutor> executor_;
};

TEST_F(DdsGraphTest, MessagesCrossProcessesAndDecodeEqual)
{
  join(100);
  Inbox<Imu> inbox;
  auto sub = subscribe<Imu>("/cross", rclcpp::QoS(50), inbox);
  Peer peer({"pub", "/cross", "--count", "20", "--wait-match"});
  ASSERT_TRUE(spin_until([&] {return inbox.size() == 20;})) << inbox.size() << peer.err();
  const auto got = inbox.copy();
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(got[i].header.stamp.sec, i);
    EXPECT_EQ(got[i].header.frame_id, "peer");
    EXPECT_EQ(got[i].linear_acceleration.z, 9.81);
  }
  EXPECT_EQ(peer.wait_exit(), 0) << peer.err();
}

TEST_F(DdsGraphTest, BestEffortPublisherDoesNotReachReliableSubscription)
{
  join(101);
  Inbox<Imu> reliable, best_effort;
  auto sub_reliable = subscribe<Imu>("/be", rclcpp::QoS(100).reliable(), reliable);
  auto sub_best_effort = subscribe<Imu>("/be", rclcpp::QoS(100).best_effort(), best_effort);
  Peer peer({"pub", "/be", "--best-effort", "--count", "30", "--wait-match", "--period-ms", "20"});
  // The best-effort subscription proves data flowed while the reliable one heard nothing.
  ASSERT_TRUE(spin_until([&] {return best_effort.size() >= 10;})) << peer.err();
  ASSERT_TRUE(peer.wait_for_line("published"));
  spin_for(300ms);
  EXPECT_EQ(reliable.size(), 0u);
  EXPECT_EQ(sub_reliable->get_publisher_count(), 0u);
  EXPECT_EQ(peer.wait_exit(), 0);
}

TEST_F(DdsGraphTest, TransientLocalLateJoinerGetsTfStaticHistory)
{
  join(102);
  Peer peer({"tf_static", "camera", "imu_link", "--linger-ms", "10000"});
  ASSERT_TRUE(peer.wait_for_line("ready")) << peer.err();
  // Give discovery time so that the subscriptions are truly late.
  std::this_thread::sleep_for(500ms);
  // (No claim about volatile late joiners: Cyclone hands them what a remote writer sends before
  // its first heartbeat tells where "now" is, history included.)
  Inbox<tf2_msgs::msg::TFMessage> latched;
  auto sub_latched = subscribe<tf2_msgs::msg::TFMessage>(
    "/tf_static", rclcpp::QoS(100).reliable().transient_local(), latched);
  ASSERT_TRUE(spin_until([&] {return latched.size() == 1;})) << peer.err();
  spin_for(300ms);
  const auto got = latched.copy();
  ASSERT_EQ(got.size(), 1u);
  ASSERT_EQ(got[0].transforms.size(), 2u);
  EXPECT_EQ(got[0].transforms[0].child_frame_id, "camera");
  EXPECT_EQ(got[0].transforms[1].child_frame_id, "imu_link");
}

TEST_F(DdsGraphTest, KeepLastDepthHonouredForLateJoinersAndQueues)
{
  join(103);
  // Writer side: a transient-local writer of depth 3 keeps the last 3 of 10 for a late joiner.
  Peer peer({"pub", "/depth", "--transient-local", "--depth", "3", "--count", "10",
      "--period-ms", "1", "--linger-ms", "10000"});
  ASSERT_TRUE(peer.wait_for_line("published")) << peer.err();
  Inbox<Imu> late;
  auto sub = subscribe<Imu>("/depth", rclcpp::QoS(10).reliable().transient_local(), late);
  ASSERT_TRUE(spin_until([&] {return late.size() == 3;})) << late.size();
  spin_for(300ms);
  std::vector<int> stamps;
  for (const auto & m : late.copy()) {
    stamps.push_back(m.header.stamp.sec);
  }
  EXPECT_THAT(stamps, testing::ElementsAre(7, 8, 9));

  // Reader side: a subscription of depth 2 that is not spun while 10 arrive keeps the last 2.
  Inbox<Imu> shallow;
  auto sub2 = node_->create_subscription<Imu>(
    "/depth2", rclcpp::QoS(2).reliable(), [&shallow](Imu::ConstSharedPtr m) {shallow.add(*m);});
  Peer burst({"pub", "/depth2", "--count", "10", "--period-ms", "1", "--wait-match"});
  ASSERT_TRUE(burst.wait_for_line("published"));
  std::this_thread::sleep_for(500ms);  // everything delivered, nothing taken
  spin_for(300ms);
  stamps.clear();
  for (const auto & m : shallow.copy()) {
    stamps.push_back(m.header.stamp.sec);
  }
  EXPECT_THAT(stamps, testing::ElementsAre(8, 9));
}

TEST_F(DdsGraphTest, PeerThatLeavesAndComesBackIsMatchedAgain)
{
  join(104);
  Inbox<Imu> inbox;
  auto sub = subscribe<Imu>("/again", rclcpp::QoS(100), inbox);
  {
    Peer first({"pub", "/again", "--count", "5", "--wait-match"});
    ASSERT_TRUE(spin_until([&] {return inbox.size() == 5;})) << first.err();
    EXPECT_EQ(first.wait_exit(), 0);
  }
  // A clean exit deletes the participant: the match goes at once, not after the lease.
  ASSERT_TRUE(spin_until([&] {return sub->get_publisher_count() == 0;}));
  Peer second({"pub", "/again", "--count", "5", "--wait-match"});
  ASSERT_TRUE(spin_until([&] {return inbox.size() == 10;})) << second.err();
  EXPECT_EQ(second.wait_exit(), 0);
}

/// Captures log records of one logger (the console output stays as it was).
struct LogCapture
{
  static std::mutex mutex;
  static std::vector<std::pair<int, std::string>> records;
  static rcutils_logging_output_handler_t previous;
  static void handler(
    const rcutils_log_location_t * location, int severity, const char * name,
    rcutils_time_point_value_t timestamp, const char * format, va_list * args)
  {
    va_list copy;
    va_copy(copy, *args);
    char text[2048];
    std::vsnprintf(text, sizeof(text), format, copy);
    va_end(copy);
    {
      std::lock_guard<std::mutex> lock(mutex);
      records.emplace_back(severity, std::string(name) + ": " + text);
    }
    previous(location, severity, name, timestamp, format, args);
  }
};
std::mutex LogCapture::mutex;
std::vector<std::pair<int, std::string>> LogCapture::records;
rcutils_logging_output_handler_t LogCapture::previous = nullptr;

TEST_F(DdsGraphTest, GarbageUnderAKnownTypeIsDroppedWithAThrottledError)
{
  LogCapture::previous = rcutils_logging_get_output_handler();
  rcutils_logging_set_output_handler(LogCapture::handler);
  join(105);
  Inbox<Imu> inbox;
  auto sub = subscribe<Imu>("/garbage", rclcpp::QoS(500).reliable(), inbox);
  Peer peer({"garbage", "/garbage", "sensor_msgs::msg::dds_::Imu_", "--count", "200"});
  // The valid message sent after the garbage still arrives: nothing crashed or stalled.
  ASSERT_TRUE(spin_until([&] {return inbox.size() == 1;})) << peer.err();
  EXPECT_EQ(inbox.copy()[0].header.stamp.sec, 4242);
  EXPECT_EQ(peer.wait_exit(), 0) << peer.err();
  std::vector<std::string> errors;
  {
    std::lock_guard<std::mutex> lock(LogCapture::mutex);
    for (const auto & r : LogCapture::records) {
      if (r.first == RCUTILS_LOG_SEVERITY_ERROR) {
        errors.push_back(r.second);
      }
    }
  }
  rcutils_logging_set_output_handler(LogCapture::previous);
  // 200 bad messages within a second or two: one report, not 200.
  ASSERT_GE(errors.size(), 1u);
  EXPECT_LE(errors.size(), 2u);
  EXPECT_THAT(errors[0], testing::HasSubstr("'/garbage'"));
  EXPECT_THAT(errors[0], testing::HasSubstr("'sensor_msgs/msg/Imu'"));
}

/// A participant of our own on the test's domain, on Cyclone's C API only, that sees what other
/// processes announce: ros_discovery_info samples and the built-in endpoint topics.
class RawObserver
{
public:
  explicit RawObserver(int domain)
  {
    participant_ = dds_create_participant(domain, nullptr, nullptr);
    EXPECT_GT(participant_, 0);
    ddsi_sertype * type =
      sweepmend::dds_transport::make_raw_cdr_type("rmw_dds_common::msg::dds_::ParticipantEntitiesInfo_");
    const dds_entity_t topic = dds_create_topic_sertype(
      participant_, "ros_discovery_info", &type, nullptr, nullptr, nullptr);
    dds_qos_t * qos = dds_create_qos();
    dds_qset_reliability(qos, DDS_RELIABILITY_RELIABLE, DDS_INFINITY);
    dds_qset_durability(qos, DDS_DURABILITY_TRANSIENT_LOCAL);
    dds_qset_history(qos, DDS_HISTORY_KEEP_ALL, 0);
    discovery_ = dds_create_reader(participant_, topic, qos, nullptr);
    dds_delete_qos(qos);
    publications_ = dds_create_reader(participant_, DDS_BUILTIN_TOPIC_DCPSPUBLICATION, nullptr, nullptr);
    subscriptions_ =
      dds_create_reader(participant_, DDS_BUILTIN_TOPIC_DCPSSUBSCRIPTION, nullptr, nullptr);
    participants_ = dds_create_reader(participant_, DDS_BUILTIN_TOPIC_DCPSPARTICIPANT, nullptr, nullptr);
  }

  ~RawObserver() {dds_delete(participant_);}

  /// Every ros_discovery_info sample received so far, decoded, in arrival order.
  std::vector<rmw_dds_common::msg::ParticipantEntitiesInfo> & discovery()
  {
    ddsi_serdata * sample = nullptr;
    dds_sample_info_t info;
    while (dds_takecdr(discovery_, &sample, 1, &info, DDS_ANY_STATE) == 1) {
      if (info.valid_data) {
        received_.push_back(
          sweepmend::cdr::deserialize<rmw_dds_common::msg::ParticipantEntitiesInfo>(
            std::vector<uint8_t>(
              sweepmend::dds_transport::raw_cdr_data(sample),
              sweepmend::dds_transport::raw_cdr_data(sample) +
              sweepmend::dds_transport::raw_cdr_size(sample))));
      }
      sweepmend::dds_transport::release_raw_cdr_sample(sample);
    }
    return received_;
  }

  struct Endpoint
  {
    rmw_dds_common::msg::Gid gid;  // GUID + 8 zero bytes
    rmw_dds_common::msg::Gid participant;
    std::string type_name;
    std::vector<int> representations;  // as offered or accepted
    bool has_type_information{false};
  };

  static Endpoint describe(dds_builtintopic_endpoint_t * e)
  {
    Endpoint endpoint;
    std::memcpy(endpoint.gid.data.data(), e->key.v, 16);
    std::memcpy(endpoint.participant.data.data(), e->participant_key.v, 16);
    endpoint.type_name = e->type_name;
    uint32_t n = 0;
    dds_data_representation_id_t * values = nullptr;
    if (dds_qget_data_representation(e->qos, &n, &values)) {
      endpoint.representations.assign(values, values + n);
      dds_free(values);
    }
    const dds_typeinfo_t * type_info = nullptr;
    endpoint.has_type_information =
      dds_builtintopic_get_endpoint_type_info(e, &type_info) == DDS_RETCODE_OK && type_info;
    return endpoint;
  }

  /// Every alive endpoint discovery knows (readers or writers), by DDS topic name.
  std::multimap<std::string, Endpoint> read_endpoints(bool readers)
  {
    const dds_entity_t reader = readers ? subscriptions_ : publications_;
    void * samples[256] = {nullptr};
    dds_sample_info_t infos[256];
    const dds_return_t n = dds_read(reader, samples, infos, 256, 256);
    std::multimap<std::string, Endpoint> found;
    for (dds_return_t i = 0; i < n; ++i) {
      auto * e = static_cast<dds_builtintopic_endpoint_t *>(samples[i]);
      if (infos[i].valid_data && infos[i].instance_state == DDS_ALIVE_INSTANCE_STATE) {
        found.emplace(e->topic_name, describe(e));
      }
    }
    if (n > 0) {
      dds_return_loan(reader, samples, n);
    }
    return found;
  }

  /// Alive endpoints on a DDS topic (readers or writers).
  std::vector<Endpoint> endpoints(const std::string & topic, bool readers)
  {
    std::vector<Endpoint> found;
    for (const auto & e : read_endpoints(readers)) {
      if (e.first == topic) {
        found.push_back(e.second);
      }
    }
    return found;
  }

  /// Alive endpoints of one participant, by DDS topic name.
  std::multimap<std::string, Endpoint> endpoints_of(
    const rmw_dds_common::msg::Gid & participant, bool readers)
  {
    std::multimap<std::string, Endpoint> found;
    for (const auto & e : read_endpoints(readers)) {
      if (e.second.participant == participant) {
        found.insert(e);
      }
    }
    return found;
  }

  /// USER_DATA of the participant with this GID ("" if unknown).
  std::string user_data(const rmw_dds_common::msg::Gid & gid)
  {
    void * samples[64] = {nullptr};
    dds_sample_info_t infos[64];
    const dds_return_t n = dds_read(participants_, samples, infos, 64, 64);
    std::string text;
    for (dds_return_t i = 0; i < n; ++i) {
      const auto * p = static_cast<const dds_builtintopic_participant_t *>(samples[i]);
      void * value = nullptr;
      size_t size = 0;
      if (infos[i].valid_data && std::memcmp(p->key.v, gid.data.data(), 16) == 0 &&
        dds_qget_userdata(p->qos, &value, &size))
      {
        text.assign(static_cast<const char *>(value), size);
        dds_free(value);
      }
    }
    if (n > 0) {
      dds_return_loan(participants_, samples, n);
    }
    return text;
  }

private:
  dds_entity_t participant_{0};
  dds_entity_t discovery_{0};
  dds_entity_t publications_{0};
  dds_entity_t subscriptions_{0};
  dds_entity_t participants_{0};
  std::vector<rmw_dds_common::msg::ParticipantEntitiesInfo> received_;
};

bool contains(const std::vector<rmw_dds_common::msg::Gid> & gids, const rmw_dds_common::msg::Gid & g)
{
  return std::find(gids.begin(), gids.end(), g) != gids.end();
}

TEST_F(DdsGraphTest, NodeEndpointsAnnouncedWithGidsEqualToTheirGuids)
{
  join(106);
  RawObserver observer(106);
  Peer peer({"node", "probe", "--linger-ms", "3000"});
  ASSERT_TRUE(peer.wait_for_line("ready")) << peer.err();

  // The probe's latest announcement lists it with every endpoint it has.
  const rmw_dds_common::msg::NodeEntitiesInfo * probe = nullptr;
  rmw_dds_common::msg::Gid participant_gid;
  std::vector<RawObserver::Endpoint> out, in, rosout, events;
  ASSERT_TRUE(
    spin_until(
      [&] {
        probe = nullptr;
        for (const auto & info : observer.discovery()) {
          for (const auto & node : info.node_entities_info_seq) {
            if (node.node_name == "probe") {
              probe = &node;
              participant_gid = info.gid;
            }
          }
        }
        out = observer.endpoints("rt/probe_out", false);
        in = observer.endpoints("rt/probe_in", true);
        rosout = observer.endpoints("rt/rosout", false);
        events = observer.endpoints("rt/parameter_events", false);
        return probe != nullptr && probe->writer_gid_seq.size() == 3 && out.size() == 1 &&
        in.size() == 1 && !rosout.empty() && !events.empty();
      })) << peer.err();
  EXPECT_EQ(probe->node_namespace, "/");
  EXPECT_TRUE(contains(probe->writer_gid_seq, out[0].gid));
  EXPECT_TRUE(contains(probe->reader_gid_seq, in[0].gid));
  EXPECT_EQ(out[0].type_name, "sensor_msgs::msg::dds_::Imu_");
  // As Humble's endpoints: XCDR1 only, no XTypes type information (matching by type name).
  EXPECT_THAT(out[0].representations, testing::ElementsAre(DDS_DATA_REPRESENTATION_XCDR1));
  EXPECT_THAT(in[0].representations, testing::ElementsAre(DDS_DATA_REPRESENTATION_XCDR1));
  EXPECT_FALSE(out[0].has_type_information);
  EXPECT_EQ(out[0].participant, participant_gid);
  // GIDs are the 16-byte GUID and eight zero bytes; a participant's entity id is 00 00 01 c1.
  for (size_t i = 16; i < 24; ++i) {
    EXPECT_EQ(out[0].gid.data[i], 0);
    EXPECT_EQ(participant_gid.data[i], 0);
  }
  EXPECT_THAT(
    std::vector<uint8_t>(participant_gid.data.begin() + 12, participant_gid.data.begin() + 16),
    testing::ElementsAre(0x00, 0x00, 0x01, 0xc1));
  // The node's /rosout and /parameter_events writers are its own.
  size_t own = 0;
  for (const auto & e : rosout) {
    own += contains(probe->writer_gid_seq, e.gid) ? 1 : 0;
  }
  for (const auto & e : events) {
    own += contains(probe->writer_gid_seq, e.gid) ? 1 : 0;
  }
  EXPECT_EQ(own, 2u);
  EXPECT_EQ(observer.user_data(participant_gid), "enclave=/;");

  // Leaving, the peer announces an empty node list before its participant goes.
  EXPECT_EQ(peer.wait_exit(), 0) << peer.err();
  ASSERT_TRUE(
    spin_until(
      [&] {
        const auto & all = observer.discovery();
        return !all.empty() && all.back().gid == participant_gid &&
        all.back().node_entities_info_seq.empty();
      }));
}

TEST_F(DdsGraphTest, OurNodeIsAnnouncedWhileItLives)
{
  join(107);
  RawObserver observer(107);
  auto pub = node_->create_publisher<Imu>("/ours", 10);
  std::vector<RawObserver::Endpoint> ours;
  ASSERT_TRUE(
    spin_until(
      [&] {
        ours = observer.endpoints("rt/ours", false);
        const auto & all = observer.discovery();
        if (ours.size() != 1 || all.empty()) {
          return false;
        }
        for (const auto & node : all.back().node_entities_info_seq) {
          if (node.node_name == "dds_test" && contains(node.writer_gid_seq, ours[0].gid)) {
            return true;
          }
        }
        return false;
      }));
  // The graph counts come from DDS discovery, so they see other processes too.
  EXPECT_EQ(node_->count_publishers("/ours"), 1u);
  EXPECT_EQ(node_->count_subscribers("/ours"), 0u);
  Peer peer({"node", "listener", "--linger-ms", "5000"});
  ASSERT_TRUE(peer.wait_for_line("ready"));
  EXPECT_TRUE(spin_until([&] {return node_->count_subscribers("/probe_in") == 1;}));
  EXPECT_TRUE(spin_until([&] {return node_->count_publishers("/probe_out") == 1;}));
  // A removed publisher disappears from the announcement.
  const auto gid = ours[0].gid;
  pub.reset();
  ASSERT_TRUE(
    spin_until(
      [&] {
        const auto & all = observer.discovery();
        for (const auto & node : all.back().node_entities_info_seq) {
          if (node.node_name == "dds_test") {
            return !contains(node.writer_gid_seq, gid);
          }
        }
        return false;
      }));
}

TEST_F(DdsGraphTest, WirePayloadIsHeaderCdrAndZeroPadding)
{
  join(108);
  // A raw reader sees the bytes exactly as they travelled (for a large cloud: reassembled from
  // fragments).
  const dds_entity_t participant = dds_create_participant(108, nullptr, nullptr);
  ASSERT_GT(participant, 0);
  ddsi_sertype * type =
    sweepmend::dds_transport::make_raw_cdr_type("sensor_msgs::msg::dds_::PointCloud2_");
  const dds_entity_t topic =
    dds_create_topic_sertype(participant, "rt/wire", &type, nullptr, nullptr, nullptr);
  dds_qos_t * qos = dds_create_qos();
  dds_qset_reliability(qos, DDS_RELIABILITY_RELIABLE, DDS_INFINITY);
  dds_qset_history(qos, DDS_HISTORY_KEEP_ALL, 0);
  const dds_entity_t reader = dds_create_reader(participant, topic, qos, nullptr);
  dds_delete_qos(qos);
  for (size_t data_bytes : {9u, 200001u}) {
    Peer peer({"cloud", "/wire", std::to_string(data_bytes)});
    std::vector<uint8_t> wire;
    ASSERT_TRUE(
      spin_until(
        [&] {
          ddsi_serdata * sample = nullptr;
          dds_sample_info_t info;
          if (dds_takecdr(reader, &sample, 1, &info, DDS_ANY_STATE) != 1) {
            return false;
          }
          if (!info.valid_data) {  // the previous peer's writer going away
            sweepmend::dds_transport::release_raw_cdr_sample(sample);
            return false;
          }
          wire.assign(
            sweepmend::dds_transport::raw_cdr_data(sample),
            sweepmend::dds_transport::raw_cdr_data(sample) +
            sweepmend::dds_transport::raw_cdr_size(sample));
          sweepmend::dds_transport::release_raw_cdr_sample(sample);
          return true;
        })) << peer.err();
    const auto body = sweepmend::cdr::serialize(dds_test::sample_cloud(data_bytes));
    ASSERT_NE(body.size() % 4, 0u);
    ASSERT_EQ(wire.size(), (body.size() + 3) / 4 * 4);
    EXPECT_TRUE(std::equal(body.begin(), body.end(), wire.begin()));
    EXPECT_THAT(std::vector<uint8_t>(wire.begin(), wire.begin() + 4), testing::ElementsAre(0, 1, 0, 0));
    EXPECT_THAT(std::vector<uint8_t>(wire.begin() + body.size(), wire.end()), testing::Each(0));
    EXPECT_EQ(peer.wait_exit(), 0);
  }
  dds_delete(participant);
}

TEST_F(DdsGraphTest, NodeLogRecordsGoToRosout)
{
  join(109);
  Inbox<rcl_interfaces::msg::Log> inbox;
  auto sub = subscribe<rcl_interfaces::msg::Log>(
    "/rosout", rclcpp::QoS(1000).reliable().transient_local(), inbox);
  Peer peer({"node", "probe", "--log", "hello from the probe", "--linger-ms", "3000"});
  rcl_interfaces::msg::Log record;
  ASSERT_TRUE(
    spin_until(
      [&] {
        for (const auto & r : inbox.copy()) {
          if (r.name == "probe") {
            record = r;
            return true;
          }
        }
        return false;
      })) << peer.err();
  EXPECT_EQ(record.msg, "hello from the probe");
  EXPECT_EQ(record.level, rcl_interfaces::msg::Log::INFO);
  EXPECT_THAT(record.file, testing::HasSubstr("dds_peer.cpp"));
  EXPECT_EQ(record.function, "run_node");
  EXPECT_GT(record.line, 0u);
  EXPECT_GT(record.stamp.sec, 1600000000);  // wall-clock time of the record
}

TEST_F(DdsGraphTest, ParameterDeclarationsGoToParameterEvents)
{
  join(110);
  Inbox<rcl_interfaces::msg::ParameterEvent> inbox;
  auto sub = subscribe<rcl_interfaces::msg::ParameterEvent>(
    "/parameter_events", rclcpp::ParameterEventsQoS(), inbox);
  Peer peer({"node", "probe", "--param", "answer=42", "--linger-ms", "3000"});
  ASSERT_TRUE(
    spin_until(
      [&] {
        for (const auto & e : inbox.copy()) {
          for (const auto & p : e.new_parameters) {
            if (e.node == "/probe" && p.name == "answer") {
              EXPECT_EQ(p.value.type, rcl_interfaces::msg::ParameterType::PARAMETER_INTEGER);
              EXPECT_EQ(p.value.integer_value, 42);
              return true;
            }
          }
        }
        return false;
      })) << peer.err();
}

TEST_F(DdsGraphTest, UseSimTimeFollowsClockFromAnotherProcess)
{
  join(111, rclcpp::NodeOptions().append_parameter_override("use_sim_time", true));
  Peer peer({"clock", "100", "--count", "200", "--period-ms", "20"});
  ASSERT_TRUE(spin_until([&] {return node_->now().nanoseconds() == 100500000000;})) << peer.err();
}

/// Sets environment variables for the lifetime of the object.
class ScopedEnv
{
public:
  ScopedEnv(const std::string & name, const char * value)
  : name_(name)
  {
    const char * old = std::getenv(name.c_str());
    had_ = old != nullptr;
    old_ = had_ ? old : "";
    if (value != nullptr) {
      setenv(name.c_str(), value, 1);
    } else {
      unsetenv(name.c_str());
    }
  }
  ~ScopedEnv()
  {
    if (had_) {
      setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

private:
  std::string name_;
  bool had_{false};
  std::string old_;
};

TEST_F(DdsGraphTest, LocalhostOnlyAloneConnectsProcesses)
{
  ScopedEnv localhost("ROS_LOCALHOST_ONLY", "1");
  ScopedEnv uri("CYCLONEDDS_URI", nullptr);
  join(112);
  Inbox<Imu> inbox;
  auto sub = subscribe<Imu>("/localhost", rclcpp::QoS(50), inbox);
  Peer peer({"pub", "/localhost", "--count", "5", "--wait-match"});
  ASSERT_TRUE(spin_until([&] {return inbox.size() == 5;})) << peer.err();
  EXPECT_EQ(peer.wait_exit(), 0);
}

#ifdef SWEEPMEND_NODE_PATH
TEST_F(DdsGraphTest, SweepmendNodeJoinsDdsAndAnnouncesEveryEndpointItHas)
{
  join(114);
  RawObserver observer(114);
  Peer node(
    {"--ros-args", "--params-file", SWEEPMEND_CONFIG_DIR "/mid360.yaml"}, {}, SWEEPMEND_NODE_PATH);
  // The node's own announcement against what DDS discovery says its participant has: every
  // endpoint listed, nothing listed that does not exist.
  rmw_dds_common::msg::NodeEntitiesInfo harrow;
  std::multimap<std::string, RawObserver::Endpoint> readers, writers;
  auto listed = [](
    const std::vector<rmw_dds_common::msg::Gid> & gids,
    const std::multimap<std::string, RawObserver::Endpoint> & endpoints) {
      size_t found = 0;
      for (const auto & e : endpoints) {
        if (e.first.compare(0, 3, "rt/") == 0) {
          if (!contains(gids, e.second.gid)) {
            return false;
          }
          ++found;
        }
      }
      return found == gids.size();
    };
  ASSERT_TRUE(
    spin_until(
      [&] {
        for (const auto & info : observer.discovery()) {
          for (const auto & n : info.node_entities_info_seq) {
            if (n.node_name == "harrow_node") {
              harrow = n;
              readers = observer.endpoints_of(info.gid, true);
              writers = observer.endpoints_of(info.gid, false);
            }
          }
        }
        return !harrow.node_name.empty() && readers.count("rt/livox/lidar") == 1 &&
        readers.count("rt/livox/imu") == 1 && writers.count("rt/livox/lidar_undistorted") == 1 &&
        writers.count("rt/livox/lidar_undistorted_raw") == 1 &&
        listed(harrow.reader_gid_seq, readers) && listed(harrow.writer_gid_seq, writers);
      })) << node.err();
  EXPECT_EQ(harrow.node_namespace, "/");
  EXPECT_EQ(
    readers.find("rt/livox/lidar")->second.type_name,
    "livox_ros_driver2::msg::dds_::CustomMsg_");
  EXPECT_EQ(readers.find("rt/livox/imu")->second.type_name, "sensor_msgs::msg::dds_::Imu_");
  EXPECT_EQ(
    writers.find("rt/livox/lidar_undistorted")->second.type_name,
    "sensor_msgs::msg::dds_::PointCloud2_");
  EXPECT_EQ(writers.count("rt/rosout"), 1u);
  EXPECT_EQ(writers.count("rt/parameter_events"), 1u);

  // Ctrl-C: a clean exit that takes the node off the graph at once.
  node.signal(SIGINT);
  EXPECT_EQ(node.wait_exit(), 0) << node.err();
  EXPECT_TRUE(
    spin_until(
      [&] {
        const auto & all = observer.discovery();
        return !all.empty() && all.back().node_entities_info_seq.empty();
      }));
}
#endif

TEST(DdsStartup, LocalhostOnlyWithALoopbackConfigurationRefusesToStart)
{
  // Both select the loopback interface; Cyclone refuses the second selection, so node creation
  // fails as with Humble's middleware.
  Peer peer(
    {"pub", "/refused", "--count", "1"}, {"ROS_LOCALHOST_ONLY=1", "ROS_DOMAIN_ID=113"});
  EXPECT_EQ(peer.wait_exit(), 1);
  EXPECT_THAT(peer.err(), testing::HasSubstr("failed to create domain"));
  EXPECT_THAT(peer.err(), testing::HasSubstr("failed to initialize rcl node"));
}

}  // namespace

int main(int argc, char ** argv)
{
  // Run by hand as well as by ctest: never leave loopback.
  setenv("CYCLONEDDS_URI", "file://" LOOPBACK_CONFIG, 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
