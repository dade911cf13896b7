// Command lines of `sweepmend_bag play` and `sweepmend_bag record`.
#ifndef LIVE__CLI_HPP_
#define LIVE__CLI_HPP_

namespace sweepmend
{
namespace live
{

/// `sweepmend_bag play BAG [options]`; argv[0] is "play". Returns the exit status.
int play_main(int argc, char ** argv);

/// `sweepmend_bag record OUT [topics... | --all] [options]`; argv[0] is "record".
int record_main(int argc, char ** argv);

}  // namespace live
}  // namespace sweepmend

#endif  // LIVE__CLI_HPP_
