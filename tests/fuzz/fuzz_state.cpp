// Arbitrary bytes as a state chunk, read from an arbitrary start position: the result is -1 or the position
// after the ten values, the values stay sane, and what is saved afterwards loads back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tests/fuzz/FuzzPlugin.h"

using namespace ondrell;
using ondrell::fuzz::FuzzPlugin;
using ondrell::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks the start position (a few past the end and one negative included).
  const int startPos = static_cast<int>(data[0] % 16) - 1;
  ByteChunk chunk;
  chunk.AppendBytes(data + 1, static_cast<int>(size - 1));

  FuzzPlugin plugin(FuzzPlugin::MakeConfig(1));
  const int pos = plugin.UnserializeState(chunk, startPos);
  const bool fits = startPos >= 0 && startPos + 80 <= chunk.Size();
  Require(fits ? pos == startPos + 80 : pos == -1);
  plugin.RequireSaneValues();

  ByteChunk saved;
  Require(plugin.SerializeState(saved) && saved.Size() == 80);
  FuzzPlugin other(FuzzPlugin::MakeConfig(1));
  Require(other.UnserializeParams(saved, 0) == 80);
  ByteChunk again;
  other.SerializeParams(again);
  Require(again == saved);
  return 0;
}
