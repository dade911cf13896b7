#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>

#include <glog/logging.h>

#include "sweepmend/cloud_message.hpp"
#include "sweepmend/malloc_tuning.hpp"
#include "sweepmend/point_processer.hpp"
#include "sweepmend/scan_layout.hpp"

std::string lidar_topic = "/livox/lidar";
std::string imu_topic = "/livox/imu";
std::string lidar_topic_undistorted = "/livox/lidar_undistorted";
std::string lidar_topic_undistorted_raw = "/livox/lidar_undistorted_raw";
std::string output_frame_id = "lidar_link";

DataSubscriber::DataSubscriber()
: rclcpp::Node("harrow_node")
{
  static_broadcaster_ = std::make_shared<tf2_ros::StaticTransformBroadcaster>(this);
  declare_parameter("point_conf_thr", 1);
  declare_parameter("object_conf_thr", 1);
  declare_parameter("adhesion_conf_thr", 1);
  declare_parameter("extrinsic_T", rclcpp::ParameterType::PARAMETER_DOUBLE_ARRAY);
  declare_parameter("extrinsic_R", rclcpp::ParameterType::PARAMETER_DOUBLE_ARRAY);
  declare_parameter("lidar_type", 0);
  declare_parameter("lidar_topic", "/livox/lidar");
  declare_parameter("imu_topic", "/livox/imu");
  declare_parameter("lidar_topic_undistorted", "/livox/lidar_undistorted");
  declare_parameter("lidar_topic_undistorted_raw", "/livox/lidar_undistorted_raw");
  declare_parameter("frame_id", "lidar_link");
  point_conf_thr_ = static_cast<uint8_t>(get_parameter("point_conf_thr").as_int());
  object_conf_thr_ = static_cast<uint8_t>(get_parameter("object_conf_thr").as_int());
  adhesion_conf_thr_ = static_cast<uint8_t>(get_parameter("adhesion_conf_thr").as_int());
  if (!get_parameter("extrinsic_T", extrinT_)) {
    RCLCPP_WARN(get_logger(), "Parameter extrinT_ not found");
  }
  if (!get_parameter("extrinsic_R", extrinR_)) {
    RCLCPP_WARN(get_logger(), "Parameter extrinR_ not found");
  }
  require_size("extrinsic_T", extrinT_, 3);
  require_size("extrinsic_R", extrinR_, 9);
  const auto lidar_type = static_cast<int32_t>(get_parameter("lidar_type").as_int());
  get_parameter("lidar_topic", lidar_topic);
  get_parameter("imu_topic", imu_topic);
  get_parameter("lidar_topic_undistorted", lidar_topic_undistorted);
  get_parameter("lidar_topic_undistorted_raw", lidar_topic_undistorted_raw);
  get_parameter("frame_id", output_frame_id);
  LOG(INFO) << "frame_id: " << output_frame_id;

  // R from its nine values row by row; extrinsic_transform_ = [R T; 0 0 0 1].
  const Eigen::Vector3d T(extrinT_[0], extrinT_[1], extrinT_[2]);
  Eigen::Matrix3d R;
  R << extrinR_[0], extrinR_[1], extrinR_[2],
    extrinR_[3], extrinR_[4], extrinR_[5],
    extrinR_[6], extrinR_[7], extrinR_[8];
  extrinsic_transform_.block<3, 3>(0, 0) = R;
  extrinsic_transform_.block<3, 1>(0, 3) = T;

  imu_process_ = std::make_shared<IMUProcess>();
  imu_process_->SetExtrinsic(T, R);

  using std::placeholders::_1;
  imu_subscription_ = create_subscription<sensor_msgs::msg::Imu>(
    imu_topic, rclcpp::QoS(10), std::bind(&DataSubscriber::imu_callback, this, _1));

  // Exactly one scan input, in the message format of the sensor that lidar_type names.
  if (lidar_type == 0) {
    livox_subscription_ = create_subscription<livox_ros_driver2::msg::CustomMsg>(
      lidar_topic, rclcpp::QoS(1), std::bind(&DataSubscriber::livox_pcl_callback, this, _1));
    LOG(INFO) << "lidar type: livox mid360";
  } else if (lidar_type == 1) {
    vanjee_subscription_ = create_subscription<sensor_msgs::msg::PointCloud2>(
      lidar_topic, rclcpp::QoS(1), std::bind(&DataSubscriber::vanjee_pcl_callback, this, _1));
    LOG(INFO) << "lidar type: livox vanjee 722";
  } else {
    LOG(ERROR) << "lidar type error : " << lidar_type;
  }

  undistorted_pub_ = create_publisher<sensor_msgs::msg::PointCloud2>(
    lidar_topic_undistorted, rclcpp::QoS(1));
  raw_pub_ = create_publisher<sensor_msgs::msg::PointCloud2>(
    lidar_topic_undistorted_raw, rclcpp::QoS(1));

  // On the node clock, so that with use_sim_time the cycle follows /clock.
  process_timer_ = rclcpp::create_timer(
    this, get_clock(), rclcpp::Duration(std::chrono::milliseconds(10)),
    std::bind(&DataSubscriber::timer_callback, this));
}

