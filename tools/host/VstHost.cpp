#include "tools/host/VstHost.h"

#include "vst2/VstAbi.h"

#include "tools/host/DynamicLibrary.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

namespace ondrell::host {
namespace {

using namespace ondrell::vst;

// State files of plug-ins that hand out no chunk: "QVP2", the parameter count, then each normalised value as a
// little-endian float.
constexpr char kParamStateMagic[4] = {'Q', 'V', 'P', '2'};

// Cockos extension requests (effVendorSpecific index) for text conversions without touching the value.
constexpr int32_t kCockosFormatValue = 7;
constexpr int32_t kCockosTextToValue = 27;
constexpr VstIntPtr kCockosAnswer = 0xBEEF;

// One loaded plug-in file. Shared by every instance made from it, so it is unloaded after the last one is closed.
class VstModule {
 public:
  bool Open(const std::string& path, std::string& error) {
    std::string why;
    if (!mLibrary.Open(path, why)) {
      error = std::string("cannot load ") + path + ": " + why;
      return false;
    }
    mEntry = reinterpret_cast<VstEntryProc>(mLibrary.Symbol("VSTPluginMain"));
    if (!mEntry) mEntry = reinterpret_cast<VstEntryProc>(mLibrary.Symbol("main"));
    if (!mEntry) {
      error = path + " exports neither VSTPluginMain nor main";
      return false;
    }
    return true;
  }

  VstEntryProc Entry() const { return mEntry; }

 private:
  DynamicLibrary mLibrary;
  VstEntryProc mEntry = nullptr;
};

class VstHostedPlugin;

// The host callback has only the effect record to find its host by; during the entry function not even that.
struct CallbackRegistry {
  std::mutex lock;
  std::vector<std::pair<const VstEffect*, VstHostedPlugin*>> instances;
};
CallbackRegistry& Registry() {
  static CallbackRegistry registry;
  return registry;
}
thread_local VstHostedPlugin* tConstructing = nullptr;

std::string FourChars(int32_t id) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((id >> shift) & 0xFF);
    if (c < 0x20 || c > 0x7E) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(id));
      return hex;
    }
    s += c;
  }
  return s;
}

// A plug-in instance and the host it sees. Main thread: everything except StartProcessing, Process and
// StopProcessing (the audio thread); the plug-in may call back from its own threads, so what the callback touches
// is atomic or locked.
class VstHostedPlugin final : public HostedPlugin {
 public:
  explicit VstHostedPlugin(std::shared_ptr<VstModule> module) : mModule(std::move(module)) {}

  ~VstHostedPlugin() override {
    if (!mEffect) return;
    if (mActive) Deactivate();
    Dispatch(effClose);
    std::lock_guard guard(Registry().lock);
    std::erase_if(Registry().instances, [this](const auto& entry) { return entry.second == this; });
  }

  bool Create(std::string& error) {
    tConstructing = this;
    VstEffect* effect = mModule->Entry()(&HostCallback);
    tConstructing = nullptr;
    if (!effect || effect->magic != kEffectMagic) {
      error = "the plug-in's entry function returned no effect";
      return false;
    }
    {
      std::lock_guard guard(Registry().lock);
      Registry().instances.emplace_back(effect, this);
    }
    mEffect = effect;
    Dispatch(effOpen);
    mCockos = Dispatch(effCanDo, 0, 0, const_cast<char*>("hasCockosExtensions")) == 0xBEEF0000;
    return true;
  }

  std::string Name() const override {
    char name[256] = {};
    mEffect->dispatcher(mEffect, effGetEffectName, 0, 0, name, 0.0f);
    return name;
  }

  std::string Id() const override { return FourChars(mEffect->uniqueID); }

  std::string Vendor() {
    char vendor[256] = {};
    Dispatch(effGetVendorString, 0, 0, vendor);
    return vendor;
  }

  std::string Version() {
    // VST2 vendor versions are plain integers whose coding each vendor chooses.
    return std::to_string(Dispatch(effGetVendorVersion));
  }

