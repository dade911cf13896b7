#include "sweepmend/cloud_pool.hpp"

namespace sweepmend
{

CloudPool::CloudPool(std::size_t kept)
: kept_(kept)
{
  clouds_.reserve(kept);
}

std::shared_ptr<CloudPool::Cloud> CloudPool::take()
{
  for (const auto & cloud : clouds_) {
    // Only the pool holds it, and only this thread could hand out another reference.
    if (cloud.use_count() == 1) {
      Cloud fresh;
      // The fresh cloud's state with the old storage: swap, then drop the points.
      cloud->swap(fresh);
      cloud->points.swap(fresh.points);
      cloud->points.clear();
      return cloud;
    }
  }
  auto cloud = std::make_shared<Cloud>();
  if (clouds_.size() < kept_) {
    clouds_.push_back(cloud);
  }
  return cloud;
}

}  // namespace sweepmend
