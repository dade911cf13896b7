// The --ros-args command-line parser and the params-file reader. The input is split at its first
// NUL byte: before it, command-line tokens one per line (argv[0] is added); after it, the
// contents of a params file that is appended as `--params-file FILE`. Parsing must either throw
// one of the exceptions rclcpp documents or give arguments that resolve for a node without
// crashing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "rclcpp/detail/ros_arguments.hpp"
#include "rclcpp/exceptions.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, std::size_t size)
{
  namespace detail = rclcpp::detail;
  const char * begin = reinterpret_cast<const char *>(data);
  const char * nul = static_cast<const char *>(std::memchr(begin, 0, size));
  const std::string line_part(begin, nul ? nul : begin + size);

  std::vector<std::string> args;
  std::size_t start = 0;
  while (start <= line_part.size()) {
    const std::size_t end = line_part.find('\n', start);
    args.push_back(line_part.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }
  if (nul != nullptr) {
    const auto path = sweepmend_fuzz::scratch_dir() / "params.yaml";
    const auto * file_begin = reinterpret_cast<const uint8_t *>(nul + 1);
    sweepmend_fuzz::write_file(path, file_begin, size - static_cast<std::size_t>(nul + 1 - begin));
    args.push_back("--ros-args");
    args.push_back("--params-file");
    args.push_back(path.string());
  }

  detail::RosArguments parsed;
  try {
    parsed = detail::parse_ros_arguments(args);
  } catch (const rclcpp::exceptions::RCLInvalidROSArgsError &) {
    return 0;
  } catch (const rclcpp::exceptions::UnknownROSArgsError &) {
    return 0;
  }

  // What a node does with the arguments at construction.
  const std::string name = detail::remapped_node_name(parsed, "harrow_node");
  const std::string ns = detail::remapped_namespace(parsed, name, "/");
  const std::string fqn = (ns == "/" ? "" : ns) + "/" + name;
  try {
    detail::parameter_overrides_for_node(parsed, name, fqn);
  } catch (const rclcpp::exceptions::InvalidParameterValueException &) {
  }
  detail::remapped_topic_name(parsed, name, ns, "/livox/lidar");
  detail::remapped_topic_name(parsed, name, ns, "~/imu");
  detail::remapped_topic_name(parsed, name, ns, "relative/topic");
  return 0;
}