  std::vector<ParamInfo> Params() override {
    std::vector<ParamInfo> params;
    for (int32_t i = 0; i < mEffect->numParams; ++i) {
      ParamInfo p;
      p.id = static_cast<uint32_t>(i);
      char name[256] = {};
      Dispatch(effGetParamName, i, 0, name);
      p.name = name;
      // Every VST2 parameter is seen normalised; the default is the value the plug-in started with.
      p.minValue = 0.0;
      p.maxValue = 1.0;
      p.defaultValue = i < static_cast<int32_t>(mInitialValues.size()) ? mInitialValues[static_cast<size_t>(i)]
                                                                        : mEffect->getParameter(mEffect, i);
      VstParameterProperties props{};
      if (Dispatch(effGetParameterProperties, i, 0, &props) == 1) {
        p.stepped = (props.flags & (kVstParameterIsSwitch | kVstParameterUsesIntStep)) != 0;
        // Entries lie evenly over the normalised range: two for a switch, one per whole number of the integer
        // range otherwise.
        const double count = (props.flags & kVstParameterIsSwitch) != 0 ? 2.0
                             : (props.flags & kVstParameterUsesIntegerMinMax) != 0
                                 ? double(props.maxInteger) - double(props.minInteger) + 1.0
                                 : 0.0;
        if (p.stepped && count >= 2.0 && count <= kMaxListedEntries)
          for (double k = 0.0; k < count; k += 1.0) p.entryValues.push_back(k / (count - 1.0));
      }
      p.automatable = Dispatch(effCanBeAutomated, i) == 1;
      params.push_back(std::move(p));
    }
    return params;
  }

  bool GetValue(uint32_t id, double& value) override {
    if (id >= static_cast<uint32_t>(mEffect->numParams)) return false;
    value = mEffect->getParameter(mEffect, static_cast<int32_t>(id));
    return true;
  }

  bool ValueToText(uint32_t id, double value, std::string& text) override {
    if (id >= static_cast<uint32_t>(mEffect->numParams)) return false;
    const auto index = static_cast<int32_t>(id);
    char buffer[256] = {};
    if (mCockos && Dispatch(effVendorSpecific, kCockosFormatValue, index, buffer, static_cast<float>(value)) ==
                       kCockosAnswer) {
      text = buffer;
    } else {
      // Without the extension only the current value has a text.
      if (static_cast<float>(value) != mEffect->getParameter(mEffect, index)) return false;
      Dispatch(effGetParamDisplay, index, 0, buffer);
      text = buffer;
    }
    char label[256] = {};
    Dispatch(effGetParamLabel, index, 0, label);
    if (label[0] != '\0') text += std::string(" ") + label;
    return true;
  }

  bool TextToValue(uint32_t id, const std::string& text, double& value) override {
    if (id >= static_cast<uint32_t>(mEffect->numParams) || text.size() > 200) return false;
    const auto index = static_cast<int32_t>(id);
    char buffer[256] = {};
    std::memcpy(buffer, text.c_str(), text.size());
    if (mCockos && Dispatch(effVendorSpecific, kCockosTextToValue, index, buffer) == kCockosAnswer) {
      value = std::strtod(buffer, nullptr);
      return std::isfinite(value);
    }
    // Otherwise the plug-in parses the text into the parameter, and the previous value is put back.
    const float before = mEffect->getParameter(mEffect, index);
    if (Dispatch(effString2Parameter, index, 0, buffer) == 0) return false;
    value = mEffect->getParameter(mEffect, index);
    mEffect->setParameter(mEffect, index, before);
    return true;
  }

  void QueueParamValue(uint32_t id, double value) override {
    if (id >= static_cast<uint32_t>(mEffect->numParams)) return;
    std::lock_guard guard(mPendingLock);
    mPending.emplace_back(static_cast<int32_t>(id), static_cast<float>(value));
  }

  void FlushParams() override {
    std::lock_guard guard(mPendingLock);
    for (const auto& [index, value] : mPending) mEffect->setParameter(mEffect, index, value);
    mPending.clear();
  }

