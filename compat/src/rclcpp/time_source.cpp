#include "time_source.hpp"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/logging.hpp"
#include "rclcpp/time.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "wake.hpp"

namespace rclcpp
{
namespace detail
{

namespace
{
const char kUseSimTime[] = "use_sim_time";
}  // namespace

/// Receives /clock on the publisher's thread, so the node clock has moved by the time publish()
/// returns; this plays the part of rclcpp's dedicated clock thread without its latency.
class TimeSource::ClockSink : public MessageSink
{
public:
  explicit ClockSink(rclcpp::Clock::SharedPtr clock)
  : clock_(std::move(clock)) {}

  void receive(const MessagePtr & message) override
  {
    const auto & clock_msg = *std::static_pointer_cast<const rosgraph_msgs::msg::Clock>(message);
    const int64_t nanoseconds = rclcpp::Time(clock_msg.clock).nanoseconds();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      last_nanoseconds_ = nanoseconds;
      if (active_) {
        set_ros_time_override(*clock_, true, nanoseconds);
      }
    }
    wake_signal().notify();
  }

  /// Simulated time starts at the newest /clock value seen, or 0.
  void set_active(bool active)
  {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      active_ = active;
      set_ros_time_override(*clock_, active, active ? last_nanoseconds_ : 0);
    }
    wake_signal().notify();
  }

private:
  rclcpp::Clock::SharedPtr clock_;
  std::mutex mutex_;
  bool active_{false};
  int64_t last_nanoseconds_{0};
};

TimeSource::TimeSource(
  node_interfaces::NodeBaseInterface & node_base,
  node_interfaces::NodeParameters & node_parameters,
  rclcpp::Clock::SharedPtr clock, const rclcpp::QoS & clock_qos)
: node_base_(node_base), node_parameters_(node_parameters), clock_qos_(clock_qos),
  sink_(std::make_shared<ClockSink>(std::move(clock)))
{
  rclcpp::ParameterValue use_sim_time;
  if (!node_parameters_.has_parameter(kUseSimTime)) {
    use_sim_time = node_parameters_.declare_parameter(kUseSimTime, rclcpp::ParameterValue(false));
  } else {
    use_sim_time = node_parameters_.get_parameter(kUseSimTime).get_parameter_value();
  }
  if (use_sim_time.get_type() != rclcpp::PARAMETER_BOOL) {
    RCLCPP_ERROR(
      rclcpp::get_logger("rclcpp"), "Invalid type '%s' for parameter 'use_sim_time', should be 'bool'",
      rclcpp::to_string(use_sim_time.get_type()).c_str());
    throw std::invalid_argument("Invalid type for parameter 'use_sim_time', should be 'bool'");
  }
  if (use_sim_time.get<bool>()) {
    enable_ros_time();
  }
  // Later changes of use_sim_time switch the clock at run time.
  node_parameters_.set_parameters_changed_hook(
    [this](const std::vector<rclcpp::Parameter> & parameters) {
      for (const auto & parameter : parameters) {
        if (parameter.get_name() != kUseSimTime ||
        parameter.get_type() != rclcpp::PARAMETER_BOOL)
        {
          continue;
        }
        if (parameter.as_bool()) {
          enable_ros_time();
        } else {
          disable_ros_time();
        }
      }
    });
}

TimeSource::~TimeSource()
{
  node_parameters_.set_parameters_changed_hook(nullptr);
  std::lock_guard<std::mutex> lock(mutex_);
  if (subscribed_) {
    get_transport().remove_subscription(clock_subscription_);
  }
}

void TimeSource::enable_ros_time()
{
  std::lock_guard<std::mutex> lock(mutex_);
  sink_->set_active(true);
  if (!subscribed_) {
    EndpointInfo info{
      node_base_.resolve_topic_or_service_name("/clock", false),
      rosidl_generator_traits::name<rosgraph_msgs::msg::Clock>(),
      clock_qos_.get_rmw_qos_profile(), node_base_.get_fully_qualified_name(),
      node_base_.get_context()};
    clock_subscription_ = get_transport().add_subscription(info, sink_);
    subscribed_ = true;
  }
}

void TimeSource::disable_ros_time()
{
  std::lock_guard<std::mutex> lock(mutex_);
  sink_->set_active(false);
  if (subscribed_) {
    get_transport().remove_subscription(clock_subscription_);
    subscribed_ = false;
  }
}

}  // namespace detail
}  // namespace rclcpp
