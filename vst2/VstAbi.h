#pragma once
// Our own declarations of the 64-bit VST 2.4 binary interface: the records, opcode numbers and constants that the
// adapter and the host tool exchange with the other side. Only the layout matters to the other side, so every
// record carries static_asserts of its size and field offsets.

#include <cstddef>
#include <cstdint>

namespace ondrell::vst {

struct VstEffect;

using VstIntPtr = std::intptr_t;

// Both directions share one calling shape: (effect, opcode, index, value, pointer, float option).
using VstHostCallback = VstIntPtr (*)(VstEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                      void* ptr, float opt);
using VstDispatcherProc = VstHostCallback;
using VstProcessProc = void (*)(VstEffect* effect, float** inputs, float** outputs, std::int32_t sampleFrames);
using VstProcessDoubleProc = void (*)(VstEffect* effect, double** inputs, double** outputs, std::int32_t sampleFrames);
using VstSetParameterProc = void (*)(VstEffect* effect, std::int32_t index, float value);
using VstGetParameterProc = float (*)(VstEffect* effect, std::int32_t index);
using VstEntryProc = VstEffect* (*)(VstHostCallback host);

inline constexpr std::int32_t kEffectMagic = 0x56737450;  // the four bytes "VstP" read as a big-endian int

// The effect record the plug-in hands to the host.
struct VstEffect {
  std::int32_t magic;
  VstDispatcherProc dispatcher;
  VstProcessProc process;  // accumulating, deprecated by the interface but still called by a few hosts
  VstSetParameterProc setParameter;
  VstGetParameterProc getParameter;
  std::int32_t numPrograms;
  std::int32_t numParams;
  std::int32_t numInputs;
  std::int32_t numOutputs;
  std::int32_t flags;
  VstIntPtr reserved1;
  VstIntPtr reserved2;
  std::int32_t initialDelay;
  std::int32_t realQualities;
  std::int32_t offQualities;
  float ioRatio;
  void* object;
  void* user;
  std::int32_t uniqueID;
  std::int32_t version;
  VstProcessProc processReplacing;
  VstProcessDoubleProc processDoubleReplacing;
  char future[56];
};

static_assert(sizeof(VstEffect) == 192);
static_assert(offsetof(VstEffect, magic) == 0);
static_assert(offsetof(VstEffect, dispatcher) == 8);
static_assert(offsetof(VstEffect, process) == 16);
static_assert(offsetof(VstEffect, setParameter) == 24);
static_assert(offsetof(VstEffect, getParameter) == 32);
static_assert(offsetof(VstEffect, numPrograms) == 40);
static_assert(offsetof(VstEffect, numParams) == 44);
static_assert(offsetof(VstEffect, numInputs) == 48);
static_assert(offsetof(VstEffect, numOutputs) == 52);
static_assert(offsetof(VstEffect, flags) == 56);
static_assert(offsetof(VstEffect, reserved1) == 64);
static_assert(offsetof(VstEffect, reserved2) == 72);
static_assert(offsetof(VstEffect, initialDelay) == 80);
static_assert(offsetof(VstEffect, realQualities) == 84);
static_assert(offsetof(VstEffect, offQualities) == 88);
static_assert(offsetof(VstEffect, ioRatio) == 92);
static_assert(offsetof(VstEffect, object) == 96);
static_assert(offsetof(VstEffect, user) == 104);
static_assert(offsetof(VstEffect, uniqueID) == 112);
static_assert(offsetof(VstEffect, version) == 116);
static_assert(offsetof(VstEffect, processReplacing) == 120);
static_assert(offsetof(VstEffect, processDoubleReplacing) == 128);
static_assert(offsetof(VstEffect, future) == 136);

// Effect record flags.
enum VstEffectFlags : std::int32_t {
  effFlagsHasEditor = 1,
  effFlagsCanMono = 8,
  effFlagsCanReplacing = 16,
  effFlagsProgramChunks = 32,
  effFlagsIsSynth = 256,
  effFlagsNoSoundInStop = 512,
  effFlagsCanDoubleReplacing = 4096,
};

// Dispatcher opcodes (host to plug-in).
enum VstEffectOpcode : std::int32_t {
  effOpen = 0,
  effClose = 1,
  effSetProgram = 2,
  effGetProgram = 3,
  effSetProgramName = 4,
  effGetProgramName = 5,
  effGetParamLabel = 6,
  effGetParamDisplay = 7,
  effGetParamName = 8,
  effSetSampleRate = 10,
  effSetBlockSize = 11,
  effMainsChanged = 12,
  effEditGetRect = 13,
  effEditOpen = 14,
  effEditClose = 15,
  effEditIdle = 19,
  effIdentify = 22,
  effGetChunk = 23,
  effSetChunk = 24,
  effProcessEvents = 25,
  effCanBeAutomated = 26,
  effString2Parameter = 27,
  effGetProgramNameIndexed = 29,
  effGetInputProperties = 33,
  effGetOutputProperties = 34,
  effGetPlugCategory = 35,
  effSetSpeakerArrangement = 42,
  effSetBypass = 44,
  effGetEffectName = 45,
  effGetVendorString = 47,
  effGetProductString = 48,
  effGetVendorVersion = 49,
  effVendorSpecific = 50,
  effCanDo = 51,
  effGetTailSize = 52,
  effGetParameterProperties = 56,
  effGetVstVersion = 58,
  effEditKeyDown = 59,
  effEditKeyUp = 60,
  effGetMidiKeyName = 66,
  effGetSpeakerArrangement = 69,
  effStartProcess = 71,
  effStopProcess = 72,
  effSetProcessPrecision = 77,
};

// Host-callback opcodes (plug-in to host).
enum VstHostOpcode : std::int32_t {
  audioMasterAutomate = 0,
  audioMasterVersion = 1,
  audioMasterCurrentId = 2,
  audioMasterIdle = 3,
  audioMasterWantMidi = 6,
  audioMasterGetTime = 7,
  audioMasterProcessEvents = 8,
  audioMasterIOChanged = 13,
  audioMasterSizeWindow = 15,
  audioMasterGetSampleRate = 16,
  audioMasterGetBlockSize = 17,
  audioMasterGetCurrentProcessLevel = 23,
  audioMasterGetVendorString = 32,
  audioMasterGetProductString = 33,
  audioMasterGetVendorVersion = 34,
  audioMasterCanDo = 37,
  audioMasterUpdateDisplay = 42,
  audioMasterBeginEdit = 43,
  audioMasterEndEdit = 44,
};

inline constexpr std::int32_t kVstVersion = 2400;
inline constexpr VstIntPtr kEffectIdentify = 0x4E764566;  // the answer to effIdentify, "NvEf"

enum VstPlugCategory : std::int32_t { kPlugCategEffect = 1, kPlugCategSynth = 2 };

enum VstProcessLevel : std::int32_t {
  kVstProcessLevelUnknown = 0,
  kVstProcessLevelUser = 1,
  kVstProcessLevelRealtime = 2,
  kVstProcessLevelPrefetch = 3,
  kVstProcessLevelOffline = 4,
};

enum VstProcessPrecision : std::int32_t { kVstProcessPrecision32 = 0, kVstProcessPrecision64 = 1 };

// The editor rectangle handed out by effEditGetRect.
struct ERect {
  std::int16_t top;
  std::int16_t left;
  std::int16_t bottom;
  std::int16_t right;
};
static_assert(sizeof(ERect) == 8);
static_assert(offsetof(ERect, bottom) == 4);

enum VstEventType : std::int32_t { kVstMidiType = 1, kVstSysExType = 6 };

struct VstEvent {
  std::int32_t type;
  std::int32_t byteSize;
  std::int32_t deltaFrames;
  std::int32_t flags;
  char data[16];
};
static_assert(sizeof(VstEvent) == 32);

struct VstMidiEvent {
  std::int32_t type;
  std::int32_t byteSize;
  std::int32_t deltaFrames;
  std::int32_t flags;
  std::int32_t noteLength;
  std::int32_t noteOffset;
  char midiData[4];
  char detune;
  char noteOffVelocity;
  char reserved1;
  char reserved2;
};
static_assert(sizeof(VstMidiEvent) == 32);
static_assert(offsetof(VstMidiEvent, midiData) == 24);
static_assert(offsetof(VstMidiEvent, detune) == 28);

struct VstMidiSysexEvent {
  std::int32_t type;
  std::int32_t byteSize;
  std::int32_t deltaFrames;
  std::int32_t flags;
  std::int32_t dumpBytes;
  VstIntPtr resvd1;
  char* sysexDump;
  VstIntPtr resvd2;
};
static_assert(sizeof(VstMidiSysexEvent) == 48);
static_assert(offsetof(VstMidiSysexEvent, dumpBytes) == 16);
static_assert(offsetof(VstMidiSysexEvent, resvd1) == 24);
static_assert(offsetof(VstMidiSysexEvent, sysexDump) == 32);
static_assert(offsetof(VstMidiSysexEvent, resvd2) == 40);

// An event list: numEvents pointers follow the header. The host sizes the array for its events; the adapter
// sends lists of one event.
template <int N>
struct VstEventList {
  std::int32_t numEvents;
  VstIntPtr reserved;
  VstEvent* events[N];
};
using VstEvents = VstEventList<2>;
static_assert(offsetof(VstEvents, reserved) == 8);
static_assert(offsetof(VstEvents, events) == 16);
static_assert(offsetof(VstEventList<1>, events) == 16);

enum VstTimeInfoFlags : std::int32_t {
  kVstTransportChanged = 1,
  kVstTransportPlaying = 2,
  kVstTransportCycleActive = 4,
  kVstTransportRecording = 8,
  kVstAutomationWriting = 64,
  kVstAutomationReading = 128,
  kVstNanosValid = 256,
  kVstPpqPosValid = 512,
  kVstTempoValid = 1024,
  kVstBarsValid = 2048,
  kVstCyclePosValid = 4096,
  kVstTimeSigValid = 8192,
  kVstSmpteValid = 16384,
  kVstClockValid = 32768,
};

struct VstTimeInfo {
  double samplePos;
  double sampleRate;
  double nanoSeconds;
  double ppqPos;
  double tempo;
  double barStartPos;
  double cycleStartPos;
  double cycleEndPos;
  std::int32_t timeSigNumerator;
  std::int32_t timeSigDenominator;
  std::int32_t smpteOffset;
  std::int32_t smpteFrameRate;
  std::int32_t samplesToNextClock;
  std::int32_t flags;
};
static_assert(sizeof(VstTimeInfo) == 88);
static_assert(offsetof(VstTimeInfo, ppqPos) == 24);
static_assert(offsetof(VstTimeInfo, tempo) == 32);
static_assert(offsetof(VstTimeInfo, cycleEndPos) == 56);
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64);
static_assert(offsetof(VstTimeInfo, flags) == 84);

