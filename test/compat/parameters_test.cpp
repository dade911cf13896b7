// Parameter values, parameters and the node parameter store: strict typing, declaration rules,
// launch-time overrides and the exception texts node code sees.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rclcpp/detail/ros_arguments.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/node_interfaces/node_parameters.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"

namespace
{

using rclcpp::node_interfaces::NodeParameters;
using rclcpp::node_interfaces::get_parameter_as;
using rcl_interfaces::msg::ParameterDescriptor;

template<typename ExceptionT, typename Callable>
std::string what_of(Callable && callable)
{
  try {
    callable();
  } catch (const ExceptionT & e) {
    return e.what();
  }
  ADD_FAILURE() << "expected exception was not thrown";
  return {};
}

// A store as a node named harrow_node in the root namespace gets it, without process arguments.
NodeParameters make_store(
  const std::vector<rclcpp::Parameter> & overrides = {}, bool allow_undeclared = false,
  bool auto_declare = false)
{
  return NodeParameters(
    "harrow_node", "/harrow_node", overrides, false, allow_undeclared, auto_declare);
}

ParameterDescriptor dynamic_descriptor()
{
  ParameterDescriptor d;
  d.dynamic_typing = true;
  return d;
}

TEST(ParameterValue, TypeWords)
{
  const std::vector<std::pair<rclcpp::ParameterType, std::string>> words = {
    {rclcpp::PARAMETER_NOT_SET, "not set"}, {rclcpp::PARAMETER_BOOL, "bool"},
    {rclcpp::PARAMETER_INTEGER, "integer"}, {rclcpp::PARAMETER_DOUBLE, "double"},
    {rclcpp::PARAMETER_STRING, "string"}, {rclcpp::PARAMETER_BYTE_ARRAY, "byte_array"},
    {rclcpp::PARAMETER_BOOL_ARRAY, "bool_array"},
    {rclcpp::PARAMETER_INTEGER_ARRAY, "integer_array"},
    {rclcpp::PARAMETER_DOUBLE_ARRAY, "double_array"},
    {rclcpp::PARAMETER_STRING_ARRAY, "string_array"},
    {static_cast<rclcpp::ParameterType>(42), "unknown type"},
  };
  for (const auto & w : words) {
    EXPECT_EQ(rclcpp::to_string(w.first), w.second);
  }
  // The enum is unscoped and its values are the message's type codes.
  EXPECT_EQ(static_cast<int>(rclcpp::ParameterType::PARAMETER_DOUBLE_ARRAY), 8);
}

TEST(ParameterValue, ConstructorsPickTheType)
{
  EXPECT_EQ(rclcpp::ParameterValue().get_type(), rclcpp::PARAMETER_NOT_SET);
  EXPECT_EQ(rclcpp::ParameterValue(true).get_type(), rclcpp::PARAMETER_BOOL);
  EXPECT_EQ(rclcpp::ParameterValue(3).get_type(), rclcpp::PARAMETER_INTEGER);
  EXPECT_EQ(rclcpp::ParameterValue(int64_t{3}).get_type(), rclcpp::PARAMETER_INTEGER);
  EXPECT_EQ(rclcpp::ParameterValue(1.5f).get_type(), rclcpp::PARAMETER_DOUBLE);
  EXPECT_EQ(rclcpp::ParameterValue(1.5).get_type(), rclcpp::PARAMETER_DOUBLE);
  EXPECT_EQ(rclcpp::ParameterValue("map").get_type(), rclcpp::PARAMETER_STRING);
  EXPECT_EQ(rclcpp::ParameterValue(std::string("map")).get_type(), rclcpp::PARAMETER_STRING);
  EXPECT_EQ(
    rclcpp::ParameterValue(std::vector<uint8_t>{1}).get_type(), rclcpp::PARAMETER_BYTE_ARRAY);
  EXPECT_EQ(
    rclcpp::ParameterValue(std::vector<bool>{true}).get_type(), rclcpp::PARAMETER_BOOL_ARRAY);
  EXPECT_EQ(
    rclcpp::ParameterValue(std::vector<int>{1, 2}).get_type(), rclcpp::PARAMETER_INTEGER_ARRAY);
  EXPECT_EQ(
    rclcpp::ParameterValue(std::vector<float>{1.f}).get_type(), rclcpp::PARAMETER_DOUBLE_ARRAY);
  EXPECT_EQ(
    rclcpp::ParameterValue(std::vector<std::string>{"a"}).get_type(),
    rclcpp::PARAMETER_STRING_ARRAY);

  const rclcpp::ParameterValue ints(std::vector<int>{1, -2});
  EXPECT_EQ(ints.get<std::vector<int64_t>>(), (std::vector<int64_t>{1, -2}));
  const rclcpp::ParameterValue floats(std::vector<float>{0.5f, 2.f});
  EXPECT_EQ(floats.get<std::vector<double>>(), (std::vector<double>{0.5, 2.0}));

  rcl_interfaces::msg::ParameterValue bad;
  bad.type = 77;
  EXPECT_EQ(
    what_of<std::runtime_error>([&] {rclcpp::ParameterValue v(bad);}), "Unknown type: 77");
}

TEST(ParameterValue, NoConversionBetweenTypes)
{
  const rclcpp::ParameterValue integer(1);
  EXPECT_EQ(integer.get<int>(), 1);
  EXPECT_EQ(
    what_of<rclcpp::ParameterTypeException>([&] {integer.get<double>();}),
    "expected [double] got [integer]");
  const rclcpp::ParameterValue real(1.0);
  EXPECT_EQ(
    what_of<rclcpp::ParameterTypeException>([&] {real.get<int64_t>();}),
    "expected [integer] got [double]");
  EXPECT_EQ(
    what_of<rclcpp::ParameterTypeException>([&] {real.get<bool>();}),
    "expected [bool] got [double]");
  const rclcpp::ParameterValue int_array(std::vector<int64_t>{1, 2});
  EXPECT_EQ(
    what_of<rclcpp::ParameterTypeException>([&] {int_array.get<std::vector<double>>();}),
    "expected [double_array] got [integer_array]");
  EXPECT_EQ(
    what_of<rclcpp::ParameterTypeException>(
      [&] {rclcpp::ParameterValue().get<rclcpp::PARAMETER_STRING>();}),
    "expected [string] got [not set]");
}

TEST(ParameterValue, ToString)
{
  EXPECT_EQ(rclcpp::to_string(rclcpp::ParameterValue()), "not set");
  EXPECT_EQ(rclcpp::to_string(rclcpp::ParameterValue(true)), "true");
  EXPECT_EQ(rclcpp::to_string(rclcpp::ParameterValue(-7)), "-7");
  EXPECT_EQ(rclcpp::to_string(rclcpp::ParameterValue(1.5)), "1.500000");
  EXPECT_EQ(rclcpp::to_string(rclcpp::ParameterValue("lidar_link")), "lidar_link");
  EXPECT_EQ(
    rclcpp::to_string(rclcpp::ParameterValue(std::vector<uint8_t>{0, 255})), "[0, 255]");
  EXPECT_EQ(
    rclcpp::to_string(rclcpp::ParameterValue(std::vector<bool>{true, false})), "[true, false]");
  EXPECT_EQ(
    rclcpp::to_string(rclcpp::ParameterValue(std::vector<int64_t>{1, 2, 3})), "[1, 2, 3]");
  EXPECT_EQ(
    rclcpp::to_string(rclcpp::ParameterValue(std::vector<double>{0.5, 2.0})), "[0.5, 2]");
  EXPECT_EQ(
    rclcpp::to_string(rclcpp::ParameterValue(std::vector<std::string>{"a", "b"})), "[a, b]");
}

TEST(Parameter, AccessorsAndMessages)
{
  const rclcpp::Parameter p("extrinsic_T", std::vector<double>{0.1, 0.2, 0.3});
  EXPECT_EQ(p.get_name(), "extrinsic_T");
  EXPECT_EQ(p.get_type(), rclcpp::PARAMETER_DOUBLE_ARRAY);
  EXPECT_EQ(p.get_type_name(), "double_array");
  EXPECT_EQ(p.as_double_array(), (std::vector<double>{0.1, 0.2, 0.3}));
  EXPECT_EQ(p.value_to_string(), "[0.1, 0.2, 0.3]");
  EXPECT_EQ(
    std::to_string(p),
    "{\"extrinsic_T\": {\"type\": \"double_array\", \"value\": \"[0.1, 0.2, 0.3]\"}}");
  EXPECT_THROW(p.as_int(), rclcpp::ParameterTypeException);

  const rclcpp::Parameter i("lidar_type", 1);
  EXPECT_EQ(i.as_int(), 1);
  EXPECT_EQ(i.get_value<int>(), 1);
  EXPECT_EQ(i.get_value<rclcpp::ParameterValue>(), rclcpp::ParameterValue(1));
  EXPECT_EQ(&i.get_value<rclcpp::Parameter>(), &i);
  EXPECT_EQ(
    what_of<rclcpp::ParameterTypeException>([&] {i.as_double();}),
    "expected [double] got [integer]");
  // By C++ type the mismatch names the parameter; by parameter type it does not.
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>([&] {i.get_value<double>();}),
    "parameter 'lidar_type' has invalid type: expected [double] got [integer]");
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {i.get_value<std::vector<int64_t>>();}),
    "parameter 'lidar_type' has invalid type: expected [integer_array] got [integer]");
  EXPECT_EQ(
    what_of<rclcpp::ParameterTypeException>(
      [&] {i.get_value<rclcpp::ParameterType::PARAMETER_STRING>();}),
    "expected [string] got [integer]");

  const auto msg = i.to_parameter_msg();
  EXPECT_EQ(msg.name, "lidar_type");
  EXPECT_EQ(msg.value.type, rcl_interfaces::msg::ParameterType::PARAMETER_INTEGER);
  EXPECT_EQ(msg.value.integer_value, 1);
  EXPECT_EQ(rclcpp::Parameter::from_parameter_msg(msg), i);
  EXPECT_NE(rclcpp::Parameter("lidar_type", 2), i);
  EXPECT_EQ(rclcpp::Parameter().get_name(), "");
  EXPECT_EQ(rclcpp::Parameter("x").get_type(), rclcpp::PARAMETER_NOT_SET);
}

