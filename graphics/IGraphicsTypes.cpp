#include "graphics/IGraphicsTypes.h"

#include <cmath>
#include <numbers>

namespace ondrell::graphics {

IMatrix IMatrix::Then(const IMatrix& m) const
{
  return {m.xx * xx + m.xy * yx,      m.yx * xx + m.yy * yx,      m.xx * xy + m.xy * yy,
          m.yx * xy + m.yy * yy,      m.xx * tx + m.xy * ty + m.tx, m.yx * tx + m.yy * ty + m.ty};
}

IMatrix& IMatrix::Rotate(double degrees)
{
  const double a = degrees * std::numbers::pi / 180.0;
  const double c = std::cos(a);
  const double s = std::sin(a);
  return *this = IMatrix(c, s, -s, c, 0, 0).Then(*this);
}

bool IMatrix::Invert()
{
  const double d = xx * yy - xy * yx;
  if (d == 0.0 || !std::isfinite(d))
    return false;
  const double inv = 1.0 / d;
  const IMatrix m = *this;
  xx = m.yy * inv;
  xy = -m.xy * inv;
  yx = -m.yx * inv;
  yy = m.xx * inv;
  tx = (m.xy * m.ty - m.yy * m.tx) * inv;
  ty = (m.yx * m.tx - m.xx * m.ty) * inv;
  return true;
}

IPattern IPattern::Linear(float x1, float y1, float x2, float y2, std::vector<IColorStop> stops)
{
  IPattern p;
  p.type = EPatternType::Linear;
  p.stops = std::move(stops);
  const double dx = static_cast<double>(x2) - x1;
  const double dy = static_cast<double>(y2) - y1;
  const double len2 = dx * dx + dy * dy;
  if (len2 > 0.0)
    p.transform = IMatrix(dx / len2, -dy / len2, dy / len2, dx / len2, -(x1 * dx + y1 * dy) / len2,
                          (x1 * dy - y1 * dx) / len2);
  return p;
}

IPattern IPattern::Radial(float x, float y, float r, std::vector<IColorStop> stops)
{
  IPattern p;
  p.type = EPatternType::Radial;
  p.stops = std::move(stops);
  const double s = r > 0.f ? 1.0 / r : 1.0;
  p.transform = IMatrix(s, 0, 0, s, -x * s, -y * s);
  return p;
}

} // namespace ondrell::graphics