void DataSubscriber::imu_callback(const sensor_msgs::msg::Imu::ConstSharedPtr & msg)
{
  double stamp = 0.0;
  if (!imu_usable(*msg, stamp)) {
    return;
  }
  std::lock_guard<std::mutex> lock(buffer_mutex_);
  // An older sample than the newest queued one means the source restarted or a recording looped.
  if (last_imu_stamp_ > stamp) {
    if (imu_loop_log_.due()) {
      std::cerr << "imu loop back, clear buffer" << imu_loop_log_.note() << std::endl;
    }
    imu_buffer_.clear();
  }
  last_imu_stamp_ = stamp;
  queue_imu(msg);
}

void DataSubscriber::livox_pcl_callback(
  const livox_ros_driver2::msg::CustomMsg::ConstSharedPtr & msg)
{
  double stamp = 0.0;
  if (!stamp_seconds(msg->header.stamp, lidar_topic.c_str(), scan_stamp_log_, stamp)) {
    return;
  }
  std::lock_guard<std::mutex> lock(buffer_mutex_);
  check_scan_loop_back(stamp);
  auto cloud = scan_clouds_.take();  // storage of an earlier scan, once that one is done with

  // A driver may announce more points than it sent; only entries that exist are read.
  const std::size_t n = std::min<std::size_t>(msg->point_num, msg->points.size());
  pl_surf.clear();
  pl_surf.reserve(n);
  output_frame_id = msg->header.frame_id;
  const sweepmend::LivoxPointFilter filter{point_conf_thr_, object_conf_thr_, adhesion_conf_thr_,
    line_limit_, point_stride_, min_range_};
  sweepmend::keep_livox_points(msg->points.data(), n, filter, pl_surf);
  LOG(INFO) << "raw point size: " << msg->points.size() << "  ,pl_surf point size: " <<
    pl_surf.size();

  // The queued cloud takes pl_surf as it is; pl_surf keeps the other storage for the next scan.
  cloud->swap(pl_surf);
  queue_scan(cloud, stamp);
}

void DataSubscriber::vanjee_pcl_callback(const sensor_msgs::msg::PointCloud2::ConstSharedPtr & msg)
{
  double stamp = 0.0;
  // A point_step too short for the layout would read the same bytes again for every point.
  if (!point_step_usable(*msg) ||
    !stamp_seconds(msg->header.stamp, lidar_topic.c_str(), scan_stamp_log_, stamp))
  {
    return;
  }
  std::lock_guard<std::mutex> lock(buffer_mutex_);
  check_scan_loop_back(stamp);
  // Fixed layout (sweepmend/scan_layout.hpp); points not wholly inside data are not read.
  const std::size_t count = sweepmend::scan_point_count(*msg);
  auto cloud = scan_clouds_.take();  // storage of an earlier scan, once that one is done with
  cloud->reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto point = sweepmend::read_scan_point(msg->data.data() + i * msg->point_step);
    // A return at the origin, or one without a finite position and time, is a missing return.
    if (same_position(point, pcl::PointXYZINormal()) || !finite_point(point)) {
      continue;
    }
    if (static_cast<double>(squared_range(point)) > min_range_ * min_range_) {
      sweepmend::append_point(*cloud, point);
    }
  }

  LOG(INFO) << "Received PointCloud2 message with timestamp: " <<
    std::to_string(msg->header.stamp.sec + msg->header.stamp.nanosec * 1e-9);
  LOG(INFO) << "vanjee pcl size: " << cloud->size();
  log_samples(*cloud);
  queue_scan(cloud, stamp);
}

