// A named parameter value.
#ifndef RCLCPP__PARAMETER_HPP_
#define RCLCPP__PARAMETER_HPP_

#include <cstdint>
#include <iostream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/parameter.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/parameter_value.hpp"

namespace rclcpp
{

class Parameter;

namespace node_interfaces
{
struct ParameterInfo;
}  // namespace node_interfaces

namespace detail
{

// Parameter::get_value<T>() forwards here: member templates cannot be specialised for
// Parameter and ParameterValue, free function templates can.
template<typename T>
decltype(auto)
get_value_helper(const rclcpp::Parameter * parameter);

}  // namespace detail

/// A parameter: a name and a value of one of the parameter types.
class Parameter
{
public:
  /// Empty name, NOT_SET value.
  Parameter();

  /// The given name, NOT_SET value.
  explicit Parameter(const std::string & name);

  Parameter(const std::string & name, const ParameterValue & value);

  /// Any type ParameterValue has a constructor for.
  template<typename ValueTypeT>
  Parameter(const std::string & name, ValueTypeT value)
  : Parameter(name, ParameterValue(value))
  {}

  explicit Parameter(const rcl_interfaces::msg::Parameter & parameter);

  /// Name from the descriptor, value from the info.
  explicit Parameter(const rclcpp::node_interfaces::ParameterInfo & parameter_info);

  bool operator==(const Parameter & rhs) const;
  bool operator!=(const Parameter & rhs) const;

  ParameterType get_type() const;

  /// The type word, e.g. "double".
  std::string get_type_name() const;

  const std::string & get_name() const;

  rcl_interfaces::msg::ParameterValue get_value_message() const;

  const rclcpp::ParameterValue & get_parameter_value() const;

  /// The value by parameter type; throws rclcpp::ParameterTypeException on another type.
  template<ParameterType ParamT>
  decltype(auto)
  get_value() const
  {
    return value_.get<ParamT>();
  }

  /// The value by C++ type (see ParameterValue::get); Parameter and ParameterValue give the
  /// parameter itself and its value. Throws rclcpp::exceptions::InvalidParameterTypeException
  /// ("parameter '<name>' has invalid type: expected [...] got [...]") on another type.
  template<typename T>
  decltype(auto)
  get_value() const;

  bool as_bool() const;
  int64_t as_int() const;
  double as_double() const;
  const std::string & as_string() const;
  const std::vector<uint8_t> & as_byte_array() const;
  const std::vector<bool> & as_bool_array() const;
  const std::vector<int64_t> & as_integer_array() const;
  const std::vector<double> & as_double_array() const;
  const std::vector<std::string> & as_string_array() const;

  static Parameter from_parameter_msg(const rcl_interfaces::msg::Parameter & parameter);

  rcl_interfaces::msg::Parameter to_parameter_msg() const;

  /// The value as rclcpp::to_string(ParameterValue) writes it.
  std::string value_to_string() const;

private:
  std::string name_;
  ParameterValue value_;
};

/// `"name": {"type": "<type word>", "value": "<value text>"}`.
std::string _to_json_dict_entry(const Parameter & param);

std::ostream & operator<<(std::ostream & os, const rclcpp::Parameter & pv);

std::ostream & operator<<(std::ostream & os, const std::vector<Parameter> & parameters);

namespace detail
{

template<typename T>
decltype(auto)
get_value_helper(const rclcpp::Parameter * parameter)
{
  return parameter->get_parameter_value().get<T>();
}

// get_value<ParameterValue>() gives the value object itself.
template<>
inline
decltype(auto)
get_value_helper<rclcpp::ParameterValue>(const rclcpp::Parameter * parameter)
{
  return parameter->get_parameter_value();
}

// get_value<Parameter>() gives a reference to the parameter itself.
template<>
inline
decltype(auto)
get_value_helper<rclcpp::Parameter>(const rclcpp::Parameter * parameter)
{
  // Through a lambda with an explicit reference return type, so that no copy is deduced.
  auto type_enforcing_lambda =
    [&parameter]() -> const rclcpp::Parameter & {
      return *parameter;
    };
  return type_enforcing_lambda();
}

}  // namespace detail

template<typename T>
decltype(auto)
Parameter::get_value() const
{
  // A type mismatch names the parameter, so that a caller learns which one was wrong.
  try {
    return detail::get_value_helper<T>(this);
  } catch (const ParameterTypeException & ex) {
    throw exceptions::InvalidParameterTypeException(this->name_, ex.what());
  }
}

}  // namespace rclcpp

namespace std
{

/// The parameter as a one-entry JSON object.
std::string to_string(const rclcpp::Parameter & param);

/// The parameters as one JSON object.
std::string to_string(const std::vector<rclcpp::Parameter> & parameters);

}  // namespace std

#endif  // RCLCPP__PARAMETER_HPP_
