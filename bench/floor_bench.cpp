// The floor every other figure is compared with: the least any per-point stage can do, reading
// each point once, rotating and translating it in double and writing it out.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include <Eigen/Dense>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

namespace
{

void BM_FloorKernel(benchmark::State & state)
{
  const auto n = static_cast<std::size_t>(state.range(0));
  pcl::PointCloud<pcl::PointXYZINormal> in;
  in.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    in[i].x = static_cast<float>(i % 97) * 0.1f;
    in[i].y = static_cast<float>(i % 89) * -0.1f;
    in[i].z = static_cast<float>(i % 13) * 0.05f;
    in[i].curvature = static_cast<float>(i) * 0.005f;
  }
  pcl::PointCloud<pcl::PointXYZINormal> out = in;
  const Eigen::Matrix3d r = Eigen::AngleAxisd(0.3, Eigen::Vector3d(0.2, 0.3, 0.9).normalized())
    .toRotationMatrix();
  const Eigen::Vector3d t(-0.011, -0.02329, 0.04412);
  for (auto _ : state) {
    for (std::size_t i = 0; i < n; ++i) {
      const auto & p = in[i];
      const Eigen::Vector3d q = r * Eigen::Vector3d(p.x, p.y, p.z) + t;
      auto & o = out[i];
      o.x = static_cast<float>(q.x());
      o.y = static_cast<float>(q.y());
      o.z = static_cast<float>(q.z());
    }
    benchmark::DoNotOptimize(out.points.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_FloorKernel)->Arg(20000)->Arg(38400)->Unit(benchmark::kMicrosecond);

}  // namespace