enum VstPinPropertiesFlags : std::int32_t { kVstPinIsActive = 1, kVstPinIsStereo = 2, kVstPinUseSpeaker = 4 };

struct VstPinProperties {
  char label[64];
  std::int32_t flags;
  std::int32_t arrangementType;
  char shortLabel[8];
  char future[48];
};
static_assert(sizeof(VstPinProperties) == 128);
static_assert(offsetof(VstPinProperties, flags) == 64);
static_assert(offsetof(VstPinProperties, arrangementType) == 68);
static_assert(offsetof(VstPinProperties, shortLabel) == 72);

enum VstParameterFlags : std::int32_t {
  kVstParameterIsSwitch = 1,
  kVstParameterUsesIntegerMinMax = 2,
  kVstParameterUsesFloatStep = 4,
  kVstParameterUsesIntStep = 8,
  kVstParameterSupportsDisplayIndex = 16,
  kVstParameterSupportsDisplayCategory = 32,
  kVstParameterCanRamp = 64,
};

struct VstParameterProperties {
  float stepFloat;
  float smallStepFloat;
  float largeStepFloat;
  char label[64];
  std::int32_t flags;
  std::int32_t minInteger;
  std::int32_t maxInteger;
  std::int32_t stepInteger;
  std::int32_t largeStepInteger;
  char shortLabel[8];
  std::int16_t displayIndex;
  std::int16_t category;
  std::int16_t numParametersInCategory;
  std::int16_t reserved;
  char categoryLabel[24];
  char future[16];
};
static_assert(sizeof(VstParameterProperties) == 152);
static_assert(offsetof(VstParameterProperties, label) == 12);
static_assert(offsetof(VstParameterProperties, flags) == 76);
static_assert(offsetof(VstParameterProperties, minInteger) == 80);
static_assert(offsetof(VstParameterProperties, largeStepInteger) == 92);
static_assert(offsetof(VstParameterProperties, shortLabel) == 96);
static_assert(offsetof(VstParameterProperties, displayIndex) == 104);
static_assert(offsetof(VstParameterProperties, categoryLabel) == 112);
static_assert(offsetof(VstParameterProperties, future) == 136);