TEST(NodeParameters, DeclareWithDefault)
{
  auto store = make_store();
  const auto & value = store.declare_parameter("point_conf_thr", rclcpp::ParameterValue(1));
  EXPECT_EQ(value.get<int64_t>(), 1);
  EXPECT_TRUE(store.has_parameter("point_conf_thr"));
  EXPECT_FALSE(store.has_parameter("object_conf_thr"));
  EXPECT_EQ(store.get_parameter("point_conf_thr").as_int(), 1);

  EXPECT_EQ(
    what_of<rclcpp::exceptions::ParameterAlreadyDeclaredException>(
      [&] {store.declare_parameter("point_conf_thr", rclcpp::ParameterValue(2));}),
    "parameter 'point_conf_thr' has already been declared");
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParametersException>(
      [&] {store.declare_parameter("", rclcpp::ParameterValue(2));}),
    "parameter name must not be empty");
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {store.declare_parameter("nothing", rclcpp::ParameterValue());}),
    "parameter 'nothing' has invalid type: cannot declare a statically typed parameter with an "
    "uninitialized value");
  EXPECT_FALSE(store.has_parameter("nothing"));
}

TEST(NodeParameters, OverrideReplacesDefaultUnlessIgnored)
{
  auto store = make_store(
    {rclcpp::Parameter("frame_id", "imu_link"), rclcpp::Parameter("lidar_type", 1)});
  EXPECT_EQ(
    store.declare_parameter("frame_id", rclcpp::ParameterValue("lidar_link")).get<std::string>(),
    "imu_link");
  EXPECT_EQ(
    store.declare_parameter(
      "lidar_type", rclcpp::ParameterValue(0), ParameterDescriptor(), true).get<int64_t>(), 0);
  // Overrides for names the node never declares are ignored.
  EXPECT_FALSE(store.has_parameter("unused"));
}

