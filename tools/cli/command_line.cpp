#include "cli/command_line.hpp"

#include <cstdio>
#include <exception>
#include <iostream>

namespace sweepmend
{
namespace cli
{

const char * OptionValues::peek() const
{
  return index_ + 1 < argc_ ? argv_[index_ + 1] : nullptr;
}

const char * OptionValues::take()
{
  return argv_[++index_];
}

std::string OptionValues::value()
{
  if (peek() == nullptr) {
    throw UsageError{option_ + " needs a value"};
  }
  return take();
}

bool parse_command_line(int argc, char ** argv, const CommandLine & line)
{
  for (int i = 1; i < argc; ++i) {
    // A copy: the handler moves i on while it may still read the option's name.
    const std::string word = argv[i];
    if (word == "-h" || word == "--help") {
      std::fputs(line.usage, stdout);
      return false;
    } else if (line.ros_args != nullptr && word == "--ros-args") {
      line.ros_args->assign(argv + i + 1, argv + argc);
      break;
    } else if (!word.empty() && word[0] == '-') {
      const auto handler = line.options.find(word);
      if (handler == line.options.end()) {
        throw UsageError{"unknown option " + word, true};
      }
      OptionValues values(argc, argv, i, word);
      handler->second(values);
    } else {
      line.on_operand(word);
    }
  }
  return true;
}

int read_command_line(int argc, char ** argv, const CommandLine & line)
{
  try {
    return parse_command_line(argc, argv, line) ? -1 : 0;
  } catch (const UsageError & e) {
    std::fprintf(stderr, "%s: %s\n", line.program, e.message.c_str());
    if (e.unknown_option) {
      std::fprintf(stderr, "\n%s", line.usage);
    }
    return 2;
  }
}

int run_program(const char * program, int argc, char ** argv, int (*body)(int, char **))
{
  try {
    return body(argc, argv);
  } catch (const UsageError & e) {
    std::cerr << program << ": " << e.message << "\n(see " << program << " --help)\n";
    return 2;
  } catch (const std::exception & e) {
    std::cerr << program << ": " << e.what() << "\n";
    return 1;
  }
}

}  // namespace cli
}  // namespace sweepmend
