#pragma once

// The small value types the graphics code passes around: colours, text styles, blends, transforms, fill patterns,
// stroke and fill options, pointer and key events, cursor shapes and the resize mode.

#include <cstdint>
#include <cstring>
#include <vector>

namespace ondrell::graphics {

// Four channels 0..255; A is opacity. Colours are not premultiplied.
struct IColor
{
  int A = 255;
  int R = 0;
  int G = 0;
  int B = 0;

  constexpr IColor() = default;
  constexpr IColor(int a, int r, int g, int b) : A(a), R(r), G(g), B(b) {}
  bool operator==(const IColor&) const = default;
};

inline constexpr IColor COLOR_TRANSPARENT{0, 0, 0, 0};
inline constexpr IColor COLOR_BLACK{255, 0, 0, 0};
inline constexpr IColor COLOR_WHITE{255, 255, 255, 255};

enum class EAlign : int { Near = 0, Center = 1, Far = 2 };
enum class EVAlign : int { Top = 0, Middle = 1, Bottom = 2 };

inline constexpr const char* DEFAULT_FONT = "Roboto-Regular";
inline constexpr float DEFAULT_TEXT_SIZE = 14.f;

// A text style. The font is named by the identifier it was loaded under (LoadFont), not by its file.
struct IText
{
  char font[64] = {};
  float size = DEFAULT_TEXT_SIZE;
  IColor fgColor = COLOR_BLACK;
  IColor textEntryBGColor = COLOR_WHITE;
  IColor textEntryFGColor = COLOR_BLACK;
  float angle = 0.f;
  EAlign align = EAlign::Center;
  EVAlign vAlign = EVAlign::Middle;

  IText() { SetFont(DEFAULT_FONT); }
  IText(float sz, const IColor& fg, const char* fontName = DEFAULT_FONT, EAlign al = EAlign::Center,
        EVAlign val = EVAlign::Middle, float ang = 0.f, const IColor& teBG = COLOR_WHITE,
        const IColor& teFG = COLOR_BLACK)
    : size(sz), fgColor(fg), textEntryBGColor(teBG), textEntryFGColor(teFG), angle(ang), align(al), vAlign(val)
  {
    SetFont(fontName);
  }

  // Cut to 63 bytes so the name always stays terminated.
  void SetFont(const char* name)
  {
    std::memset(font, 0, sizeof(font));
    if (name)
      std::strncpy(font, name, sizeof(font) - 1);
  }
};

// Blend type 0 is source-over; the weight multiplies opacity.
struct IBlend
{
  int type = 0;
  float weight = 1.f;

  constexpr IBlend() = default;
  constexpr IBlend(int t, float w) : type(t), weight(w) {}
};

// The weight of an optional blend, 1 without one.
inline float BlendWeight(const IBlend* blend) { return blend ? blend->weight : 1.f; }

// A 2-D affine transform: x' = xx x + xy y + tx, y' = yx x + yy y + ty.
struct IMatrix
{
  double xx = 1.0;
  double yx = 0.0;
  double xy = 0.0;
  double yy = 1.0;
  double tx = 0.0;
  double ty = 0.0;

  constexpr IMatrix() = default;
  constexpr IMatrix(double xx_, double yx_, double xy_, double yy_, double tx_, double ty_)
    : xx(xx_), yx(yx_), xy(xy_), yy(yy_), tx(tx_), ty(ty_)
  {
  }
  bool operator==(const IMatrix&) const = default;

  bool IsIdentity() const { return *this == IMatrix(); }
  void TransformPoint(double& x, double& y) const
  {
    const double nx = xx * x + xy * y + tx;
    const double ny = yx * x + yy * y + ty;
    x = nx;
    y = ny;
  }
  // this followed by m: the result maps p to m(this(p)).
  IMatrix Then(const IMatrix& m) const;
  // Each of these applies the new step before the existing transform, so user code reads in drawing order.
  IMatrix& Translate(double x, double y) { return *this = IMatrix(1, 0, 0, 1, x, y).Then(*this); }
  IMatrix& Scale(double x, double y) { return *this = IMatrix(x, 0, 0, y, 0, 0).Then(*this); }
  IMatrix& Rotate(double degrees);
  // False, leaving the matrix unchanged, when it cannot be inverted.
  bool Invert();
};

enum class EPatternType : int { Solid = 0, Linear = 1, Radial = 2, Sweep = 3 };

struct IColorStop
{
  IColor color;
  float offset = 0.f;
};

// A fill or stroke source. Gradients live in pattern space (a linear one runs from (0, 0) to (1, 0), a radial one
// has its centre at (0, 0) and radius 1); the transform maps user space into pattern space.
struct IPattern
{
  EPatternType type = EPatternType::Solid;
  std::vector<IColorStop> stops;
  IMatrix transform;

  IPattern(const IColor& c) : stops{{c, 0.f}} {} // implicit, so a colour can be passed where a pattern is taken
  static IPattern Linear(float x1, float y1, float x2, float y2, std::vector<IColorStop> stops);
  static IPattern Radial(float x, float y, float r, std::vector<IColorStop> stops);

private:
  IPattern() = default;
};

enum class ELineCap : int { Butt = 0, Round = 1, Square = 2 };
enum class ELineJoin : int { Miter = 0, Round = 1, Bevel = 2 };
enum class EFillRule : int { Winding = 0, EvenOdd = 1 };

struct IStrokeOptions
{
  float miterLimit = 10.f;
  bool preserve = false;
  ELineCap cap = ELineCap::Butt;
  ELineJoin join = ELineJoin::Miter;
  std::vector<float> dashes;
  float dashOffset = 0.f;
};

struct IFillOptions
{
  EFillRule rule = EFillRule::Winding;
  bool preserve = false;
};

// Modifier set of one pointer sample; the touch identifier is 0 for the mouse.
struct IMouseMod
{
  bool L = false;
  bool R = false;
  bool S = false;
  bool C = false;
  bool A = false;
  int64_t touchID = 0;
};

// One pointer sample in points; dX, dY are the movement since the previous sample (zero for presses).
struct IMouseInfo
{
  float x = 0.f;
  float y = 0.f;
  float dX = 0.f;
  float dY = 0.f;
  IMouseMod ms;
};

// One key event: the key's text in UTF-8 (empty when it has none) and the platform virtual-key code.
struct IKeyPress
{
  char utf8[8] = {};
  int VK = 0;
  bool S = false;
  bool C = false;
  bool A = false;

  IKeyPress() = default;
  IKeyPress(const char* text, int vk, bool s = false, bool c = false, bool a = false) : VK(vk), S(s), C(c), A(a)
  {
    if (text)
      std::strncpy(utf8, text, sizeof(utf8) - 1);
  }
};

enum class CursorType : int
{
  Arrow = 0,
  IBeam = 1,
  Wait = 2,
  Cross = 3,
  UpArrow = 4,
  SizeNWSE = 5,
  SizeNESW = 6,
  SizeWE = 7,
  SizeNS = 8,
  SizeAll = 9,
  No = 10,
  Hand = 11,
  AppStarting = 12,
  Help = 13,
};

enum class ResizerMode : int { Scale = 0, Size = 1 };

} // namespace ondrell::graphics
