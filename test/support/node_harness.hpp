// Helpers for tests and benchmarks that drive DataSubscriber: reach into its queues, build input
// messages, read output clouds, capture glog records, ROS log records and standard error, and run
// the node on a simulated clock beside a peer node that publishes its inputs and collects its
// outputs.
#ifndef NODE_HARNESS_HPP_
#define NODE_HARNESS_HPP_

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <glog/logging.h>

#include "builtin_interfaces/msg/time.hpp"
#include "livox_ros_driver2/msg/custom_msg.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rcutils/logging.h"
#include "rosgraph_msgs/msg/clock.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "sweepmend/point_processer.hpp"

/// Test access to the private state and callbacks of DataSubscriber (a friend of the class).
class DataSubscriberTestAccess
{
public:
  using Cloud = pcl::PointCloud<pcl::PointXYZINormal>;

  explicit DataSubscriberTestAccess(DataSubscriber & node)
  : node_(node) {}

  // Callbacks, called directly as the executor would.
  void imu_callback(const sensor_msgs::msg::Imu::ConstSharedPtr & msg) {node_.imu_callback(msg);}
  void livox_pcl_callback(const livox_ros_driver2::msg::CustomMsg::ConstSharedPtr & msg)
  {
    node_.livox_pcl_callback(msg);
  }
  void vanjee_pcl_callback(const sensor_msgs::msg::PointCloud2::ConstSharedPtr & msg)
  {
    node_.vanjee_pcl_callback(msg);
  }
  bool take_measurement(SyncedMeasurement & meas) {return node_.take_measurement(meas);}
  void timer_callback() {node_.timer_callback();}

  // Queues and bookkeeping.
  const std::deque<Cloud::Ptr> & lidar_buffer() const {return node_.lidar_buffer_;}
  const std::deque<double> & time_buffer() const {return node_.time_buffer_;}
  const std::deque<sensor_msgs::msg::Imu::ConstSharedPtr> & imu_buffer() const
  {
    return node_.imu_buffer_;
  }
  double last_imu_stamp() const {return node_.last_imu_stamp_;}
  double last_lidar_stamp() const {return node_.last_lidar_stamp_;}
  double mean_scan_duration() const {return node_.mean_scan_duration_;}
  double lidar_end_time() const {return node_.lidar_end_time_;}
  uint64_t scan_count() const {return node_.scan_count_;}
  bool first_scan() const {return node_.first_scan_;}
  /// Empties the scan queues (benchmarks keep them short this way).
  void clear_scans()
  {
    node_.lidar_buffer_.clear();
    node_.time_buffer_.clear();
  }
  bool scan_taken() const {return node_.scan_taken_;}

  // Configuration.
  uint8_t point_conf_thr() const {return node_.point_conf_thr_;}
  uint8_t object_conf_thr() const {return node_.object_conf_thr_;}
  uint8_t adhesion_conf_thr() const {return node_.adhesion_conf_thr_;}
  const std::vector<double> & extrinT() const {return node_.extrinT_;}
  const std::vector<double> & extrinR() const {return node_.extrinR_;}
  const Eigen::Matrix4d & extrinsic_transform() const {return node_.extrinsic_transform_;}

  // Handles.
  bool has_imu_subscription() const {return node_.imu_subscription_ != nullptr;}
  bool has_livox_subscription() const {return node_.livox_subscription_ != nullptr;}
  bool has_vanjee_subscription() const {return node_.vanjee_subscription_ != nullptr;}
  bool has_publishers() const {return node_.raw_pub_ && node_.undistorted_pub_;}
  bool has_timer() const {return node_.process_timer_ != nullptr;}
  bool has_imu_process() const {return node_.imu_process_ != nullptr;}
  bool has_static_broadcaster() const {return node_.static_broadcaster_ != nullptr;}
  rclcpp::PublisherBase & raw_publisher() {return *node_.raw_pub_;}
  rclcpp::PublisherBase & undistorted_publisher() {return *node_.undistorted_pub_;}

private:
  DataSubscriber & node_;
};

