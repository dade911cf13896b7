#include "synth/trajectory.hpp"

#include <algorithm>
#include <cmath>

#include "synth/jet.hpp"

namespace sweepmend
{
namespace synth
{

namespace
{

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

// Quintic smooth step s over [start, start + length] and its integral, both as jets of t. The
// step has zero first and second derivatives at both ends, which keeps the trajectory C2 where
// the motion fades in.
struct Ramp
{
  Jet step;
  Jet integral;
};

Ramp ramp(double t, double start, double length)
{
  if (t <= start) {
    return {Jet(0.0), Jet(0.0)};
  }
  const double x = (t - start) / length;
  if (x >= 1.0) {
    return {Jet(1.0), Jet(0.5 * length + (t - start - length), 1.0, 0.0)};
  }
  const double x2 = x * x;
  const double x3 = x2 * x;
  const double s = x3 * (10.0 + x * (-15.0 + 6.0 * x));
  const double ds = 30.0 * x2 * (1.0 - x) * (1.0 - x) / length;
  const double dds = 60.0 * x * (1.0 - x) * (1.0 - 2.0 * x) / (length * length);
  const double integral = length * x2 * x2 * (2.5 + x * (-3.0 + x));
  return {Jet(s, ds, dds), Jet(integral, s, ds)};
}

Jet oscillations(const std::vector<Oscillation> & terms, double t)
{
  Jet sum;
  for (const Oscillation & o : terms) {
    const double w = 2.0 * kPi * o.frequency_hz;
    const double s = std::sin(w * t + o.phase);
    const double c = std::cos(w * t + o.phase);
    sum += Jet(o.amplitude * s, o.amplitude * w * c, -o.amplitude * w * w * s);
  }
  return sum;
}

double path_tangent_norm(const MotionParams & p, double theta)
{
  switch (p.path) {
    case MotionParams::Path::kEllipse:
      return std::hypot(p.path_a * std::sin(theta), p.path_b * std::cos(theta));
    case MotionParams::Path::kFigureEight:
      return std::hypot(p.path_a * std::cos(theta), p.path_b * std::cos(2.0 * theta));
    case MotionParams::Path::kNone:
      break;
  }
  return 0.0;
}

}  // namespace

const char * motion_name(Motion motion)
{
  switch (motion) {
    case Motion::kRest: return "rest";
    case Motion::kSpin: return "spin";
    case Motion::kWalk: return "walk";
    case Motion::kShake: return "shake";
    case Motion::kDrive: return "drive";
  }
  return "?";
}

bool parse_motion(const std::string & text, Motion & motion)
{
  for (Motion m : {Motion::kRest, Motion::kSpin, Motion::kWalk, Motion::kShake, Motion::kDrive}) {
    if (text == motion_name(m)) {
      motion = m;
      return true;
    }
  }
  return false;
}

MotionParams MotionParams::preset(Motion motion)
{
  MotionParams p;
  switch (motion) {
    case Motion::kRest:
      break;
    case Motion::kSpin:
      p.spin_rate = 0.5 * kPi;
      break;
    case Motion::kWalk:
      // Handheld, round an ellipse of 12 m by 8 m: a step every 0.55 s bobs and pitches the
      // sensor, the stride sways and rolls it, and the hand adds a faster tremor.
      p.origin = {6.0, 0.0, 1.2};
      p.yaw = 0.0;
      p.path = Path::kEllipse;
      p.path_a = 6.0;
      p.path_b = 4.0;
      p.path_speed = 1.4;
      p.heave = {{0.025, 1.8, 0.0}};
      p.surge = {{0.02, 1.8, 0.5}};
      p.sway = {{0.03, 0.9, 0.0}};
      p.roll = {{2.5 * kDeg, 0.9, 0.3}, {0.5 * kDeg, 4.3, 1.0}};
      p.pitch = {{2.0 * kDeg, 1.8, 0.7}, {1.0 * kDeg, 0.35, 0.2}, {0.5 * kDeg, 3.7, 2.0}};
      p.yaw_wobble = {{3.0 * kDeg, 0.9, 1.1}, {0.5 * kDeg, 5.1, 0.4}};
      break;
    case Motion::kShake:
      // Incommensurate frequencies so that the attitude never repeats within a recording.
      p.roll = {{12.0 * kDeg, 1.3, 0.0}, {3.0 * kDeg, 2.9, 1.2}};
      p.pitch = {{10.0 * kDeg, 1.7, 0.5}, {3.0 * kDeg, 2.3, 2.1}};
      p.yaw_wobble = {{12.0 * kDeg, 1.1, 0.9}, {4.0 * kDeg, 2.7, 0.3}};
      p.surge = {{0.04, 1.5, 0.2}};
      p.sway = {{0.04, 1.9, 1.7}};
      p.heave = {{0.03, 2.5, 0.8}};
      break;
    case Motion::kDrive:
      // Roof-mounted on a vehicle doing laps of a 36 m by 12 m figure eight: turns both ways,
      // body roll and pitch, and engine/road vibration around 11 to 13 Hz.
      p.origin = {0.0, 0.0, 1.8};
      p.yaw = 0.0;
      p.path = Path::kFigureEight;
      p.path_a = 18.0;
      p.path_b = 12.0;
      p.path_speed = 5.0;
      p.heave = {{0.01, 1.6, 0.0}, {0.002, 11.0, 0.3}};
      p.roll = {{0.8 * kDeg, 1.2, 0.4}, {0.15 * kDeg, 11.3, 1.0}};
      p.pitch = {{0.6 * kDeg, 1.6, 0.9}, {0.15 * kDeg, 12.7, 0.2}};
      p.yaw_wobble = {{0.3 * kDeg, 0.7, 0.0}};
      break;
  }
  return p;
}

Trajectory::Trajectory(const MotionParams & params)
: params_(params)
{
  params_.ramp_duration = std::max(params_.ramp_duration, 1e-6);
  if (params_.path != MotionParams::Path::kNone && params_.path_speed != 0.0) {
    // θ advances uniformly; its rate is chosen so that the mean speed over a lap is path_speed.
    constexpr int kSamples = 3600;
    double sum = 0.0;
    for (int i = 0; i < kSamples; ++i) {
      sum += path_tangent_norm(params_, 2.0 * kPi * (i + 0.5) / kSamples);
    }
    path_rate_ = params_.path_speed / (sum / kSamples);
  }
}

Kinematics Trajectory::at(double t) const
{
  const MotionParams & p = params_;
  const Ramp r = ramp(t, p.rest_duration, p.ramp_duration);
  const Jet theta = path_rate_ * r.integral;

  Jet px;
  Jet py;
  Jet heading;
  switch (p.path) {
    case MotionParams::Path::kEllipse:
      px = p.path_a * (cos(theta) - Jet(1.0));
      py = p.path_b * sin(theta);
      heading = atan2(p.path_b * cos(theta), -p.path_a * sin(theta));
      break;
    case MotionParams::Path::kFigureEight:
      px = p.path_a * sin(theta);
      py = 0.5 * p.path_b * sin(2.0 * theta);
      heading = atan2(p.path_b * cos(2.0 * theta), p.path_a * cos(theta));
      break;
    case MotionParams::Path::kNone:
      break;
  }
  const Jet base_yaw = Jet(p.yaw) + heading + p.spin_rate * r.integral;

  const Jet surge = r.step * oscillations(p.surge, t);
  const Jet sway = r.step * oscillations(p.sway, t);
  const Jet heave = r.step * oscillations(p.heave, t);
  const Jet roll = r.step * oscillations(p.roll, t);
  const Jet pitch = r.step * oscillations(p.pitch, t);
  const Jet yaw = base_yaw + r.step * oscillations(p.yaw_wobble, t);

  const double cy0 = std::cos(p.yaw);
  const double sy0 = std::sin(p.yaw);
  const Jet ch = cos(base_yaw);
  const Jet sh = sin(base_yaw);
  const Jet x = Jet(p.origin.x()) + cy0 * px - sy0 * py + ch * surge - sh * sway;
  const Jet y = Jet(p.origin.y()) + sy0 * px + cy0 * py + sh * surge + ch * sway;
  const Jet z = Jet(p.origin.z()) + heave;

  Kinematics k;
  k.position = {x.v, y.v, z.v};
  k.velocity = {x.d, y.d, z.d};
  k.acceleration = {x.dd, y.dd, z.dd};
  k.rotation = (Eigen::AngleAxisd(yaw.v, Eigen::Vector3d::UnitZ()) *
    Eigen::AngleAxisd(pitch.v, Eigen::Vector3d::UnitY()) *
    Eigen::AngleAxisd(roll.v, Eigen::Vector3d::UnitX())).toRotationMatrix();

  // Body rates of R = Rz(yaw)·Ry(pitch)·Rx(roll): ω = Rxᵀ·Ryᵀ·(0, 0, ψ') + Rxᵀ·(0, θ', 0) +
  // (φ', 0, 0). Each rate is carried as a jet (rate, rate') so that the products below also
  // yield the angular acceleration; their second derivatives are not needed.
  const Jet roll_rate(roll.d, roll.dd);
  const Jet pitch_rate(pitch.d, pitch.dd);
  const Jet yaw_rate(yaw.d, yaw.dd);
  const Jet sr = sin(roll);
  const Jet cr = cos(roll);
  const Jet sp = sin(pitch);
  const Jet cp = cos(pitch);
  const Jet wx = roll_rate - yaw_rate * sp;
  const Jet wy = pitch_rate * cr + yaw_rate * sr * cp;
  const Jet wz = -(pitch_rate * sr) + yaw_rate * cr * cp;
  k.angular_velocity = {wx.v, wy.v, wz.v};
  k.angular_acceleration = {wx.d, wy.d, wz.d};
  return k;
}

Eigen::Isometry3d Trajectory::pose(double t) const
{
  const Kinematics k = at(t);
  Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
  pose.linear() = k.rotation;
  pose.translation() = k.position;
  return pose;
}

}  // namespace synth
}  // namespace sweepmend
