// The ROS part of the command line: -p typing, params files, remaps, log levels, the order in
// which overrides apply to a node, and the errors rclcpp::init reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "rclcpp/detail/ros_arguments.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/parameter.hpp"
#include "rcutils/logging.h"

namespace
{

using rclcpp::detail::RosArguments;
using rclcpp::detail::parse_ros_arguments;
using ::testing::HasSubstr;
using ::testing::StartsWith;

RosArguments parse(const std::vector<std::string> & args, bool throw_on_unknown = true)
{
  std::vector<const char *> argv;
  for (const auto & a : args) {
    argv.push_back(a.c_str());
  }
  return parse_ros_arguments(
    static_cast<int>(argv.size()), argv.data(), "failed to initialize rcl", throw_on_unknown);
}

// The value of `-p x:=<text>` as the process sees it.
rclcpp::ParameterValue typed(const std::string & text)
{
  const auto args = parse({"prog", "--ros-args", "-p", "x:=" + text});
  EXPECT_EQ(args.parameters.size(), 1u);
  return args.parameters.at(0).value;
}

std::string invalid_args_text(const std::vector<std::string> & args)
{
  try {
    parse(args);
  } catch (const rclcpp::exceptions::RCLInvalidROSArgsError & e) {
    return e.what();
  }
  ADD_FAILURE() << "expected RCLInvalidROSArgsError";
  return {};
}

std::map<std::string, rclcpp::ParameterValue> overrides_for(
  const RosArguments & args, const std::string & fqn)
{
  std::map<std::string, rclcpp::ParameterValue> result;
  const auto slash = fqn.rfind('/');
  for (const auto & p :
    rclcpp::detail::parameter_overrides_for_node(args, fqn.substr(slash + 1), fqn))
  {
    result.emplace(p.get_name(), p.get_parameter_value());
  }
  return result;
}

class TempFiles : public ::testing::Test
{
protected:
  std::string write(const std::string & name, const std::string & content)
  {
    const std::string path = ::testing::TempDir() + "sweepmend_args_" + name;
    std::ofstream(path) << content;
    paths_.push_back(path);
    return path;
  }
  void TearDown() override
  {
    for (const auto & p : paths_) {
      std::remove(p.c_str());
    }
  }

private:
  std::vector<std::string> paths_;
};

TEST(ParameterRuleTyping, Scalars)
{
  EXPECT_EQ(typed("1"), rclcpp::ParameterValue(int64_t{1}));
  EXPECT_EQ(typed("-3"), rclcpp::ParameterValue(int64_t{-3}));
  EXPECT_EQ(typed("+5"), rclcpp::ParameterValue(int64_t{5}));
  EXPECT_EQ(typed("1.0"), rclcpp::ParameterValue(1.0));
  EXPECT_EQ(typed("1."), rclcpp::ParameterValue(1.0));
  EXPECT_EQ(typed(".5"), rclcpp::ParameterValue(0.5));
  EXPECT_EQ(typed("1e-3"), rclcpp::ParameterValue(0.001));
  EXPECT_EQ(typed("-2.5E+2"), rclcpp::ParameterValue(-250.0));
  // Base 0: hex and octal; 08 is no octal number and falls through to a double.
  EXPECT_EQ(typed("0x1F"), rclcpp::ParameterValue(int64_t{31}));
  EXPECT_EQ(typed("010"), rclcpp::ParameterValue(int64_t{8}));
  EXPECT_EQ(typed("08"), rclcpp::ParameterValue(8.0));
  // Too large for int64 is a double; too large for a double stays text.
  EXPECT_EQ(typed("99999999999999999999"), rclcpp::ParameterValue(1e20));
  EXPECT_EQ(typed("1e999"), rclcpp::ParameterValue("1e999"));
  EXPECT_EQ(typed("1_000"), rclcpp::ParameterValue("1_000"));
  EXPECT_EQ(typed("lidar_link"), rclcpp::ParameterValue("lidar_link"));
  EXPECT_EQ(typed("a:b"), rclcpp::ParameterValue("a:b"));
  // YAML null spellings are not special.
  EXPECT_EQ(typed("~"), rclcpp::ParameterValue("~"));
  EXPECT_EQ(typed("null"), rclcpp::ParameterValue("null"));

  EXPECT_TRUE(std::isnan(typed(".nan").get<double>()));
  EXPECT_EQ(typed(".Inf"), rclcpp::ParameterValue(HUGE_VAL));
  EXPECT_EQ(typed("-.INF"), rclcpp::ParameterValue(-HUGE_VAL));
}

TEST(ParameterRuleTyping, BoolWordsAndQuotes)
{
  for (const char * word : {"Y", "y", "yes", "Yes", "YES", "true", "True", "TRUE", "on", "On",
      "ON"})
  {
    EXPECT_EQ(typed(word), rclcpp::ParameterValue(true)) << word;
  }
  for (const char * word : {"N", "n", "no", "No", "NO", "false", "False", "FALSE", "off", "Off",
      "OFF"})
  {
    EXPECT_EQ(typed(word), rclcpp::ParameterValue(false)) << word;
  }
  EXPECT_EQ(typed("tRue"), rclcpp::ParameterValue("tRue"));
  EXPECT_EQ(typed("'1'"), rclcpp::ParameterValue("1"));
  EXPECT_EQ(typed("\"1.0\""), rclcpp::ParameterValue("1.0"));
  EXPECT_EQ(typed("'true'"), rclcpp::ParameterValue("true"));
  EXPECT_EQ(typed("\"\""), rclcpp::ParameterValue(""));
}

TEST(ParameterRuleTyping, SequencesTakeTheFirstElementsType)
{
  EXPECT_EQ(typed("[1, 2, 3]"), rclcpp::ParameterValue(std::vector<int64_t>{1, 2, 3}));
  EXPECT_EQ(typed("[1.0, 2.0]"), rclcpp::ParameterValue(std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(typed("[true, off]"), rclcpp::ParameterValue(std::vector<bool>{true, false}));
  EXPECT_EQ(typed("[a, 'b']"), rclcpp::ParameterValue(std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(typed("['1', '2']"), rclcpp::ParameterValue(std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(typed("[]").get_type(), rclcpp::PARAMETER_NOT_SET);

  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "-p", "x:=[1, 2.0]"}),
    StartsWith(
      "failed to initialize rcl: Couldn't parse parameter override rule: '-p x:=[1, 2.0]'. "
      "Error: Sequence should be of same type. Value type 'double' do not belong at line_num 1"));
  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "-p", "x:=[1, [2]]"}),
    HasSubstr("Sequences cannot be nested"));
  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "-p", "x:={a: 1}"}),
    HasSubstr("Maps are not allowed"));
}

