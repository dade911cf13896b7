#include <gtest/gtest.h>

#include "sweepmend/cloud_pool.hpp"

namespace
{

using sweepmend::CloudPool;

TEST(CloudPool, ACloudComesBackEmptyWithItsStorageOnlyOnceReleased)
{
  CloudPool pool(2);
  auto first = pool.take();
  first->resize(1000);
  first->header.frame_id = "old";
  first->header.stamp = 7;
  first->is_dense = false;
  first->sensor_origin_.setOnes();
  first->sensor_orientation_ = Eigen::Quaternionf(0.0f, 1.0f, 0.0f, 0.0f);
  const auto * storage = first->points.data();
  auto held = first;  // a queued scan still holds it

  first.reset();
  auto second = pool.take();
  EXPECT_NE(second, held);

  held.reset();
  auto again = pool.take();
  ASSERT_NE(again, second);
  EXPECT_EQ(storage, again->points.data());
  EXPECT_GE(again->points.capacity(), 1000u);
  const CloudPool::Cloud fresh;
  EXPECT_TRUE(again->empty());
  EXPECT_EQ(fresh.width, again->width);
  EXPECT_EQ(fresh.height, again->height);
  EXPECT_EQ(fresh.is_dense, again->is_dense);
  EXPECT_EQ(fresh.header.frame_id, again->header.frame_id);
  EXPECT_EQ(fresh.header.stamp, again->header.stamp);
  EXPECT_EQ(fresh.sensor_origin_, again->sensor_origin_);
  EXPECT_EQ(fresh.sensor_orientation_.coeffs(), again->sensor_orientation_.coeffs());
}

TEST(CloudPool, BeyondWhatItKeepsCloudsAreNewEveryTime)
{
  CloudPool pool(1);
  auto kept = pool.take();
  std::weak_ptr<CloudPool::Cloud> extra = pool.take();
  EXPECT_TRUE(extra.expired()) << "a cloud beyond the pool's size was kept";
  auto another = pool.take();
  EXPECT_NE(another, kept);
  kept.reset();
  EXPECT_NE(pool.take(), another);
}

}  // namespace
