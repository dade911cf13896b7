// Reading the command lines of the sweepmend programs: help, options with their values, operands
// and, for the programs that start a node, the ROS arguments.
#ifndef CLI__COMMAND_LINE_HPP_
#define CLI__COMMAND_LINE_HPP_

#include <functional>
#include <map>
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

/// An option as given and the words after it, for its handler to take its values from.
class OptionValues
{
public:
  OptionValues(int argc, char ** argv, int & index, const std::string & option)
  : argc_(argc), argv_(argv), index_(index), option_(option) {}

  /// The option itself, as given (an alias as such).
  const std::string & option() const {return option_;}
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

/// The options of a program by name, an alias as an entry of its own, each with the handler that
/// takes its values; a handler may throw UsageError.
using Options = std::map<std::string, std::function<void(OptionValues & values)>>;

/// What a program accepts on its command line and where the words go.
struct CommandLine
{
  const char * program;  ///< its name in messages, e.g. "sweepmend_bag play"
  const char * usage;    ///< printed for -h and --help
  Options options;
  std::function<void(const std::string & operand)> on_operand;  ///< each word that is no option
  /// When given, "--ros-args" ends the reading and every word after it lands here.
  std::vector<std::string> * ros_args{nullptr};
};

/// Reads argv[1] to argv[argc - 1] from left to right. "-h" and "--help" print the usage on
/// standard output and return false at once (the program then exits with 0). A word that starts
/// with '-' goes to its option's handler, and UsageError "unknown option <word>" (unknown_option
/// set) is thrown for one the program does not have; every other word is an operand.
/// Returns true when the program is to run.
bool parse_command_line(int argc, char ** argv, const CommandLine & line);

/// parse_command_line() for a program that reports a mistake at once: "<program>: <message>" on
/// standard error, followed by the usage after an unknown option. Returns -1 when the program is
/// to run, else its exit status (0 after the help, 2 after a mistake).
int read_command_line(int argc, char ** argv, const CommandLine & line);

/// Runs a program's body and turns what escapes it into an exit status: 2 after a UsageError
/// (with a pointer to --help), 1 after any other exception, with "<program>: " before the message.
int run_program(const char * program, int argc, char ** argv, int (*body)(int, char **));

}  // namespace cli
}  // namespace sweepmend

#endif  // CLI__COMMAND_LINE_HPP_
