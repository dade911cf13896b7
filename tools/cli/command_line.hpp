// Reading the command lines of the sweepmend programs: help, options with their values, operands
// and, for the programs that start a node, the ROS arguments.
#ifndef CLI__COMMAND_LINE_HPP_
#define CLI__COMMAND_LINE_HPP_

#include <functional>
#include <string>
#include <vector>

namespace sweepmend
{
namespace cli
{

/// A mistake on the command line; the program reports `message` and exits with status 2.
/// `unknown_option` marks a word that is no option of the program.
struct UsageError
{
  std::string message;
  bool unknown_option{false};
};

/// The words after an option, for its handler to take its values from.
class OptionValues
{
public:
  OptionValues(int argc, char ** argv, int & index, const std::string & option)
  : argc_(argc), argv_(argv), index_(index), option_(option) {}

  /// The next word, or nullptr at the end of the line; not taken.
  const char * peek() const;
  /// Takes the next word; only after peek() gave one.
  const char * take();
  /// Takes the next word as the option's value; UsageError "<option> needs a value" at the end.
  std::string value();

private:
  int argc_;
  char ** argv_;
  int & index_;
  const std::string & option_;
};

/// Handles one option (a word starting with '-'), taking its values from `values`; false for an
/// option the program does not know. May throw UsageError.
using OptionHandler = std::function<bool (const std::string & option, OptionValues & values)>;

/// Reads argv[1] to argv[argc - 1] from left to right. "-h" and "--help" print `usage` on standard
/// output and return false at once (the program then exits with 0). With `ros_args` given,
/// "--ros-args" ends the reading and every word after it becomes ros_args. Any other word that
/// starts with '-' goes to on_option, and UsageError "unknown option <word>" (unknown_option set)
/// is thrown when that does not know it; every remaining word goes to on_operand.
/// Returns true when the program is to run.
bool parse_command_line(
  int argc, char ** argv, const char * usage, const OptionHandler & on_option,
  const std::function<void(const std::string & operand)> & on_operand,
  std::vector<std::string> * ros_args = nullptr);

/// Reports `error` on standard error as "<program>: <message>", followed by the usage text after
/// an unknown option; returns the exit status 2.
int report_usage_error(const char * program, const UsageError & error, const char * usage);

/// Runs a program's body and turns what escapes it into an exit status: 2 after a UsageError
/// (with a pointer to --help), 1 after any other exception, with "<program>: " before the message.
int run_program(const char * program, int argc, char ** argv, int (*body)(int, char **));

}  // namespace cli
}  // namespace sweepmend

#endif  // CLI__COMMAND_LINE_HPP_