  PortLayout Ports() override {
    PortLayout ports;
    ports.inputChannels = static_cast<uint32_t>(std::max(mEffect->numInputs, 0));
    ports.outputChannels = static_cast<uint32_t>(std::max(mEffect->numOutputs, 0));
    ports.supports64 = (mEffect->flags & effFlagsCanDoubleReplacing) != 0;
    return ports;
  }

  bool SetOffline(bool offline) override {
    mOffline.store(offline);
    return true;
  }

  void SetSamplePrecision(bool use64) override { mUse64 = use64; }

  bool Activate(double sampleRate, uint32_t maxFrames) override {
    if (mActive) return true;
    mSampleRate.store(sampleRate);
    mBlockSize.store(maxFrames);
    mMaxFrames = maxFrames;
    // As DAWs do: rate, block size and sample precision while suspended, then resume. The process level the
    // host answers from here on already tells an offline render, so the plug-in can set itself up for it.
    mActivating = true;
    Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    Dispatch(effSetBlockSize, 0, static_cast<VstIntPtr>(maxFrames));
    Dispatch(effSetProcessPrecision, 0,
             mUse64 ? kVstProcessPrecision64 : kVstProcessPrecision32);
    Dispatch(effMainsChanged, 0, 1);
    mActivating = false;
    mActive = true;
    return true;
  }

  void Deactivate() override {
    if (!mActive) return;
    Dispatch(effMainsChanged, 0, 0);
    mActive = false;
  }

  bool IsActive() const override { return mActive; }

  uint32_t Latency() override {
    return static_cast<uint32_t>(std::max(std::atomic_ref<int32_t>(mEffect->initialDelay).load(), 0));
  }

  uint32_t Tail() override {
    const VstIntPtr tail = Dispatch(effGetTailSize);
    return tail <= 1 ? 0 : static_cast<uint32_t>(std::min<VstIntPtr>(tail, UINT32_MAX));
  }

  bool StartProcessing() override {
    Dispatch(effStartProcess);
    mProcessing.store(true);
    return true;
  }

  void StopProcessing() override {
    if (mProcessing.exchange(false)) Dispatch(effStopProcess);
  }

  int Process(const AudioBlock& block) override {
    if (!mActive || !mProcessing.load() || block.frames > mMaxFrames) return -1;
    // Values queued from the main thread go in without waiting: if the lock is busy they go next block.
    if (mPendingLock.try_lock()) {
      for (const auto& [index, value] : mPending) mEffect->setParameter(mEffect, index, value);
      mPending.clear();
      mPendingLock.unlock();
    }
    const auto frames = static_cast<int32_t>(block.frames);
    if (block.out64) {
      if (!mEffect->processDoubleReplacing) return -1;
      mEffect->processDoubleReplacing(mEffect, const_cast<double**>(block.in64), const_cast<double**>(block.out64),
                                      frames);
    } else {
      if (!mEffect->processReplacing) return -1;
      mEffect->processReplacing(mEffect, const_cast<float**>(block.in32), const_cast<float**>(block.out32), frames);
    }
    mSamplePos.store(mSamplePos.load() + block.frames);
    return 1;
  }

