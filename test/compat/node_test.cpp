// rclcpp::Node: names and their validation, remapping, logger names, parameters forwarded to the
// parameter store with launch-time overrides, use_sim_time, topic resolution.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "compat_test_support.hpp"
#include "rclcpp/rclcpp.hpp"

namespace
{

using compat_test::init_with;
using Header = std_msgs::msg::Header;

class NodeTest : public compat_test::RosTest {};

TEST_F(NodeTest, NameNamespaceAndFullyQualifiedName)
{
  struct Case
  {
    const char * ns;
    const char * expected_ns;
    const char * expected_fqn;
    const char * expected_logger;
  };
  const Case cases[] = {
    {"", "/", "/talker", "talker"},
    {"/", "/", "/talker", "talker"},
    {"robot", "/robot", "/robot/talker", "robot.talker"},
    {"/robot/arm", "/robot/arm", "/robot/arm/talker", "robot.arm.talker"},
  };
  for (const auto & c : cases) {
    rclcpp::Node node("talker", c.ns);
    EXPECT_STREQ(node.get_name(), "talker");
    EXPECT_STREQ(node.get_namespace(), c.expected_ns) << c.ns;
    EXPECT_STREQ(node.get_fully_qualified_name(), c.expected_fqn) << c.ns;
    EXPECT_STREQ(node.get_logger().get_name(), c.expected_logger) << c.ns;
  }
}

std::string caret_message(
  const std::string & type, const std::string & reason, const std::string & name, size_t index)
{
  return "Invalid " + type + ": " + reason + ":\n  '" + name + "'\n   " +
         std::string(index, ' ') + "^\n";
}

TEST_F(NodeTest, InvalidNodeNamesAreRefusedWithRclcppTexts)
{
  try {
    rclcpp::Node node("my-node");
    FAIL() << "expected InvalidNodeNameError";
  } catch (const rclcpp::exceptions::InvalidNodeNameError & e) {
    EXPECT_EQ(
      std::string(e.what()),
      caret_message(
        "node name", "node name must not contain characters other than alphanumerics or '_'",
        "my-node", 2));
  }
  try {
    rclcpp::Node node("2fast");
    FAIL() << "expected InvalidNodeNameError";
  } catch (const rclcpp::exceptions::InvalidNodeNameError & e) {
    EXPECT_EQ(
      std::string(e.what()),
      caret_message("node name", "node name must not start with a number", "2fast", 0));
  }
  EXPECT_THROW(rclcpp::Node(""), rclcpp::exceptions::InvalidNodeNameError);
}

TEST_F(NodeTest, InvalidNamespacesAreRefusedWithRclcppTexts)
{
  try {
    rclcpp::Node node("n", "/a//b");
    FAIL() << "expected InvalidNamespaceError";
  } catch (const rclcpp::exceptions::InvalidNamespaceError & e) {
    EXPECT_EQ(
      std::string(e.what()),
      caret_message("namespace", "namespace must not contain repeated '/'", "/a//b", 3));
  }
  try {
    rclcpp::Node node("n", "/a/");
    FAIL() << "expected InvalidNamespaceError";
  } catch (const rclcpp::exceptions::InvalidNamespaceError & e) {
    EXPECT_EQ(
      std::string(e.what()),
      caret_message(
        "namespace", "namespace must not end with a '/', unless only a '/'", "/a/", 2));
  }
  // rcl checks "/a/" for a relative "a/", but rclcpp reports the namespace as given.
  try {
    rclcpp::Node node("n", "a/");
    FAIL() << "expected InvalidNamespaceError";
  } catch (const rclcpp::exceptions::InvalidNamespaceError & e) {
    EXPECT_EQ(
      std::string(e.what()),
      caret_message("namespace", "namespace must be absolute, it must lead with a '/'", "a/", 0));
  }
  EXPECT_THROW(rclcpp::Node("n", "/1st"), rclcpp::exceptions::InvalidNamespaceError);
  EXPECT_THROW(rclcpp::Node("n", "/a b"), rclcpp::exceptions::InvalidNamespaceError);
}

/// The what() of the RCLError that `make` throws, or a note that it threw something else or
/// nothing.
template<typename Make>
std::string rcl_error_of(Make && make)
{
  try {
    make();
  } catch (const rclcpp::exceptions::RCLError & e) {
    return e.what();
  } catch (const std::exception & e) {
    return std::string("another exception: ") + e.what();
  }
  return "no exception";
}

const char kInvalidContext[] =
  "the given context is not valid, either rcl_init() was not called or rcl_shutdown() was "
  "called., at ";

TEST_F(NodeTest, NodeNeedsAnInitialisedContext)
{
  rclcpp::shutdown();
  // The node's guard condition is the first thing that needs the context.
  const std::string what = rcl_error_of([] {rclcpp::Node node("early");});
  EXPECT_EQ(what.rfind(std::string("failed to create guard condition: ") + kInvalidContext, 0), 0u)
    << what;
  init_with({});
}

TEST_F(NodeTest, EntitiesCreatedAfterShutdownFailAsInRclcpp)
{
  // The state a node is in when SIGINT or SIGTERM arrives while its constructor runs.
  auto node = std::make_shared<rclcpp::Node>("late");
  ASSERT_TRUE(rclcpp::shutdown(nullptr, "signal handler"));

  const std::string publisher = rcl_error_of(
    [&] {node->create_publisher<Header>("out", 1);});
  EXPECT_EQ(publisher.rfind("could not create publisher: rcl node's context is invalid, at ", 0), 0u)
    << publisher;
  const std::string subscription = rcl_error_of(
    [&] {node->create_subscription<Header>("in", 1, [](Header::ConstSharedPtr) {});});
  EXPECT_EQ(
    subscription.rfind("could not create subscription: rcl node's context is invalid, at ", 0),
    0u) << subscription;
  const std::string timer_prefix = std::string("Couldn't initialize rcl timer handle: ") +
    kInvalidContext;
  const std::string timer = rcl_error_of(
    [&] {
      rclcpp::create_timer(
        node, node->get_clock(), rclcpp::Duration(std::chrono::milliseconds(10)), [] {});
    });
  EXPECT_EQ(timer.rfind(timer_prefix, 0), 0u) << timer;
  const std::string wall_timer = rcl_error_of(
    [&] {node->create_wall_timer(std::chrono::milliseconds(10), [] {});});
  EXPECT_EQ(wall_timer.rfind(timer_prefix, 0), 0u) << wall_timer;

  const std::string guard_prefix = std::string("failed to create guard condition: ") +
    kInvalidContext;
  const std::string executor = rcl_error_of(
    [] {rclcpp::executors::SingleThreadedExecutor executor;});
  EXPECT_EQ(executor.rfind(guard_prefix, 0), 0u) << executor;
  const std::string spin = rcl_error_of([&] {rclcpp::spin(node);});
  EXPECT_EQ(spin.rfind(guard_prefix, 0), 0u) << spin;
  const std::string spin_some = rcl_error_of([&] {rclcpp::spin_some(node);});
  EXPECT_EQ(spin_some.rfind(guard_prefix, 0), 0u) << spin_some;
  node.reset();
  init_with({});
}

TEST_F(NodeTest, TopicNamesAreResolvedAgainstTheNamespace)
{
  auto node = std::make_shared<rclcpp::Node>("cam", "/robot");
  auto relative = node->create_publisher<Header>("image", 1);
  auto absolute = node->create_publisher<Header>("/image", 1);
  auto private_topic = node->create_publisher<Header>("~/info", 1);
  auto node_itself = node->create_publisher<Header>("~", 1);
  auto nested = node->create_publisher<Header>("left/image", 1);
  EXPECT_STREQ(relative->get_topic_name(), "/robot/image");
  EXPECT_STREQ(absolute->get_topic_name(), "/image");
  EXPECT_STREQ(private_topic->get_topic_name(), "/robot/cam/info");
  EXPECT_STREQ(node_itself->get_topic_name(), "/robot/cam");
  EXPECT_STREQ(nested->get_topic_name(), "/robot/left/image");
  EXPECT_EQ(node->count_publishers("image"), 1u);
  EXPECT_EQ(node->count_publishers("/image"), 1u);
  EXPECT_EQ(node->count_subscribers("image"), 0u);
}

TEST_F(NodeTest, InvalidTopicNamesAreRefusedWithRclcppTexts)
{
  auto node = std::make_shared<rclcpp::Node>("n");
  try {
    node->create_publisher<Header>("bad topic", 1);
    FAIL() << "expected InvalidTopicNameError";
  } catch (const rclcpp::exceptions::InvalidTopicNameError & e) {
    EXPECT_EQ(
      std::string(e.what()),
      caret_message(
        "topic name",
        "topic name must not contain characters other than alphanumerics, '_', '~', '{', or '}'",
        "bad topic", 3));
  }
  try {
    node->create_subscription<Header>("/a//b", 1, [](const Header &) {});
    FAIL() << "expected InvalidTopicNameError";
  } catch (const rclcpp::exceptions::InvalidTopicNameError & e) {
    EXPECT_EQ(
      std::string(e.what()),
      caret_message("topic name", "topic name must not contain repeated '/'", "/a//b", 3));
  }
  EXPECT_THROW(node->create_publisher<Header>("", 1), rclcpp::exceptions::InvalidTopicNameError);
  EXPECT_THROW(
    node->create_publisher<Header>("trailing/", 1), rclcpp::exceptions::InvalidTopicNameError);
  EXPECT_THROW(node->create_publisher<Header>("a/~b", 1), rclcpp::exceptions::InvalidTopicNameError);
  EXPECT_THROW(node->create_publisher<Header>("a/1b", 1), rclcpp::exceptions::InvalidTopicNameError);
}

TEST_F(NodeTest, ProcessRemapsApplyToNodeNameNamespaceAndTopics)
{
  reinit(
    {"--ros-args", "-r", "__node:=renamed", "-r", "__ns:=/moved", "-r", "chatter:=/talk",
      "-r", "renamed:status:=state", "-r", "other:status:=wrong"});
  auto node = std::make_shared<rclcpp::Node>("original", "/ns");
  EXPECT_STREQ(node->get_name(), "renamed");
  EXPECT_STREQ(node->get_namespace(), "/moved");
  EXPECT_STREQ(node->get_logger().get_name(), "moved.renamed");
  EXPECT_STREQ(node->create_publisher<Header>("chatter", 1)->get_topic_name(), "/talk");
  // Node-prefixed rules apply to the node of that (remapped) name only.
  EXPECT_STREQ(node->create_publisher<Header>("status", 1)->get_topic_name(), "/moved/state");
  EXPECT_STREQ(node->create_publisher<Header>("other", 1)->get_topic_name(), "/moved/other");
}

TEST_F(NodeTest, NodeArgumentsTakePrecedenceOverProcessArguments)
{
  reinit({"--ros-args", "-r", "__node:=global_name", "-r", "topic:=global_topic"});
  auto local = std::make_shared<rclcpp::Node>(
    "n", rclcpp::NodeOptions().arguments(
      {"--ros-args", "-r", "__node:=local_name", "-r", "topic:=local_topic"}));
  EXPECT_STREQ(local->get_name(), "local_name");
  EXPECT_STREQ(local->create_publisher<Header>("topic", 1)->get_topic_name(), "/local_topic");

  auto isolated = std::make_shared<rclcpp::Node>(
    "n2", rclcpp::NodeOptions().use_global_arguments(false));
  EXPECT_STREQ(isolated->get_name(), "n2");
  EXPECT_STREQ(isolated->create_publisher<Header>("topic", 1)->get_topic_name(), "/topic");

  EXPECT_THROW(
    rclcpp::Node("bad", rclcpp::NodeOptions().arguments({"--ros-args", "--not-a-flag"})),
    rclcpp::exceptions::UnknownROSArgsError);
}

TEST_F(NodeTest, UseSimTimeIsDeclaredByEveryNode)
{
  auto node = std::make_shared<rclcpp::Node>("n");
  ASSERT_TRUE(node->has_parameter("use_sim_time"));
  bool use_sim_time = true;
  ASSERT_TRUE(node->get_parameter("use_sim_time", use_sim_time));
  EXPECT_FALSE(use_sim_time);
  EXPECT_EQ(node->get_clock()->get_clock_type(), RCL_ROS_TIME);
  EXPECT_FALSE(node->get_clock()->ros_time_is_active());
  EXPECT_THROW(
    node->declare_parameter("use_sim_time", false),
    rclcpp::exceptions::ParameterAlreadyDeclaredException);
  // Humble also makes the parameter-event publisher's QoS visible as parameters.
  EXPECT_EQ(
    node->get_parameter("qos_overrides./parameter_events.publisher.depth").as_int(), 1000);
  EXPECT_EQ(
    node->get_parameter("qos_overrides./parameter_events.publisher.reliability").as_string(),
    "reliable");
}

TEST_F(NodeTest, UseSimTimeFromTheCommandLine)
{
  reinit({"--ros-args", "-p", "use_sim_time:=true"});
  auto node = std::make_shared<rclcpp::Node>("n");
  EXPECT_TRUE(node->get_clock()->ros_time_is_active());
  EXPECT_EQ(node->now().nanoseconds(), 0);

  reinit({"--ros-args", "-p", "use_sim_time:=1"});
  try {
    rclcpp::Node wrong("n");
    FAIL() << "expected InvalidParameterTypeException";
  } catch (const rclcpp::exceptions::InvalidParameterTypeException & e) {
    EXPECT_STREQ(
      e.what(),
      "parameter 'use_sim_time' has invalid type: Wrong parameter type, parameter "
      "{use_sim_time} is of type {bool}, setting it to {integer} is not allowed.");
  }
}

TEST_F(NodeTest, ParametersFollowTheOverrideOrder)
{
  reinit({"--ros-args", "-p", "a:=1", "-p", "b:=1", "-p", "c:=1", "-p", "n:b:=5"});
  rclcpp::NodeOptions options;
  options.arguments({"--ros-args", "-p", "b:=2", "-p", "c:=2"});
  options.append_parameter_override("c", 3);
  auto node = std::make_shared<rclcpp::Node>("n", options);
  // Process arguments, then node arguments, then option overrides; the later one wins.
  EXPECT_EQ(node->declare_parameter("a", 0), 1);
  EXPECT_EQ(node->declare_parameter("b", 0), 2);
  EXPECT_EQ(node->declare_parameter("c", 0), 3);
  EXPECT_EQ(node->declare_parameter("d", 7), 7);
}

TEST_F(NodeTest, ParameterAccessAsTheNodeUsesIt)
{
  reinit({"--ros-args", "-p", "thr:=258", "-p", "ext:=[0.1, 0.2, 0.3]", "-p", "topic:=/x"});
  auto node = std::make_shared<rclcpp::Node>("n");
  node->declare_parameter<int64_t>("thr", 1);
  node->declare_parameter("ext", rclcpp::ParameterType::PARAMETER_DOUBLE_ARRAY);
  node->declare_parameter("missing", rclcpp::ParameterType::PARAMETER_DOUBLE_ARRAY);
  node->declare_parameter("topic", "/default");

  int32_t thr = 0;
  ASSERT_TRUE(node->get_parameter("thr", thr));
  EXPECT_EQ(thr, 258);
  std::vector<double> ext;
  ASSERT_TRUE(node->get_parameter("ext", ext));
  EXPECT_EQ(ext, (std::vector<double>{0.1, 0.2, 0.3}));
  std::vector<double> untouched{9.0};
  EXPECT_FALSE(node->get_parameter("missing", untouched));
  EXPECT_EQ(untouched, std::vector<double>{9.0});
  std::string topic;
  ASSERT_TRUE(node->get_parameter("topic", topic));
  EXPECT_EQ(topic, "/x");

  // No conversion between integer and double.
  double as_double = 0.0;
  try {
    node->get_parameter("thr", as_double);
    ADD_FAILURE() << "an integer parameter was read as a double";
  } catch (const rclcpp::exceptions::InvalidParameterTypeException & e) {
    EXPECT_STREQ("parameter 'thr' has invalid type: expected [double] got [integer]", e.what());
  }
  EXPECT_EQ(0.0, as_double);
  EXPECT_EQ(node->get_parameter_or("undeclared", 5), 5);
  EXPECT_THROW(
    node->get_parameter("missing"), rclcpp::exceptions::ParameterUninitializedException);
  EXPECT_THROW(
    node->declare_parameter<double>("static_without_value"),
    rclcpp::exceptions::UninitializedStaticallyTypedParameterException);
}

TEST_F(NodeTest, ParameterGroupsByPrefixAndSetting)
{
  auto node = std::make_shared<rclcpp::Node>("n");
  const auto declared = node->declare_parameters<int64_t>("limits", {{"low", 1}, {"high", 9}});
  EXPECT_EQ(declared, (std::vector<int64_t>{9, 1}));  // std::map order: "high" < "low"
  std::map<std::string, int64_t> limits;
  ASSERT_TRUE(node->get_parameters("limits", limits));
  EXPECT_EQ(limits, (std::map<std::string, int64_t>{{"high", 9}, {"low", 1}}));

  EXPECT_TRUE(node->set_parameter(rclcpp::Parameter("limits.low", 2)).successful);
  EXPECT_FALSE(node->set_parameter(rclcpp::Parameter("limits.low", 2.5)).successful);
  EXPECT_EQ(node->get_parameter("limits.low").as_int(), 2);
  EXPECT_THROW(
    node->set_parameter(rclcpp::Parameter("nope", 1)),
    rclcpp::exceptions::ParameterNotDeclaredException);

  rcl_interfaces::msg::ParameterDescriptor dynamic;
  dynamic.dynamic_typing = true;
  node->declare_parameter("free", rclcpp::ParameterValue(1), dynamic);
  node->undeclare_parameter("free");
  EXPECT_FALSE(node->has_parameter("free"));
}

TEST_F(NodeTest, ParametersFromAParamsFileSelectTheNodeByName)
{
  const std::string path = testing::TempDir() + "node_test_params.yaml";
  {
    std::ofstream file(path);
    file << "/**:\n  ros__parameters:\n    shared: 1\n"
         << "n:\n  ros__parameters:\n    mine: \"yes\"\n    group:\n      value: 2.5\n"
         << "other:\n  ros__parameters:\n    mine: \"no\"\n";
  }
  reinit({"--ros-args", "--params-file", path});
  auto node = std::make_shared<rclcpp::Node>("n");
  EXPECT_EQ(node->declare_parameter("shared", 0), 1);
  EXPECT_EQ(node->declare_parameter("mine", std::string("default")), "yes");
  EXPECT_DOUBLE_EQ(node->declare_parameter("group.value", 0.0), 2.5);
}

}  // namespace
