#include "synth/scene.hpp"

#include <algorithm>
#include <limits>
#include <utility>

namespace sweepmend
{
namespace synth
{

Scene::Scene(const Box & room, std::vector<Box> obstacles, uint8_t floor_reflectivity,
  uint8_t ceiling_reflectivity)
: room_(room), obstacles_(std::move(obstacles)), floor_reflectivity_(floor_reflectivity),
  ceiling_reflectivity_(ceiling_reflectivity)
{
}

Scene Scene::hall()
{
  const Box room{{-25.0, -15.0, 0.0}, {25.0, 15.0, 8.0}, 140};
  std::vector<Box> boxes;
  // Pillars, 0.6 m square, in two rows 10 m either side of the centre line.
  for (double x : {-20.0, -10.0, 0.0, 10.0, 20.0}) {
    for (double y : {-10.0, 10.0}) {
      boxes.push_back({{x - 0.3, y - 0.3, 0.0}, {x + 0.3, y + 0.3, 8.0}, 200});
    }
  }
  // Crates inside the lobes of the driving figure eight.
  boxes.push_back({{-13.0, -1.0, 0.0}, {-11.0, 1.0, 1.5}, 90});
  boxes.push_back({{11.0, -1.5, 0.0}, {13.0, 0.5, 2.2}, 90});
  // Beams under the ceiling.
  boxes.push_back({{-25.0, -5.2, 7.2}, {25.0, -4.8, 8.0}, 170});
  boxes.push_back({{-25.0, 4.8, 7.2}, {25.0, 5.2, 8.0}, 170});
  // A mezzanine in one corner and a low wall along the opposite side.
  boxes.push_back({{-25.0, -15.0, 0.0}, {-18.0, -12.0, 3.0}, 60});
  boxes.push_back({{5.0, 12.5, 0.0}, {22.0, 12.8, 1.1}, 110});
  return Scene(room, std::move(boxes), 40, 70);
}

Scene::Hit Scene::cast(const Eigen::Vector3d & o, const Eigen::Vector3d & d) const
{
  Hit hit;
  if (!is_free(o)) {
    return hit;
  }
  constexpr double kInf = std::numeric_limits<double>::infinity();
  // Leaving the room: the nearest of the three faces the ray heads for.
  double best = kInf;
  int best_axis = 0;
  for (int a = 0; a < 3; ++a) {
    if (d[a] == 0.0) {
      continue;
    }
    const double s = ((d[a] > 0.0 ? room_.max[a] : room_.min[a]) - o[a]) / d[a];
    if (s < best) {
      best = s;
      best_axis = a;
    }
  }
  uint8_t reflectivity = room_.reflectivity;
  if (best_axis == 2) {
    reflectivity = d[2] < 0.0 ? floor_reflectivity_ : ceiling_reflectivity_;
  }
  // Entering a box: slab test; the origin is outside every box, so the entry distance is positive.
  for (const Box & b : obstacles_) {
    double near = -kInf;
    double far = kInf;
    for (int a = 0; a < 3; ++a) {
      const double inv = 1.0 / d[a];
      double s0 = (b.min[a] - o[a]) * inv;
      double s1 = (b.max[a] - o[a]) * inv;
      if (s0 > s1) {
        std::swap(s0, s1);
      }
      // 0·inf gives NaN for a ray parallel to a slab it starts on; max/min skip NaN this way.
      near = s0 > near ? s0 : near;
      far = s1 < far ? s1 : far;
    }
    if (near <= far && near > 0.0 && near < best) {
      best = near;
      reflectivity = b.reflectivity;
    }
  }
  hit.range = best;
  hit.reflectivity = reflectivity;
  hit.hit = best < kInf;
  return hit;
}

bool Scene::is_free(const Eigen::Vector3d & p) const
{
  if ((p.array() <= room_.min.array()).any() || (p.array() >= room_.max.array()).any()) {
    return false;
  }
  return std::none_of(obstacles_.begin(), obstacles_.end(), [&p](const Box & b) {
      return (p.array() >= b.min.array()).all() && (p.array() <= b.max.array()).all();
    });
}

}  // namespace synth
}  // namespace sweepmend
