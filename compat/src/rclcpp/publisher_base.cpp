#include "rclcpp/publisher_base.hpp"

#include <utility>

namespace rclcpp
{

PublisherBase::PublisherBase(
  rclcpp::Context::SharedPtr context, const std::string & topic_name,
  const std::string & type_name, const rclcpp::QoS & qos, const std::string & node_name)
: context_(std::move(context)), topic_name_(topic_name), qos_(qos)
{
  detail::EndpointInfo info{topic_name, type_name, qos.get_rmw_qos_profile(), node_name, context_};
  endpoint_id_ = detail::get_transport().add_publisher(info);
}

PublisherBase::~PublisherBase()
{
  detail::get_transport().remove_publisher(endpoint_id_);
}

const char * PublisherBase::get_topic_name() const {return topic_name_.c_str();}

size_t PublisherBase::get_subscription_count() const
{
  return detail::get_transport().matched_subscription_count(endpoint_id_);
}

size_t PublisherBase::get_intra_process_subscription_count() const {return 0;}

size_t PublisherBase::get_queue_size() const {return qos_.depth();}

rclcpp::QoS PublisherBase::get_actual_qos() const {return qos_;}

bool PublisherBase::has_receivers() const
{
  return context_->is_valid() && detail::get_transport().has_receivers(endpoint_id_);
}

void PublisherBase::publish_message(detail::MessagePtr message)
{
  // rclcpp ignores publishes after shutdown instead of failing on the invalidated publisher.
  if (!context_->is_valid()) {
    return;
  }
  detail::get_transport().publish(endpoint_id_, std::move(message));
}

}  // namespace rclcpp
