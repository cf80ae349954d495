// Arbitrary bytes handed to Quorl EQ's VST2 effSetChunk, as a program or a bank, with or without the chunk header:
// a refused chunk changes nothing (values, program and bank), an accepted one leaves sane values, and what the
// plug-in then hands out as its program loads back unchanged into a fresh instance.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/QuorlEQ.h"
#include "vst2/VstAbi.h"

using namespace ondrell;
using namespace ondrell::vst;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

VstIntPtr SilentHost(VstEffect*, int32_t, int32_t, VstIntPtr, void*, float) { return 0; }

struct Instance {
  Instance() : plugin(std::make_unique<QuorlEQ>(CreationArgs{&SilentHost})) {
    plugin->InitializeEmptyPresets();
    effect = plugin->GetEffect();
  }
  VstIntPtr Dispatch(int32_t opcode, int32_t index, VstIntPtr value, void* ptr) {
    return effect->dispatcher(effect, opcode, index, value, ptr, 0.0f);
  }
  std::vector<uint8_t> Chunk(bool program) {
    void* data = nullptr;
    const VstIntPtr size = Dispatch(effGetChunk, program ? 1 : 0, 0, &data);
    Require(size > 0 && data != nullptr);
    return {static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size};
  }
  std::vector<uint8_t> ProgramName() {
    std::vector<uint8_t> name(64, 0);
    Dispatch(effGetProgramName, 0, 0, name.data());
    return name;
  }

  std::unique_ptr<QuorlEQ> plugin;
  VstEffect* effect = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks program or bank, whether the standard header goes in front, and its version.
  const bool program = (data[0] & 1) != 0;
  std::vector<uint8_t> bytes;
  if (data[0] & 2) {
    const int32_t magic = 0x70666674;
    const int32_t version = (data[0] & 4) ? 0x00010000 : static_cast<int32_t>(data[0] >> 3);
    bytes.resize(8);
    std::memcpy(bytes.data(), &magic, 4);
    std::memcpy(bytes.data() + 4, &version, 4);
  }
  bytes.insert(bytes.end(), data + 1, data + size);

  Instance a;
  a.effect->setParameter(a.effect, 0, 0.6f);
  a.effect->setParameter(a.effect, 4, 0.3f);
  a.effect->setParameter(a.effect, 8, 0.9f);
  const std::vector<uint8_t> programBefore = a.Chunk(true);
  const std::vector<uint8_t> bankBefore = a.Chunk(false);
  const std::vector<uint8_t> nameBefore = a.ProgramName();

  const VstIntPtr loaded =
      a.Dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), bytes.data());
  Require(loaded == 0 || loaded == 1);
  const std::vector<uint8_t> programAfter = a.Chunk(true);
  if (loaded == 0) {
    Require(programAfter == programBefore);
    Require(a.ProgramName() == nameBefore);
    Require(a.Chunk(false) == bankBefore);
    return 0;
  }
  for (int i = 0; i < a.effect->numParams; ++i) {
    const float v = a.effect->getParameter(a.effect, i);
    Require(std::isfinite(v) && v >= 0.0f && v <= 1.0f);
  }
  Instance b;
  std::vector<uint8_t> copy = programAfter;
  Require(b.Dispatch(effSetChunk, 1, static_cast<VstIntPtr>(copy.size()), copy.data()) == 1);
  Require(b.Chunk(true) == programAfter);
  return 0;
}
