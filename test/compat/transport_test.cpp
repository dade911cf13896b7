// Delivery between publishers and subscriptions: matching by topic, type and QoS, keep-last
// queues, transient-local replay, type clashes and the accepted callback forms.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "compat_test_support.hpp"
#include "rclcpp/detail/spin_control.hpp"
#include "rclcpp/rclcpp.hpp"
#include "sensor_msgs/msg/imu.hpp"
#include "std_msgs/msg/header.hpp"

namespace
{

using compat_test::make_header;
using compat_test::Received;
using Header = std_msgs::msg::Header;

class TransportTest : public compat_test::RosTest
{
protected:
  void SetUp() override
  {
    RosTest::SetUp();
    node_ = std::make_shared<rclcpp::Node>("transport_node");
    executor_ = std::make_unique<rclcpp::executors::SingleThreadedExecutor>();
    executor_->add_node(node_);
  }

  void TearDown() override
  {
    executor_.reset();
    node_.reset();
    RosTest::TearDown();
  }

  rclcpp::Subscription<Header>::SharedPtr subscribe(
    const std::string & topic, const rclcpp::QoS & qos, Received & received)
  {
    return node_->create_subscription<Header>(
      topic, qos, [&received](const Header::ConstSharedPtr & msg) {received.add(*msg);});
  }

  size_t spin() {return rclcpp::detail::spin_until_idle(*executor_);}

  rclcpp::Node::SharedPtr node_;
  std::unique_ptr<rclcpp::executors::SingleThreadedExecutor> executor_;
};

TEST_F(TransportTest, EveryMatchingSubscriptionSharesOneCopy)
{
  Received a, b;
  auto sub_a = subscribe("chatter", 10, a);
  auto sub_b = subscribe("/chatter", 10, b);
  Received other;
  auto sub_other = subscribe("other", 10, other);
  auto pub = node_->create_publisher<Header>("chatter", 10);

  Header original = make_header("one");
  pub->publish(original);
  EXPECT_EQ(spin(), 2u);

  ASSERT_EQ(a.texts, std::vector<std::string>{"one"});
  ASSERT_EQ(b.texts, std::vector<std::string>{"one"});
  EXPECT_TRUE(other.texts.empty());
  // Published by reference: copied once, and that copy is what both callbacks see.
  EXPECT_NE(a.addresses[0], &original);
  EXPECT_EQ(a.addresses[0], b.addresses[0]);
}

TEST_F(TransportTest, UniquePtrPublishIsMovedNotCopied)
{
  std::vector<const Header *> seen;
  auto sub = node_->create_subscription<Header>(
    "moved", 10, [&seen](Header::ConstSharedPtr msg) {seen.push_back(msg.get());});
  auto pub = node_->create_publisher<Header>("moved", 10);

  auto message = std::make_unique<Header>(make_header("owned"));
  const Header * address = message.get();
  pub->publish(std::move(message));
  spin();

  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], address);
}

TEST_F(TransportTest, KeepLastQueueDropsTheOldestUndelivered)
{
  Received received;
  auto sub = subscribe("burst", rclcpp::QoS(3), received);
  auto pub = node_->create_publisher<Header>("burst", 10);
  for (int i = 1; i <= 5; ++i) {
    pub->publish(make_header(std::to_string(i)));
  }
  spin();
  EXPECT_EQ(received.texts, (std::vector<std::string>{"3", "4", "5"}));

  // Delivered messages free their place: the next burst is kept again up to the depth.
  pub->publish(make_header("6"));
  pub->publish(make_header("7"));
  spin();
  EXPECT_EQ(received.texts, (std::vector<std::string>{"3", "4", "5", "6", "7"}));
}

TEST_F(TransportTest, KeepAllQueueKeepsEverything)
{
  Received received;
  auto sub = subscribe("all", rclcpp::QoS(rclcpp::KeepAll()), received);
  auto pub = node_->create_publisher<Header>("all", 1);
  for (int i = 0; i < 50; ++i) {
    pub->publish(make_header(std::to_string(i)));
  }
  spin();
  ASSERT_EQ(received.texts.size(), 50u);
  EXPECT_EQ(received.texts.front(), "0");
  EXPECT_EQ(received.texts.back(), "49");
}