TEST(NodeParameters, WrongTypeOverrideThrowsExactText)
{
  auto store = make_store(
    {rclcpp::Parameter("lidar_type", "livox"), rclcpp::Parameter("blind", 10),
      rclcpp::Parameter("extrinsic_T", std::vector<int64_t>{0, 0, 1})});
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {store.declare_parameter("lidar_type", rclcpp::ParameterValue(0));}),
    "parameter 'lidar_type' has invalid type: Wrong parameter type, parameter {lidar_type} is "
    "of type {integer}, setting it to {string} is not allowed.");
  // An integer is not a double.
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {store.declare_parameter("blind", rclcpp::ParameterValue(0.5));}),
    "parameter 'blind' has invalid type: Wrong parameter type, parameter {blind} is of type "
    "{double}, setting it to {integer} is not allowed.");
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {store.declare_parameter("extrinsic_T", rclcpp::PARAMETER_DOUBLE_ARRAY);}),
    "parameter 'extrinsic_T' has invalid type: Wrong parameter type, parameter {extrinsic_T} is "
    "of type {double_array}, setting it to {integer_array} is not allowed.");
  EXPECT_FALSE(store.has_parameter("lidar_type"));
}

TEST(NodeParameters, TypeOnlyDeclarationWithoutOverrideStaysUnset)
{
  auto store = make_store();
  const auto & value = store.declare_parameter("extrinsic_T", rclcpp::PARAMETER_DOUBLE_ARRAY);
  EXPECT_EQ(value.get_type(), rclcpp::PARAMETER_NOT_SET);
  EXPECT_TRUE(store.has_parameter("extrinsic_T"));

  EXPECT_EQ(
    what_of<rclcpp::exceptions::ParameterUninitializedException>(
      [&] {store.get_parameter("extrinsic_T");}),
    "parameter 'extrinsic_T' is not initialized");

  rclcpp::Parameter untouched("marker", 5);
  EXPECT_FALSE(store.get_parameter("extrinsic_T", untouched));
  EXPECT_EQ(untouched, rclcpp::Parameter("marker", 5));

  std::vector<double> extrinsic{0.0, 0.0, 0.0};
  EXPECT_FALSE(get_parameter_as(store, "extrinsic_T", extrinsic));
  EXPECT_EQ(extrinsic, (std::vector<double>{0.0, 0.0, 0.0}));

  // The declared type still holds for later sets.
  auto wrong = store.set_parameters({rclcpp::Parameter("extrinsic_T", std::vector<int64_t>{1})});
  ASSERT_EQ(wrong.size(), 1u);
  EXPECT_FALSE(wrong[0].successful);
  EXPECT_EQ(
    wrong[0].reason,
    "Wrong parameter type, parameter {extrinsic_T} is of type {double_array}, setting it to "
    "{integer_array} is not allowed.");
  auto right = store.set_parameters({rclcpp::Parameter("extrinsic_T", std::vector<double>{1.0})});
  EXPECT_TRUE(right[0].successful);
  EXPECT_TRUE(get_parameter_as(store, "extrinsic_T", extrinsic));
  EXPECT_EQ(extrinsic, (std::vector<double>{1.0}));
}

