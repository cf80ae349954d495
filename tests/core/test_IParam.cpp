#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "core/IParam.h"

using namespace ondrell;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::string Format(const IParam& p, double v, bool normalised = false, bool texts = true) {
  std::string out;
  p.FormatValue(v, normalised, out, texts);
  return out;
}

}  // namespace

TEST(IParam, StartsUndefinedWithTheInitialFields) {
  IParam p;
  EXPECT_EQ(p.GetKind(), ParamKind::None);
  EXPECT_EQ(p.Value(), 0.0);
  EXPECT_EQ(p.GetMin(), 0.0);
  EXPECT_EQ(p.GetMax(), 1.0);
  EXPECT_EQ(p.GetStep(), 1.0);
  EXPECT_EQ(p.GetDisplayPrecision(), 0);
  EXPECT_EQ(p.GetFlags(), 0);
  EXPECT_STREQ(p.GetName(), "");
  EXPECT_EQ(p.GetShape().CurveKind(), 0);
  EXPECT_EQ(p.DisplayTextCount(), 0);
}

TEST(IParam, DecibelParameterLikeTheOutputGain) {
  IParam p;
  p.DefineDouble("Gain", 0.0, -20.0, 10.0, 0.1, "dB");
  EXPECT_EQ(p.GetKind(), ParamKind::Double);
  EXPECT_EQ(p.GetDisplayPrecision(), 1);
  EXPECT_EQ(p.Value(), 0.0);
  EXPECT_EQ(Format(p, 0.0), "0.0");
  EXPECT_EQ(Format(p, -3.5), "-3.5");
  EXPECT_DOUBLE_EQ(p.ToNormalised(0.0), 2.0 / 3.0);
  EXPECT_STREQ(p.DisplayLabel(), "dB");
  EXPECT_FALSE(p.HasFlag(IParam::FlagStepped));
}

TEST(IParam, DisplayPrecisionFollowsTheStep) {
  const struct { double step; int precision; } cases[] = {
      {1.0, 0}, {0.1, 1}, {0.5, 1}, {0.25, 2}, {0.01, 2}, {2.0, 0}, {1e-9, 6}, {1.0 / 3.0, 6}};
  for (const auto& c : cases) {
    IParam p;
    p.DefineDouble("p", 0.0, 0.0, 100.0, c.step);
    EXPECT_EQ(p.GetDisplayPrecision(), c.precision) << "step " << c.step;
  }
}

TEST(IParam, MaximumIsRaisedToMinimumPlusStep) {
  IParam p;
  p.DefineDouble("p", 0.0, 0.0, 0.05, 0.1);
  EXPECT_EQ(p.GetMax(), 0.1);
}