struct VstSpeakerProperties {
  float azimuth;
  float elevation;
  float radius;
  float reserved;
  char name[64];
  std::int32_t type;
  char future[28];
};
static_assert(sizeof(VstSpeakerProperties) == 112);
static_assert(offsetof(VstSpeakerProperties, name) == 16);
static_assert(offsetof(VstSpeakerProperties, type) == 80);

enum VstSpeakerArrangementType : std::int32_t {
  kSpeakerArrUserDefined = -2,
  kSpeakerArrEmpty = -1,
  kSpeakerArrMono = 0,
  kSpeakerArrStereo = 1,
};

struct VstSpeakerArrangement {
  std::int32_t type;
  std::int32_t numChannels;
  VstSpeakerProperties speakers[8];
};
static_assert(sizeof(VstSpeakerArrangement) == 904);
static_assert(offsetof(VstSpeakerArrangement, speakers) == 8);

// The record of effGetMidiKeyName: the host fills program and key, the plug-in the name.
struct MidiKeyName {
  std::int32_t thisProgramIndex;
  std::int32_t thisKeyNumber;
  char keyName[64];
  std::int32_t reserved;
  std::int32_t flags;
};
static_assert(sizeof(MidiKeyName) == 80);
static_assert(offsetof(MidiKeyName, keyName) == 8);

// Text sizes the interface documents for host buffers (see IPluginVST2 for the limits the adapter applies).
inline constexpr int kVstMaxParamStrLen = 8;
inline constexpr int kVstMaxProgNameLen = 24;
inline constexpr int kVstMaxEffectNameLen = 32;
inline constexpr int kVstMaxVendorStrLen = 64;
inline constexpr int kVstMaxProductStrLen = 64;

}  // namespace ondrell::vst