namespace sweepmend_test
{

// ---- glog ----------------------------------------------------------------------------------

/// Sets glog up once per process for tests: no log files, nothing on standard error (records
/// reach GlogCapture sinks all the same).
inline void quiet_glog()
{
  if (!google::IsGoogleLoggingInitialized()) {
    google::InitGoogleLogging("sweepmend_test");
  }
  for (int severity = google::GLOG_INFO; severity < google::NUM_SEVERITIES; ++severity) {
    google::SetLogDestination(severity, "");
  }
  FLAGS_logtostderr = false;
  FLAGS_alsologtostderr = false;
  FLAGS_stderrthreshold = google::GLOG_FATAL;
}

/// One glog record.
struct GlogRecord
{
  int severity;
  std::string file;  // base name, e.g. "point_processer.cpp"
  int line;
  std::string text;
};

/// Collects every glog record written while it lives.
class GlogCapture : public google::LogSink
{
public:
  GlogCapture()
  {
    quiet_glog();
    google::AddLogSink(this);
  }
  ~GlogCapture() override {google::RemoveLogSink(this);}
  GlogCapture(const GlogCapture &) = delete;
  GlogCapture & operator=(const GlogCapture &) = delete;

  // The std::tm form is the one every glog release calls (0.5, as in Ubuntu 22.04, has no
  // other; later ones forward to it by default).
  using google::LogSink::send;
  void send(
    google::LogSeverity severity, const char *, const char * base_filename, int line,
    const std::tm *, const char * message, size_t message_len) override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back({severity, base_filename, line, std::string(message, message_len)});
  }

  std::vector<GlogRecord> records() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
  }
  /// Records whose text starts with prefix.
  std::vector<GlogRecord> starting_with(const std::string & prefix) const
  {
    std::vector<GlogRecord> found;
    for (const auto & r : records()) {
      if (r.text.compare(0, prefix.size(), prefix) == 0) {
        found.push_back(r);
      }
    }
    return found;
  }
  size_t count(const std::string & prefix) const {return starting_with(prefix).size();}
  void clear()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.clear();
  }

private:
  mutable std::mutex mutex_;
  std::vector<GlogRecord> records_;
};

// ---- ROS log records ----------------------------------------------------------------------

/// One record of an rclcpp logger.
struct RosLogRecord
{
  int severity;
  std::string logger;
  std::string function;
  std::string file;  // as __FILE__ gave it
  size_t line;
  std::string text;
};

/// Routes rcutils log records into a list while it lives (one at a time per process). Install it
/// after rclcpp::init, which configures logging.
class RosLogCapture
{
public:
  RosLogCapture()
  : previous_(rcutils_logging_get_output_handler())
  {
    std::lock_guard<std::mutex> lock(mutex());
    records().clear();
    rcutils_logging_set_output_handler(&RosLogCapture::handle);
  }
  ~RosLogCapture() {rcutils_logging_set_output_handler(previous_);}
  RosLogCapture(const RosLogCapture &) = delete;
  RosLogCapture & operator=(const RosLogCapture &) = delete;

  std::vector<RosLogRecord> all() const
  {
    std::lock_guard<std::mutex> lock(mutex());
    return records();
  }
  std::vector<RosLogRecord> starting_with(const std::string & prefix) const
  {
    std::vector<RosLogRecord> found;
    for (const auto & r : all()) {
      if (r.text.compare(0, prefix.size(), prefix) == 0) {
        found.push_back(r);
      }
    }
    return found;
  }
  size_t count(const std::string & prefix) const {return starting_with(prefix).size();}

private:
  static std::mutex & mutex()
  {
    static std::mutex m;
    return m;
  }
  static std::vector<RosLogRecord> & records()
  {
    static std::vector<RosLogRecord> r;
    return r;
  }
  static void handle(
    const rcutils_log_location_t * location, int severity, const char * name,
    rcutils_time_point_value_t, const char * format, va_list * args)
  {
    va_list copy;
    va_copy(copy, *args);
    char buffer[4096];
    std::vsnprintf(buffer, sizeof(buffer), format, copy);
    va_end(copy);
    RosLogRecord record{severity, name ? name : "", "", "", 0, buffer};
    if (location != nullptr) {
      record.function = location->function_name ? location->function_name : "";
      record.file = location->file_name ? location->file_name : "";
      record.line = location->line_number;
    }
    std::lock_guard<std::mutex> lock(mutex());
    records().push_back(std::move(record));
  }

  rcutils_logging_output_handler_t previous_;
};

// ---- standard error -----------------------------------------------------------------------