TEST(NodeParameters, TypeOnlyDeclarationTakesOverride)
{
  auto store = make_store({rclcpp::Parameter("extrinsic_R", std::vector<double>{1, 0, 0})});
  EXPECT_EQ(
    store.declare_parameter("extrinsic_R", rclcpp::PARAMETER_DOUBLE_ARRAY)
    .get<std::vector<double>>(), (std::vector<double>{1.0, 0.0, 0.0}));
}

TEST(NodeParameters, TypeOnlyDeclarationArgumentChecks)
{
  auto store = make_store();
  EXPECT_EQ(
    what_of<std::invalid_argument>(
      [&] {store.declare_parameter("a", rclcpp::PARAMETER_NOT_SET);}),
    "declare_parameter(): the provided parameter type cannot be rclcpp::PARAMETER_NOT_SET");
  EXPECT_EQ(
    what_of<std::invalid_argument>(
      [&] {store.declare_parameter("a", rclcpp::PARAMETER_BOOL, dynamic_descriptor());}),
    "declare_parameter(): cannot declare parameter of specific type and pass descriptorwith "
    "`dynamic_typing=true`");
}

TEST(NodeParameters, GetParameterAsFollowsNodeSemantics)
{
  auto store = make_store({rclcpp::Parameter("point_conf_thr", 258)});
  store.declare_parameter("point_conf_thr", rclcpp::ParameterValue(1));
  store.declare_parameter("frame_id", rclcpp::ParameterValue("lidar_link"));

  int as_int = 0;
  EXPECT_TRUE(get_parameter_as(store, "point_conf_thr", as_int));
  EXPECT_EQ(as_int, 258);
  uint8_t low_bits = 0;
  EXPECT_TRUE(get_parameter_as(store, "point_conf_thr", low_bits));
  EXPECT_EQ(low_bits, 2);

  double as_double = -1.0;
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {get_parameter_as(store, "point_conf_thr", as_double);}),
    "parameter 'point_conf_thr' has invalid type: expected [double] got [integer]");
  EXPECT_EQ(as_double, -1.0);

  std::string frame;
  EXPECT_TRUE(get_parameter_as(store, "frame_id", frame));
  EXPECT_EQ(frame, "lidar_link");
  EXPECT_FALSE(get_parameter_as(store, "undeclared", frame));
  EXPECT_EQ(frame, "lidar_link");

  rclcpp::Parameter whole;
  EXPECT_TRUE(get_parameter_as(store, "frame_id", whole));
  EXPECT_EQ(whole, rclcpp::Parameter("frame_id", "lidar_link"));
}

