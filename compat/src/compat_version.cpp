// Marks the library as ours in a debugger or `nm` listing; the rest of compat/src implements the
// rclcpp subset.
namespace rclcpp
{
namespace detail
{
const char * compat_implementation_name() {return "sweepmend compat (ROS 2 Humble API subset)";}
}  // namespace detail
}  // namespace rclcpp
