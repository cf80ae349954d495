#include "graphics/IRect.h"

#include <algorithm>
#include <cmath>

namespace ondrell::graphics {

bool IRect::Contains(float x, float y) const
{
  if (Empty())
    return false;
  return x >= L && x < R && y >= T && y < B;
}

bool IRect::Contains(const IRect& r) const
{
  if (Empty() || r.Empty())
    return false;
  return r.L >= L && r.R <= R && r.T >= T && r.B <= B;
}

bool IRect::Intersects(const IRect& r) const
{
  if (Empty() || r.Empty())
    return false;
  return R >= r.L && L < r.R && B >= r.T && T < r.B;
}

IRect IRect::Intersect(const IRect& r) const
{
  if (!Intersects(r))
    return {};
  return {std::max(L, r.L), std::max(T, r.T), std::min(R, r.R), std::min(B, r.B)};
}

IRect IRect::Union(const IRect& r) const
{
  if (Empty())
    return r;
  if (r.Empty())
    return *this;
  return {std::min(L, r.L), std::min(T, r.T), std::max(R, r.R), std::max(B, r.B)};
}

IRect IRect::Padded(float p) const
{
  return {L - p, T - p, R + p, B + p};
}

IRect IRect::PixelAligned(float s) const
{
  const float inv = static_cast<float>(1.0 / s);
  return {std::floor(L * s) * inv, std::floor(T * s) * inv, std::ceil(R * s) * inv, std::ceil(B * s) * inv};
}

bool IRect::Mergeable(const IRect& r) const
{
  if (Empty() || r.Empty())
    return true;
  if (L == r.L && R == r.R && ((T >= r.T && T <= r.B) || (r.T >= T && r.T <= B)))
    return true;
  if (T == r.T && B == r.B && ((L >= r.L && L <= r.R) || (r.L >= L && r.L <= R)))
    return true;
  return false;
}

IRect IRect::GetCentredInside(float w, float h) const
{
  const float l = MW() - 0.5f * w;
  const float t = MH() - 0.5f * h;
  return {l, t, l + w, t + h};
}

IRect IRectList::Bounds() const
{
  IRect u;
  for (const IRect& r : mRects)
    u = u.Union(r);
  return u;
}

void IRectList::PixelAlign(float s)
{
  for (IRect& r : mRects)
    r.PixelAlign(s);
}

IRect IRectList::Shrink(IRect r, IRect x)
{
  // The piece beside x is all of r outside x only when x reaches an edge of r. When x cuts across the middle of
  // r, the piece on the far side is kept as well (appended), so no part of a dirty region is lost.
  if (!x.Empty())
  {
    if (x.L != r.L && x.R != r.R)
      Add({x.R, r.T, r.R, r.B});
    else if (x.T != r.T && x.B != r.B)
      Add({r.L, x.B, r.R, r.B});
  }
  if (x.L != r.L)
    return {r.L, r.T, x.L, r.B};
  if (x.T != r.T)
    return {r.L, r.T, r.R, x.T};
  if (x.R != r.R)
    return {x.R, r.T, r.R, r.B};
  return {r.L, x.B, r.R, r.B};
}

IRect IRectList::Split(IRect r, IRect x)
{
  if (r.L == x.L)
  {
    if (r.T == x.T)
    {
      Add({x.R, r.T, r.R, x.B});
      return {r.L, x.B, r.R, r.B};
    }
    Add({r.L, r.T, r.R, x.T});
    return {x.R, x.T, r.R, r.B};
  }
  if (r.T == x.T)
  {
    Add({r.L, r.T, x.L, x.B});
    return {r.L, x.B, r.R, r.B};
  }
  Add({r.L, r.T, r.R, x.T});
  return {r.L, x.T, x.L, r.B};
}

void IRectList::Optimize()
{
  // First pass: remove overlaps, by dropping contained rectangles, shrinking one of a pair to the part beside
  // their common area, or splitting the smaller one into pieces (one appended, visited by later iterations).
  for (int i = 0; i < Size(); ++i)
  {
    for (int j = i + 1; j < Size(); ++j)
    {
      if (Get(i).Contains(Get(j)))
      {
        Delete(j);
        --j;
      }
      else if (Get(j).Contains(Get(i)))
      {
        Delete(i);
        --i;
        break;
      }
      else if (Get(i).Intersects(Get(j)))
      {
        const IRect x = Get(i).Intersect(Get(j));
        if (Get(i).Mergeable(x))
          Set(i, Shrink(Get(i), x));
        else if (Get(j).Mergeable(x))
          Set(j, Shrink(Get(j), x));
        else if (Get(i).Area() < Get(j).Area())
          Set(i, Split(Get(i), x));
        else
          Set(j, Split(Get(j), x));
      }
    }
  }

  // Second pass: merge neighbours whose union covers exactly their two areas, restarting after every merge.
  for (int i = 0; i < Size(); ++i)
  {
    for (int j = i + 1; j < Size(); ++j)
    {
      if (Get(i).Mergeable(Get(j)))
      {
        Set(j, Get(i).Union(Get(j)));
        Delete(i);
        i = -1;
        break;
      }
    }
  }
}

} // namespace ondrell::graphics
