#pragma once
#include <cstdint>

namespace ondrell {

// Where a parameter change came from.
enum class ParamChangeSource : int32_t {
  Reset = 0,
  Host = 1,
  Preset = 2,
  UI = 3,
  EditorDelegate = 4,
  Recompile = 5,
  Unknown = 6,
};

// "Reset", "Host", "Preset", "UI", "Editor Delegate", "Recompile", "Unknown".
constexpr const char* ParamChangeSourceName(ParamChangeSource source) {
  switch (source) {
    case ParamChangeSource::Reset: return "Reset";
    case ParamChangeSource::Host: return "Host";
    case ParamChangeSource::Preset: return "Preset";
    case ParamChangeSource::UI: return "UI";
    case ParamChangeSource::EditorDelegate: return "Editor Delegate";
    case ParamChangeSource::Recompile: return "Recompile";
    case ParamChangeSource::Unknown: break;
  }
  return "Unknown";
}

}  // namespace ondrell