TEST(ParameterRules, NodePrefixesAndNames)
{
  const auto args = parse(
    {"prog", "--ros-args", "-p", "plain:=1", "--param", "harrow_node:a.b.c:=2", "-p",
      "/ns/harrow_node:d:=3", "-p", "/**/harrow_node:e:=4", "-p", "/*/x:f:=5"});
  ASSERT_EQ(args.parameters.size(), 5u);
  EXPECT_EQ(args.parameters[0].node_name, "/**");
  EXPECT_EQ(args.parameters[0].name, "plain");
  EXPECT_EQ(args.parameters[1].node_name, "harrow_node");
  EXPECT_EQ(args.parameters[1].name, "a.b.c");
  EXPECT_EQ(args.parameters[2].node_name, "/ns/harrow_node");
  EXPECT_EQ(args.parameters[3].node_name, "/**/harrow_node");
  EXPECT_EQ(args.parameters[4].node_name, "/*/x");

  for (const char * rule : {"foo:=", ":=bar", "1:=", "__ns:=foo", "a__b:=1", "foo", "a:b:c:=1"}) {
    EXPECT_THAT(
      invalid_args_text({"prog", "--ros-args", "-p", rule}),
      StartsWith(
        std::string("failed to initialize rcl: Couldn't parse parameter override rule: '-p ") +
        rule + "'. Error: ")) << rule;
  }
}