bool DataSubscriber::point_step_usable(const sensor_msgs::msg::PointCloud2 & msg)
{
  const bool usable = msg.point_step >= sweepmend::kScanPointBytes;
  LOG_IF(ERROR, !usable && point_step_log_.due()) << "message on " << lidar_topic <<
    " dropped: point_step " << msg.point_step << " is below the " <<
    sweepmend::kScanPointBytes << " bytes a point needs" << point_step_log_.note();
  return usable;
}

bool DataSubscriber::plausible_duration(double duration)
{
  const bool plausible = duration >= 0.0 && duration <= kMaxScanDuration;  // false for NaN
  LOG_IF(WARNING, !plausible && duration_log_.due()) << "scan duration " << duration <<
    " s not in [0, " << kMaxScanDuration << "] s, the mean is used" << duration_log_.note();
  return plausible;
}

void DataSubscriber::log_samples(const pcl::PointCloud<pcl::PointXYZINormal> & cloud) const
{
  // Every 100th point, at most ten, then the last; the number printed counts the samples.
  for (std::size_t k = 0; k < 10 && 100 * k < cloud.size(); ++k) {
    const auto & p = cloud.points[100 * k];
    RCLCPP_INFO(
      get_logger(), "Point %zu: x = %f, y = %f, z = %f, intensity = %f, curvature = %f", k,
      static_cast<double>(p.x), static_cast<double>(p.y), static_cast<double>(p.z),
      static_cast<double>(p.intensity), static_cast<double>(p.curvature));
  }
  if (!cloud.empty()) {
    const auto & p = cloud.points.back();
    RCLCPP_INFO(
      get_logger(), "Last Point: x = %f, y = %f, z = %f, intensity = %f, curvature = %f",
      static_cast<double>(p.x), static_cast<double>(p.y), static_cast<double>(p.z),
      static_cast<double>(p.intensity), static_cast<double>(p.curvature));
  }
}

bool DataSubscriber::take_measurement(SyncedMeasurement & meas)
{
  std::lock_guard<std::mutex> lock(buffer_mutex_);
  if (lidar_buffer_.empty() || imu_buffer_.empty()) {
    return false;
  }

  meas.scan = lidar_buffer_.front();
  meas.lidar_beg_time = time_buffer_.front();
  // Too few points to tell the duration: assume the usual one.
  if (meas.scan->points.size() <= 5) {
    lidar_end_time_ = meas.lidar_beg_time + mean_scan_duration_;
    LOG(WARNING) << "Too few input point cloud!";
  } else {
    // Points are in delivery order, so the last one carries the scan's duration.
    const double duration = static_cast<double>(meas.scan->points.back().curvature) / 1000.0;
    if (!plausible_duration(duration) || duration < 0.5 * mean_scan_duration_) {
      // Far shorter than usual, or no sane time at all: take the usual duration, keep the mean.
      lidar_end_time_ = meas.lidar_beg_time + mean_scan_duration_;
    } else {
      scan_count_++;
      lidar_end_time_ = meas.lidar_beg_time + duration;
      mean_scan_duration_ += (duration - mean_scan_duration_) / static_cast<double>(scan_count_);
    }
  }
  meas.lidar_end_time = lidar_end_time_;
  scan_taken_ = true;

  // The scan waits until the IMU stream has reached its end.
  if (last_imu_stamp_ < lidar_end_time_) {
    scan_taken_ = false;
    return false;
  }

  // Samples before the end time go with the scan, and after one of them a sample exactly at the
  // end time too; a later sample stays for the next scan. Older ones left over go along.
  move_imu_samples(meas.imu_samples);
  lidar_buffer_.pop_front();
  time_buffer_.pop_front();
  scan_taken_ = false;
  return true;
}

