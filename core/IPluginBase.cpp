#include "core/IPluginBase.h"

#include <cstdio>
#include <cstring>

#include "core/Trace.h"

namespace ondrell {

namespace {

// Preset names hold at most 255 bytes; longer ones are cut without splitting a UTF-8 character.
std::string LimitPresetName(std::string_view name) {
  size_t length = name.size();
  if (length > static_cast<size_t>(PresetSlot::kMaxNameLength)) {
    length = PresetSlot::kMaxNameLength;
    while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) --length;
  }
  return std::string(name.substr(0, length));
}

}  // namespace

IPluginBase::IPluginBase(int nParams, int nPresets) : graphics::IGEditorDelegate(nParams) {
  if (nPresets > 0) mPresets.resize(static_cast<size_t>(nPresets));
}

IPluginBase::~IPluginBase() = default;

bool IPluginBase::SerializeParams(ByteChunk& chunk) const {
  bool ok = true;
  for (int i = 0; i < NParams(); ++i) {
    const double value = GetParam(i)->Value();
    ok = chunk.Append(value) > 0 && ok;
  }
  ONDRELL_TRACE("ondrell::IPluginBase::SerializeParams", "%d values", NParams());
  return ok;
}

int IPluginBase::UnserializeParams(const ByteChunk& chunk, int startPos) {
  int pos = startPos;
  for (int i = 0; i < NParams() && pos >= 0; ++i) {
    double value = 0.0;
    pos = chunk.Read(value, pos);
    if (pos >= 0) GetParam(i)->SetValue(value);
  }
  ONDRELL_TRACE("ondrell::IPluginBase::UnserializeParams", "read up to %d", pos);
  OnParamsReset(ParamChangeSource::Preset);
  return pos;
}

const char* IPluginBase::GetPresetName(int index) const {
  return (index >= 0 && index < NPresets()) ? mPresets[static_cast<size_t>(index)].name.c_str() : "";
}

void IPluginBase::InitializeEmptyPresets() {
  for (int i = 0; i < NPresets(); ++i) {
    for (PresetSlot& preset : mPresets) {
      if (preset.initialized) continue;
      preset.initialized = true;
      preset.name = "Empty";
      preset.chunk.Clear();
      SerializeState(preset.chunk);
      break;
    }
  }
}

void IPluginBase::ModifyCurrentPreset(const char* name) {
  if (mCurrentPresetIdx < 0 || mCurrentPresetIdx >= NPresets()) return;
  PresetSlot& preset = mPresets[static_cast<size_t>(mCurrentPresetIdx)];
  preset.chunk.Clear();
  SerializeState(preset.chunk);
  if (name != nullptr && name[0] != '\0') preset.name = LimitPresetName(name);
}

bool IPluginBase::RecallPreset(int index) {
  if (index < 0 || index >= NPresets()) return false;
  PresetSlot& preset = mPresets[static_cast<size_t>(index)];
  bool ok = false;
  if (preset.initialized) {
    ok = UnserializeState(preset.chunk, 0) > 0;
  } else {
    preset.initialized = true;
    int userPresets = 0;
    for (const PresetSlot& p : mPresets)
      if (p.name.find("user preset") != std::string::npos) ++userPresets;
    char name[64];
    std::snprintf(name, sizeof name, "%s %d", "user preset", userPresets + 1);
    preset.name = name;
    // A preset marked uninitialised by a bank may still hold an old chunk; appending to it would leave two
    // sets of values in one preset and corrupt every bank written afterwards.
    preset.chunk.Clear();
    ok = SerializeState(preset.chunk);
  }
  if (ok) {
    mCurrentPresetIdx = index;
    OnPresetListChanged();
    OnStateRestored();
  }
  return ok;
}

bool IPluginBase::SerializePresets(ByteChunk& chunk) const {
  bool ok = true;
  for (const PresetSlot& preset : mPresets) {
    chunk.AppendString(preset.name);
    chunk.Append(static_cast<uint8_t>(preset.initialized ? 1 : 0));
    if (preset.initialized) ok = chunk.AppendChunk(preset.chunk) > 0 && ok;
  }
  return ok;
}

int IPluginBase::UnserializePresets(const ByteChunk& chunk, int startPos) {
  int pos = startPos;
  for (size_t i = 0; i < mPresets.size() && pos >= 0; ++i) {
    PresetSlot& preset = mPresets[i];
    std::string name;
    pos = chunk.ReadString(name, pos);
    if (pos < 0) break;  // nothing could be read: the preset keeps its name
    preset.name = LimitPresetName(name);
    uint8_t flag = 0;
    pos = chunk.Read(flag, pos);
    if (pos < 0) break;  // the flag keeps its old value
    if (flag == 0) {
      preset.initialized = false;
      continue;
    }
    pos = UnserializeState(chunk, pos);
    // Only a preset whose values were read becomes initialized with them; otherwise it keeps its flag and
    // chunk, so a later bank never claims values it does not hold.
    if (pos > 0) {
      preset.initialized = true;
      preset.chunk.Clear();
      SerializeState(preset.chunk);
    }
  }
  RecallPreset(mCurrentPresetIdx);
  return pos;
}

int IPluginBase::GetPluginVersion(bool decimal) const {
  if (!decimal) return mVersion;
  const int major = (mVersion >> 16) & 0xFFFF;
  const int minor = (mVersion >> 8) & 0xFF;
  const int patch = mVersion & 0xFF;
  return major * 10000 + minor * 100 + patch;
}

}  // namespace ondrell
