#include "vst2/IPluginVST2.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "core/Trace.h"
#include "graphics/IGraphicsTypes.h"
#include "vst2/VstHostText.h"
#include "vst2/VstKeyCode.h"
#include "vst2/VstTransport.h"

namespace ondrell {

using namespace vst;

namespace {

constexpr int32_t kLastDispatcherOpcode = 69;
constexpr VstIntPtr kCockosAnswer = 0xBEEF;
constexpr VstIntPtr kCockosCanDo = 0xBEEF0000;
constexpr int32_t kCockosFormatValue = 7;      // effVendorSpecific: normalised value -> display text
constexpr int32_t kCockosIsSwitch = 8;         // effVendorSpecific: is the parameter a switch
constexpr int32_t kCockosTextToValue = 27;     // effVendorSpecific: display text -> normalised value
constexpr VstIntPtr kInfiniteTail = INT_MAX;

// Set while an idle-thread tick runs on this thread: host notifications made by the tick wait until the tick has
// left the main-thread gate.
thread_local bool tInIdleThreadTick = false;

int32_t ArrangementType(int nChannels) {
  switch (nChannels) {
    case 0: return kSpeakerArrEmpty;
    case 1: return kSpeakerArrMono;
    case 2: return kSpeakerArrStereo;
    default: return kSpeakerArrUserDefined;
  }
}

// Opcodes the host may call from its audio thread, or that read nothing the idle tick changes: they never wait
// for the main-thread gate.
bool BypassesGate(int32_t opcode) {
  switch (opcode) {
    case effProcessEvents:
    case effIdentify:
    case effGetPlugCategory:
    case effGetVendorVersion:
    case effCanDo:
    case effGetTailSize:
    case effGetVstVersion:
      return true;
    default:
      return false;
  }
}

// An int parameter from a pointer-sized host value; out-of-range values become -1 (an index no list has).
int IntFromHost(VstIntPtr value) {
  return value < INT_MIN || value > INT_MAX ? -1 : static_cast<int>(value);
}

// The key text for the host's character code: ASCII as one byte, Latin-1 codes as their two-byte UTF-8 form.
void KeyText(int32_t character, char (&text)[3]) {
  text[0] = text[1] = text[2] = '\0';
  if (character > 0 && character < 0x80) {
    text[0] = static_cast<char>(character);
  } else if (character >= 0x80 && character < 0x100) {
    text[0] = static_cast<char>(0xC0 | (character >> 6));
    text[1] = static_cast<char>(0x80 | (character & 0x3F));
  }
}

}  // namespace

IPluginVST2::IPluginVST2(const Config& config, const CreationArgs& args)
    : IPluginAPIBase(config, PluginApi::VST2), IPluginProcessor(config), mHostCallback(args.hostCallback) {
  const int nIn = NChannels(RouteDirection::Input);
  const int nOut = NChannels(RouteDirection::Output);

  mEffect.magic = kEffectMagic;
  mEffect.dispatcher = &IPluginVST2::DispatcherProc;
  mEffect.process = &IPluginVST2::ProcessAccumulatingProc;
  mEffect.setParameter = &IPluginVST2::SetParameterProc;
  mEffect.getParameter = &IPluginVST2::GetParameterProc;
  mEffect.numPrograms = config.nPresets;
  mEffect.numParams = NParams();
  mEffect.numInputs = nIn;
  mEffect.numOutputs = nOut;
  int32_t flags = effFlagsCanDoubleReplacing | effFlagsCanReplacing;
  if (DoesStateChunks()) flags |= effFlagsProgramChunks;
  if (LegalIO(1, -1)) flags |= effFlagsCanMono;
  if (GetPluginKind() == 1) flags |= effFlagsIsSynth;
  if (HasEditor()) flags |= effFlagsHasEditor;
  mEffect.flags = flags;
  mEffect.initialDelay = config.latency;
  mEffect.ioRatio = 1.0f;
  mEffect.object = this;
  mEffect.uniqueID = GetUniqueId();
  mEffect.version = GetPluginVersion(true);
  mEffect.processReplacing = &IPluginVST2::ProcessReplacingProc;
  mEffect.processDoubleReplacing = &IPluginVST2::ProcessDoubleReplacingProc;

  mInputArrangement.type = ArrangementType(nIn);
  mInputArrangement.numChannels = nIn;
  mOutputArrangement.type = ArrangementType(nOut);
  mOutputArrangement.numChannels = nOut;

  for (int dir = 0; dir < 2; ++dir) {
    const int n = NChannels(static_cast<RouteDirection>(dir));
    mSlice32[dir].assign(static_cast<size_t>(n), nullptr);
    mSlice64[dir].assign(static_cast<size_t>(n), nullptr);
  }

  SetChannelsConnected(RouteDirection::Input, 0, nIn, true);
  SetChannelsConnected(RouteDirection::Output, 0, nOut, true);
  SetBlockSize(512);
  if (HasEditor()) {
    mEditorRect.top = 0;
    mEditorRect.left = 0;
    mEditorRect.bottom = static_cast<int16_t>(std::clamp(GetEditorHeight(), 0, SHRT_MAX));
    mEditorRect.right = static_cast<int16_t>(std::clamp(GetEditorWidth(), 0, SHRT_MAX));
  }
}

IPluginVST2::~IPluginVST2() {
  StopIdleThread();
  StopIdleTimer();
}

void IPluginVST2::StartIdleThread() {
  if (!mIdleThreadTimer)
    mIdleThreadTimer =
        std::make_unique<IdleThreadTimer>([this](Timer& timer) { IdleThreadTick(timer); }, kIdleTimerPeriodMs);
}

void IPluginVST2::StopIdleThread() {
  if (mIdleThreadTimer) mIdleThreadTimer->Stop();
}

void IPluginVST2::IdleThreadTick(Timer& timer) {
  {
    // A busy gate means the host is in the dispatcher right now; this tick is skipped, the next one comes 20 ms
    // later. Ticks never wait for the host's main thread.
    std::unique_lock gate(mMainThreadGate, std::try_to_lock);
    if (!gate.owns_lock() || mEditorOpen) return;
    tInIdleThreadTick = true;
    OnIdleTimer(timer);
    tInIdleThreadTick = false;
  }
  if (mIOChangedPending.exchange(false)) HostCall(audioMasterIOChanged);
}

void IPluginVST2::SwitchIdleDrive(bool editorOpen) {
  if (editorOpen) {
    mEditorOpen = true;
    StartIdleTimer(Timer::Drive::HostMainThread);
  } else {
    StopIdleTimer();
    mEditorOpen = false;
  }
}

VstIntPtr IPluginVST2::HostCall(int32_t opcode, int32_t index, VstIntPtr value, void* ptr, float opt) {
  return mHostCallback != nullptr ? mHostCallback(&mEffect, opcode, index, value, ptr, opt) : 0;
}

// ---- Core overrides ------------------------------------------------------------------------------------------

void IPluginVST2::OnHostSpecificSetup() {
  mControlsFromProperties = GetHostId() == HostId::Ardour || GetHostId() == HostId::Mixbus;
  switch (GetHostId()) {
    case HostId::Forte:
    case HostId::Audition:
    case HostId::Orion:
    case HostId::SAWStudio:
      RestrictToStereo();
      break;
    default:
      break;
  }
  mEffect.numInputs = mInputArrangement.numChannels = NChannels(RouteDirection::Input);
  mEffect.numOutputs = mOutputArrangement.numChannels = NChannels(RouteDirection::Output);
}

bool IPluginVST2::RequestEditorResize(int width, int height) {
  if (!HasEditor() || (width == GetEditorWidth() && height == GetEditorHeight())) return false;
  SetEditorSize(width, height);
  mEditorRect.top = 0;
  mEditorRect.left = 0;
  mEditorRect.bottom = static_cast<int16_t>(std::clamp(height, 0, SHRT_MAX));
  mEditorRect.right = static_cast<int16_t>(std::clamp(width, 0, SHRT_MAX));
  return HostCall(audioMasterSizeWindow, width, height) != 0;
}

void IPluginVST2::BeginParamEdit(int paramIdx) { HostCall(audioMasterBeginEdit, paramIdx); }

void IPluginVST2::EndParamEdit(int paramIdx) { HostCall(audioMasterEndEdit, paramIdx); }

void IPluginVST2::InformHostOfParamValue(int paramIdx, double normalised) {
  const IParam* param = GetParam(paramIdx);
  const double value = param != nullptr && InOwnUnits(*param) ? param->FromNormalised(normalised) : normalised;
  HostCall(audioMasterAutomate, paramIdx, 0, nullptr, static_cast<float>(value));
}

bool IPluginVST2::SendMidiMsg(const MidiMsg& msg) {
  VstMidiEvent event{};
  event.type = kVstMidiType;
  event.byteSize = static_cast<int32_t>(sizeof(VstMidiEvent));
  event.deltaFrames = msg.offset;
  event.midiData[0] = static_cast<char>(msg.status);
  event.midiData[1] = static_cast<char>(msg.data1);
  event.midiData[2] = static_cast<char>(msg.data2);
  VstEventList<1> list{};
  list.numEvents = 1;
  list.events[0] = reinterpret_cast<VstEvent*>(&event);
  return HostCall(audioMasterProcessEvents, 0, 0, &list) == 1;
}

bool IPluginVST2::SendSysEx(const SysExMsg& msg) {
  VstMidiSysexEvent event{};
  event.type = kVstSysExType;
  event.byteSize = static_cast<int32_t>(sizeof(VstMidiSysexEvent));
  event.deltaFrames = msg.offset;
  event.dumpBytes = msg.size;
  // The host only reads the dump; the interface's field is not const.
  event.sysexDump = const_cast<char*>(reinterpret_cast<const char*>(msg.data));
  VstEventList<1> list{};
  list.numEvents = 1;
  list.events[0] = reinterpret_cast<VstEvent*>(&event);
  return HostCall(audioMasterProcessEvents, 0, 0, &list) == 1;
}

void IPluginVST2::SetLatency(int samples) {
  // Hosts read initialDelay from any thread; the store is atomic so no reader sees a torn value.
  std::atomic_ref<int32_t>(mEffect.initialDelay).store(samples);
  IPluginProcessor::SetLatency(samples);
  if (tInIdleThreadTick)
    mIOChangedPending.store(true);
  else
    HostCall(audioMasterIOChanged);
}

// ---- Effect record functions ---------------------------------------------------------------------------------

VstIntPtr IPluginVST2::DispatcherProc(VstEffect* effect, int32_t opcode, int32_t index, VstIntPtr value, void* ptr,
                                      float opt) {
  IPluginVST2* plugin = effect != nullptr ? static_cast<IPluginVST2*>(effect->object) : nullptr;
  if (plugin == nullptr || opcode > kLastDispatcherOpcode) return 0;
  if (opcode == effClose) {
    // The idle thread may be inside a host call that re-enters the dispatcher, so it is stopped before anything
    // is locked; after that the object, and the effect record inside it, are gone.
    plugin->StopIdleThread();
    delete plugin;
    return 0;
  }
  try {
    return plugin->Dispatch(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;  // nothing may unwind into the host
  }
}

void IPluginVST2::ProcessAccumulatingProc(VstEffect* effect, float** inputs, float** outputs, int32_t frames) {
  static_cast<IPluginVST2*>(effect->object)->ProcessHostBlock(inputs, outputs, frames, ProcessKind::Accumulating32);
}

void IPluginVST2::ProcessReplacingProc(VstEffect* effect, float** inputs, float** outputs, int32_t frames) {
  static_cast<IPluginVST2*>(effect->object)->ProcessHostBlock(inputs, outputs, frames, ProcessKind::Replacing32);
}

void IPluginVST2::ProcessDoubleReplacingProc(VstEffect* effect, double** inputs, double** outputs, int32_t frames) {
  static_cast<IPluginVST2*>(effect->object)->ProcessHostBlock(inputs, outputs, frames, ProcessKind::Replacing64);
}

void IPluginVST2::SetParameterProc(VstEffect* effect, int32_t index, float value) {
  static_cast<IPluginVST2*>(effect->object)->SetParameter(index, value);
}

float IPluginVST2::GetParameterProc(VstEffect* effect, int32_t index) {
  return static_cast<const IPluginVST2*>(effect->object)->GetParameter(index);
}

// ---- Dispatcher ----------------------------------------------------------------------------------------------

VstIntPtr IPluginVST2::Dispatch(int32_t opcode, int32_t index, VstIntPtr value, void* ptr, float opt) {
  std::unique_lock gate(mMainThreadGate, std::defer_lock);
  if (!BypassesGate(opcode)) gate.lock();

  auto* text = static_cast<char*>(ptr);
  const IParam* param = GetParam(index);

  switch (opcode) {
    case effOpen:
      IdentifyHostAtOpen();
      OnParamsReset(ParamChangeSource::Reset);
      return 0;
    case effSetProgram:
      if (!DoesStateChunks()) ModifyCurrentPreset(nullptr);
      RecallPreset(IntFromHost(value));
      return 0;
    case effGetProgram:
      return GetCurrentPresetIndex();
    case effSetProgramName:
      if (text != nullptr) {
        const std::string name(TextFromHost(text));
        ModifyCurrentPreset(name.c_str());
        OnPresetListChanged();
      }
      return 0;
    case effGetProgramName:
      if (text != nullptr) CopyTextToHost(text, GetPresetName(GetCurrentPresetIndex()), kHostProgramNameChars);
      return 0;
    case effGetParamLabel:
      if (param != nullptr && text != nullptr) CopyTextToHost(text, param->DisplayLabel(), kHostParamTextChars);
      return 0;
    case effGetParamDisplay:
      if (param != nullptr && text != nullptr) {
        param->FormatValue(param->Value(), false, mParamDisplayText, true);
        CopyTextToHost(text, mParamDisplayText, kHostParamTextChars);
      }
      return 0;
    case effGetParamName:
      if (param != nullptr && text != nullptr) CopyTextToHost(text, param->GetName(), kHostParamTextChars);
      return 0;
    case effSetSampleRate:
      // A rate that is not a positive finite number would poison every filter coefficient: it is refused.
      if (std::isfinite(opt) && opt > 0.0f) {
        SetSampleRate(static_cast<double>(opt));
        OnReset();
      }
      return 0;
    case effSetBlockSize:
      // Block sizes below 1 are refused (processing could never advance); larger ones than the buffers are
      // sized for are capped, and longer host blocks processed in slices.
      if (value >= 1) {
        SetBlockSize(static_cast<int>(std::min<VstIntPtr>(value, kMaxBlockSize)));
        OnReset();
      }
      return 0;
    case effMainsChanged:
      if (value != 0) {
        TakeProcessLevelAtResume();
        OnActivate(true);
      } else {
        OnActivate(false);
        OnReset();
      }
      return 0;
    case effEditGetRect:
      if (ptr == nullptr || !HasEditor()) return 0;
      mEditorRect.top = 0;
      mEditorRect.left = 0;
      mEditorRect.bottom = static_cast<int16_t>(std::clamp(GetEditorHeight(), 0, SHRT_MAX));
      mEditorRect.right = static_cast<int16_t>(std::clamp(GetEditorWidth(), 0, SHRT_MAX));
      *static_cast<ERect**>(ptr) = &mEditorRect;
      return 1;
    case effEditOpen:
      // The editor is made inside the host's window; without one there is nothing to open it in.
      if (ptr == nullptr || OpenWindow(ptr) == nullptr) return 0;
      SwitchIdleDrive(true);
      return 1;
    case effEditClose:
      if (!HasEditor()) return 0;
      CloseWindow();
      SwitchIdleDrive(false);
      return 1;
    case effEditIdle:
      // While a view is open the host's idle calls drive every main-thread timer (the idle tick among them).
      if (mEditorOpen) Timer::PumpMainThreadTimers();
      return 0;
    case effIdentify:
      return kEffectIdentify;
    case effGetChunk:
      return GetChunk(index != 0, static_cast<void**>(ptr));
    case effSetChunk:
      return SetChunk(index != 0, ptr, value);
    case effProcessEvents:
      return ProcessEvents(static_cast<const VstEvents*>(ptr));
    case effCanBeAutomated:
      return param != nullptr && !param->HasFlag(IParam::FlagNoAutomation) ? 1 : 0;
    case effString2Parameter:
      return String2Parameter(index, text);
    case effGetProgramNameIndexed: {
      if (text == nullptr) return 0;
      const char* name = GetPresetName(index);
      CopyTextToHost(text, name, kHostProgramNameChars);
      return name[0] != '\0' ? 1 : 0;
    }
    case effGetInputProperties:
      return PinProperties(RouteDirection::Input, index, static_cast<VstPinProperties*>(ptr));
    case effGetOutputProperties:
      return PinProperties(RouteDirection::Output, index, static_cast<VstPinProperties*>(ptr));
    case effGetPlugCategory:
      return GetPluginKind() == 1 ? kPlugCategSynth : kPlugCategEffect;
    case effSetSpeakerArrangement:
      return SetSpeakerArrangement(reinterpret_cast<const VstSpeakerArrangement*>(value),
                                   static_cast<const VstSpeakerArrangement*>(ptr));
    case effGetEffectName:
      if (text == nullptr) return 0;
      CopyTextToHost(text, GetPluginName(), kHostEffectNameChars);
      return 1;
    case effGetVendorString:
      if (text == nullptr) return 0;
      CopyTextToHost(text, GetMakerName(), kHostVendorTextChars);
      return 1;
    case effGetProductString:
      if (text == nullptr) return 0;
      CopyTextToHost(text, GetProductName(), kHostVendorTextChars);
      return 1;
    case effGetVendorVersion:
      return GetPluginVersion(true);
    case effVendorSpecific:
      return VendorSpecific(index, value, ptr, opt);
    case effCanDo:
      return CanDo(text);
    case effGetTailSize: {
      const int tail = GetTailSize();
      if (tail == 0) return 1;
      return tail < 0 ? kInfiniteTail : tail;
    }
    case effGetParameterProperties:
      return ParameterProperties(index, static_cast<VstParameterProperties*>(ptr));
    case effGetVstVersion:
      return kVstVersion;
    case effEditKeyDown:
      return KeyEvent(true, index, value, opt);
    case effEditKeyUp:
      return KeyEvent(false, index, value, opt);
    case effGetMidiKeyName: {
      auto* key = static_cast<MidiKeyName*>(ptr);
      if (key == nullptr) return 0;
      key->keyName[0] = '\0';
      std::string name;
      if (!GetMidiNoteText(key->thisKeyNumber, name)) return 0;
      CopyTextToHost(key->keyName, name, kHostRecordLabelChars);
      return 1;
    }
    case effGetSpeakerArrangement:
      if (value != 0) *reinterpret_cast<VstSpeakerArrangement**>(value) = &mInputArrangement;
      if (ptr != nullptr) *static_cast<VstSpeakerArrangement**>(ptr) = &mOutputArrangement;
      return 1;
    default:
      return 0;
  }
}

void IPluginVST2::IdentifyHostAtOpen() {
  if (GetHostId() != HostId::NotIdentified) return;
  // The interface documents 64 bytes for the product string; a larger zeroed buffer leaves room for hosts that
  // write more, and its last byte always stays a terminator.
  char name[256] = {};
  HostCall(audioMasterGetProductString, 0, 0, name);
  name[sizeof name - 1] = '\0';
  int version = 0;
  if (name[0] != '\0') {
    // The host's version is decimal-coded (major * 10000 + minor * 100 + patch); the core keeps it packed.
    const long long v = std::clamp<long long>(HostCall(audioMasterGetVendorVersion), 0, INT_MAX);
    version = static_cast<int>((v / 10000) * 65536 + ((v % 10000) / 100) * 256 + v % 100);
  }
  SetHost(name, version);
}

VstIntPtr IPluginVST2::GetChunk(bool isProgram, void** data) {
  if (data == nullptr) return 0;
  ByteChunk& chunk = isProgram ? mProgramChunk : mBankChunk;
  chunk.Clear();
  chunk.Append(kChunkMagic);
  chunk.Append(kChunkVersion);
  bool ok;
  if (isProgram) {
    ok = SerializeState(chunk);
  } else {
    ModifyCurrentPreset(nullptr);
    ok = SerializePresets(chunk);
  }
  if (!ok || chunk.Size() == 0) return 0;
  *data = chunk.Data();
  return chunk.Size();
}

VstIntPtr IPluginVST2::SetChunk(bool isProgram, const void* data, VstIntPtr size) {
  if (data == nullptr || size < 0 || size > INT_MAX) return 0;
  ByteChunk& chunk = isProgram ? mProgramChunk : mBankChunk;
  chunk.Clear();
  chunk.AppendBytes(data, static_cast<int>(size));
  if (chunk.Size() != size) return 0;

  int pos = 0;
  int32_t version = 0;
  int32_t magic = 0;
  if (chunk.Read(magic, 0) >= 0 && magic == kChunkMagic) pos = chunk.Read(version, 4);  // -1 when cut short
  if (pos < 0) return 0;

  // A load that fails part-way must not leave some parameters (or presets) changed: everything is kept aside
  // first and put back when the chunk turns out to be unreadable.
  ByteChunk savedState;
  ByteChunk savedPresets;
  SerializeState(savedState);
  SerializePresets(savedPresets);

  if (!isProgram && version >= kChunkVersion) {
    pos = UnserializePresets(chunk, pos);
  } else {
    pos = UnserializeState(chunk, pos);
    ModifyCurrentPreset(nullptr);
  }
  if (pos < 0) {
    UnserializePresets(savedPresets, 0);
    UnserializeState(savedState, 0);
    return 0;
  }
  OnStateRestored();
  return 1;
}

VstIntPtr IPluginVST2::String2Parameter(int32_t index, char* text) {
  if (text == nullptr) return 1;  // the host asks whether texts are accepted at all
  IParam* param = GetParam(index);
  if (param == nullptr) return 0;
  const std::string typed(TextFromHost(text));
  double v = 0.0;
  if (!ReadTypedValue(*param, typed.c_str(), v) || !param->SetValue(v)) return 0;
  QueueParamValueForEditor(index, v, false);
  OnParamChange(index, ParamChangeSource::Host, -1);
  return 1;
}

VstIntPtr IPluginVST2::ProcessEvents(const VstEvents* events) {
  if (events == nullptr) return 0;
  for (int32_t i = 0; i < events->numEvents; ++i) {
    const VstEvent* event = events->events[i];
    if (event == nullptr) continue;
    if (event->type == kVstMidiType) {
      const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
      MidiMsg msg;
      msg.offset = midi->deltaFrames;
      msg.status = static_cast<uint8_t>(midi->midiData[0]);
      msg.data1 = static_cast<uint8_t>(midi->midiData[1]);
      msg.data2 = static_cast<uint8_t>(midi->midiData[2]);
      ProcessMidiMsg(msg);
      QueueMidiForEditor(msg);
    } else if (event->type == kVstSysExType) {
      const auto* sysex = reinterpret_cast<const VstMidiSysexEvent*>(event);
      ProcessSysEx(SysExMsg{sysex->deltaFrames, sysex->dumpBytes, reinterpret_cast<const uint8_t*>(sysex->sysexDump)});
    }
  }
  return 1;
}

VstIntPtr IPluginVST2::PinProperties(RouteDirection direction, int32_t index, VstPinProperties* props) const {
  const int nSlots = NChannels(direction);
  if (props == nullptr || index < 0 || index >= nSlots) return 0;
  props->flags = kVstPinIsActive;
  if (index % 2 == 0 && index < nSlots - 1) props->flags = kVstPinIsActive | kVstPinIsStereo;
  std::snprintf(props->label, sizeof props->label, direction == RouteDirection::Input ? "Input %d" : "Output %d",
                index + 1);
  return 1;
}

VstIntPtr IPluginVST2::SetSpeakerArrangement(const VstSpeakerArrangement* inputs,
                                             const VstSpeakerArrangement* outputs) {
  // A negative channel count is as unusable as one that is too large.
  if (inputs != nullptr) {
    const int n = inputs->numChannels;
    if (n < 0 || n > mEffect.numInputs) return 0;
    SetChannelsConnected(RouteDirection::Input, 0, n, true);
    SetChannelsConnected(RouteDirection::Input, n, NChannels(RouteDirection::Input) - n, false);
  }
  if (outputs == nullptr) return 1;
  const int n = outputs->numChannels;
  if (n < 0 || n > mEffect.numOutputs) return 0;
  SetChannelsConnected(RouteDirection::Output, 0, n, true);
  SetChannelsConnected(RouteDirection::Output, n, NChannels(RouteDirection::Output) - n, false);
  return 1;
}

VstIntPtr IPluginVST2::ParameterProperties(int32_t index, VstParameterProperties* props) const {
  const IParam* param = GetParam(index);
  if (props == nullptr || param == nullptr) return 0;
  switch (param->GetKind()) {
    case ParamKind::Bool:
      props->flags = kVstParameterIsSwitch;
      break;
    case ParamKind::Int:
    case ParamKind::Enum:
      props->flags = kVstParameterUsesIntegerMinMax | kVstParameterUsesIntStep;
      props->minInteger = static_cast<int32_t>(param->GetMin());
      props->maxInteger = static_cast<int32_t>(param->GetMax());
      props->stepInteger = 1;
      props->largeStepInteger = 1;
      break;
    case ParamKind::Double:
    case ParamKind::None: {
      // Hosts that build their controls from these properties take the step in the normalised range they
      // control; there the parameter's own step (0.1 dB of 40) would leave only eleven positions.
      const double range = param->GetMax() - param->GetMin();
      const double step = HostBuildsControlsFromProperties() && range > 0.0 ? param->GetStep() / range
                                                                             : param->GetStep();
      props->flags = kVstParameterUsesFloatStep;
      props->stepFloat = props->smallStepFloat = props->largeStepFloat = static_cast<float>(step);
      break;
    }
  }
  CopyTextToHost(props->label, HostBuildsControlsFromProperties() ? param->GetName() : param->DisplayLabel(),
                 kHostRecordLabelChars);
  return 1;
}

VstIntPtr IPluginVST2::KeyEvent(bool down, int32_t character, VstIntPtr vstKey, float modifiers) {
  constexpr VstIntPtr kVstKeySpace = 7;
  // Reaper sends its own shortcuts through here; only the space bar is left to the editor there.
  if (GetHostId() == HostId::Reaper && vstKey != kVstKeySpace) return 0;
  const int bits = std::isfinite(modifiers) && modifiers >= 0.0f && modifiers < 256.0f ? static_cast<int>(modifiers)
                                                                                         : 0;
  char keyText[3];
  KeyText(character, keyText);
  const int vk = WindowsVirtualKeyFromVst(static_cast<int>(std::clamp<VstIntPtr>(vstKey, -1, INT_MAX)), character);
  const graphics::IKeyPress key(keyText, vk, (bits & 1) != 0, (bits & 8) != 0, (bits & 2) != 0);
  return (down ? OnHostKeyDown(key) : OnHostKeyUp(key)) ? 1 : 0;
}

VstIntPtr IPluginVST2::CanDo(const char* query) {
  if (query == nullptr) return 0;
  const std::string_view q = TextFromHost(query);
  if (q == "receiveVstTimeInfo") return 1;
  if ((q == "receiveVstEvents" || q == "receiveVstMidiEvent") && DoesMidiIn()) return 1;
  if ((q == "sendVstEvents" || q == "sendVstMidiEvent") && DoesMidiOut()) return 1;
  if (q == "hasCockosExtensions") return kCockosCanDo;
  if (q == "hasCockosViewAsConfig") return kCockosCanDo;
  if (q == "wantsChannelCountNotifications") return 1;
  if (q == "MPE") return DoesMPE() ? 1 : 0;
  return OnCanDo(query);
}

VstIntPtr IPluginVST2::VendorSpecific(int32_t index, VstIntPtr value, void* ptr, float opt) {
  auto* text = static_cast<char*>(ptr);
  const IParam* param = GetParam(IntFromHost(value));
  switch (index) {
    case kCockosFormatValue:
      if (text == nullptr) break;
      if (param == nullptr) return kCockosAnswer;
      param->FormatValue(static_cast<double>(opt), true, mParamDisplayText, true);
      CopyTextToHost(text, mParamDisplayText, kHostParamTextChars);
      return kCockosAnswer;
    case kCockosIsSwitch:
      if (param == nullptr) break;
      if (param->GetKind() == ParamKind::Bool) return kCockosAnswer;
      if ((param->GetKind() == ParamKind::Int || param->GetKind() == ParamKind::Enum) &&
          param->GetMax() - param->GetMin() < 1.5)
        return kCockosAnswer;
      break;
    case kCockosTextToValue: {
      if (text == nullptr || param == nullptr) break;
      if (text[0] == '\0') return kCockosAnswer;  // the host probes for support
      const std::string typed(TextFromHost(text));
      double typedValue = 0.0;
      if (!ReadTypedValue(*param, typed.c_str(), typedValue)) break;  // not a value: the hook answers 0
      const double normalised = param->ToNormalised(typedValue);
      char number[kHostParamTextChars + 1];
      std::snprintf(number, sizeof number, "%.17f", normalised);
      CopyTextToHost(text, number, kHostParamTextChars);
      return kCockosAnswer;
    }
    default:
      break;
  }
  return OnVendorSpecific(index, value, ptr, opt);
}

// ---- Parameters ----------------------------------------------------------------------------------------------

bool IPluginVST2::InOwnUnits(const IParam& param) const {
  return HostBuildsControlsFromProperties() &&
         (param.GetKind() == ParamKind::Int || param.GetKind() == ParamKind::Enum);
}

void IPluginVST2::SetParameter(int32_t index, float value) {
  IParam* param = GetParam(index);
  if (param == nullptr || !std::isfinite(value)) return;
  const bool ownUnits = InOwnUnits(*param);
  const double hostValue = static_cast<double>(value);
  if (!param->SetValue(ownUnits ? hostValue : param->FromNormalised(hostValue))) return;
  QueueParamValueForEditor(index, ownUnits ? param->Value() : hostValue, !ownUnits);
  OnParamChange(index, ParamChangeSource::Host, -1);
}

float IPluginVST2::GetParameter(int32_t index) const {
  const IParam* param = GetParam(index);
  if (param == nullptr) return 0.0f;
  return static_cast<float>(InOwnUnits(*param) ? param->Value() : param->ToNormalised(param->Value()));
}

// ---- Processing ----------------------------------------------------------------------------------------------

void IPluginVST2::PrepareBlock() {
  if (DoesMidiIn()) HostCall(audioMasterWantMidi, 0, 1);
  const auto* timeInfo = reinterpret_cast<const VstTimeInfo*>(HostCall(audioMasterGetTime, 0, kTimeInfoRequest));
  const bool offline = HostCall(audioMasterGetCurrentProcessLevel) == kVstProcessLevelOffline;
  SetTransportInfo(TransportFromVstTimeInfo(timeInfo));
  SetRenderingOffline(offline);
  MidiMsg msg;
  while (mMidiFromEditor.Pop(msg)) ProcessMidiMsg(msg);
}

void IPluginVST2::TakeProcessLevelAtResume() {
  // Hosts that render offline say so before they resume the plug-in; taking it now lets the reset set up the
  // offline processing before the first block instead of at the next reset after it. Any other answer is left to
  // the blocks: some hosts answer their main thread's level here even while they render offline.
  if (GetRenderingOffline() || HostCall(audioMasterGetCurrentProcessLevel) != kVstProcessLevelOffline) return;
  SetRenderingOffline(true);
  OnReset();
}

void IPluginVST2::SendEditorSysEx() {
  while (mSysExFromEditor.Pop(mSysExOut)) SendSysEx(mSysExOut.AsMsg());
}

template <typename T>
std::vector<T*>& IPluginVST2::Slices(RouteDirection direction) {
  if constexpr (std::is_same_v<T, float>)
    return mSlice32[static_cast<int>(direction)];
  else
    return mSlice64[static_cast<int>(direction)];
}

template <typename T>
void IPluginVST2::ProcessHostBlock(T** inputs, T** outputs, int32_t frames, ProcessKind kind) {
  PrepareBlock();
  const int nIn = CountConnectedChannels(RouteDirection::Input);
  const int nOut = CountConnectedChannels(RouteDirection::Output);
  bool buffersOk = frames > 0 && (nIn == 0 || inputs != nullptr) && (nOut == 0 || outputs != nullptr);
  for (int i = 0; buffersOk && i < nIn; ++i) buffersOk = inputs[i] != nullptr;
  for (int i = 0; buffersOk && i < nOut; ++i) buffersOk = outputs[i] != nullptr;
  if (buffersOk) {
    std::vector<T*>& in = Slices<T>(RouteDirection::Input);
    std::vector<T*>& out = Slices<T>(RouteDirection::Output);
    // Hosts sometimes pass more frames than the block size they announced; the conversion buffers hold one
    // block, so such calls are processed in slices of at most the block size.
    const int blockSize = std::max(GetBlockSize(), 1);
    for (int done = 0; done < frames;) {
      const int n = std::min(frames - done, blockSize);
      for (int i = 0; i < nIn; ++i) in[static_cast<size_t>(i)] = inputs[i] + done;
      for (int i = 0; i < nOut; ++i) out[static_cast<size_t>(i)] = outputs[i] + done;
      if constexpr (std::is_same_v<T, float>) {
        AttachBuffers(RouteDirection::Input, 0, NChannels(RouteDirection::Input), in.data(), n);
        AttachBuffers(RouteDirection::Output, 0, NChannels(RouteDirection::Output), out.data(), n);
        if (kind == ProcessKind::Accumulating32)
          ProcessBuffersAccumulating32(n);
        else
          ProcessBuffers32(n);
      } else {
        AttachBuffers(RouteDirection::Input, 0, NChannels(RouteDirection::Input), in.data());
        AttachBuffers(RouteDirection::Output, 0, NChannels(RouteDirection::Output), out.data());
        ProcessBuffers(n);
      }
      done += n;
    }
  }
  SendEditorSysEx();
}

}  // namespace ondrell