TEST(IParam, ClampValueTable) {
  IParam stepped;
  stepped.DefineInt("i", 0, 0, 10);
  IParam signedStepped;
  signedStepped.DefineInt("s", 0, -5, 5);
  IParam coarse;
  coarse.DefineDouble("c", 0.0, -20.0, 20.0, 0.5, "", IParam::FlagStepped);
  IParam smooth;
  smooth.DefineDouble("d", 0.0, -20.0, 20.0, 0.1);
  const struct { const IParam* p; double in; double out; } cases[] = {
      {&stepped, 2.5, 3.0},        {&stepped, -0.5, 0.0},  // -0.5 rounds to -1, then clamps to 0
      {&stepped, 99.0, 10.0},      {&stepped, 7.4, 7.0},
      {&signedStepped, -2.5, -3.0}, {&signedStepped, 2.5, 3.0},
      {&coarse, 1.25, 1.5},        {&coarse, -1.25, -1.5}, {&coarse, 1.2, 1.0},
      {&smooth, -25.0, -20.0},     {&smooth, 1.23, 1.23},  {&smooth, 20.0001, 20.0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.p->ClampValue(c.in), c.out) << c.p->GetName() << " " << c.in;
  EXPECT_TRUE(std::isnan(smooth.ClampValue(kNaN)));  // passes through; the stores refuse it
}

TEST(IParam, NormalisedConversions) {
  IParam p;
  p.DefineDouble("d", 0.0, -20.0, 20.0, 0.1);
  EXPECT_EQ(p.FromNormalised(1.7), 20.0);
  EXPECT_EQ(p.FromNormalised(-0.3), -20.0);
  EXPECT_EQ(p.ToNormalised(35.0), 1.0);
  EXPECT_EQ(p.ToNormalised(-35.0), 0.0);
  EXPECT_DOUBLE_EQ(p.FromNormalised(0.25), -20.0 + 0.25 * 40.0);
  ASSERT_TRUE(p.SetNormalised(0.75));
  EXPECT_DOUBLE_EQ(p.Value(), 10.0);
  EXPECT_DOUBLE_EQ(p.Normalised(), 0.75);
  EXPECT_DOUBLE_EQ(p.DefaultValue(true), 0.5);

  IParam e;
  e.DefineEnum("e", 0, 6);
  EXPECT_DOUBLE_EQ(e.SnapNormalised(0.52), 3.0 / 5.0);  // 0.52 * 5 = 2.6 -> step 3
  EXPECT_DOUBLE_EQ(e.SnapNormalised(0.49), 2.0 / 5.0);
}

TEST(IParam, DefineBoolRunsThroughEnumAndInt) {
  IParam p;
  p.DefineBool("Oversampling", true, "", IParam::FlagNoAutomation, "", "off", "on");
  EXPECT_EQ(p.GetKind(), ParamKind::Bool);
  EXPECT_EQ(p.GetMin(), 0.0);
  EXPECT_EQ(p.GetMax(), 1.0);
  EXPECT_EQ(p.GetStep(), 1.0);
  EXPECT_TRUE(p.HasFlag(IParam::FlagStepped));
  EXPECT_TRUE(p.HasFlag(IParam::FlagNoAutomation));
  EXPECT_EQ(p.Value(), 1.0);
  ASSERT_EQ(p.DisplayTextCount(), 2);
  EXPECT_EQ(p.GetDisplayTextEntry(0)->value, 0.0);
  EXPECT_STREQ(p.GetDisplayTextEntry(0)->text, "off");
  EXPECT_EQ(p.GetDisplayTextEntry(1)->value, 1.0);
  EXPECT_STREQ(p.GetDisplayTextEntry(1)->text, "on");
  EXPECT_EQ(p.GetDisplayTextEntry(2), nullptr);
  EXPECT_STREQ(p.DisplayLabel(), "");

  IParam i;
  i.DefineInt("i", 3, 1, 8, "st");
  EXPECT_EQ(i.GetKind(), ParamKind::Int);
  EXPECT_TRUE(i.HasFlag(IParam::FlagStepped));
  IParam e;
  e.DefineEnum("e", 2, 4, "", 0, "", {"a", "b", "c", "d", "extra"});
  EXPECT_EQ(e.GetKind(), ParamKind::Enum);
  EXPECT_EQ(e.GetMax(), 3.0);
  EXPECT_EQ(e.Value(), 2.0);
  EXPECT_EQ(e.DisplayTextCount(), 4);  // at most count texts
}

TEST(IParam, FormatValueTable) {
  IParam negated0;
  negated0.DefineInt("n0", 0, -5, 5, "", IParam::FlagNegateDisplay);
  IParam negated1;
  negated1.DefineDouble("n1", 0.0, -5.0, 5.0, 0.1, "", IParam::FlagNegateDisplay);
  IParam plus;
  plus.DefineDouble("plus", 0.0, -5.0, 5.0, 0.1, "", IParam::FlagPlusSign);
  IParam whole;
  whole.DefineDouble("whole", 0.0, -10.0, 10.0, 1.0);
  IParam fine;
  fine.DefineDouble("fine", 0.0, -1.0, 1.0, 0.001);
  const struct { const IParam* p; double v; const char* text; } cases[] = {
      {&negated0, 0.0, "0"},   {&negated0, -0.0, "0"},   {&negated0, 3.0, "-3"},  {&negated0, -2.0, "2"},
      {&negated1, 0.0, "0.0"}, {&negated1, 1.5, "-1.5"}, {&plus, 1.5, "+1.5"},    {&plus, 0.0, "0.0"},
      {&plus, -1.5, "-1.5"},   {&whole, 2.5, "3"},       {&whole, -2.5, "-3"},    {&whole, 2.4, "2"},
      {&fine, 0.123, "0.123"}, {&fine, -0.5, "-0.500"},
  };
  for (const auto& c : cases) EXPECT_EQ(Format(*c.p, c.v), c.text) << c.p->GetName() << " " << c.v;
  EXPECT_EQ(Format(plus, 0.8, true), "+3.0");  // normalised 0.8 on -5..5 is 3
}

TEST(IParam, FormatValueUsesDisplayTextsAndCutsLongOutput) {
  IParam e;
  e.DefineEnum("HPF", 0, 6);
  const char* texts[] = {"Off", "30 Hz", "50 Hz", "80 Hz", "160 Hz", "300 Hz"};
  for (int i = 0; i < 6; ++i) e.AddDisplayText(i, texts[i]);
  EXPECT_EQ(Format(e, 1.0), "30 Hz");
  EXPECT_EQ(Format(e, 1.0, false, false), "1");
  EXPECT_EQ(Format(e, 0.2, true), "30 Hz");  // normalised 0.2 -> value 1

  IParam withEmpty;
  withEmpty.DefineEnum("w", 0, 3);
  withEmpty.AddDisplayText(1.0, "");
  withEmpty.AddDisplayText(1.0, "later");  // lookups take the first entry, whose empty text falls through
  EXPECT_EQ(Format(withEmpty, 1.0), "1");
  EXPECT_STREQ(withEmpty.DisplayTextFor(1.0), "");

  IParam huge;
  huge.DefineDouble("huge", 0.0, -1e40, 1e40, 0.000001);
  std::string out;
  huge.FormatValue(1e30, false, out);
  char reference[64];
  std::snprintf(reference, sizeof reference, "%.6f", 1e30);
  EXPECT_EQ(out, std::string(reference).substr(0, 32));

  IParam custom;
  custom.DefineDouble("c", 0.0, 0.0, 1.0, 0.01, "", 0, "", IParam::ShapeLinear{},
                      [](double v, std::string& s) { s = v > 0.5 ? "high" : "low"; });
  EXPECT_EQ(Format(custom, 0.75), "high");
}

TEST(IParam, ParseTextTable) {
  IParam e;
  e.DefineEnum("HPF", 0, 6, "", 0, "", {"Off", "30 Hz", "50 Hz", "80 Hz", "160 Hz", "300 Hz"});
  IParam d;
  d.DefineDouble("d", 0.0, -20.0, 20.0, 0.1, "dB");
  IParam neg;
  neg.DefineDouble("neg", 0.0, -20.0, 20.0, 0.1, "", IParam::FlagNegateDisplay);
  const struct { const IParam* p; const char* text; double value; } cases[] = {
      {&e, "50 Hz", 2.0},   {&e, "2", 0.0},        {&e, "50 hz", 0.0},  // case-sensitive
      {&d, "-7.25 dB", -7.25}, {&d, "  3.5dB", 3.5}, {&d, "abc", 0.0},   {&d, "", 0.0},
      {&d, "99", 20.0},     {&d, "-1e9", -20.0},   {&d, "inf", 20.0},     {&d, "nan", 0.0},
      {&d, "NAN(1)", 0.0},  {&neg, "3", -3.0},     {&neg, "-30", 20.0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.p->ParseText(c.text), c.value) << c.p->GetName() << " '" << c.text << "'";

  IParam custom;
  custom.DefineDouble("c", 0.0, 0.0, 10.0, 0.1, "", 0, "", IParam::ShapeLinear{}, nullptr,
                      [](const char* t) { return t[0] == 'x' ? 42.0 : kNaN; });
  EXPECT_EQ(custom.ParseText("x"), 10.0);  // clamped
  EXPECT_EQ(custom.ParseText("y"), 0.0);   // a NaN from the parser counts as no number
}

TEST(IParam, DisplayLabelTruncatesTheValue) {
  IParam e;
  e.DefineDouble("e", 0.0, 0.0, 3.0, 0.1, "Hz");
  e.AddDisplayText(1.0, "one");
  ASSERT_TRUE(e.SetValue(1.7));
  EXPECT_STREQ(e.DisplayLabel(), "");
  ASSERT_TRUE(e.SetValue(2.2));
  EXPECT_STREQ(e.DisplayLabel(), "Hz");
}

TEST(IParam, LongTextsAreCutAtACharacterBoundary) {
  IParam p;
  const std::string longName(40, 'n');
  // 30 ASCII bytes, then a two-byte character that would straddle byte 31.
  const std::string utf8 = std::string(30, 'a') + "\xC3\xA9" + "z";
  p.DefineDouble(longName.c_str(), 0.0, 0.0, 1.0, 0.1, utf8.c_str(), 0, longName.c_str());
  p.AddDisplayText(0.5, longName.c_str());
  EXPECT_EQ(std::string(p.GetName()), longName.substr(0, 31));
  EXPECT_EQ(std::string(p.GetLabel()), std::string(30, 'a'));
  EXPECT_EQ(std::string(p.GetGroup()), longName.substr(0, 31));
  EXPECT_EQ(std::string(p.DisplayTextFor(0.5)), longName.substr(0, 31));
}

TEST(IParam, NonFiniteValuesAreRefusedAndTheOldValueStays) {
  IParam p;
  p.DefineDouble("d", 0.0, -20.0, 20.0, 0.1);
  ASSERT_TRUE(p.SetValue(4.5));
  for (double bad : {kNaN, kInf, -kInf}) {
    EXPECT_FALSE(p.SetValue(bad));
    EXPECT_FALSE(p.SetNormalised(bad));
    EXPECT_EQ(p.Value(), 4.5);
  }
  IParam defined;
  defined.DefineDouble("n", kNaN, 0.0, 1.0, 0.1);
  EXPECT_EQ(defined.Value(), 0.0);
}

// Host automation (audio thread) and the editor (main thread) store into one parameter while a third thread
// reads it: every value read must be one that was stored, and the last store wins.
TEST(IParam, ConcurrentStoresNeverTearAValue) {
  IParam p;
  p.DefineDouble("d", 0.0, -20.0, 20.0, 0.1);
  constexpr int kStores = 20000;
  std::atomic<bool> go{false};
  std::atomic<int> badReads{0};
  auto writer = [&](double sign) {
    while (!go.load()) {}
    for (int i = 0; i < kStores; ++i) p.SetValue(sign * (1.0 + (i % 19)));
  };
  std::atomic<bool> writing{true};
  std::thread reader([&] {
    while (!go.load()) {}
    while (writing.load()) {
      const double v = p.Value();
      const double m = std::fabs(v);
      if (v != 0.0 && (m < 1.0 || m > 19.0 || m != std::floor(m))) ++badReads;
    }
  });
  std::thread host(writer, 1.0);
  std::thread editor(writer, -1.0);
  go = true;
  host.join();
  editor.join();
  writing = false;
  reader.join();
  EXPECT_EQ(badReads.load(), 0);
  const double last = 1.0 + ((kStores - 1) % 19);
  EXPECT_TRUE(p.Value() == last || p.Value() == -last);
}