TEST(NodeParameters, UndeclaredNames)
{
  auto store = make_store();
  EXPECT_EQ(
    what_of<rclcpp::exceptions::ParameterNotDeclaredException>(
      [&] {store.get_parameter("nope");}), "nope");
  EXPECT_EQ(
    what_of<rclcpp::exceptions::ParameterNotDeclaredException>(
      [&] {store.get_parameters({"nope"});}), "nope");
  EXPECT_EQ(
    what_of<rclcpp::exceptions::ParameterNotDeclaredException>(
      [&] {store.set_parameters({rclcpp::Parameter("nope", 1)});}),
    "parameter 'nope' cannot be set because it was not declared");
  EXPECT_EQ(
    what_of<rclcpp::exceptions::ParameterNotDeclaredException>(
      [&] {store.undeclare_parameter("nope");}),
    "cannot undeclare parameter 'nope' which has not yet been declared");
}

TEST(NodeParameters, AllowUndeclaredParameters)
{
  auto store = make_store({rclcpp::Parameter("gain", 2.0)}, true);
  EXPECT_EQ(store.get_parameter("nope"), rclcpp::Parameter());
  EXPECT_EQ(store.get_parameters({"nope"})[0], rclcpp::Parameter("nope"));

  // An implicit declaration is dynamically typed; the value set wins over an override.
  auto result = store.set_parameters_atomically({rclcpp::Parameter("gain", 5)});
  EXPECT_TRUE(result.successful);
  EXPECT_EQ(store.get_parameter("gain").as_int(), 5);
  EXPECT_TRUE(store.set_parameters({rclcpp::Parameter("gain", "high")})[0].successful);
  EXPECT_EQ(store.get_parameter("gain").as_string(), "high");
  EXPECT_TRUE(store.describe_parameters({"gain"})[0].dynamic_typing);
}