TEST_F(TransportTest, ReliabilityAndDurabilityMustBeOffered)
{
  Received reliable_sub, best_effort_sub, transient_sub;
  auto s1 = subscribe("qos", rclcpp::QoS(10).reliable(), reliable_sub);
  auto s2 = subscribe("qos", rclcpp::QoS(10).best_effort(), best_effort_sub);
  auto s3 = subscribe("qos", rclcpp::QoS(10).transient_local(), transient_sub);

  auto best_effort_pub = node_->create_publisher<Header>("qos", rclcpp::SensorDataQoS());
  auto reliable_pub = node_->create_publisher<Header>("qos", rclcpp::QoS(10));

  // A best-effort publisher only reaches the best-effort subscription; a volatile one never
  // reaches the transient-local subscription.
  EXPECT_EQ(best_effort_pub->get_subscription_count(), 1u);
  EXPECT_EQ(reliable_pub->get_subscription_count(), 2u);
  EXPECT_EQ(s1->get_publisher_count(), 1u);
  EXPECT_EQ(s2->get_publisher_count(), 2u);
  EXPECT_EQ(s3->get_publisher_count(), 0u);

  best_effort_pub->publish(make_header("be"));
  reliable_pub->publish(make_header("rel"));
  spin();
  EXPECT_EQ(reliable_sub.texts, std::vector<std::string>{"rel"});
  EXPECT_EQ(best_effort_sub.texts, (std::vector<std::string>{"be", "rel"}));
  EXPECT_TRUE(transient_sub.texts.empty());
}

TEST_F(TransportTest, TransientLocalReplaysTheLastDepthMessagesToLateJoiners)
{
  auto pub = node_->create_publisher<Header>("latched", rclcpp::QoS(2).transient_local());
  pub->publish(make_header("a"));
  pub->publish(make_header("b"));
  pub->publish(make_header("c"));

  Received late_transient, late_volatile;
  auto s1 = subscribe("latched", rclcpp::QoS(10).transient_local(), late_transient);
  auto s2 = subscribe("latched", rclcpp::QoS(10), late_volatile);
  spin();
  EXPECT_EQ(late_transient.texts, (std::vector<std::string>{"b", "c"}));
  EXPECT_TRUE(late_volatile.texts.empty());

  // After joining, both get new messages as usual.
  pub->publish(make_header("d"));
  spin();
  EXPECT_EQ(late_transient.texts, (std::vector<std::string>{"b", "c", "d"}));
  EXPECT_EQ(late_volatile.texts, std::vector<std::string>{"d"});
}