TEST(CommandLine, SectionsAndUnknownArguments)
{
  const auto args = parse(
    {"prog", "first", "--ros-args", "-p", "a:=1", "--", "second", "--ros-args", "-p", "b:=2"});
  EXPECT_EQ(args.non_ros_args, (std::vector<std::string>{"prog", "first", "second"}));
  ASSERT_EQ(args.parameters.size(), 2u);
  EXPECT_EQ(args.parameters[1].name, "b");

  try {
    parse({"prog", "--ros-args", "--foo", "bar", "--", "--foo"});
    ADD_FAILURE() << "unknown ROS arguments must be refused";
  } catch (const rclcpp::exceptions::UnknownROSArgsError & e) {
    EXPECT_STREQ(e.what(), "found unknown ROS arguments: '--foo', 'bar'");
    EXPECT_EQ(e.unknown_ros_args, (std::vector<std::string>{"--foo", "bar"}));
  }
  const auto lenient = parse({"prog", "--ros-args", "--foo", "--", "--foo"}, false);
  EXPECT_EQ(lenient.unparsed_ros_args, (std::vector<std::string>{"--foo"}));
  EXPECT_EQ(lenient.non_ros_args, (std::vector<std::string>{"prog", "--foo"}));

  // Flags that take a value or switch something the standalone build does not use.
  const auto others = parse(
    {"prog", "--ros-args", "-e", "/enclave", "--log-config-file", "log.conf",
      "--disable-stdout-logs", "--disable-rosout-logs", "--enable-external-lib-logs"});
  EXPECT_EQ(others.enclave, "/enclave");
  EXPECT_EQ(others.log_config_file, "log.conf");
  EXPECT_TRUE(others.log_stdout_disabled);
  EXPECT_TRUE(others.log_rosout_disabled);
  EXPECT_FALSE(others.log_ext_lib_disabled);
}

TEST(CommandLine, TrailingFlagsAndPrefix)
{
  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "-p"}),
    StartsWith(
      "failed to initialize rcl: Couldn't parse trailing -p flag. No parameter override rule "
      "found., at "));
  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "--remap"}),
    StartsWith("failed to initialize rcl: Couldn't parse trailing --remap flag. No remap rule"));
  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "--params-file"}),
    StartsWith(
      "failed to initialize rcl: Couldn't parse trailing --params-file flag. No file path"));
  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "--log-level"}),
    StartsWith("failed to initialize rcl: Couldn't parse trailing log level flag: '--log-level'"));

  // Node-local arguments carry no program name and report with their own prefix.
  const auto local = parse_ros_arguments(
    std::vector<std::string>{"--ros-args", "-p", "a:=1"});
  EXPECT_TRUE(local.non_ros_args.empty());
  EXPECT_EQ(local.parameters.size(), 1u);
  try {
    parse_ros_arguments(std::vector<std::string>{"--ros-args", "-p", "a:="});
    ADD_FAILURE() << "an empty value must be refused";
  } catch (const rclcpp::exceptions::RCLInvalidROSArgsError & e) {
    EXPECT_THAT(
      e.what(),
      StartsWith("failed to parse arguments: Couldn't parse parameter override rule: '-p a:='"));
    EXPECT_EQ(e.ret, RCL_RET_INVALID_ROS_ARGS);
  }
}

TEST(Remaps, NodeNamespaceAndTopics)
{
  const auto args = parse(
    {"prog", "--ros-args", "-r", "__node:=renamed", "-r", "harrow_node:__ns:=/robot", "--remap",
      "/livox/imu:=/imu", "-r", "~/out:=/global_out", "-r", "other:lidar:=points"});
  ASSERT_EQ(args.remaps.size(), 5u);
  EXPECT_EQ(rclcpp::detail::remapped_node_name(args, "harrow_node"), "renamed");
  EXPECT_EQ(rclcpp::detail::remapped_namespace(args, "harrow_node", "/"), "/robot");
  EXPECT_EQ(rclcpp::detail::remapped_namespace(args, "other", "/"), "/");

  using rclcpp::detail::remapped_topic_name;
  EXPECT_EQ(remapped_topic_name(args, "harrow_node", "/robot", "/livox/imu"), "/imu");
  EXPECT_EQ(remapped_topic_name(args, "harrow_node", "/robot", "livox/imu"), "/robot/livox/imu");
  EXPECT_EQ(remapped_topic_name(args, "harrow_node", "/robot", "~/out"), "/global_out");
  EXPECT_EQ(remapped_topic_name(args, "other", "/", "lidar"), "/points");
  EXPECT_EQ(remapped_topic_name(args, "harrow_node", "/", "lidar"), "/lidar");

  const auto alias = parse({"prog", "--ros-args", "-r", "__name:=x"});
  EXPECT_EQ(rclcpp::detail::remapped_node_name(alias, "harrow_node"), "x");

  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "-r", "__ns:=robot"}),
    HasSubstr("Namespace not remapped to a fully qualified name (found: robot)"));
  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "-r", "nothing"}),
    StartsWith("failed to initialize rcl: Couldn't parse remap rule: '-r nothing'. Error: "));
}

