#ifndef SWEEPMEND__CLOUD_POOL_HPP_
#define SWEEPMEND__CLOUD_POOL_HPP_

#include <cstddef>
#include <memory>
#include <vector>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

namespace sweepmend
{

/// Clouds for queued scans, handed out again once nobody else holds them: a scan's points then
/// go into storage that earlier scans already grew, with no allocation and no fresh pages.
///
/// Not thread-safe: take() from one thread. Others may hold and release the clouds it handed out
/// at any time; a cloud is only reused when the pool holds the one reference left.
class CloudPool
{
public:
  using Cloud = pcl::PointCloud<pcl::PointXYZINormal>;

  /// @param kept most clouds the pool keeps for reuse; beyond it clouds are simply allocated
  explicit CloudPool(std::size_t kept);

  /// An empty cloud in the state of a newly constructed one (no points, sizes 0, dense, PCL's
  /// default header and sensor pose) whose storage may still be there from an earlier scan.
  std::shared_ptr<Cloud> take();

private:
  std::vector<std::shared_ptr<Cloud>> clouds_;
  std::size_t kept_;
};

}  // namespace sweepmend

#endif  // SWEEPMEND__CLOUD_POOL_HPP_
