#include "tests/vst2/VstTestHost.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace ondrell::test {

namespace {
std::atomic<VstTestHost*> gCurrentHost{nullptr};
}

VstTestHost::VstTestHost() { gCurrentHost.store(this); }

VstTestHost::~VstTestHost() { gCurrentHost.store(nullptr); }

vst::VstIntPtr VstTestHost::Callback(vst::VstEffect* /*effect*/, int32_t opcode, int32_t index, vst::VstIntPtr value,
                                     void* ptr, float opt) {
  VstTestHost* host = gCurrentHost.load();
  if (host == nullptr) return 0;
  std::lock_guard guard(host->mLock);
  HostCallRecord record{opcode, index, value, opt, {}, {}};
  if (opcode == vst::audioMasterProcessEvents && ptr != nullptr) {
    const auto* list = static_cast<const vst::VstEvents*>(ptr);
    if (list->numEvents > 0 && list->events[0] != nullptr) {
      const vst::VstEvent* event = list->events[0];
      const auto* bytes = reinterpret_cast<const uint8_t*>(event);
      record.eventBytes.assign(bytes, bytes + event->byteSize);
      if (event->type == vst::kVstSysExType) {
        const auto* sysex = reinterpret_cast<const vst::VstMidiSysexEvent*>(event);
        const auto* dump = reinterpret_cast<const uint8_t*>(sysex->sysexDump);
        if (dump != nullptr && sysex->dumpBytes > 0) record.sysexDump.assign(dump, dump + sysex->dumpBytes);
      }
    }
  }
  host->mCalls.push_back(std::move(record));
  switch (opcode) {
    case vst::audioMasterVersion:
      return vst::kVstVersion;
    case vst::audioMasterGetProductString:
      if (ptr != nullptr) std::strncpy(static_cast<char*>(ptr), host->productString.c_str(), 63);
      return 1;
    case vst::audioMasterGetVendorVersion:
      return host->vendorVersion;
    case vst::audioMasterGetTime:
      if (!host->timeInfo) return 0;
      host->mTimeInfoAnswer = *host->timeInfo;
      return reinterpret_cast<vst::VstIntPtr>(&host->mTimeInfoAnswer);
    case vst::audioMasterGetCurrentProcessLevel:
      return host->processLevel;
    case vst::audioMasterSizeWindow:
      return host->sizeWindowAnswer;
    case vst::audioMasterProcessEvents:
      return host->processEventsAnswer;
    case vst::audioMasterIOChanged:
      return 1;
    default:
      return 0;
  }
}

std::vector<HostCallRecord> VstTestHost::Calls() const {
  std::lock_guard guard(mLock);
  return mCalls;
}

int VstTestHost::Count(int32_t opcode) const {
  std::lock_guard guard(mLock);
  int n = 0;
  for (const HostCallRecord& call : mCalls) n += call.opcode == opcode ? 1 : 0;
  return n;
}

void VstTestHost::ClearCalls() {
  std::lock_guard guard(mLock);
  mCalls.clear();
}

bool VstTestHost::WaitFor(int32_t opcode, int times, int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Count(opcode) < times) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace ondrell::test