/// Redirects file descriptor 2 into a temporary file while it lives.
class StderrCapture
{
public:
  StderrCapture()
  {
    std::fflush(stderr);
    char path[] = "/tmp/sweepmend_stderr_XXXXXX";
    file_ = mkstemp(path);
    if (file_ < 0) {
      throw std::runtime_error("cannot create a temporary file");
    }
    unlink(path);
    saved_ = dup(STDERR_FILENO);
    dup2(file_, STDERR_FILENO);
  }
  ~StderrCapture()
  {
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    close(file_);
  }
  StderrCapture(const StderrCapture &) = delete;
  StderrCapture & operator=(const StderrCapture &) = delete;

  /// Everything written so far.
  std::string text() const
  {
    std::fflush(stderr);
    std::string all;
    char buffer[4096];
    for (off_t offset = 0;; ) {
      const ssize_t n = pread(file_, buffer, sizeof(buffer), offset);
      if (n <= 0) {
        break;
      }
      all.append(buffer, static_cast<size_t>(n));
      offset += n;
    }
    return all;
  }
  std::vector<std::string> lines() const
  {
    std::vector<std::string> result;
    const std::string all = text();
    size_t start = 0;
    while (start < all.size()) {
      const size_t end = all.find('\n', start);
      result.push_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
      if (end == std::string::npos) {
        break;
      }
      start = end + 1;
    }
    return result;
  }

private:
  int file_{-1};
  int saved_{-1};
};

// ---- messages -----------------------------------------------------------------------------

/// A stamp from seconds, rounded to whole nanoseconds.
inline builtin_interfaces::msg::Time stamp_at(double seconds)
{
  const auto ns = static_cast<int64_t>(std::llround(seconds * 1e9));
  builtin_interfaces::msg::Time t;
  t.sec = static_cast<int32_t>(ns / 1000000000);
  t.nanosec = static_cast<uint32_t>(ns % 1000000000);
  return t;
}

/// Seconds of a stamp as the node computes them (total nanoseconds / 1e9).
inline double seconds_of(const builtin_interfaces::msg::Time & t)
{
  return static_cast<double>(static_cast<int64_t>(t.sec) * 1000000000 + t.nanosec) / 1e9;
}

inline livox_ros_driver2::msg::CustomPoint livox_point(
  float x, float y, float z, uint32_t offset_ns = 0, uint8_t tag = 0, uint8_t line = 0)
{
  livox_ros_driver2::msg::CustomPoint p;
  p.offset_time = offset_ns;
  p.x = x;
  p.y = y;
  p.z = z;
  p.reflectivity = 7;
  p.tag = tag;
  p.line = line;
  return p;
}

/// A Livox scan with point_num equal to the number of points.
inline livox_ros_driver2::msg::CustomMsg livox_scan(
  double stamp, std::vector<livox_ros_driver2::msg::CustomPoint> points,
  const std::string & frame_id = "livox_frame")
{
  livox_ros_driver2::msg::CustomMsg msg;
  msg.header.stamp = stamp_at(stamp);
  msg.header.frame_id = frame_id;
  msg.timebase = static_cast<uint64_t>(std::llround(stamp * 1e9));
  msg.point_num = static_cast<uint32_t>(points.size());
  msg.points = std::move(points);
  return msg;
}

/// A point of the Vanjee PointCloud2 layout; time in seconds from the scan stamp.
struct VanjeePoint
{
  float x, y, z, intensity;
  double time;
};

/// A PointCloud2 in the Vanjee layout: x, y, z, intensity as float32 at 0..15, a ring number at
/// 16..17 and the time as float64 at 18..25, padded to point_step bytes (>= 26).
inline sensor_msgs::msg::PointCloud2 vanjee_scan(
  double stamp, const std::vector<VanjeePoint> & points, uint32_t point_step = 32,
  uint32_t height = 1, const std::string & frame_id = "vanjee_lidar")
{
  sensor_msgs::msg::PointCloud2 msg;
  msg.header.stamp = stamp_at(stamp);
  msg.header.frame_id = frame_id;
  msg.height = points.empty() ? 0 : height;
  msg.width = points.empty() ? 0 : static_cast<uint32_t>(points.size() / height);
  msg.point_step = point_step;
  msg.row_step = point_step * msg.width;
  msg.is_dense = true;
  const char * names[] = {"x", "y", "z", "intensity", "ring", "timestamp"};
  const uint32_t offsets[] = {0, 4, 8, 12, 16, 18};
  const uint8_t types[] = {7, 7, 7, 7, 4, 8};
  for (int i = 0; i < 6; ++i) {
    sensor_msgs::msg::PointField f;
    f.name = names[i];
    f.offset = offsets[i];
    f.datatype = types[i];
    f.count = 1;
    msg.fields.push_back(f);
  }
  msg.data.assign(static_cast<size_t>(point_step) * points.size(), 0xAB);
  for (size_t i = 0; i < points.size(); ++i) {
    uint8_t * d = msg.data.data() + i * point_step;
    std::memcpy(d, &points[i].x, 4);
    std::memcpy(d + 4, &points[i].y, 4);
    std::memcpy(d + 8, &points[i].z, 4);
    std::memcpy(d + 12, &points[i].intensity, 4);
    const uint16_t ring = static_cast<uint16_t>(i % 64);
    std::memcpy(d + 16, &ring, 2);
    std::memcpy(d + 18, &points[i].time, 8);
  }
  return msg;
}

