#pragma once

// Fonts as the platform layer makes them from a file or an embedded resource: the bytes with the face that
// the editor asked for. The drawing backend turns them into its typeface (graphics/Typeface.h).

#include "graphics/FontFaceInfo.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace ondrell::graphics {

// A font's bytes, its usable face index (-1 when none) and that face's description. The bytes are either
// embedded in the library (no owner needed) or read from a file and kept alive by owner.
struct PlatformFontData
{
  std::span<const unsigned char> bytes;
  std::shared_ptr<const void> owner;
  int faceIndex = -1;
  FontFaceInfo info;

  bool IsUsable() const { return !bytes.empty() && faceIndex >= 0 && info.IsValid(); }
};

class PlatformFont
{
public:
  PlatformFont() = default;
  PlatformFont(const PlatformFont&) = delete;
  PlatformFont& operator=(const PlatformFont&) = delete;
  virtual ~PlatformFont() = default;

  // The native font handle (Windows: the GDI font); the base has none.
  virtual void* GetHandle() const { return nullptr; }
  // The font's bytes and face description; the base has none (face index -1).
  virtual PlatformFontData GetFontData() const { return {}; }
};

// A font held as bytes in memory. GetFontData picks the first valid face with a non-empty style name that,
// when a style text is given, equals it; an invalid face ends the search with face index -1.
class MemoryFont : public PlatformFont
{
public:
  MemoryFont(std::span<const unsigned char> bytes, std::shared_ptr<const void> owner, std::string style = {});

  PlatformFontData GetFontData() const override;
  const std::string& GetStyle() const { return mStyle; }

private:
  std::span<const unsigned char> mBytes;
  std::shared_ptr<const void> mOwner;
  std::string mStyle;
};

// The platform's font loading: graphics/MemoryFontLoader.cpp where the system installs nothing (Linux), and
// graphics/win/WinFont.cpp on Windows, where the font is installed into the process and made a GDI font.

// Makes a font from an embedded "ttf" resource or a font file of that name; null when neither exists or the
// bytes are not a font whose first face is valid and has a family name. Linux reads file bytes into memory;
// Windows maps the file for the time of the call.
std::unique_ptr<PlatformFont> LoadPlatformFont(std::string_view fontID, std::string_view fileNameOrResID);

// Makes a font from bytes the caller keeps alive (owner may hold them); null for empty or unusable data. Windows
// installs the bytes as a private font of the process (kept in the installed-font cache under fontID) and makes
// a GDI font of its first face's family; null when either fails.
std::unique_ptr<PlatformFont> LoadPlatformFont(std::string_view fontID, std::span<const unsigned char> bytes,
                                               std::shared_ptr<const void> owner = {});

// Keeps what native text fields need of a loaded font under its identifier, once: on Windows a copy of its GDI
// font in the native-font cache. Nothing elsewhere.
void CacheNativeFont(std::string_view fontID, const PlatformFont& font);

// The platform's own font caches (Windows: installed fonts, then native fonts) count the graphics contexts as
// users like the bitmap and typeface caches, and are emptied when the last context goes. Called by
// GraphicsCacheUser; nothing elsewhere.
void AddPlatformFontCacheUser();
void RemovePlatformFontCacheUser();

} // namespace ondrell::graphics
