#pragma once
// A scriptable VST2 host for the tests: answers the host-callback opcodes the adapter uses with values the test
// chooses and records every call. One host is current at a time (the callback has no other way to find it during
// the entry function, before the effect record exists).
// Threads: the plug-in may call back from the main, audio or idle thread; the record is guarded by a mutex.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "vst2/VstAbi.h"

namespace ondrell::test {

struct HostCallRecord {
  int32_t opcode = 0;
  int32_t index = 0;
  vst::VstIntPtr value = 0;
  float opt = 0.0f;
  std::vector<uint8_t> eventBytes;  // audioMasterProcessEvents: the bytes of the (first) event
  std::vector<uint8_t> sysexDump;   // audioMasterProcessEvents with a SysEx event: its dump
};

class VstTestHost {
 public:
  VstTestHost();
  ~VstTestHost();

  static vst::VstIntPtr Callback(vst::VstEffect* effect, int32_t opcode, int32_t index, vst::VstIntPtr value,
                                 void* ptr, float opt);

  // Answers.
  std::string productString = "Quorl Test Host";
  vst::VstIntPtr vendorVersion = 1000;
  std::optional<vst::VstTimeInfo> timeInfo;  // null answer when empty
  vst::VstIntPtr processLevel = vst::kVstProcessLevelRealtime;
  vst::VstIntPtr sizeWindowAnswer = 1;
  vst::VstIntPtr processEventsAnswer = 1;

  std::vector<HostCallRecord> Calls() const;
  int Count(int32_t opcode) const;
  void ClearCalls();
  // Waits (up to timeoutMs) until the host has seen opcode at least `times` times; true when it has.
  bool WaitFor(int32_t opcode, int times, int timeoutMs) const;

 private:
  mutable std::mutex mLock;
  std::vector<HostCallRecord> mCalls;
  vst::VstTimeInfo mTimeInfoAnswer{};
};

}  // namespace ondrell::test
