#include "graphics/IRect.h"

#include <gtest/gtest.h>

#include <random>

using namespace ondrell::graphics;

namespace {

// Counts, for every point of a fine grid, how many rectangles of the list contain it.
struct Coverage
{
  int lost = 0;    // inside the original region but in no output rectangle
  int added = 0;   // outside the original region but in an output rectangle
  int doubled = 0; // in two or more output rectangles
};

Coverage Compare(const std::vector<IRect>& before, const IRectList& after)
{
  Coverage c;
  for (float y = -3.f; y < 40.f; y += 0.25f)
    for (float x = -3.f; x < 40.f; x += 0.25f)
    {
      bool in = false;
      for (const IRect& r : before)
        in = in || r.Contains(x, y);
      int n = 0;
      for (const IRect& r : after.Rects())
        n += r.Contains(x, y) ? 1 : 0;
      c.lost += (in && n == 0) ? 1 : 0;
      c.added += (!in && n > 0) ? 1 : 0;
      c.doubled += n > 1 ? 1 : 0;
    }
  return c;
}

IRectList ListOf(const std::vector<IRect>& rects)
{
  IRectList l;
  for (const IRect& r : rects)
    l.Add(r);
  return l;
}

} // namespace

TEST(IRect, EdgesOfContainsAndEmptiness)
{
  const IRect r(10, 20, 30, 40);
  EXPECT_TRUE(r.Contains(10.f, 20.f));      // left and top edges are in
  EXPECT_TRUE(r.Contains(29.99f, 39.99f));
  EXPECT_FALSE(r.Contains(30.f, 25.f));     // right edge is out
  EXPECT_FALSE(r.Contains(15.f, 40.f));     // bottom edge is out
  EXPECT_FALSE(r.Contains(9.99f, 25.f));

  const IRect empty;
  EXPECT_FALSE(empty.Contains(0.f, 0.f));
  EXPECT_FALSE(empty.Intersects(r));
  EXPECT_FALSE(r.Intersects(empty));
  EXPECT_FALSE(r.Contains(empty));
  EXPECT_EQ(r.Union(empty), r);
  EXPECT_EQ(empty.Union(r), r);
  EXPECT_TRUE(r.Contains(IRect(10, 20, 30, 40)));
  EXPECT_FALSE(r.Contains(IRect(10, 20, 30.5f, 40)));
}

TEST(IRect, TouchingRectanglesIntersectWithAZeroWidthIntersection)
{
  const IRect a(0, 0, 10, 10), b(10, 2, 20, 8);
  EXPECT_TRUE(a.Intersects(b));
  const IRect x = a.Intersect(b);
  EXPECT_EQ(x, IRect(10, 2, 10, 8));
  EXPECT_EQ(x.W(), 0.f);
  EXPECT_FALSE(a.Intersects(IRect(11, 0, 20, 10)));
  EXPECT_EQ(a.Intersect(IRect(11, 0, 20, 10)), IRect());
}

TEST(IRect, PaddedAndPixelAligned)
{
  EXPECT_EQ(IRect(0.3f, 0.3f, 10.2f, 10.2f).PixelAligned(2.f), IRect(0, 0, 10.5f, 10.5f));
  EXPECT_EQ(IRect(53, 92, 100, 139).Padded(0.75f), IRect(52.25f, 91.25f, 100.75f, 139.75f));
  EXPECT_EQ(IRect(52.25f, 91.25f, 100.75f, 139.75f).PixelAligned(1.f), IRect(52, 91, 101, 140));
  // Outward at a fractional scale: 52.25 * 1.5 = 78.375 -> 78 / 1.5 = 52; 100.75 * 1.5 = 151.125 -> 152 / 1.5.
  const IRect a = IRect(52.25f, 91.25f, 100.75f, 139.75f).PixelAligned(1.5f);
  EXPECT_FLOAT_EQ(a.L, 52.f);
  EXPECT_FLOAT_EQ(a.R, 152.f * static_cast<float>(1.0 / 1.5));
}

TEST(IRect, Mergeable)
{
  const IRect a(0, 0, 10, 10);
  EXPECT_TRUE(a.Mergeable(IRect(0, 10, 10, 20)));  // same columns, touching
  EXPECT_TRUE(a.Mergeable(IRect(0, 5, 10, 20)));   // same columns, overlapping
  EXPECT_TRUE(a.Mergeable(IRect(10, 0, 15, 10)));  // same rows, touching
  EXPECT_FALSE(a.Mergeable(IRect(0, 11, 10, 20))); // a gap
  EXPECT_FALSE(a.Mergeable(IRect(1, 10, 10, 20))); // different columns
  EXPECT_TRUE(a.Mergeable(IRect()));
}