TEST_F(TransportTest, TypeClashDeliversNothingAndWarnsOnce)
{
  testing::internal::CaptureStderr();
  int imu_count = 0;
  auto imu_sub = node_->create_subscription<sensor_msgs::msg::Imu>(
    "mixed", 10, [&imu_count](const sensor_msgs::msg::Imu &) {++imu_count;});
  Received headers;
  auto header_sub = subscribe("mixed", 10, headers);
  auto header_pub = node_->create_publisher<Header>("mixed", 10);
  auto second_header_pub = node_->create_publisher<Header>("mixed", 10);
  header_pub->publish(make_header("x"));
  second_header_pub->publish(make_header("y"));
  spin();
  std::fflush(stderr);
  const std::string output = testing::internal::GetCapturedStderr();

  EXPECT_EQ(imu_count, 0);
  EXPECT_EQ(headers.texts, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(header_pub->get_subscription_count(), 1u);
  EXPECT_EQ(imu_sub->get_publisher_count(), 0u);
  const std::string needle = "topic '/mixed' is published as 'std_msgs/msg/Header' but subscribed "
    "as 'sensor_msgs/msg/Imu'";
  const auto first = output.find(needle);
  ASSERT_NE(first, std::string::npos) << output;
  EXPECT_EQ(output.find(needle, first + 1), std::string::npos) << output;
  EXPECT_NE(output.find("[WARN]"), std::string::npos) << output;
}

TEST_F(TransportTest, DroppedSubscriptionStopsReceiving)
{
  Received received;
  auto sub = subscribe("gone", 10, received);
  auto pub = node_->create_publisher<Header>("gone", 10);
  EXPECT_EQ(pub->get_subscription_count(), 1u);
  pub->publish(make_header("queued"));
  sub.reset();
  EXPECT_EQ(pub->get_subscription_count(), 0u);
  pub->publish(make_header("late"));
  EXPECT_EQ(spin(), 0u);
  EXPECT_TRUE(received.texts.empty());
}

TEST_F(TransportTest, PublishAfterShutdownIsIgnored)
{
  Received received;
  auto sub = subscribe("after", 10, received);
  auto pub = node_->create_publisher<Header>("after", 10);
  rclcpp::shutdown();
  EXPECT_NO_THROW(pub->publish(make_header("late")));
  EXPECT_FALSE(sub->has_message());
}

TEST_F(TransportTest, TakeReadsWithoutCallback)
{
  Received received;
  auto sub = subscribe("polled", 10, received);
  auto pub = node_->create_publisher<Header>("polled", 10);
  pub->publish(make_header("p"));
  Header out;
  rclcpp::MessageInfo info;
  ASSERT_TRUE(sub->take(out, info));
  EXPECT_EQ(out.frame_id, "p");
  EXPECT_FALSE(sub->take(out, info));
  EXPECT_TRUE(received.texts.empty());
}

class CallbackHolder
{
public:
  void const_shared_ref(const Header::ConstSharedPtr & msg) {texts.push_back("csr:" + msg->frame_id);}
  void const_shared(Header::ConstSharedPtr msg) {texts.push_back("cs:" + msg->frame_id);}
  void const_ref(const Header & msg) {texts.push_back("cr:" + msg.frame_id);}
  void unique(std::unique_ptr<Header> msg) {texts.push_back("u:" + msg->frame_id);}
  void with_info(const Header & msg, const rclcpp::MessageInfo &)
  {
    texts.push_back("i:" + msg.frame_id);
  }

  std::vector<std::string> texts;
};

TEST_F(TransportTest, AcceptsEveryCallbackFormIncludingBindExpressions)
{
  using std::placeholders::_1;
  using std::placeholders::_2;
  CallbackHolder holder;
  std::vector<rclcpp::SubscriptionBase::SharedPtr> subs;
  subs.push_back(
    node_->create_subscription<Header>(
      "forms", 10, std::bind(&CallbackHolder::const_shared_ref, &holder, _1)));
  subs.push_back(
    node_->create_subscription<Header>(
      "forms", 10, std::bind(&CallbackHolder::const_shared, &holder, _1)));
  subs.push_back(
    node_->create_subscription<Header>(
      "forms", 10, std::bind(&CallbackHolder::const_ref, &holder, _1)));
  subs.push_back(
    node_->create_subscription<Header>(
      "forms", 10, std::bind(&CallbackHolder::unique, &holder, _1)));
  subs.push_back(
    node_->create_subscription<Header>(
      "forms", 10, std::bind(&CallbackHolder::with_info, &holder, _1, _2)));
  std::string lambda_text;
  subs.push_back(
    node_->create_subscription<Header>(
      "forms", 10, [&lambda_text](std::unique_ptr<Header> msg) {
        msg->frame_id += "!";  // a private copy may be changed
        lambda_text = msg->frame_id;
      }));

  auto pub = node_->create_publisher<Header>("forms", 10);
  pub->publish(make_header("m"));
  EXPECT_EQ(spin(), 6u);
  EXPECT_EQ(
    holder.texts, (std::vector<std::string>{"csr:m", "cs:m", "cr:m", "u:m", "i:m"}));
  EXPECT_EQ(lambda_text, "m!");
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
TEST_F(TransportTest, MutableSharedPtrCallbackGetsAPrivateCopy)
{
  std::string seen_by_const;
  auto mutable_sub = node_->create_subscription<Header>(
    "mutable", 10, [](Header::SharedPtr msg) {msg->frame_id = "changed";});
  auto const_sub = node_->create_subscription<Header>(
    "mutable", 10, [&seen_by_const](const Header & msg) {seen_by_const = msg.frame_id;});
  auto pub = node_->create_publisher<Header>("mutable", 10);
  pub->publish(make_header("original"));
  spin();
  EXPECT_EQ(seen_by_const, "original");
}
#pragma GCC diagnostic pop

TEST_F(TransportTest, QosPresetsMatchHumble)
{
  const rclcpp::SensorDataQoS sensor_qos;
  const auto & sensor = sensor_qos.get_rmw_qos_profile();
  EXPECT_EQ(sensor.history, RMW_QOS_POLICY_HISTORY_KEEP_LAST);
  EXPECT_EQ(sensor.depth, 5u);
  EXPECT_EQ(sensor.reliability, RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT);
  EXPECT_EQ(sensor.durability, RMW_QOS_POLICY_DURABILITY_VOLATILE);

  const rclcpp::QoS by_depth = 7;
  EXPECT_EQ(by_depth.history(), rclcpp::HistoryPolicy::KeepLast);
  EXPECT_EQ(by_depth.depth(), 7u);
  EXPECT_EQ(by_depth.reliability(), rclcpp::ReliabilityPolicy::Reliable);
  EXPECT_EQ(by_depth.durability(), rclcpp::DurabilityPolicy::Volatile);

  const rclcpp::ClockQoS clock;
  EXPECT_EQ(clock.depth(), 1u);
  EXPECT_EQ(clock.reliability(), rclcpp::ReliabilityPolicy::BestEffort);

  // The history of a system-default profile goes through KeepLast(depth), as in Humble.
  const rclcpp::SystemDefaultsQoS system_qos;
  const auto & system = system_qos.get_rmw_qos_profile();
  EXPECT_EQ(system.history, RMW_QOS_POLICY_HISTORY_KEEP_LAST);
  EXPECT_EQ(system.depth, 0u);
  EXPECT_EQ(system.reliability, RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT);
  EXPECT_EQ(system.durability, RMW_QOS_POLICY_DURABILITY_SYSTEM_DEFAULT);

  const rclcpp::ServicesQoS services;
  EXPECT_EQ(services.depth(), 10u);
  EXPECT_EQ(services.reliability(), rclcpp::ReliabilityPolicy::Reliable);

  rclcpp::QoS chained(1);
  chained.keep_all().best_effort().transient_local();
  EXPECT_EQ(chained.history(), rclcpp::HistoryPolicy::KeepAll);
  EXPECT_EQ(chained.reliability(), rclcpp::ReliabilityPolicy::BestEffort);
  EXPECT_EQ(chained.durability(), rclcpp::DurabilityPolicy::TransientLocal);
  EXPECT_NE(chained, rclcpp::QoS(1));
}

TEST_F(TransportTest, SystemDefaultReliabilityIsReliableForWritersBestEffortForReaders)
{
  Received default_reader;
  auto reader = subscribe("defaults", rclcpp::SystemDefaultsQoS(), default_reader);
  auto reliable_reader_received = Received();
  auto reliable_reader = subscribe("defaults", rclcpp::QoS(5), reliable_reader_received);
  auto writer = node_->create_publisher<Header>("defaults", rclcpp::SystemDefaultsQoS());
  EXPECT_EQ(writer->get_subscription_count(), 2u);
  writer->publish(make_header("d"));
  spin();
  EXPECT_EQ(default_reader.texts, std::vector<std::string>{"d"});
  EXPECT_EQ(reliable_reader_received.texts, std::vector<std::string>{"d"});
}

}  // namespace