TEST(Remaps, OldSpellingOutsideRosArgsWarns)
{
  ::testing::internal::CaptureStderr();
  const auto args = parse({"prog", "/a:=/b", "plain"});
  const std::string err = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(args.remaps.size(), 1u);
  EXPECT_EQ(args.remaps[0].to, "/b");
  EXPECT_EQ(args.non_ros_args, (std::vector<std::string>{"prog", "plain"}));
  EXPECT_THAT(
    err, HasSubstr(
      "[rcl]: Found remap rule '/a:=/b'. This syntax is deprecated. Use '--ros-args --remap "
      "/a:=/b' instead."));
}

TEST(Topics, Expansion)
{
  using rclcpp::detail::expand_topic_name;
  EXPECT_EQ(expand_topic_name("imu", "n", "/"), "/imu");
  EXPECT_EQ(expand_topic_name("imu", "n", "/ns"), "/ns/imu");
  EXPECT_EQ(expand_topic_name("/abs", "n", "/ns"), "/abs");
  EXPECT_EQ(expand_topic_name("~/x", "n", "/ns"), "/ns/n/x");
  EXPECT_EQ(expand_topic_name("~", "n", "/"), "/n");
  EXPECT_EQ(expand_topic_name("{node}/x", "n", "/ns"), "/ns/n/x");
}

TEST(LogLevels, ParsedAndApplied)
{
  const auto args = parse(
    {"prog", "--ros-args", "--log-level", "DEBUG", "--log-level", "harrow_node:=warn"});
  EXPECT_EQ(args.log_level, RCUTILS_LOG_SEVERITY_DEBUG);
  ASSERT_EQ(args.logger_levels.size(), 1u);
  EXPECT_EQ(args.logger_levels[0].logger_name, "harrow_node");
  EXPECT_EQ(args.logger_levels[0].level, RCUTILS_LOG_SEVERITY_WARN);
  EXPECT_EQ(parse({"prog"}).log_level, -1);

  EXPECT_EQ(RCUTILS_RET_OK, rcutils_logging_shutdown());
  rclcpp::detail::apply_log_levels(args);
  EXPECT_EQ(rcutils_logging_get_default_logger_level(), RCUTILS_LOG_SEVERITY_DEBUG);
  EXPECT_EQ(rcutils_logging_get_logger_effective_level("harrow_node"), RCUTILS_LOG_SEVERITY_WARN);
  EXPECT_EQ(
    rcutils_logging_get_logger_effective_level("harrow_node.child"), RCUTILS_LOG_SEVERITY_WARN);
  EXPECT_EQ(RCUTILS_RET_OK, rcutils_logging_shutdown());

  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "--log-level", "loud"}),
    StartsWith(
      "failed to initialize rcl: Couldn't parse log level rule: '--log-level loud'. Error: "
      "Argument does not use a valid severity level: 'loud'"));
}

TEST(NodeKeys, Matching)
{
  using rclcpp::detail::node_name_matches;
  EXPECT_TRUE(node_name_matches("/**", "/harrow_node"));
  EXPECT_TRUE(node_name_matches("/**", "/a/b/harrow_node"));
  EXPECT_TRUE(node_name_matches("harrow_node", "/harrow_node"));
  EXPECT_FALSE(node_name_matches("harrow_node", "/ns/harrow_node"));
  EXPECT_TRUE(node_name_matches("/ns/harrow_node", "/ns/harrow_node"));
  EXPECT_TRUE(node_name_matches("ns/harrow_node", "/ns/harrow_node"));
  EXPECT_TRUE(node_name_matches("/**/harrow_node", "/harrow_node"));
  EXPECT_TRUE(node_name_matches("/**/harrow_node", "/a/b/harrow_node"));
  EXPECT_TRUE(node_name_matches("/*/harrow_node", "/ns/harrow_node"));
  EXPECT_FALSE(node_name_matches("/*/harrow_node", "/a/b/harrow_node"));
  EXPECT_FALSE(node_name_matches("/*/harrow_node", "/harrow_node"));
  EXPECT_FALSE(node_name_matches("other_node", "/harrow_node"));
}

