#include "core/IParam.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ondrell {

namespace {

// Copies text into a 32-byte field, cutting it at 31 bytes without splitting a UTF-8 character.
void CopyText(char (&field)[32], const char* text) {
  if (text == nullptr) text = "";
  size_t length = std::strlen(text);
  if (length > static_cast<size_t>(IParam::kMaxTextLength)) {
    length = IParam::kMaxTextLength;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(field, text, length);
  field[length] = '\0';
}

// The whole number nearest to v, halves away from zero, as a 32-bit integer: saturated at the int32 range,
// 0 for a NaN (a plain conversion would be undefined for those).
int32_t NearestInt32(double v) {
  if (std::isnan(v)) return 0;
  const double r = std::round(v);
  if (r >= 2147483647.0) return INT32_MAX;
  if (r <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(r);
}

}  // namespace

std::unique_ptr<IParam::Shape> IParam::ShapeLinear::Copy() const { return std::make_unique<ShapeLinear>(*this); }

double IParam::ShapeLinear::ValueAt(double normalised, const IParam& param) const {
  return param.GetMin() + normalised * (param.GetMax() - param.GetMin());
}

double IParam::ShapeLinear::PositionOf(double value, const IParam& param) const {
  return (value - param.GetMin()) / (param.GetMax() - param.GetMin());
}

IParam::IParam() : mShape(std::make_unique<ShapeLinear>()) {}

IParam::~IParam() = default;

void IParam::DefineDouble(const char* name, double defaultValue, double minValue, double maxValue, double step,
                          const char* label, int flags, const char* group, const Shape& shape,
                          DisplayFunc displayFunc, ParseFunc parseFunc) {
  if (mKind == ParamKind::None) mKind = ParamKind::Double;
  CopyText(mName, name);
  CopyText(mLabel, label);
  CopyText(mGroup, group);
  mMin = minValue;
  mMax = maxValue > minValue + step ? maxValue : minValue + step;
  mStep = step;
  mDefault = defaultValue;
  mFlags = flags;
  mDisplayFunc = std::move(displayFunc);
  mParseFunc = std::move(parseFunc);
  SetValue(defaultValue);

  mDisplayPrecision = 0;
  for (double s = step; mDisplayPrecision < 6 && s != std::floor(s); s *= 10.0) ++mDisplayPrecision;

  mShape = shape.Copy();
  mShape->Attach(*this);
}

void IParam::DefineInt(const char* name, int defaultValue, int minValue, int maxValue, const char* label, int flags,
                       const char* group) {
  if (mKind == ParamKind::None) mKind = ParamKind::Int;
  DefineDouble(name, defaultValue, minValue, maxValue, 1.0, label, flags | FlagStepped, group, ShapeLinear{});
}

void IParam::DefineEnum(const char* name, int defaultValue, int count, const char* label, int flags,
                        const char* group, std::initializer_list<const char*> texts) {
  if (mKind == ParamKind::None) mKind = ParamKind::Enum;
  DefineInt(name, defaultValue, 0, count - 1, label, flags | FlagStepped, group);
  int value = 0;
  for (const char* text : texts) {
    if (value >= count) break;
    AddDisplayText(value++, text);
  }
}

void IParam::DefineBool(const char* name, bool defaultValue, const char* label, int flags, const char* group,
                        const char* offText, const char* onText) {
  if (mKind == ParamKind::None) mKind = ParamKind::Bool;
  DefineEnum(name, defaultValue ? 1 : 0, 2, label, flags | FlagStepped, group);
  AddDisplayText(0.0, offText);
  AddDisplayText(1.0, onText);
}

void IParam::AddDisplayText(double value, const char* text) {
  DisplayTextEntry entry;
  entry.value = value;
  CopyText(entry.text, text);
  mDisplayTexts.push_back(entry);
}

bool IParam::SetValue(double value) {
  if (!std::isfinite(value)) return false;
  const double clamped = ClampValue(value);
  if (!std::isfinite(clamped)) return false;
  mValue.exchange(clamped, std::memory_order_seq_cst);
  return true;
}

bool IParam::SetNormalised(double normalised) {
  return std::isfinite(normalised) && SetValue(FromNormalised(normalised));
}

double IParam::DefaultValue(bool normalised) const { return normalised ? ToNormalised(mDefault) : mDefault; }

double IParam::ClampValue(double value) const {
  // A step that is not positive cannot be rounded to; such a parameter is only clamped.
  if ((mFlags & FlagStepped) && mStep > 0.0) value = std::round(value / mStep) * mStep;
  if (value < mMin) value = mMin;
  if (value > mMax) value = mMax;
  return value;
}

double IParam::ToNormalised(double value) const {
  const double position = mShape->PositionOf(ClampValue(value), *this);
  if (!(position >= 0.0)) return 0.0;
  return position > 1.0 ? 1.0 : position;
}

double IParam::FromNormalised(double normalised) const { return ClampValue(mShape->ValueAt(normalised, *this)); }

double IParam::SnapNormalised(double normalised) const { return ToNormalised(mShape->ValueAt(normalised, *this)); }

void IParam::FormatValue(double value, bool normalised, std::string& out, bool useDisplayTexts) const {
  if (normalised) value = FromNormalised(value);
  if (mDisplayFunc) {
    out.clear();
    mDisplayFunc(value, out);
  } else {
    const char* text = useDisplayTexts ? DisplayTextFor(value) : "";
    if (text[0] != '\0') {
      out = text;
    } else {
      double d = (mFlags & FlagNegateDisplay) ? -value : value;
      if (d == 0.0) d = 0.0;  // turns -0.0 into +0.0: no "-0" is ever shown
      char buffer[kMaxDisplayLength + 1];
      if (mDisplayPrecision == 0)
        std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(NearestInt32(d)));
      else if ((mFlags & FlagPlusSign) && d != 0.0)
        std::snprintf(buffer, sizeof buffer, "%+.*f", mDisplayPrecision, d);
      else
        std::snprintf(buffer, sizeof buffer, "%.*f", mDisplayPrecision, d);
      out = buffer;
    }
  }
  if (out.size() > static_cast<size_t>(kMaxDisplayLength)) out.resize(kMaxDisplayLength);
}

double IParam::ParseText(const char* text) const {
  if (text == nullptr) text = "";
  if (mParseFunc) {
    const double parsed = mParseFunc(text);
    return ClampValue(std::isnan(parsed) ? 0.0 : parsed);
  }
  for (const DisplayTextEntry& entry : mDisplayTexts) {
    if (std::strcmp(entry.text, text) == 0) return entry.value;
  }
  if (mKind == ParamKind::Enum || mKind == ParamKind::Bool) return 0.0;
  double number = std::strtod(text, nullptr);
  if (std::isnan(number)) number = 0.0;
  if (mFlags & FlagNegateDisplay) number = -number;
  return ClampValue(number);
}

const char* IParam::DisplayTextFor(double value) const {
  for (const DisplayTextEntry& entry : mDisplayTexts) {
    if (entry.value == value) return entry.text;
  }
  return "";
}

const char* IParam::DisplayLabel() const {
  const char* text = DisplayTextFor(std::trunc(Value()));
  return text[0] != '\0' ? "" : mLabel;
}

}  // namespace ondrell