/// An IMU sample; angular velocity in rad/s, linear acceleration in the unit given.
inline sensor_msgs::msg::Imu imu_sample(
  double stamp, double wx = 0.0, double wy = 0.0, double wz = 0.0, double ax = 0.0,
  double ay = 0.0, double az = 9.81)
{
  sensor_msgs::msg::Imu msg;
  msg.header.stamp = stamp_at(stamp);
  msg.header.frame_id = "imu_link";
  msg.angular_velocity.x = wx;
  msg.angular_velocity.y = wy;
  msg.angular_velocity.z = wz;
  msg.linear_acceleration.x = ax;
  msg.linear_acceleration.y = ay;
  msg.linear_acceleration.z = az;
  return msg;
}

/// One point of a published cloud, read through the message's field descriptions.
struct OutputPoint
{
  float x, y, z, intensity, normal_x, normal_y, normal_z, curvature;
};

/// Reads every point of a PointCloud2 whose fields include the eight of PointXYZINormal as
/// float32; throws if one is missing.
inline std::vector<OutputPoint> read_points(const sensor_msgs::msg::PointCloud2 & msg)
{
  const char * names[] = {
    "x", "y", "z", "intensity", "normal_x", "normal_y", "normal_z", "curvature"};
  uint32_t offsets[8];
  for (int k = 0; k < 8; ++k) {
    bool found = false;
    for (const auto & f : msg.fields) {
      if (f.name == names[k] && f.datatype == sensor_msgs::msg::PointField::FLOAT32) {
        offsets[k] = f.offset;
        found = true;
      }
    }
    if (!found) {
      throw std::runtime_error(std::string("no float32 field ") + names[k]);
    }
  }
  std::vector<OutputPoint> points;
  const size_t count = static_cast<size_t>(msg.width) * msg.height;
  for (size_t i = 0; i < count; ++i) {
    float v[8];
    for (int k = 0; k < 8; ++k) {
      std::memcpy(&v[k], msg.data.data() + i * msg.point_step + offsets[k], 4);
    }
    points.push_back({v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]});
  }
  return points;
}

// ---- running the node ---------------------------------------------------------------------

/// rclcpp initialised with `--ros-args -p use_sim_time:=true` and the given ROS arguments for
/// as long as it lives.
class RosSession
{
public:
  explicit RosSession(const std::vector<std::string> & ros_arguments = {})
  {
    std::vector<std::string> args = {"sweepmend_test", "--ros-args", "-p", "use_sim_time:=true"};
    args.insert(args.end(), ros_arguments.begin(), ros_arguments.end());
    std::vector<const char *> argv;
    for (const auto & a : args) {
      argv.push_back(a.c_str());
    }
    rclcpp::init(
      static_cast<int>(argv.size()), argv.data(), rclcpp::InitOptions(),
      rclcpp::SignalHandlerOptions::None);
  }
  ~RosSession() {rclcpp::shutdown();}
  RosSession(const RosSession &) = delete;
  RosSession & operator=(const RosSession &) = delete;
};

