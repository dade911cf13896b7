// The executor that runs every callback on the thread calling spin().
#ifndef RCLCPP__EXECUTORS__SINGLE_THREADED_EXECUTOR_HPP_
#define RCLCPP__EXECUTORS__SINGLE_THREADED_EXECUTOR_HPP_

#include "rclcpp/executor.hpp"
#include "rclcpp/macros.hpp"

namespace rclcpp
{
namespace executors
{

class SingleThreadedExecutor : public rclcpp::Executor
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(SingleThreadedExecutor)

  explicit SingleThreadedExecutor(
    const rclcpp::ExecutorOptions & options = rclcpp::ExecutorOptions());
  ~SingleThreadedExecutor() override;

  /// Blocks running callbacks until the context is shut down or cancel() is called; throws
  /// std::runtime_error("spin() called while already spinning") when re-entered.
  void spin() override;
};

}  // namespace executors
}  // namespace rclcpp

#endif  // RCLCPP__EXECUTORS__SINGLE_THREADED_EXECUTOR_HPP_