TEST(NodeKeys, OtherCharactersAreNoPatternSyntax)
{
  using rclcpp::detail::node_name_matches;
  // A key from a params file is a name with wildcards, not a regular expression.
  EXPECT_FALSE(node_name_matches("harrow.node", "/harrowXnode"));
  EXPECT_FALSE(node_name_matches("harrow_nod[a-z]", "/harrow_node"));
  EXPECT_FALSE(node_name_matches("(harrow_node|x)", "/harrow_node"));
  // A quantifier too large for the regex compiler's int arithmetic.
  EXPECT_FALSE(node_name_matches("harrow_node{6666666666666666666}", "/harrow_node"));
}

TEST(Overrides, KeysApplyInOrderOfFirstAppearance)
{
  // The "/**" table is created by the first rule and updated in place by the third; the node's
  // own table comes second and therefore wins.
  const auto args = parse(
    {"prog", "--ros-args", "-p", "/**:x:=1", "-p", "harrow_node:x:=2", "-p", "x:=3"});
  EXPECT_EQ(overrides_for(args, "/harrow_node").at("x"), rclcpp::ParameterValue(int64_t{2}));
  EXPECT_EQ(overrides_for(args, "/other").at("x"), rclcpp::ParameterValue(int64_t{3}));

  const auto reversed = parse(
    {"prog", "--ros-args", "-p", "harrow_node:x:=2", "-p", "x:=3"});
  EXPECT_EQ(overrides_for(reversed, "/harrow_node").at("x"), rclcpp::ParameterValue(int64_t{3}));
}

TEST_F(TempFiles, ParamsFileStructureAndTyping)
{
  const std::string path = write(
    "structure.yaml",
    "/**:\n"
    "  ros__parameters:\n"
    "    use_sim_time: true\n"
    "    lidar_type: 0\n"
    "harrow_node:\n"
    "  ros__parameters:\n"
    "    lidar_type: 1\n"
    "    extrinsic_T: [0.1, 0.2, 0.3]\n"
    "    extrinsic_R:\n"
    "      - 1.0\n"
    "      - 0.0\n"
    "    frame_id: \"imu_link\"\n"
    "    quoted_number: '10'\n"
    "    groups:\n"
    "      imu:\n"
    "        rate: 200\n"
    "        gains: [1, 2]\n"
    "    nothing: ~\n"
    "ns:\n"
    "  harrow_node:\n"
    "    ros__parameters:\n"
    "      lidar_type: 7\n"
    "/**/harrow_node:\n"
    "  ros__parameters:\n"
    "    blind: 0.5\n");
  const auto args = parse({"prog", "--ros-args", "--params-file", path});
  EXPECT_EQ(args.params_files, (std::vector<std::string>{path}));
  // Rules in file order, node names as written (joined with '/').
  ASSERT_EQ(args.parameters.size(), 12u);
  EXPECT_EQ(args.parameters[0].node_name, "/**");
  EXPECT_EQ(args.parameters[2].node_name, "harrow_node");
  EXPECT_EQ(args.parameters[7].name, "groups.imu.rate");
  EXPECT_EQ(args.parameters[10].node_name, "ns/harrow_node");
  EXPECT_EQ(args.parameters[11].node_name, "/**/harrow_node");

  const auto root = overrides_for(args, "/harrow_node");
  ASSERT_EQ(root.size(), 10u);
  EXPECT_EQ(root.at("use_sim_time"), rclcpp::ParameterValue(true));
  EXPECT_EQ(root.at("lidar_type"), rclcpp::ParameterValue(int64_t{1}));
  EXPECT_EQ(root.at("extrinsic_T"), rclcpp::ParameterValue(std::vector<double>{0.1, 0.2, 0.3}));
  EXPECT_EQ(root.at("extrinsic_R"), rclcpp::ParameterValue(std::vector<double>{1.0, 0.0}));
  EXPECT_EQ(root.at("frame_id"), rclcpp::ParameterValue("imu_link"));
  EXPECT_EQ(root.at("quoted_number"), rclcpp::ParameterValue("10"));
  EXPECT_EQ(root.at("groups.imu.rate"), rclcpp::ParameterValue(int64_t{200}));
  EXPECT_EQ(root.at("groups.imu.gains"), rclcpp::ParameterValue(std::vector<int64_t>{1, 2}));
  EXPECT_EQ(root.at("nothing"), rclcpp::ParameterValue("~"));
  EXPECT_EQ(root.at("blind"), rclcpp::ParameterValue(0.5));

  const auto namespaced = overrides_for(args, "/ns/harrow_node");
  ASSERT_EQ(namespaced.size(), 3u);
  EXPECT_EQ(namespaced.at("lidar_type"), rclcpp::ParameterValue(int64_t{7}));
  EXPECT_EQ(namespaced.at("use_sim_time"), rclcpp::ParameterValue(true));
  EXPECT_EQ(namespaced.at("blind"), rclcpp::ParameterValue(0.5));

  const auto stranger = overrides_for(args, "/other_node");
  ASSERT_EQ(stranger.size(), 2u);
  EXPECT_EQ(stranger.at("lidar_type"), rclcpp::ParameterValue(int64_t{0}));
}