void DataSubscriber::timer_callback()
{
  SyncedMeasurement meas;
  if (!take_measurement(meas)) {
    return;
  }
  // The undistorted cloud is made in its message: the scan copied, compensated and moved there.
  auto undistorted_msg = message_of(*meas.scan);
  const auto t0 = std::chrono::system_clock::now();
  const bool compensated = imu_process_->Process(meas, message_points(*undistorted_msg));
  const auto t1 = std::chrono::system_clock::now();
  // Into the output frame, as the received cloud below.
  const bool finite = compensated && move_message_points(*undistorted_msg, extrinsic_transform_);
  // Both clouds carry the scan's end time, truncated toward zero to whole nanoseconds.
  const builtin_interfaces::msg::Time stamp = end_stamp(meas.lidar_end_time);
  if (compensated) {
    LOG(WARNING) << "undistorted point size: " << meas.scan->size();
    // The publisher takes the message over: a cycle allocates nothing cloud-sized but the two
    // messages it hands on, and keeps no cloud of its own between cycles but the clouds of the
    // queued scans.
    undistorted_msg->header.stamp = stamp;
    undistorted_msg->header.frame_id = output_frame_id;
    publish_finite(*undistorted_pub_, std::move(undistorted_msg), finite);
  }

  // The IMU processor keeps the scan itself: the transform only reads it, and the result goes
  // into the message, so the scan needs no copy of its own. The received cloud goes out
  // whether or not the scan could be compensated.
  auto raw_msg = std::make_unique<sensor_msgs::msg::PointCloud2>();
  const bool raw_finite = transform_to_message(*meas.scan, extrinsic_transform_, *raw_msg);
  raw_msg->header.stamp = stamp;
  raw_msg->header.frame_id = output_frame_id;
  publish_finite(*raw_pub_, std::move(raw_msg), raw_finite);

  const auto t2 = std::chrono::system_clock::now();
  using Milliseconds = std::chrono::duration<double, std::milli>;
  LOG(INFO) << "Undistorted time: " << Milliseconds(t1 - t0).count() << " ms" <<
    " ,Publish time: " << Milliseconds(t2 - t1).count() << " ms";
}

bool DataSubscriber::stamp_seconds(
  const builtin_interfaces::msg::Time & stamp, const char * topic,
  sweepmend::LogThrottle & throttle, double & seconds)
{
  // rclcpp::Time refuses negative seconds; such a message is dropped rather than ending the node.
  if (stamp.sec < 0) {
    LOG_IF(ERROR, throttle.due()) << "message on " << topic << " dropped: negative stamp (" <<
      stamp.sec << " s)" << throttle.note();
    return false;
  }
  seconds = rclcpp::Time(stamp, RCL_ROS_TIME).seconds();
  return true;
}

bool DataSubscriber::imu_usable(const sensor_msgs::msg::Imu & msg, double & stamp)
{
  if (!stamp_seconds(msg.header.stamp, imu_topic.c_str(), imu_stamp_log_, stamp)) {
    return false;
  }
  const auto & w = msg.angular_velocity;
  const auto & a = msg.linear_acceleration;
  const bool finite = std::isfinite(w.x) && std::isfinite(w.y) && std::isfinite(w.z) &&
    std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
  LOG_IF(ERROR, !finite && imu_value_log_.due()) << "message on " << imu_topic <<
    " dropped: angular velocity (" << w.x << ", " << w.y << ", " << w.z <<
    ") or linear acceleration (" << a.x << ", " << a.y << ", " << a.z << ") not finite" <<
    imu_value_log_.note();
  return finite;
}

void DataSubscriber::publish_finite(
  rclcpp::Publisher<sensor_msgs::msg::PointCloud2> & publisher,
  std::unique_ptr<sensor_msgs::msg::PointCloud2> msg, bool finite)
{
  if (finite) {
    publisher.publish(std::move(msg));
  }
  LOG_IF(ERROR, !finite && unpublished_log_.due()) << "cloud for " <<
    publisher.get_topic_name() << " not published: a coordinate is not finite" <<
    unpublished_log_.note();
}
void DataSubscriber::move_imu_samples(std::deque<sensor_msgs::msg::Imu::ConstSharedPtr> & samples)
{
  double imu_time = rclcpp::Time(imu_buffer_.front()->header.stamp, RCL_ROS_TIME).seconds();
  samples.clear();
  while (!imu_buffer_.empty() && lidar_end_time_ > imu_time) {
    imu_time = rclcpp::Time(imu_buffer_.front()->header.stamp, RCL_ROS_TIME).seconds();
    if (lidar_end_time_ < imu_time) {
      break;
    }
    samples.push_back(imu_buffer_.front());
    imu_buffer_.pop_front();
  }
}

