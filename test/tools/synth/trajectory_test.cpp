// Trajectories and the IMU derived from them: the IMU must integrate back to the motion, the
// motion must be smooth and start at rest, and the presets must be as brisk as promised.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <Eigen/Geometry>

#include "synth/generator.hpp"
#include "synth/imu_model.hpp"
#include "synth/trajectory.hpp"

namespace
{

using sweepmend::synth::Generator;
using sweepmend::synth::ImuUnits;
using sweepmend::synth::Kinematics;
using sweepmend::synth::Lidar;
using sweepmend::synth::Motion;
using sweepmend::synth::MotionParams;
using sweepmend::synth::SynthConfig;
using sweepmend::synth::Trajectory;

constexpr double kPi = 3.14159265358979323846;
// The Mid-360's IMU in its point frame, from the data sheet: (11.0, 23.29, −44.12) mm.
const Eigen::Vector3d kMid360Imu(0.011, 0.02329, -0.04412);

struct ImuState
{
  Eigen::Quaterniond q;  // IMU → world
  Eigen::Vector3d v;
  Eigen::Vector3d p;
};

struct Derivative
{
  Eigen::Vector4d dq;  // (w, x, y, z)
  Eigen::Vector3d dv;
  Eigen::Vector3d dp;
};

struct Sample
{
  Eigen::Vector3d gyro;   // rad/s
  Eigen::Vector3d force;  // m/s²
};

Sample read(const sensor_msgs::msg::Imu & m, double unit)
{
  return {{m.angular_velocity.x, m.angular_velocity.y, m.angular_velocity.z},
    unit * Eigen::Vector3d(m.linear_acceleration.x, m.linear_acceleration.y,
      m.linear_acceleration.z)};
}

Derivative rates(const ImuState & s, const Sample & in)
{
  const Eigen::Quaterniond w(0.0, in.gyro.x(), in.gyro.y(), in.gyro.z());
  const Eigen::Quaterniond dq = s.q * w;
  Derivative d;
  d.dq = 0.5 * Eigen::Vector4d(dq.w(), dq.x(), dq.y(), dq.z());
  d.dv = s.q.toRotationMatrix() * in.force + Eigen::Vector3d(0.0, 0.0, -9.81);
  d.dp = s.v;
  return d;
}

ImuState advance(const ImuState & s, const Derivative & d, double h)
{
  Eigen::Vector4d q(s.q.w(), s.q.x(), s.q.y(), s.q.z());
  q += h * d.dq;
  return {Eigen::Quaterniond(q[0], q[1], q[2], q[3]), s.v + h * d.dv, s.p + h * d.dp};
}

// Where the IMU is, and how it is turned and moving, for the LiDAR frame's kinematics k.
ImuState imu_truth(const Kinematics & k, const Eigen::Vector3d & lever)
{
  return {Eigen::Quaterniond(k.rotation), k.velocity + k.rotation * k.angular_velocity.cross(lever),
    k.position + k.rotation * lever};
}

struct IntegrationCase
{
  Lidar lidar;
  Motion motion;
};

class ImuIntegrationTest : public testing::TestWithParam<IntegrationCase> {};

// Fourth-order Runge–Kutta over 10 ms steps takes the start, middle and end of each step from
// three consecutive 200 Hz samples, exactly as recorded (units and all). Starting from the true
// state of the IMU, it must land on the trajectory's IMU pose seconds later.
TEST_P(ImuIntegrationTest, RecordedSamplesIntegrateBackToTheTrajectory)
{
  const IntegrationCase c = GetParam();
  const SynthConfig config = SynthConfig::defaults(c.lidar, c.motion);
  const Generator gen(config);
  const Eigen::Vector3d lever = c.lidar == Lidar::kMid360 ? kMid360Imu : Eigen::Vector3d::Zero();
  const double unit = config.imu_units == ImuUnits::kG ? 9.80665 : 1.0;

  const std::size_t steps = 600;  // 6 s, through the ramp into full motion
  ASSERT_GT(gen.imu_count(), 2 * steps);
  const double h = 0.010;
  ImuState s = imu_truth(gen.trajectory().at(gen.trajectory_time(gen.imu_stamp_ns(0))), lever);
  for (std::size_t i = 0; i < steps; ++i) {
    const Sample a = read(gen.imu_message(2 * i), unit);
    const Sample m = read(gen.imu_message(2 * i + 1), unit);
    const Sample b = read(gen.imu_message(2 * i + 2), unit);
    const Derivative k1 = rates(s, a);
    const Derivative k2 = rates(advance(s, k1, h / 2), m);
    const Derivative k3 = rates(advance(s, k2, h / 2), m);
    const Derivative k4 = rates(advance(s, k3, h), b);
    Derivative sum;
    sum.dq = (k1.dq + 2 * k2.dq + 2 * k3.dq + k4.dq) / 6.0;
    sum.dv = (k1.dv + 2 * k2.dv + 2 * k3.dv + k4.dv) / 6.0;
    sum.dp = (k1.dp + 2 * k2.dp + 2 * k3.dp + k4.dp) / 6.0;
    s = advance(s, sum, h);
    s.q.normalize();
  }
  const ImuState expected = imu_truth(
    gen.trajectory().at(gen.trajectory_time(gen.imu_stamp_ns(2 * steps))), lever);
  EXPECT_LT(s.q.angularDistance(expected.q), 5e-6);
  EXPECT_LT((s.v - expected.v).norm(), 5e-5);
  EXPECT_LT((s.p - expected.p).norm(), 2e-4);
  // The test must have had something to integrate.
  const Kinematics start = gen.trajectory().at(0.0);
  const Kinematics end = gen.trajectory().at(6.0);
  if (c.motion == Motion::kShake || c.motion == Motion::kSpin) {
    EXPECT_GT(Eigen::Quaterniond(start.rotation).angularDistance(Eigen::Quaterniond(end.rotation)),
      0.05);
  } else {
    EXPECT_GT((end.position - start.position).norm(), 2.0);
  }
}

INSTANTIATE_TEST_SUITE_P(
  Motions, ImuIntegrationTest,
  testing::Values(IntegrationCase{Lidar::kMid360, Motion::kWalk},
  IntegrationCase{Lidar::kMid360, Motion::kShake},
  IntegrationCase{Lidar::kMid360, Motion::kDrive},
  IntegrationCase{Lidar::kMid360, Motion::kSpin},
  IntegrationCase{Lidar::kVanjee722, Motion::kShake}),
  [](const testing::TestParamInfo<IntegrationCase> & info) {
    return std::string(sweepmend::synth::lidar_name(info.param.lidar)) + "_" +
    sweepmend::synth::motion_name(info.param.motion);
  });

class TrajectoryTest : public testing::TestWithParam<Motion> {};

// The analytic derivatives agree with finite differences of the pose, before, across and
// after the ramp.
TEST_P(TrajectoryTest, DerivativesMatchFiniteDifferences)
{
  const Trajectory traj(MotionParams::preset(GetParam()));
  for (double t : {0.5, 1.0, 1.3, 1.77, 2.0, 2.4, 5.123, 17.9}) {
    const double h = 1e-4;
    const Kinematics k = traj.at(t);
    const Kinematics before = traj.at(t - h);
    const Kinematics after = traj.at(t + h);
    const Eigen::Vector3d v_fd = (after.position - before.position) / (2 * h);
    EXPECT_LT((k.velocity - v_fd).norm(), 1e-5) << "t = " << t;
    const double h2 = 3e-4;
    const Eigen::Vector3d a_fd = (traj.at(t + h2).position - 2.0 * k.position +
      traj.at(t - h2).position) / (h2 * h2);
    EXPECT_LT((k.acceleration - a_fd).norm(), 2e-3) << "t = " << t;
    // Body rate from the relative rotation over the interval.
    const Eigen::AngleAxisd turn(before.rotation.transpose() * after.rotation);
    const Eigen::Vector3d w_fd = turn.angle() * turn.axis() / (2 * h);
    EXPECT_LT((k.angular_velocity - w_fd).norm(), 1e-5) << "t = " << t;
    const Eigen::Vector3d dw_fd = (after.angular_velocity - before.angular_velocity) / (2 * h);
    EXPECT_LT((k.angular_acceleration - dw_fd).norm(), 1e-3) << "t = " << t;
  }
}

// C2: acceleration and angular rate do not jump where the motion fades in and where it reaches
// full strength.
TEST_P(TrajectoryTest, AccelerationAndRateAreContinuousAtTheRampEnds)
{
  const MotionParams p = MotionParams::preset(GetParam());
  const Trajectory traj(p);
  for (double t : {p.rest_duration, p.rest_duration + p.ramp_duration}) {
    const Kinematics a = traj.at(t - 1e-8);
    const Kinematics b = traj.at(t + 1e-8);
    EXPECT_LT((a.acceleration - b.acceleration).norm(), 1e-4) << "t = " << t;
    EXPECT_LT((a.angular_velocity - b.angular_velocity).norm(), 1e-6) << "t = " << t;
    EXPECT_LT((a.angular_acceleration - b.angular_acceleration).norm(), 1e-3) << "t = " << t;
  }
}

// The node takes gravity from the first scan, so every profile starts still and level for
// longer than half a second.
TEST_P(TrajectoryTest, StartsAtRestAndLevel)
{
  const Trajectory traj(MotionParams::preset(GetParam()));
  const Kinematics start = traj.at(0.0);
  for (double t = 0.0; t <= 0.99; t += 0.01) {
    const Kinematics k = traj.at(t);
    EXPECT_EQ(k.velocity.norm(), 0.0) << "t = " << t;
    EXPECT_EQ(k.acceleration.norm(), 0.0) << "t = " << t;
    EXPECT_EQ(k.angular_velocity.norm(), 0.0) << "t = " << t;
    EXPECT_EQ(k.position, start.position) << "t = " << t;
    EXPECT_NEAR((k.rotation * Eigen::Vector3d::UnitZ() - Eigen::Vector3d::UnitZ()).norm(), 0.0,
      1e-15) << "t = " << t;
  }
}

// Nothing runs into the hall's walls, pillars or crates, with a margin, over two minutes.
TEST_P(TrajectoryTest, KeepsClearOfTheScene)
{
  const Trajectory traj(MotionParams::preset(GetParam()));
  const sweepmend::synth::Scene scene = sweepmend::synth::Scene::hall();
  for (double t = 0.0; t < 120.0; t += 0.05) {
    const Eigen::Vector3d p = traj.at(t).position;
    for (double dx : {-0.8, 0.0, 0.8}) {
      for (double dy : {-0.8, 0.0, 0.8}) {
        ASSERT_TRUE(scene.is_free(p + Eigen::Vector3d(dx, dy, 0.0))) << "t = " << t;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
  Presets, TrajectoryTest,
  testing::Values(Motion::kRest, Motion::kSpin, Motion::kWalk, Motion::kShake, Motion::kDrive),
  [](const testing::TestParamInfo<Motion> & info) {
    return std::string(sweepmend::synth::motion_name(info.param));
  });

double mean_horizontal_speed(const Trajectory & traj, double from, double to)
{
  double distance = 0.0;
  Eigen::Vector3d last = traj.at(from).position;
  for (double t = from + 0.01; t <= to; t += 0.01) {
    const Eigen::Vector3d p = traj.at(t).position;
    distance += (p - last).head<2>().norm();
    last = p;
  }
  return distance / (to - from);
}

TEST(MotionPresets, AreAsBriskAsAdvertised)
{
  const Trajectory spin(MotionParams::preset(Motion::kSpin));
  EXPECT_NEAR(spin.at(5.0).angular_velocity.z(), kPi / 2.0, 1e-9);

  const Trajectory walk(MotionParams::preset(Motion::kWalk));
  EXPECT_NEAR(mean_horizontal_speed(walk, 2.0, 60.0), 1.4, 0.1);

  const Trajectory drive(MotionParams::preset(Motion::kDrive));
  EXPECT_NEAR(mean_horizontal_speed(drive, 2.0, 60.0), 5.0, 0.3);
  // Turns both ways.
  double min_yaw_rate = 0.0;
  double max_yaw_rate = 0.0;
  for (double t = 2.0; t < 60.0; t += 0.05) {
    const double r = drive.at(t).angular_velocity.z();
    min_yaw_rate = std::min(min_yaw_rate, r);
    max_yaw_rate = std::max(max_yaw_rate, r);
  }
  EXPECT_LT(min_yaw_rate, -0.2);
  EXPECT_GT(max_yaw_rate, 0.2);

  // Shake: rotations of ten to twenty degrees at well over 90 °/s about every axis.
  const Trajectory shake(MotionParams::preset(Motion::kShake));
  Eigen::Vector3d max_angle = Eigen::Vector3d::Zero();
  Eigen::Vector3d max_rate = Eigen::Vector3d::Zero();
  const Eigen::Matrix3d r0 = shake.at(0.0).rotation;
  for (double t = 2.0; t < 30.0; t += 0.005) {
    const Kinematics k = shake.at(t);
    const Eigen::Vector3d euler = (r0.transpose() * k.rotation).eulerAngles(2, 1, 0);
    for (int i = 0; i < 3; ++i) {
      // eulerAngles() returns angles in [0, π] for the first one; fold them to [−π/2, π/2].
      double a = std::remainder(euler[i], kPi);
      max_angle[i] = std::max(max_angle[i], std::abs(a));
      max_rate[i] = std::max(max_rate[i], std::abs(k.angular_velocity[i]));
    }
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_GT(max_angle[i], 10.0 * kPi / 180.0) << "axis " << i;
    EXPECT_LT(max_angle[i], 20.0 * kPi / 180.0) << "axis " << i;
    EXPECT_GT(max_rate[i], 1.6) << "axis " << i;
  }
}

// An IMU at rest reads +1 g straight up, whatever its lever arm.
TEST(ImuModel, ReadsGravityAtRest)
{
  Kinematics still;
  sweepmend::synth::Extrinsic ext = sweepmend::synth::Extrinsic::mid360();
  const auto reading = sweepmend::synth::ideal_imu(still, ext);
  EXPECT_NEAR((reading.specific_force - Eigen::Vector3d(0.0, 0.0, 9.81)).norm(), 0.0, 1e-12);
  EXPECT_EQ(reading.angular_velocity.norm(), 0.0);
  EXPECT_NEAR((ext.imu_position() - kMid360Imu).norm(), 0.0, 1e-15);
}

// Spinning at rate w about the LiDAR's z axis, an IMU off the axis feels the centripetal
// acceleration w²·r towards the axis, and a rotated IMU sees the rate in its own axes.
TEST(ImuModel, LeverArmAndRotatedMounting)
{
  Kinematics k;
  k.angular_velocity = {0.0, 0.0, 2.0};
  sweepmend::synth::Extrinsic ext;
  ext.translation = {-0.5, 0.0, 0.0};  // IMU at x = +0.5 m in the LiDAR frame
  auto reading = sweepmend::synth::ideal_imu(k, ext);
  EXPECT_NEAR((reading.specific_force - Eigen::Vector3d(-2.0, 0.0, 9.81)).norm(), 0.0, 1e-12);

  // IMU turned 90° about z: its x axis is the LiDAR's y axis.
  ext.rotation = Eigen::AngleAxisd(-kPi / 2.0, Eigen::Vector3d::UnitZ()).toRotationMatrix();
  ext.translation = ext.rotation * Eigen::Vector3d(-0.5, 0.0, 0.0);
  k.angular_velocity = {1.0, 0.0, 0.0};
  reading = sweepmend::synth::ideal_imu(k, ext);
  EXPECT_NEAR((reading.angular_velocity - Eigen::Vector3d(0.0, -1.0, 0.0)).norm(), 0.0, 1e-12);
}

}  // namespace