TEST_F(TempFiles, ParamsFileAndCommandLineInterleave)
{
  const std::string path = write(
    "interleave.yaml", "harrow_node:\n  ros__parameters:\n    x: 1\n    y: 1\n");
  const auto args = parse(
    {"prog", "--ros-args", "-p", "harrow_node:y:=2", "--params-file", path, "-p", "x:=5"});
  const auto resolved = overrides_for(args, "/harrow_node");
  // The file's "harrow_node" rules update the table the -p rule opened; "/**" comes later.
  EXPECT_EQ(resolved.at("x"), rclcpp::ParameterValue(int64_t{5}));
  EXPECT_EQ(resolved.at("y"), rclcpp::ParameterValue(int64_t{1}));
}

TEST_F(TempFiles, ParamsFileErrors)
{
  const std::string missing = ::testing::TempDir() + "sweepmend_args_does_not_exist.yaml";
  const std::string text = invalid_args_text({"prog", "--ros-args", "--params-file", missing});
  EXPECT_THAT(
    text, StartsWith(
      "failed to initialize rcl: Couldn't parse params file: '--params-file " + missing +
      "'. Error: "));

  const std::string broken = write("broken.yaml", "harrow_node:\n  ros__parameters: [1, 2\n");
  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "--params-file", broken}),
    HasSubstr("Error parsing a event near line"));

  const std::string early_value = write("early.yaml", "harrow_node:\n  lidar_type: 1\n");
  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "--params-file", early_value}),
    HasSubstr("Cannot have a value before ros__parameters at line 2"));

  const std::string mixed = write(
    "mixed.yaml", "harrow_node:\n  ros__parameters:\n    v: [1,\n      2.5]\n");
  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "--params-file", mixed}),
    HasSubstr("Sequence should be of same type. Value type 'double' do not belong at line_num 4"));

  const std::string empty_value = write(
    "empty_value.yaml", "harrow_node:\n  ros__parameters:\n    v:\n");
  EXPECT_THAT(
    invalid_args_text({"prog", "--ros-args", "--params-file", empty_value}),
    HasSubstr("No value at line"));

  // An empty sequence is accepted by the parser but cannot become a value for the node.
  const std::string empty_array = write(
    "empty_array.yaml", "harrow_node:\n  ros__parameters:\n    v: []\n");
  const auto args = parse({"prog", "--ros-args", "--params-file", empty_array});
  EXPECT_THROW(
    overrides_for(args, "/harrow_node"), rclcpp::exceptions::InvalidParameterValueException);
  EXPECT_TRUE(overrides_for(args, "/other_node").empty());

  const std::string empty_file = write("empty.yaml", "");
  EXPECT_TRUE(parse({"prog", "--ros-args", "--params-file", empty_file}).parameters.empty());
}

}  // namespace
