#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace ondrell {

// What a parameter holds.
enum class ParamKind : int32_t { None = 0, Bool = 1, Int = 2, Enum = 3, Double = 4 };

// A fixed text shown for one exact value (an enumeration entry, a switch position).
struct DisplayTextEntry {
  double value = 0.0;
  char text[32] = {};  // NUL-terminated, at most 31 bytes
};

// One automatable parameter: kind, name, unit label, group, range, step, default, flags, shape and display
// texts, plus its current value in real units.
// Definition and display texts are written once during construction and read-only afterwards.
// Threads: audio and main threads store/read the atomic value, Format/Parse run off the audio thread; owns its shape.
class IParam {
 public:
  // Parameter flags, a 32-bit bit set.
  enum Flags : int32_t {
    FlagNoAutomation = 1,   // reported to the host as not automatable
    FlagStepped = 2,        // values move to the nearest multiple of the step
    FlagNegateDisplay = 4,  // the displayed number is the negated value; typed numbers are negated back
    FlagPlusSign = 8,       // non-zero displayed numbers carry an explicit sign
  };

  static constexpr int kMaxTextLength = 31;     // name, label, group and display texts, in bytes
  static constexpr int kMaxDisplayLength = 32;  // FormatValue output, in bytes

  // Curve between normalised (0..1) and real values. Neither direction clamps.
  class Shape {
   public:
    virtual ~Shape() = default;
    virtual std::unique_ptr<Shape> Copy() const = 0;
    // Called once after the shape is installed in a parameter.
    virtual void Attach(const IParam& /*param*/) {}
    // Which curve this is; 0 for the linear shape.
    virtual int CurveKind() const = 0;
    virtual double ValueAt(double normalised, const IParam& param) const = 0;
    virtual double PositionOf(double value, const IParam& param) const = 0;
  };

  // minimum + n * (maximum - minimum), and its inverse.
  class ShapeLinear : public Shape {
   public:
    std::unique_ptr<Shape> Copy() const override;
    int CurveKind() const override { return 0; }
    double ValueAt(double normalised, const IParam& param) const override;
    double PositionOf(double value, const IParam& param) const override;
  };

  // Replaces the built-in number formatting: (value in real units, out text).
  using DisplayFunc = std::function<void(double, std::string&)>;
  // Replaces the built-in parsing: text -> value in real units.
  using ParseFunc = std::function<double(const char*)>;

  IParam();
  ~IParam();
  IParam(const IParam&) = delete;
  IParam& operator=(const IParam&) = delete;

  // Definition (construction only). Each sets the kind only while it is still None, so the outermost call
  // decides it. Texts longer than 31 bytes are cut at a character boundary.
  void DefineDouble(const char* name, double defaultValue, double minValue, double maxValue, double step,
                    const char* label = "", int flags = 0, const char* group = "",
                    const Shape& shape = ShapeLinear{}, DisplayFunc displayFunc = nullptr,
                    ParseFunc parseFunc = nullptr);
  void DefineInt(const char* name, int defaultValue, int minValue, int maxValue, const char* label = "",
                 int flags = 0, const char* group = "");
  // With texts, text i is added for value i (at most count texts).
  void DefineEnum(const char* name, int defaultValue, int count, const char* label = "", int flags = 0,
                  const char* group = "", std::initializer_list<const char*> texts = {});
  void DefineBool(const char* name, bool defaultValue, const char* label = "", int flags = 0,
                  const char* group = "", const char* offText = "off", const char* onText = "on");
  // Appends an entry; an existing entry for the same value stays and wins lookups.
  void AddDisplayText(double value, const char* text);

  // Values. Every store goes through ClampValue and an atomic exchange; a value that is not finite (before or
  // after clamping) is refused and the parameter keeps its previous value. The stores report whether they stored.
  double Value() const { return mValue.load(std::memory_order_seq_cst); }
  bool SetValue(double value);
  bool SetNormalised(double normalised);
  double Normalised() const { return ToNormalised(Value()); }
  double DefaultValue(bool normalised = false) const;

  // Stepped: nearest multiple of the step (halves away from zero); then clamped to the range.
  // A NaN passes through unchanged (the stores refuse it).
  double ClampValue(double value) const;
  // PositionOf(ClampValue(v)) clipped to 0..1 (a NaN position gives 0).
  double ToNormalised(double value) const;
  // ClampValue(ValueAt(n)); n is not clipped first.
  double FromNormalised(double normalised) const;
  // The nearest normalised position that lies on a step.
  double SnapNormalised(double normalised) const;

  // Texts.
  // The text shown for a value, at most 32 bytes (longer output is cut).
  void FormatValue(double value, bool normalised, std::string& out, bool useDisplayTexts = true) const;
  // The real value a typed or host-supplied text stands for. Never NaN: a text that reads as NaN counts as
  // holding no number.
  double ParseText(const char* text) const;
  int DisplayTextCount() const { return static_cast<int>(mDisplayTexts.size()); }
  // Null for an index outside the list.
  const DisplayTextEntry* GetDisplayTextEntry(int index) const {
    return (index >= 0 && index < DisplayTextCount()) ? &mDisplayTexts[static_cast<size_t>(index)] : nullptr;
  }
  // Text of the first entry whose value equals value exactly, or "".
  const char* DisplayTextFor(double value) const;
  // "" when the current value, truncated to a whole number, has an entry with a non-empty text; else the label.
  const char* DisplayLabel() const;

  // Accessors.
  const char* GetName() const { return mName; }
  const char* GetLabel() const { return mLabel; }
  const char* GetGroup() const { return mGroup; }
  ParamKind GetKind() const { return mKind; }
  int GetFlags() const { return mFlags; }
  bool HasFlag(int flag) const { return (mFlags & flag) != 0; }
  double GetMin() const { return mMin; }
  double GetMax() const { return mMax; }
  double GetStep() const { return mStep; }
  int GetDisplayPrecision() const { return mDisplayPrecision; }
  const Shape& GetShape() const { return *mShape; }

 private:
  ParamKind mKind = ParamKind::None;
  std::atomic<double> mValue{0.0};
  double mMin = 0.0;
  double mMax = 1.0;
  double mStep = 1.0;
  double mDefault = 0.0;
  int mDisplayPrecision = 0;
  int mFlags = 0;
  char mName[32] = {};
  char mLabel[32] = {};
  char mGroup[32] = {};
  std::unique_ptr<Shape> mShape;
  DisplayFunc mDisplayFunc;
  ParseFunc mParseFunc;
  std::vector<DisplayTextEntry> mDisplayTexts;
};

}  // namespace ondrell