  bool SaveState(std::vector<uint8_t>& bytes) override {
    void* data = nullptr;
    const VstIntPtr size = Dispatch(effGetChunk, 1, 0, &data);
    if (size > 0 && data) {
      const auto* p = static_cast<const uint8_t*>(data);
      bytes.assign(p, p + size);
      return true;
    }
    bytes.assign(kParamStateMagic, kParamStateMagic + 4);
    const int32_t n = mEffect->numParams;
    bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(&n), reinterpret_cast<const uint8_t*>(&n) + 4);
    for (int32_t i = 0; i < n; ++i) {
      const float v = mEffect->getParameter(mEffect, i);
      bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(&v), reinterpret_cast<const uint8_t*>(&v) + 4);
    }
    return true;
  }

  bool LoadState(const std::vector<uint8_t>& bytes) override {
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), kParamStateMagic, 4) == 0) {
      int32_t n = 0;
      std::memcpy(&n, bytes.data() + 4, 4);
      if (n != mEffect->numParams || bytes.size() != 8 + 4 * static_cast<size_t>(n)) return false;
      for (int32_t i = 0; i < n; ++i) {
        float v = 0.0f;
        std::memcpy(&v, bytes.data() + 8 + 4 * static_cast<size_t>(i), 4);
        if (!std::isfinite(v)) return false;
        mEffect->setParameter(mEffect, i, v);
      }
      return true;
    }
    std::vector<uint8_t> copy = bytes;
    return Dispatch(effSetChunk, 1, static_cast<VstIntPtr>(copy.size()), copy.data()) == 1;
  }

  void PumpMainThread(int timeoutMs) override {
    std::unique_lock lock(mWakeLock);
    mWake.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)), [this] { return mWoken; });
    mWoken = false;
  }

  bool TakeRestartRequest() override { return mRestartPending.exchange(false); }

  HostRequests Requests() const override {
    HostRequests r;
    r.restartRequests = mIoChanged.load();
    r.latencyChanged = mIoChanged.load();
    r.latencyChangedOutsideActivate = mIoChanged.load();
    r.paramValuesFromPlugin = mAutomations.load();
    r.gesturesFromPlugin = mGestures.load();
    return r;
  }

  void RememberInitialValues() {
    mInitialValues.clear();
    for (int32_t i = 0; i < mEffect->numParams; ++i) mInitialValues.push_back(mEffect->getParameter(mEffect, i));
  }

 private:
  VstIntPtr Dispatch(int32_t opcode, int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
    return mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt);
  }

  static VstIntPtr HostCallback(VstEffect* effect, int32_t opcode, int32_t index, VstIntPtr value, void* ptr,
                                float opt) {
    VstHostedPlugin* self = tConstructing;
    if (effect != nullptr) {
      std::lock_guard guard(Registry().lock);
      for (const auto& [e, host] : Registry().instances)
        if (e == effect) self = host;
    }
    return self != nullptr ? self->OnHostCall(opcode, index, value, ptr, opt) : HostAnswerWithoutInstance(opcode);
  }

  static VstIntPtr HostAnswerWithoutInstance(int32_t opcode) {
    return opcode == audioMasterVersion ? kVstVersion : 0;
  }

  VstIntPtr OnHostCall(int32_t opcode, int32_t /*index*/, VstIntPtr /*value*/, void* ptr, float /*opt*/) {
    switch (opcode) {
      case audioMasterVersion:
        return kVstVersion;
      case audioMasterAutomate:
        mAutomations.fetch_add(1);
        return 0;
      case audioMasterBeginEdit:
      case audioMasterEndEdit:
        mGestures.fetch_add(1);
        return 1;
      case audioMasterIOChanged:
        // A VST2 plug-in announces a new latency (initialDelay) this way; like a DAW, re-activate it. A change
        // made while it is being activated is read with the activation.
        mIoChanged.fetch_add(1);
        if (!mActivating) {
          mRestartPending.store(true);
          Wake();
        }
        return 1;
      case audioMasterGetTime: {
        std::lock_guard guard(mTimeLock);
        mTimeInfo = VstTimeInfo{};
        mTimeInfo.samplePos = static_cast<double>(mSamplePos.load());
        mTimeInfo.sampleRate = mSampleRate.load();
        mTimeInfo.tempo = 120.0;
        mTimeInfo.ppqPos = mTimeInfo.samplePos / mTimeInfo.sampleRate * 2.0;
        mTimeInfo.timeSigNumerator = 4;
        mTimeInfo.timeSigDenominator = 4;
        mTimeInfo.flags = kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid |
                          (mProcessing.load() ? kVstTransportPlaying : 0);
        return reinterpret_cast<VstIntPtr>(&mTimeInfo);
      }
      case audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(mSampleRate.load());
      case audioMasterGetBlockSize:
        return static_cast<VstIntPtr>(mBlockSize.load());
      case audioMasterGetCurrentProcessLevel:
        return mOffline.load() ? kVstProcessLevelOffline : kVstProcessLevelRealtime;
      case audioMasterGetVendorString:
        if (ptr) std::snprintf(static_cast<char*>(ptr), 64, "%s", "Ondrell Audio");
        return 1;
      case audioMasterGetProductString:
        if (ptr) std::snprintf(static_cast<char*>(ptr), 64, "%s", "quorl-host");
        return 1;
      case audioMasterGetVendorVersion:
        return 40100;
      case audioMasterCanDo: {
        const char* query = static_cast<const char*>(ptr);
        return query && (std::strcmp(query, "sendVstTimeInfo") == 0 || std::strcmp(query, "sendVstEvents") == 0 ||
                         std::strcmp(query, "receiveVstEvents") == 0)
                   ? 1
                   : 0;
      }
      case audioMasterWantMidi:
      case audioMasterProcessEvents:
      case audioMasterUpdateDisplay:
        return 1;
      default:
        return 0;
    }
  }

  void Wake() {
    {
      std::lock_guard guard(mWakeLock);
      mWoken = true;
    }
    mWake.notify_all();
  }

  std::shared_ptr<VstModule> mModule;
  VstEffect* mEffect = nullptr;
  bool mCockos = false;
  bool mActive = false;
  uint32_t mMaxFrames = 0;
  std::vector<float> mInitialValues;
  std::atomic<bool> mProcessing{false};
  std::atomic<bool> mOffline{false};
  std::atomic<double> mSampleRate{48000.0};
  std::atomic<uint32_t> mBlockSize{512};
  std::atomic<uint64_t> mSamplePos{0};
  std::mutex mTimeLock;
  VstTimeInfo mTimeInfo{};

  std::mutex mPendingLock;
  std::vector<std::pair<int32_t, float>> mPending;

  std::atomic<bool> mRestartPending{false};
  bool mActivating = false;  // inside Activate, on the main thread
  bool mUse64 = true;        // the sample precision announced at activation
  std::atomic<uint32_t> mIoChanged{0};
  std::atomic<uint32_t> mAutomations{0};
  std::atomic<uint32_t> mGestures{0};
  std::mutex mWakeLock;
  std::condition_variable mWake;
  bool mWoken = false;
};

