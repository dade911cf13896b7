// Second-order forward differentiation: a scalar function of time carried with its first and
// second time derivatives, so that velocities and accelerations of the synthetic trajectory
// come out exact instead of from finite differences.
#ifndef SYNTH__JET_HPP_
#define SYNTH__JET_HPP_

#include <cmath>

namespace sweepmend
{
namespace synth
{

/// f(t) with f'(t) and f''(t). Units are those of f, per second and per second squared.
struct Jet
{
  double v{0.0};   ///< value
  double d{0.0};   ///< first time derivative
  double dd{0.0};  ///< second time derivative

  constexpr Jet() = default;
  constexpr Jet(double value, double first = 0.0, double second = 0.0)  // NOLINT: implicit on purpose
  : v(value), d(first), dd(second) {}
};

inline Jet operator+(const Jet & a, const Jet & b) {return {a.v + b.v, a.d + b.d, a.dd + b.dd};}
inline Jet operator-(const Jet & a, const Jet & b) {return {a.v - b.v, a.d - b.d, a.dd - b.dd};}
inline Jet operator-(const Jet & a) {return {-a.v, -a.d, -a.dd};}
inline Jet operator*(double k, const Jet & a) {return {k * a.v, k * a.d, k * a.dd};}
inline Jet operator*(const Jet & a, double k) {return k * a;}
inline Jet operator*(const Jet & a, const Jet & b)
{
  return {a.v * b.v, a.d * b.v + a.v * b.d, a.dd * b.v + 2.0 * a.d * b.d + a.v * b.dd};
}
inline Jet & operator+=(Jet & a, const Jet & b) {return a = a + b;}

inline Jet operator/(const Jet & a, const Jet & b)
{
  const double q = a.v / b.v;
  const double dq = (a.d - q * b.d) / b.v;
  // From a = q·b: a'' = q''·b + 2·q'·b' + q·b''.
  return {q, dq, (a.dd - 2.0 * dq * b.d - q * b.dd) / b.v};
}

inline Jet sin(const Jet & a)
{
  const double s = std::sin(a.v);
  const double c = std::cos(a.v);
  return {s, c * a.d, -s * a.d * a.d + c * a.dd};
}

inline Jet cos(const Jet & a)
{
  const double s = std::sin(a.v);
  const double c = std::cos(a.v);
  return {c, -s * a.d, -c * a.d * a.d - s * a.dd};
}

/// Angle of the vector (x, y); the value wraps at ±π, the derivatives are continuous.
inline Jet atan2(const Jet & y, const Jet & x)
{
  const double r2 = x.v * x.v + y.v * y.v;
  const double rate = (x.v * y.d - y.v * x.d) / r2;
  const double rate_dot = (x.v * y.dd - y.v * x.dd) / r2 -
    rate * 2.0 * (x.v * x.d + y.v * y.d) / r2;
  return {std::atan2(y.v, x.v), rate, rate_dot};
}

}  // namespace synth
}  // namespace sweepmend

#endif  // SYNTH__JET_HPP_
