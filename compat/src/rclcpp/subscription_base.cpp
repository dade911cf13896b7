#include "rclcpp/subscription_base.hpp"

#include <deque>
#include <mutex>
#include <utility>

#include "wake.hpp"

namespace rclcpp
{

class SubscriptionBase::Queue : public detail::MessageSink
{
public:
  explicit Queue(const rmw_qos_profile_t & qos)
  : limit_(qos.history == RMW_QOS_POLICY_HISTORY_KEEP_ALL ? 0 : (qos.depth == 0 ? 1 : qos.depth))
  {
  }

  void receive(const detail::MessagePtr & message) override
  {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      messages_.push_back(message);
      while (limit_ != 0 && messages_.size() > limit_) {
        messages_.pop_front();
      }
    }
    detail::wake_signal().notify();
  }

  detail::MessagePtr pop()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (messages_.empty()) {
      return nullptr;
    }
    auto message = std::move(messages_.front());
    messages_.pop_front();
    return message;
  }

  bool empty() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.empty();
  }

private:
  const size_t limit_;
  mutable std::mutex mutex_;
  std::deque<detail::MessagePtr> messages_;
};

SubscriptionBase::SubscriptionBase(
  rclcpp::Context::SharedPtr context, const std::string & topic_name,
  const std::string & type_name, const rclcpp::QoS & qos, const std::string & node_name)
: context_(std::move(context)), topic_name_(topic_name), type_name_(type_name), qos_(qos),
  node_name_(node_name), queue_(std::make_shared<Queue>(qos.get_rmw_qos_profile()))
{
}

SubscriptionBase::~SubscriptionBase()
{
  if (active_) {
    detail::get_transport().remove_subscription(endpoint_id_);
  }
}

void SubscriptionBase::activate()
{
  if (active_) {
    return;
  }
  detail::EndpointInfo info{
    topic_name_, type_name_, qos_.get_rmw_qos_profile(), node_name_, context_};
  endpoint_id_ = detail::get_transport().add_subscription(info, queue_);
  active_ = true;
}

const char * SubscriptionBase::get_topic_name() const {return topic_name_.c_str();}

size_t SubscriptionBase::get_publisher_count() const
{
  return active_ ? detail::get_transport().matched_publisher_count(endpoint_id_) : 0;
}

rclcpp::QoS SubscriptionBase::get_actual_qos() const {return qos_;}

bool SubscriptionBase::has_message() const {return !queue_->empty();}

detail::MessagePtr SubscriptionBase::take_message() {return queue_->pop();}

bool SubscriptionBase::take_and_execute()
{
  auto message = take_message();
  if (!message) {
    return false;
  }
  handle_message(message, MessageInfo());
  return true;
}

}  // namespace rclcpp
