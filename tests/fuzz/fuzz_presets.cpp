// Arbitrary bytes as a bank chunk for a plug-in with three presets: the result is -1 or a position inside the
// chunk, names stay within 255 bytes, values stay sane, and a bank written afterwards reads back to itself.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tests/fuzz/FuzzPlugin.h"

using namespace ondrell;
using ondrell::fuzz::FuzzPlugin;
using ondrell::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteChunk chunk;
  chunk.AppendBytes(data, static_cast<int>(size));

  FuzzPlugin plugin(FuzzPlugin::MakeConfig(3));
  plugin.InitializeEmptyPresets();
  const int pos = plugin.UnserializePresets(chunk, 0);
  Require(pos == -1 || (pos >= 0 && pos <= chunk.Size()));
  plugin.RequireSaneValues();
  for (int i = 0; i < plugin.NPresets(); ++i) Require(std::strlen(plugin.GetPresetName(i)) <= 255);

  ByteChunk bank;
  Require(plugin.SerializePresets(bank));
  FuzzPlugin other(FuzzPlugin::MakeConfig(3));
  Require(other.UnserializePresets(bank, 0) == bank.Size());
  ByteChunk again;
  other.SerializePresets(again);
  Require(again == bank);
  return 0;
}
