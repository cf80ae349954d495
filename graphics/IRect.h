#pragma once

// Rectangles in editor points and the list of redraw regions with its merging rule.

#include <cstddef>
#include <vector>

namespace ondrell::graphics {

// L, T, R, B in points, y growing downward. A rectangle whose four values are all exactly 0 is empty: it contains
// no point and intersects nothing, which is how "no rectangle" is expressed throughout the graphics code.
struct IRect
{
  float L = 0.f;
  float T = 0.f;
  float R = 0.f;
  float B = 0.f;

  constexpr IRect() = default;
  constexpr IRect(float l, float t, float r, float b) : L(l), T(t), R(r), B(b) {}

  constexpr float W() const { return R - L; }
  constexpr float H() const { return B - T; }
  constexpr float MW() const { return 0.5f * (L + R); }
  constexpr float MH() const { return 0.5f * (T + B); }
  constexpr float Area() const { return W() * H(); }
  constexpr bool Empty() const { return L == 0.f && T == 0.f && R == 0.f && B == 0.f; }

  bool operator==(const IRect& r) const = default;

  // Left and top edges are inside, right and bottom edges are not.
  bool Contains(float x, float y) const;
  bool Contains(const IRect& r) const;
  // Touching edges count as intersecting.
  bool Intersects(const IRect& r) const;
  IRect Intersect(const IRect& r) const;
  IRect Union(const IRect& r) const;
  IRect Padded(float p) const;
  // Outward to whole pixels at scale s.
  IRect PixelAligned(float s) const;
  void PixelAlign(float s) { *this = PixelAligned(s); }
  // Whether the union of this and r is exactly the area they cover: same horizontal edges with touching or
  // overlapping vertical spans, or the other way round. An empty rectangle merges with anything.
  bool Mergeable(const IRect& r) const;

  IRect GetTranslated(float dx, float dy) const { return {L + dx, T + dy, R + dx, B + dy}; }
  IRect GetCentredInside(float w, float h) const;
};

// The dirty region list. Optimize turns it into rectangles that do not overlap and merges neighbours.
class IRectList
{
public:
  void Add(const IRect& r) { mRects.push_back(r); }
  int Size() const { return static_cast<int>(mRects.size()); }
  const IRect& Get(int i) const { return mRects[static_cast<size_t>(i)]; }
  void Set(int i, const IRect& r) { mRects[static_cast<size_t>(i)] = r; }
  void Delete(int i) { mRects.erase(mRects.begin() + i); }
  void Clear() { mRects.clear(); }
  IRect Bounds() const;
  void PixelAlign(float s);
  void Optimize();

  const std::vector<IRect>& Rects() const { return mRects; }

private:
  IRect Shrink(IRect r, IRect x); // by value: appending may move the list
  IRect Split(IRect r, IRect x); // by value: appending may move the list

  std::vector<IRect> mRects;
};

} // namespace ondrell::graphics
