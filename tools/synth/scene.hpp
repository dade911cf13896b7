// The synthetic world: a closed hall of axis-aligned planes and boxes, and ray casting into it.
#ifndef SYNTH__SCENE_HPP_
#define SYNTH__SCENE_HPP_

#include <cstdint>
#include <vector>

#include <Eigen/Core>

namespace sweepmend
{
namespace synth
{

/// An axis-aligned box in the world frame (m), with the reflectivity (0 to 255) of its faces.
struct Box
{
  Eigen::Vector3d min{Eigen::Vector3d::Zero()};
  Eigen::Vector3d max{Eigen::Vector3d::Zero()};
  uint8_t reflectivity{100};
};

/// A room seen from inside (floor, ceiling and four walls) holding solid boxes (pillars, crates,
/// beams, a mezzanine). Because the room is closed, every ray cast from inside hits a surface.
class Scene
{
public:
  /// What a ray hit.
  struct Hit
  {
    double range{0.0};          ///< m along the (unit) direction
    uint8_t reflectivity{0};
    bool hit{false};            ///< false only for an origin outside the room or inside a box
  };

  Scene(const Box & room, std::vector<Box> obstacles, uint8_t floor_reflectivity,
    uint8_t ceiling_reflectivity);

  /// The default world: a hall of 50 m × 30 m × 8 m centred on the origin (floor at z = 0) with
  /// ten pillars, two crates, two ceiling beams, a mezzanine and a low wall, laid out so that
  /// every preset trajectory keeps clear of them.
  static Scene hall();

  /// First surface along origin + s·direction for s > 0; direction must be unit length.
  Hit cast(const Eigen::Vector3d & origin, const Eigen::Vector3d & direction) const;

  /// True when p lies inside the room and outside every box.
  bool is_free(const Eigen::Vector3d & p) const;

  const Box & room() const {return room_;}
  const std::vector<Box> & obstacles() const {return obstacles_;}

private:
  Box room_;
  std::vector<Box> obstacles_;
  uint8_t floor_reflectivity_;
  uint8_t ceiling_reflectivity_;
};

}  // namespace synth
}  // namespace sweepmend

#endif  // SYNTH__SCENE_HPP_