void DataSubscriber::check_scan_loop_back(double stamp)
{
  // After the first scan, an older stamp means a restart or a loop: queued scans are the past.
  if (first_scan_) {
    first_scan_ = false;
  } else if (last_lidar_stamp_ > stamp) {
    LOG_IF(ERROR, scan_loop_log_.due()) << "lidar loop back, clear buffer" << scan_loop_log_.note();
    lidar_buffer_.clear();
    time_buffer_.clear();
  }
}

void DataSubscriber::queue_scan(
  const pcl::PointCloud<pcl::PointXYZINormal>::Ptr & cloud, double stamp)
{
  // Scans pile up only while the IMU stream is stalled; the oldest are of the least use then.
  if (lidar_buffer_.size() >= kMaxQueuedScans) {
    lidar_buffer_.pop_front();
    time_buffer_.pop_front();
    ++scans_dropped_;
    if (scan_drop_log_.due()) {
      LOG(WARNING) << "scan queue full (" << kMaxQueuedScans << " scans waiting for IMU data): " <<
        "dropped the oldest, " << scans_dropped_ << " since the last warning";
      scans_dropped_ = 0;
    }
  }
  lidar_buffer_.push_back(cloud);
  time_buffer_.push_back(stamp);
  last_lidar_stamp_ = stamp;
}

void DataSubscriber::queue_imu(const sensor_msgs::msg::Imu::ConstSharedPtr & msg)
{
  // Samples pile up only while no scan arrives to take them.
  if (imu_buffer_.size() >= kMaxQueuedImuSamples) {
    imu_buffer_.pop_front();
    ++imu_samples_dropped_;
    if (imu_drop_log_.due()) {
      LOG(WARNING) << "IMU queue full (" << kMaxQueuedImuSamples << " samples waiting for a " <<
        "scan): dropped the oldest, " << imu_samples_dropped_ << " since the last warning";
      imu_samples_dropped_ = 0;
    }
  }
  imu_buffer_.push_back(msg);
}

#ifndef SWEEPMEND_NO_MAIN
int main(int argc, char ** argv)
{
  sweepmend::tune_malloc();
  const char * ros_domain_id = std::getenv("ROS_DOMAIN_ID");
  FLAGS_logbufsecs = 0;
  FLAGS_colorlogtostderr = true;
  google::SetStderrLogging(google::GLOG_INFO);
  google::InstallFailureSignalHandler();
  google::InitGoogleLogging(argv[0]);
  LOG(WARNING) << (ros_domain_id != nullptr ? ros_domain_id : "");
  LOG(INFO) << "hello world sweepmend package";

  std::shared_ptr<DataSubscriber> node;
  bool initialised = false;
  try {
    rclcpp::init(
      argc, argv, rclcpp::InitOptions(rcutils_get_default_allocator()),
      rclcpp::SignalHandlerOptions::All);
    initialised = true;
    node = std::make_shared<DataSubscriber>();
    rclcpp::spin(node);
  } catch (...) {
    // SIGINT/SIGTERM during start-up shuts the context down under the node being built; the
    // next creation then throws. That is an ordinary end; anything else is not.
    if (!initialised || rclcpp::ok()) {
      throw;
    }
  }
  rclcpp::shutdown(nullptr, "user called rclcpp::shutdown()");
  google::ShutdownGoogleLogging();
  node.reset();
  return 0;
}
#endif  // SWEEPMEND_NO_MAIN

// Defined below the entry function so that every record above keeps its line.

void DataSubscriber::require_size(
  const char * parameter, const std::vector<double> & values, std::size_t count)
{
  if (values.size() < count) {
    throw rclcpp::exceptions::InvalidParameterValueException(
            "parameter '" + std::string(parameter) + "' needs " + std::to_string(count) +
            " values, got " + std::to_string(values.size()));
  }
}

builtin_interfaces::msg::Time DataSubscriber::end_stamp(double end_time)
{
  return rclcpp::Time(static_cast<int64_t>(end_time * 1000000000.0), RCL_SYSTEM_TIME);
}