class VstLibrary final : public PluginLibrary {
 public:
  explicit VstLibrary(std::shared_ptr<VstModule> module) : mModule(std::move(module)) {}

  std::vector<PluginEntry> Plugins() const override {
    // A VST2 file holds one plug-in; its identity needs an instance.
    VstHostedPlugin probe(mModule);
    std::string error;
    if (!probe.Create(error)) return {};
    PluginEntry e;
    e.id = probe.Id();
    e.name = probe.Name();
    e.vendor = probe.Vendor();
    e.version = probe.Version();
    e.description = "VST 2.4 plug-in";
    e.features = {"audio-effect"};
    return {e};
  }

  std::unique_ptr<HostedPlugin> Create(const std::string& id, uint32_t /*trackChannels*/,
                                       std::string& error) override {
    auto plugin = std::make_unique<VstHostedPlugin>(mModule);
    if (!plugin->Create(error)) return nullptr;
    if (!id.empty() && plugin->Id() != id) {
      error = "this file holds the plug-in " + plugin->Id() + ", not " + id;
      return nullptr;
    }
    plugin->RememberInitialValues();
    return plugin;
  }

 private:
  std::shared_ptr<VstModule> mModule;
};

}  // namespace

std::unique_ptr<PluginLibrary> OpenVstLibrary(const std::string& path, std::string& error) {
  auto module = std::make_shared<VstModule>();
  if (!module->Open(path, error)) return nullptr;
  return std::make_unique<VstLibrary>(std::move(module));
}

}  // namespace ondrell::host