/// DataSubscriber on simulated time beside a peer node that publishes its inputs and /clock and
/// collects both outputs. Every publish is followed by running all callbacks that became ready.
///
/// Only rclcpp's public API is used, so the same tests run against ROS 2 itself. There a
/// publish may reach a subscription a little later (the middleware delivers it) and /clock
/// reaches the node on its clock thread, so each step waits, bounded, until the delivery it
/// depends on happened: acknowledged messages, a node clock that shows the new time, endpoints
/// that found each other.
class NodeHarness
{
public:
  /// Period of the processing timer.
  static constexpr int64_t kTickNs = 10000000;
  /// Upper bound of each wait for a delivery; reached only when something is lost, and then
  /// the step throws std::runtime_error.
  static constexpr std::chrono::seconds kDeliveryTimeout{10};

  /// `ros_arguments` follow `--ros-args -p use_sim_time:=true`, e.g. {"-p", "lidar_type:=1"}.
  explicit NodeHarness(const std::vector<std::string> & ros_arguments = {})
  : session_(ros_arguments), ros_log_(std::make_unique<RosLogCapture>())
  {
    node_ = std::make_shared<DataSubscriber>();
    access_ = std::make_unique<DataSubscriberTestAccess>(*node_);
    peer_ = std::make_shared<rclcpp::Node>("sweepmend_test_peer");
    clock_pub_ = peer_->create_publisher<rosgraph_msgs::msg::Clock>("/clock", rclcpp::ClockQoS());
    imu_pub_ = peer_->create_publisher<sensor_msgs::msg::Imu>(imu_topic, rclcpp::QoS(1000));
    undistorted_sub_ = peer_->create_subscription<sensor_msgs::msg::PointCloud2>(
      lidar_topic_undistorted, rclcpp::QoS(1000),
      [this](sensor_msgs::msg::PointCloud2::ConstSharedPtr msg) {undistorted_.push_back(*msg);});
    raw_sub_ = peer_->create_subscription<sensor_msgs::msg::PointCloud2>(
      lidar_topic_undistorted_raw, rclcpp::QoS(1000),
      [this](sensor_msgs::msg::PointCloud2::ConstSharedPtr msg) {raw_.push_back(*msg);});
    executor_.add_node(node_);
    executor_.add_node(peer_);
    wait_for(
      "the node's IMU subscription to match",
      [this] {return imu_pub_->get_subscription_count() >= 1;});
    wait_for(
      "the node's output publishers to match", [this] {
        return undistorted_sub_->get_publisher_count() >= 1 &&
        raw_sub_->get_publisher_count() >= 1;
      });
    spin();
  }

  ~NodeHarness()
  {
    executor_.remove_node(peer_);
    executor_.remove_node(node_);
  }
  NodeHarness(const NodeHarness &) = delete;
  NodeHarness & operator=(const NodeHarness &) = delete;

  DataSubscriber & node() {return *node_;}
  std::shared_ptr<DataSubscriber> node_ptr() {return node_;}
  rclcpp::Node & peer() {return *peer_;}
  DataSubscriberTestAccess & access() {return *access_;}
  const GlogCapture & glog() const {return glog_;}
  GlogCapture & glog() {return glog_;}
  const RosLogCapture & ros_log() const {return *ros_log_;}

  /// Publishing runs the callbacks unless `then_spin` is false; messages then wait in the
  /// subscriptions' keep-last queues until the next spin.
  void publish(const sensor_msgs::msg::Imu & msg, bool then_spin = true)
  {
    imu_pub_->publish(msg);
    if (then_spin) {
      spin();
    }
  }
  // The scan publishers are made on first use: only one of the two types is on the topic.
  void publish(const livox_ros_driver2::msg::CustomMsg & msg, bool then_spin = true)
  {
    if (!livox_pub_) {
      livox_pub_ = peer_->create_publisher<livox_ros_driver2::msg::CustomMsg>(
        lidar_topic, rclcpp::QoS(1000));
      if (access_->has_livox_subscription()) {
        wait_for(
          "the node's scan subscription to match",
          [this] {return livox_pub_->get_subscription_count() >= 1;});
      }
      spin();
    }
    livox_pub_->publish(msg);
    if (then_spin) {
      spin();
    }
  }
  void publish(const sensor_msgs::msg::PointCloud2 & msg, bool then_spin = true)
  {
    if (!cloud_pub_) {
      cloud_pub_ = peer_->create_publisher<sensor_msgs::msg::PointCloud2>(
        lidar_topic, rclcpp::QoS(1000));
      if (access_->has_vanjee_subscription()) {
        wait_for(
          "the node's scan subscription to match",
          [this] {return cloud_pub_->get_subscription_count() >= 1;});
      }
      spin();
    }
    cloud_pub_->publish(msg);
    if (then_spin) {
      spin();
    }
  }

