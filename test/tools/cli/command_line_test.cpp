// The command-line reader of the programs: what goes where, in which order, what stops it and
// what it reports; and the progress bar they draw.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "cli/command_line.hpp"
#include "cli/progress_bar.hpp"

namespace
{

using sweepmend::cli::CommandLine;
using sweepmend::cli::OptionValues;
using sweepmend::cli::UsageError;

const char kUsage[] = "usage: prog [--rate R] [--flag] IN...\n";

// A program with an option that takes a value under two names, a flag and operands; it notes
// everything it is handed, in order.
class CommandLineTest : public ::testing::Test
{
protected:
  CommandLine line(std::vector<std::string> * ros_args = nullptr)
  {
    const auto rate = [this](OptionValues & values) {
        seen_.push_back(values.option() + "=" + values.value());
      };
    return {"prog", kUsage, {
        {"--rate", rate},
        {"-r", rate},
        {"--flag", [this](OptionValues & values) {seen_.push_back(values.option());}},
      }, [this](const std::string & operand) {seen_.push_back("operand " + operand);}, ros_args};
  }

  bool parse(const std::vector<std::string> & words, std::vector<std::string> * ros_args = nullptr)
  {
    set_words(words);
    return sweepmend::cli::parse_command_line(
      static_cast<int>(argv_.size()), argv_.data(), line(ros_args));
  }

  int read(const std::vector<std::string> & words)
  {
    set_words(words);
    return sweepmend::cli::read_command_line(
      static_cast<int>(argv_.size()), argv_.data(), line());
  }

  // argv as main() gets it: the program's name, then `words`.
  void set_words(const std::vector<std::string> & words)
  {
    words_ = words;
    words_.insert(words_.begin(), "prog");
    argv_.clear();
    for (auto & w : words_) {
      argv_.push_back(w.data());
    }
  }

  UsageError error_of(const std::vector<std::string> & words)
  {
    try {
      parse(words);
    } catch (const UsageError & e) {
      return e;
    }
    ADD_FAILURE() << "no UsageError";
    return {};
  }

  std::vector<std::string> seen_;
  std::vector<std::string> words_;
  std::vector<char *> argv_;
};

TEST_F(CommandLineTest, HandsOptionsTheirValuesAndOperandsInTheirOrder)
{
  EXPECT_TRUE(parse({"in", "--rate", "2", "-r", "-3", "", "--flag", "out"}));
  EXPECT_EQ(
    seen_, (std::vector<std::string>{"operand in", "--rate=2", "-r=-3", "operand ", "--flag",
      "operand out"}));
}

TEST_F(CommandLineTest, HelpPrintsTheUsageAndStopsBeforeLaterMistakes)
{
  for (const std::string help : {"-h", "--help"}) {
    seen_.clear();
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(parse({"in", help, "--nope", "--rate"}));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kUsage);
    EXPECT_EQ(seen_, (std::vector<std::string>{"operand in"}));
  }
}

TEST_F(CommandLineTest, UnknownOptionsAndMissingValuesAreUsageErrors)
{
  auto e = error_of({"in", "--nope", "out"});
  EXPECT_EQ(e.message, "unknown option --nope");
  EXPECT_TRUE(e.unknown_option);
  EXPECT_EQ(seen_, (std::vector<std::string>{"operand in"}));  // stopped at the mistake

  e = error_of({"-"});
  EXPECT_EQ(e.message, "unknown option -");
  EXPECT_TRUE(e.unknown_option);

  // The missing value is reported under the name it was given by.
  e = error_of({"--flag", "-r"});
  EXPECT_EQ(e.message, "-r needs a value");
  EXPECT_FALSE(e.unknown_option);
}

TEST_F(CommandLineTest, RosArgumentsTakeTheRestOnlyForProgramsThatHaveThem)
{
  std::vector<std::string> ros_args = {"stale"};
  EXPECT_TRUE(parse({"in", "--ros-args", "-p", "a:=1", "--help", "--nope", "out"}, &ros_args));
  EXPECT_EQ(ros_args, (std::vector<std::string>{"-p", "a:=1", "--help", "--nope", "out"}));
  EXPECT_EQ(seen_, (std::vector<std::string>{"operand in"}));

  EXPECT_TRUE(parse({"--ros-args"}, &ros_args));
  EXPECT_TRUE(ros_args.empty());

  const auto e = error_of({"--ros-args", "-p", "a:=1"});
  EXPECT_EQ(e.message, "unknown option --ros-args");
}

TEST_F(CommandLineTest, ReadReportsOnStandardErrorAndGivesTheExitStatus)
{
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(read({"in", "--nope"}), 2);
  EXPECT_EQ(
    ::testing::internal::GetCapturedStderr(),
    std::string("prog: unknown option --nope\n\n") + kUsage);

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(read({"--rate"}), 2);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "prog: --rate needs a value\n");

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(read({"--help"}), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), kUsage);

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(read({"in", "--flag"}), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(RunProgram, TurnsWhatEscapesTheBodyIntoTheExitStatus)
{
  char name[] = "prog";
  char * argv[] = {name, nullptr};
  EXPECT_EQ(
    sweepmend::cli::run_program("prog", 1, argv, [](int argc, char **) {return argc + 6;}), 7);

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(
    sweepmend::cli::run_program(
      "prog", 1, argv, [](int, char **) -> int {throw UsageError{"no input given"};}), 2);
  EXPECT_EQ(
    ::testing::internal::GetCapturedStderr(), "prog: no input given\n(see prog --help)\n");

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(
    sweepmend::cli::run_program(
      "prog", 1, argv, [](int, char **) -> int {throw std::runtime_error("disk full");}), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "prog: disk full\n");
}

TEST(ProgressBar, FillsItsThirtyCharactersByTheShareDoneRoundedAndClamped)
{
  using sweepmend::cli::progress_bar;
  EXPECT_EQ(progress_bar(0.0, 10.0), std::string(30, '.'));
  EXPECT_EQ(progress_bar(5.0, 10.0), std::string(15, '#') + std::string(15, '.'));
  EXPECT_EQ(progress_bar(1.0, 60.0), "#" + std::string(29, '.'));   // half a character rounds up
  EXPECT_EQ(progress_bar(0.9, 60.0), std::string(30, '.'));         // less rounds down
  EXPECT_EQ(progress_bar(10.0, 10.0), std::string(30, '#'));
  EXPECT_EQ(progress_bar(25.0, 10.0), std::string(30, '#'));
  EXPECT_EQ(progress_bar(-3.0, 10.0), std::string(30, '.'));
  // Nothing to play: done at once.
  EXPECT_EQ(progress_bar(0.0, 0.0), std::string(30, '#'));
}

}  // namespace