TEST(NodeParameters, DynamicTyping)
{
  auto store = make_store();
  store.declare_parameter("free", rclcpp::ParameterValue(1), dynamic_descriptor());
  EXPECT_TRUE(store.set_parameters({rclcpp::Parameter("free", "text")})[0].successful);
  EXPECT_EQ(store.get_parameter("free").get_type(), rclcpp::PARAMETER_STRING);
  EXPECT_EQ(store.describe_parameters({"free"})[0].type, rclcpp::PARAMETER_STRING);

  // Dynamically typed without value: declared, and get_parameter does not throw.
  store.declare_parameter("empty", rclcpp::ParameterValue(), dynamic_descriptor());
  EXPECT_EQ(store.get_parameter("empty").get_type(), rclcpp::PARAMETER_NOT_SET);

  // Setting NOT_SET undeclares a dynamically typed parameter, never a static one.
  EXPECT_TRUE(store.set_parameters({rclcpp::Parameter("free")})[0].successful);
  EXPECT_FALSE(store.has_parameter("free"));
  store.declare_parameter("fixed", rclcpp::ParameterValue(1));
  const auto refused = store.set_parameters({rclcpp::Parameter("fixed")});
  EXPECT_FALSE(refused[0].successful);
  EXPECT_EQ(refused[0].reason, "cannot undeclare an statically typed parameter");
  EXPECT_TRUE(store.has_parameter("fixed"));
}

TEST(NodeParameters, Undeclare)
{
  auto store = make_store();
  store.declare_parameter("fixed", rclcpp::ParameterValue(1));
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterTypeException>(
      [&] {store.undeclare_parameter("fixed");}),
    "parameter 'fixed' has invalid type: cannot undeclare an statically typed parameter");
  ParameterDescriptor read_only = dynamic_descriptor();
  read_only.read_only = true;
  store.declare_parameter("locked", rclcpp::ParameterValue(1), read_only);
  EXPECT_EQ(
    what_of<rclcpp::exceptions::ParameterImmutableException>(
      [&] {store.undeclare_parameter("locked");}),
    "cannot undeclare parameter 'locked' because it is read-only");
  store.declare_parameter("free", rclcpp::ParameterValue(1), dynamic_descriptor());
  store.undeclare_parameter("free");
  EXPECT_FALSE(store.has_parameter("free"));
}

TEST(NodeParameters, ReadOnlyAndRanges)
{
  auto store = make_store({rclcpp::Parameter("rate", 15)});
  ParameterDescriptor read_only;
  read_only.read_only = true;
  store.declare_parameter("locked", rclcpp::ParameterValue(1), read_only);
  const auto refused = store.set_parameters({rclcpp::Parameter("locked", 2)});
  EXPECT_FALSE(refused[0].successful);
  EXPECT_EQ(refused[0].reason, "parameter 'locked' cannot be set because it is read-only");

  ParameterDescriptor int_range;
  int_range.integer_range.resize(1);
  int_range.integer_range[0].from_value = 0;
  int_range.integer_range[0].to_value = 10;
  int_range.integer_range[0].step = 2;
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterValueException>(
      [&] {store.declare_parameter("rate", rclcpp::ParameterValue(4), int_range);}),
    "parameter 'rate' could not be set: Parameter {rate} doesn't comply with integer range.");
  store.declare_parameter("even", rclcpp::ParameterValue(4), int_range);
  EXPECT_TRUE(store.set_parameters({rclcpp::Parameter("even", 10)})[0].successful);
  EXPECT_FALSE(store.set_parameters({rclcpp::Parameter("even", 3)})[0].successful);
  EXPECT_FALSE(store.set_parameters({rclcpp::Parameter("even", 12)})[0].successful);

  ParameterDescriptor fp_range;
  fp_range.floating_point_range.resize(1);
  fp_range.floating_point_range[0].from_value = 0.0;
  fp_range.floating_point_range[0].to_value = 1.0;
  fp_range.floating_point_range[0].step = 0.25;
  store.declare_parameter("ratio", rclcpp::ParameterValue(0.5), fp_range);
  EXPECT_TRUE(store.set_parameters({rclcpp::Parameter("ratio", 0.75)})[0].successful);
  const auto off_grid = store.set_parameters({rclcpp::Parameter("ratio", 0.3)});
  EXPECT_FALSE(off_grid[0].successful);
  EXPECT_EQ(off_grid[0].reason, "Parameter {ratio} doesn't comply with floating point range.");
  EXPECT_DOUBLE_EQ(store.get_parameter("ratio").as_double(), 0.75);
}