TEST(IRectList, OptimizeCases)
{
  struct Case
  {
    const char* name;
    std::vector<IRect> in;
    std::vector<IRect> expected; // empty: only the coverage is checked
  };
  const std::vector<Case> cases = {
    {"one contains the other", {{0, 0, 20, 20}, {5, 5, 10, 10}}, {{0, 0, 20, 20}}},
    {"the later contains the earlier", {{5, 5, 10, 10}, {0, 0, 20, 20}}, {{0, 0, 20, 20}}},
    {"identical", {{1, 2, 3, 4}, {1, 2, 3, 4}}, {{1, 2, 3, 4}}},
    {"equal rows touching", {{0, 0, 10, 10}, {10, 0, 25, 10}}, {{0, 0, 25, 10}}},
    {"equal columns overlapping", {{0, 0, 10, 10}, {0, 5, 10, 30}}, {{0, 0, 10, 30}}},
    {"corner overlap", {{0, 0, 10, 10}, {5, 5, 15, 15}}, {}},
    {"corner overlap, larger second", {{0, 0, 6, 6}, {3, 3, 30, 30}}, {}},
    {"a bar across the middle of a tall rectangle", {{10, 0, 12, 30}, {0, 8, 30, 10}}, {}},
    {"a bar through the middle, full width", {{0, 0, 10, 30}, {0, 10, 10, 12}}, {{0, 0, 10, 30}}},
    {"three in a row with gaps", {{0, 0, 5, 5}, {7, 0, 9, 5}, {20, 20, 25, 25}}, {}},
    {"a stripe inside the height of a wider one", {{11, 16, 16, 27}, {11, 17, 19, 23}}, {}},
  };
  for (const Case& c : cases)
  {
    IRectList l = ListOf(c.in);
    l.Optimize();
    const Coverage cov = Compare(c.in, l);
    EXPECT_EQ(cov.lost, 0) << c.name;
    EXPECT_EQ(cov.added, 0) << c.name;
    EXPECT_EQ(cov.doubled, 0) << c.name;
    if (!c.expected.empty())
    {
      EXPECT_EQ(l.Rects(), c.expected) << c.name;
    }
  }
}

TEST(IRectList, OptimizeCutsAndMergesIntoExactPieces)
{
  // Worked by hand from the rules: x is the common part of the pair; the smaller of two rectangles that cannot
  // be shrunk is split (the larger, or the later one on equal areas), its appended piece going to the end.
  struct Case
  {
    const char* name;
    std::vector<IRect> in;
    std::vector<IRect> expected;
  };
  const std::vector<Case> cases = {
    // x = (5,5,10,10) shares left and top with the later one (equal areas): it keeps (5,10,15,15), appends
    // (10,5,15,10).
    {"split, x at left and top", {{0, 0, 10, 10}, {5, 5, 15, 15}}, {{0, 0, 10, 10}, {5, 10, 15, 15}, {10, 5, 15, 10}}},
    // x = (0,5,5,10) at the left of the smaller first one: it keeps (5,5,10,10), appends the strip above x.
    {"split, x at left only", {{0, 0, 10, 10}, {-5, 5, 5, 20}}, {{5, 5, 10, 10}, {-5, 5, 5, 20}, {0, 0, 10, 5}}},
    // x = (5,0,10,5) at the top: it keeps the part below x, appends the part left of x.
    {"split, x at top only", {{0, 0, 10, 10}, {5, -5, 20, 5}}, {{0, 5, 10, 10}, {5, -5, 20, 5}, {0, 0, 5, 5}}},
    // x = (3,3,6,6) inside the corner: it keeps the part left of x, appends the strip above.
    {"split, x at neither", {{0, 0, 6, 6}, {3, 3, 30, 30}}, {{0, 3, 3, 6}, {3, 3, 30, 30}, {0, 0, 6, 3}}},
    // Same rows, x = (5,0,10,10) at the left, top and bottom: the part right of x is kept.
    {"shrink to the right", {{5, 0, 20, 10}, {0, 0, 10, 12}}, {{10, 0, 20, 10}, {0, 0, 10, 12}}},
    // Same columns, x = (0,5,10,10) at the top: the part below x is kept.
    {"shrink to below", {{0, 5, 10, 20}, {0, 0, 12, 10}}, {{0, 10, 10, 20}, {0, 0, 12, 10}}},
    // The second pass restarts after each merge: the middle piece joins the left one, then the right one.
    {"merge restarts", {{0, 0, 5, 5}, {10, 0, 15, 5}, {5, 0, 10, 5}}, {{0, 0, 15, 5}}},
  };
  for (const Case& c : cases)
  {
    IRectList l = ListOf(c.in);
    l.Optimize();
    EXPECT_EQ(l.Rects(), c.expected) << c.name;
  }
}

TEST(IRectList, OptimizeKeepsTheAreaOfRandomPaddedRegions)
{
  // The same shapes the context feeds it: padded control rectangles aligned to pixels at scale 1, 1.5 and 2.
  std::mt19937 rng(7);
  const float scales[] = {1.f, 1.5f, 2.f};
  for (int it = 0; it < 400; ++it)
  {
    std::vector<IRect> in;
    const int n = 1 + static_cast<int>(rng() % 6);
    for (int k = 0; k < n; ++k)
    {
      const float x = static_cast<float>(rng() % 25), y = static_cast<float>(rng() % 25);
      const float w = static_cast<float>(1 + rng() % 12), h = static_cast<float>(1 + rng() % 12);
      in.push_back(IRect(x, y, x + w, y + h).Padded(0.75f).PixelAligned(scales[it % 3]));
    }
    IRectList l = ListOf(in);
    l.Optimize();
    const Coverage cov = Compare(in, l);
    ASSERT_EQ(cov.lost + cov.added + cov.doubled, 0) << "iteration " << it;
  }
}

TEST(IRectList, BoundsDeleteAndPixelAlign)
{
  IRectList l = ListOf({{1, 1, 2, 2}, {5, 0, 6, 3}, {0.2f, 0.2f, 0.8f, 0.8f}});
  EXPECT_EQ(l.Bounds(), IRect(0.2f, 0, 6, 3));
  l.Delete(0);
  ASSERT_EQ(l.Size(), 2);
  EXPECT_EQ(l.Get(0), IRect(5, 0, 6, 3));
  l.PixelAlign(1.f);
  EXPECT_EQ(l.Get(1), IRect(0, 0, 1, 1));
}
