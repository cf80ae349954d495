#pragma once
#include <string>
#include <vector>

#include "core/ByteChunk.h"
#include "core/Config.h"
#include "core/HostId.h"
#include "graphics/IGEditorDelegate.h"

namespace ondrell {

// One preset (a VST2 "program").
struct PresetSlot {
  static constexpr int kMaxNameLength = 255;  // bytes; longer names are cut at a character boundary

  bool initialized = false;  // the preset holds a state chunk
  std::string name = "empty";
  ByteChunk chunk;           // a state chunk
};

// The part of the plug-in object that keeps what the host saves: the state chunk of all parameter values and
// the preset list with its bank chunk; it also holds the identity fields that IPluginAPIBase fills.
// Values are stored with atomic exchanges, so the audio thread never sees a torn value during a load.
// Threads: everything here runs on the host's main thread; owns the presets.
class IPluginBase : public graphics::IGEditorDelegate {
 public:
  // Creates nParams parameters (through the delegate) and nPresets presets, each not initialized, named "empty".
  IPluginBase(int nParams, int nPresets);
  ~IPluginBase() override;

  // Virtual operations added here, in slot order.
  // The state chunk the format adapters exchange with the host; defaults SerializeParams/UnserializeParams.
  virtual bool SerializeState(ByteChunk& chunk) const { return SerializeParams(chunk); }
  virtual int UnserializeState(const ByteChunk& chunk, int startPos) { return UnserializeParams(chunk, startPos); }
  virtual void OnPresetListChanged() {}

  // Appends every parameter's value as a little-endian double, in index order. True (also with no parameters).
  bool SerializeParams(ByteChunk& chunk) const;
  // Reads the values back from startPos. A value that is not finite is refused (that parameter keeps its value)
  // and reading goes on. Every parameter is announced with source Preset, even after a short chunk.
  // Returns the position after the last value, or -1 when the chunk is too short.
  int UnserializeParams(const ByteChunk& chunk, int startPos);

  // Presets.
  int NPresets() const { return static_cast<int>(mPresets.size()); }
  int GetCurrentPresetIndex() const { return mCurrentPresetIdx; }
  // "" for an index outside the list.
  const char* GetPresetName(int index) const;
  // Marks every preset initialized, named "Empty", holding the current values.
  void InitializeEmptyPresets();
  // Stores the current state into the current preset; a non-empty name also renames it.
  void ModifyCurrentPreset(const char* name = nullptr);
  // Makes the preset current (loading it, or initializing it as "user preset N" with the current values).
  bool RecallPreset(int index);
  // The bank chunk: per preset, name string, initialized byte, and the state chunk when initialized.
  bool SerializePresets(ByteChunk& chunk) const;
  // Reads a bank chunk from startPos, then recalls the current preset. Returns the position reached or -1.
  // A preset whose name or state cannot be read keeps its previous name, flag and chunk.
  int UnserializePresets(const ByteChunk& chunk, int startPos);

  // Identity.
  const std::string& GetPluginName() const { return mPluginName; }
  const std::string& GetProductName() const { return mProductName; }
  const std::string& GetMakerName() const { return mMakerName; }
  int GetUniqueId() const { return mUniqueId; }
  int GetMakerId() const { return mMakerId; }
  // decimal: major * 10000 + minor * 100 + patch; otherwise the packed version.
  int GetPluginVersion(bool decimal) const;
  bool HasEditor() const { return mHasEditor; }
  bool DoesStateChunks() const { return mStateChunks; }
  const std::string& GetBundleId() const { return mBundleId; }
  const std::string& GetAppGroupId() const { return mAppGroupId; }
  HostId GetHostId() const { return mHostId; }
  const std::string& GetHostName() const { return mHostName; }
  int GetHostVersion() const { return mHostVersion; }

 protected:
  const std::vector<PresetSlot>& Presets() const { return mPresets; }

  // Identity fields, filled by IPluginAPIBase.
  std::string mPluginName;
  std::string mProductName;
  std::string mMakerName;
  int mVersion = 0;
  int mUniqueId = 0;
  int mMakerId = 0;
  bool mHasEditor = false;
  bool mStateChunks = false;
  std::string mBundleId;
  std::string mAppGroupId;
  std::string mHostName;
  HostId mHostId = HostId::NotIdentified;
  int mHostVersion = 0;
  std::string mParamDisplayText;  // scratch text for formatting parameter display texts (VST2 adapter)

 private:
  std::vector<PresetSlot> mPresets;
  int mCurrentPresetIdx = 0;
};

}  // namespace ondrell
