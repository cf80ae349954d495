// Platform fonts where the system installs nothing: the font is its bytes (MemoryFont), read from the library's
// resources or a file. The Windows build has its own (graphics/win/WinFont.cpp).

#include "graphics/PlatformFont.h"

#include "graphics/ResourceLocator.h"

#include <fstream>
#include <vector>

namespace ondrell::graphics {

namespace {

// Reads a whole font file; null when it cannot be opened or read.
std::shared_ptr<const std::vector<unsigned char>> ReadFile(const std::string& path)
{
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file)
    return nullptr;
  const std::streamoff length = file.tellg();
  if (length <= 0)
    return nullptr;
  auto bytes = std::make_shared<std::vector<unsigned char>>(static_cast<std::size_t>(length));
  file.seekg(0);
  if (!file.read(reinterpret_cast<char*>(bytes->data()), length))
    return nullptr;
  return bytes;
}

} // namespace

std::unique_ptr<PlatformFont> LoadPlatformFont(std::string_view fontID, std::string_view fileNameOrResID)
{
  std::string found;
  switch (LocateResource(fileNameOrResID, "ttf", found))
  {
  case ResourceLocation::WinResource:
  {
    std::size_t size = 0;
    const unsigned char* bytes = ReadEmbeddedResource(found, "ttf", size);
    if (bytes == nullptr)
      return nullptr;
    return LoadPlatformFont(fontID, std::span<const unsigned char>(bytes, size));
  }
  case ResourceLocation::FilePath:
  {
    auto bytes = ReadFile(found);
    if (!bytes)
      return nullptr;
    const std::span<const unsigned char> view(*bytes);
    return LoadPlatformFont(fontID, view, std::move(bytes));
  }
  case ResourceLocation::NotFound:
    break;
  }
  return nullptr;
}

std::unique_ptr<PlatformFont> LoadPlatformFont([[maybe_unused]] std::string_view fontID,
                                               std::span<const unsigned char> bytes, std::shared_ptr<const void> owner)
{
  // Nothing is installed into the process here: the bytes are only checked to hold a described first face
  // with a family name, the condition under which a platform font can be made from them at all.
  if (bytes.empty())
    return nullptr;
  const FontFaceInfo info = ReadFontFaceInfo(bytes, 0);
  if (!info.IsValid() || info.familyName.empty())
    return nullptr;
  return std::make_unique<MemoryFont>(bytes, std::move(owner));
}

void CacheNativeFont(std::string_view, const PlatformFont&)
{
  // No native text field here takes a font of its own.
}

void AddPlatformFontCacheUser() {}

void RemovePlatformFontCacheUser() {}

} // namespace ondrell::graphics