TEST(NodeParameters, SetAtomicallyIsAllOrNothing)
{
  auto store = make_store();
  store.declare_parameter("a", rclcpp::ParameterValue(1));
  store.declare_parameter("b", rclcpp::ParameterValue(1.0));
  const auto result = store.set_parameters_atomically(
    {rclcpp::Parameter("a", 2), rclcpp::Parameter("b", 3)});
  EXPECT_FALSE(result.successful);
  EXPECT_EQ(store.get_parameter("a").as_int(), 1);

  const auto results = store.set_parameters(
    {rclcpp::Parameter("a", 2), rclcpp::Parameter("b", 3)});
  ASSERT_EQ(results.size(), 2u);
  EXPECT_TRUE(results[0].successful);
  EXPECT_FALSE(results[1].successful);
  EXPECT_EQ(store.get_parameter("a").as_int(), 2);
}

TEST(NodeParameters, OnSetCallbacks)
{
  auto store = make_store();
  std::vector<std::string> seen;
  auto veto = store.add_on_set_parameters_callback(
    [&](const std::vector<rclcpp::Parameter> & parameters) {
      rcl_interfaces::msg::SetParametersResult result;
      result.successful = true;
      for (const auto & p : parameters) {
        seen.push_back(p.get_name());
        if (p.get_name() == "forbidden") {
          result.successful = false;
          result.reason = "not today";
        }
      }
      return result;
    });
  store.declare_parameter("allowed", rclcpp::ParameterValue(1));
  EXPECT_EQ(
    what_of<rclcpp::exceptions::InvalidParameterValueException>(
      [&] {store.declare_parameter("forbidden", rclcpp::ParameterValue(1));}),
    "parameter 'forbidden' could not be set: not today");
  EXPECT_EQ(seen, (std::vector<std::string>{"allowed", "forbidden"}));

  auto meddler = store.add_on_set_parameters_callback(
    [&](const std::vector<rclcpp::Parameter> &) {
      store.declare_parameter("inside", rclcpp::ParameterValue(1));
      return rcl_interfaces::msg::SetParametersResult();
    });
  EXPECT_EQ(
    what_of<rclcpp::exceptions::ParameterModifiedInCallbackException>(
      [&] {store.set_parameters({rclcpp::Parameter("allowed", 2)});}),
    "cannot set or declare a parameter, or change the callback from within set callback");
  store.remove_on_set_parameters_callback(meddler.get());
  EXPECT_THROW(store.remove_on_set_parameters_callback(meddler.get()), std::runtime_error);

  // A released handle unregisters its callback.
  veto.reset();
  store.declare_parameter("forbidden", rclcpp::ParameterValue(1));
  EXPECT_TRUE(store.has_parameter("forbidden"));
}

TEST(NodeParameters, ChangedHookSeesDeclarationsAndSets)
{
  auto store = make_store();
  std::vector<rclcpp::Parameter> changes;
  store.set_parameters_changed_hook(
    [&](const std::vector<rclcpp::Parameter> & changed) {
      changes.insert(changes.end(), changed.begin(), changed.end());
    });
  store.declare_parameter("use_sim_time", rclcpp::ParameterValue(false));
  store.declare_parameter("unset", rclcpp::PARAMETER_DOUBLE);
  store.set_parameters({rclcpp::Parameter("use_sim_time", true)});
  store.set_parameters({rclcpp::Parameter("use_sim_time", 1)});  // refused, not reported
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0], rclcpp::Parameter("use_sim_time", false));
  EXPECT_EQ(changes[1], rclcpp::Parameter("use_sim_time", true));
}