  /// Moves simulated time on by `ticks` timer periods, one /clock message per period, and runs
  /// whatever each step makes ready.
  void advance(int ticks = 1)
  {
    for (int i = 0; i < ticks; ++i) {
      set_clock(clock_ns_ + kTickNs);
    }
  }

  /// Publishes /clock at `nanoseconds` and runs whatever that makes ready.
  void set_clock(int64_t nanoseconds)
  {
    clock_ns_ = nanoseconds;
    rosgraph_msgs::msg::Clock clock;
    clock.clock.sec = static_cast<int32_t>(nanoseconds / 1000000000);
    clock.clock.nanosec = static_cast<uint32_t>(nanoseconds % 1000000000);
    // /clock is best effort: sent again now and then until the node's clock shows it.
    auto sent = std::chrono::steady_clock::now();
    clock_pub_->publish(clock);
    wait_for(
      "the node's clock to show the /clock time", [&] {
        if (node_->now().nanoseconds() == nanoseconds) {
          return true;
        }
        if (std::chrono::steady_clock::now() - sent > std::chrono::milliseconds(50)) {
          sent = std::chrono::steady_clock::now();
          clock_pub_->publish(clock);
        }
        return false;
      });
    spin();
  }
  int64_t clock_ns() const {return clock_ns_;}

  /// Runs every callback that is ready, until none is: the inputs published so far are
  /// delivered first, and the clouds the node publishes meanwhile reach the peer.
  void spin()
  {
    for (const auto & publisher : {
        std::static_pointer_cast<rclcpp::PublisherBase>(imu_pub_),
        std::static_pointer_cast<rclcpp::PublisherBase>(livox_pub_),
        std::static_pointer_cast<rclcpp::PublisherBase>(cloud_pub_)})
    {
      if (publisher) {
        wait_for_acknowledgement(*publisher);
      }
    }
    executor_.spin_all(kDeliveryTimeout);
    wait_for_acknowledgement(access_->raw_publisher());
    wait_for_acknowledgement(access_->undistorted_publisher());
    executor_.spin_all(kDeliveryTimeout);
  }

  const std::vector<sensor_msgs::msg::PointCloud2> & undistorted() const {return undistorted_;}
  const std::vector<sensor_msgs::msg::PointCloud2> & raw() const {return raw_;}

private:
  /// Polls `done` until it holds; throws std::runtime_error after kDeliveryTimeout.
  template<typename Predicate>
  static void wait_for(const char * what, Predicate && done)
  {
    const auto deadline = std::chrono::steady_clock::now() + kDeliveryTimeout;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) {
        throw std::runtime_error(std::string("timed out waiting for ") + what);
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }

  /// Until every matched subscription holds what `publisher` sent (reliable publishers only).
  static void wait_for_acknowledgement(rclcpp::PublisherBase & publisher)
  {
    if (!publisher.wait_for_all_acked(kDeliveryTimeout)) {
      throw std::runtime_error(
        std::string("timed out waiting for the subscriptions of ") + publisher.get_topic_name());
    }
  }

  GlogCapture glog_;
  RosSession session_;
  std::unique_ptr<RosLogCapture> ros_log_;
  std::shared_ptr<DataSubscriber> node_;
  std::unique_ptr<DataSubscriberTestAccess> access_;
  std::shared_ptr<rclcpp::Node> peer_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  rclcpp::Publisher<rosgraph_msgs::msg::Clock>::SharedPtr clock_pub_;
  rclcpp::Publisher<sensor_msgs::msg::Imu>::SharedPtr imu_pub_;
  rclcpp::Publisher<livox_ros_driver2::msg::CustomMsg>::SharedPtr livox_pub_;
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2>::SharedPtr cloud_pub_;
  rclcpp::Subscription<sensor_msgs::msg::PointCloud2>::SharedPtr undistorted_sub_;
  rclcpp::Subscription<sensor_msgs::msg::PointCloud2>::SharedPtr raw_sub_;
  std::vector<sensor_msgs::msg::PointCloud2> undistorted_;
  std::vector<sensor_msgs::msg::PointCloud2> raw_;
  int64_t clock_ns_{0};
};

}  // namespace sweepmend_test

#endif  // NODE_HARNESS_HPP_