TEST(NodeParameters, AutomaticallyDeclareFromOverrides)
{
  auto store = make_store({rclcpp::Parameter("b", 2.0), rclcpp::Parameter("a", 1)}, false, true);
  EXPECT_EQ(store.list_parameter_names(), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(store.describe_parameters({"a"})[0].dynamic_typing);
  EXPECT_TRUE(store.set_parameters({rclcpp::Parameter("a", "x")})[0].successful);
}

TEST(NodeParameters, PrefixQuery)
{
  auto store = make_store();
  store.declare_parameter("imu.rate", rclcpp::ParameterValue(200));
  store.declare_parameter("imu.frame", rclcpp::ParameterValue("imu_link"));
  store.declare_parameter("imuX", rclcpp::ParameterValue(1));
  std::map<std::string, rclcpp::Parameter> found;
  EXPECT_TRUE(store.get_parameters_by_prefix("imu", found));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found.at("rate").as_int(), 200);
  EXPECT_EQ(found.at("frame").get_name(), "imu.frame");
  std::map<std::string, rclcpp::Parameter> none;
  EXPECT_FALSE(store.get_parameters_by_prefix("lidar", none));
}

class NodeParametersWithGlobalArguments : public ::testing::Test
{
protected:
  void SetUp() override
  {
    const char * argv[] = {
      "sweepmend_node", "--ros-args", "-p", "lidar_type:=1", "-p", "harrow_node:frame_id:=cli",
      "-p", "other_node:frame_id:=elsewhere", "-p", "blind:=0.5"};
    rclcpp::detail::set_global_arguments(
      rclcpp::detail::parse_ros_arguments(static_cast<int>(std::size(argv)), argv));
  }
  void TearDown() override
  {
    rclcpp::detail::set_global_arguments(rclcpp::detail::RosArguments());
  }
};

TEST_F(NodeParametersWithGlobalArguments, ProcessArgumentsApplyToMatchingNode)
{
  NodeParameters store("harrow_node", "/harrow_node", {}, true, false, false);
  const auto & overrides = store.get_parameter_overrides();
  ASSERT_EQ(overrides.size(), 3u);
  EXPECT_EQ(overrides.at("lidar_type").get<int64_t>(), 1);
  EXPECT_EQ(overrides.at("frame_id").get<std::string>(), "cli");
  EXPECT_EQ(store.declare_parameter("lidar_type", rclcpp::ParameterValue(0)).get<int64_t>(), 1);
}

TEST_F(NodeParametersWithGlobalArguments, OptionOverridesWinAndGlobalsCanBeIgnored)
{
  NodeParameters preferred(
    "harrow_node", "/harrow_node", {rclcpp::Parameter("frame_id", "options")}, true, false,
    false);
  EXPECT_EQ(preferred.get_parameter_overrides().at("frame_id").get<std::string>(), "options");

  NodeParameters without_globals("harrow_node", "/harrow_node", {}, false, false, false);
  EXPECT_TRUE(without_globals.get_parameter_overrides().empty());

  // Node-local arguments sit between the process arguments and the option overrides.
  const auto local = rclcpp::detail::parse_ros_arguments(
    std::vector<std::string>{"--ros-args", "-p", "lidar_type:=2", "-p", "frame_id:=local"});
  NodeParameters layered(
    "harrow_node", "/harrow_node", local, {rclcpp::Parameter("frame_id", "options")}, true, false,
    false);
  EXPECT_EQ(layered.get_parameter_overrides().at("lidar_type").get<int64_t>(), 2);
  EXPECT_EQ(layered.get_parameter_overrides().at("frame_id").get<std::string>(), "options");
  EXPECT_DOUBLE_EQ(layered.get_parameter_overrides().at("blind").get<double>(), 0.5);
}

}  // namespace
