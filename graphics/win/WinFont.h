#pragma once

// Fonts on Windows: the embedded font installed into the process from memory (AddFontMemResourceEx), a GDI font
// of its family, the face data read back through GDI, and a copy of the GDI font for native text fields.

#include "graphics/PlatformFont.h"
#include "graphics/SharedCache.h"

#include <windows.h>

#include <string_view>

namespace ondrell::graphics {

// A GDI font. Threads: made, used and destroyed by editor (main) threads. Owns the font handle.
class WinFont final : public PlatformFont
{
public:
  // style: "Bold", "Italic", "Regular" or empty (any face with a style name).
  WinFont(HFONT font, bool systemFont, std::string style);
  ~WinFont() override;

  void* GetHandle() const override { return mFont; }
  // The font's whole data as GDI gives it (a collection first, else a single font), the first valid face with
  // a style name (equal to the style text when there is one), and its description.
  PlatformFontData GetFontData() const override;
  bool IsSystemFont() const { return mSystemFont; }
  const std::string& GetStyle() const { return mStyle; }

private:
  HFONT mFont;
  bool mSystemFont;
  std::string mStyle;
};

// A font installed into the process from memory; removed from it when destroyed. Owns the installation.
class InstalledFont
{
public:
  explicit InstalledFont(HANDLE installation) : mInstallation(installation) {}
  ~InstalledFont();
  InstalledFont(const InstalledFont&) = delete;
  InstalledFont& operator=(const InstalledFont&) = delete;

private:
  HANDLE mInstallation;
};

// A GDI font kept for native controls (text fields); deleted when destroyed. Owns the handle.
class NativeFont
{
public:
  explicit NativeFont(HFONT font) : mFont(font) {}
  ~NativeFont();
  NativeFont(const NativeFont&) = delete;
  NativeFont& operator=(const NativeFont&) = delete;

  HFONT Get() const { return mFont; }

private:
  HFONT mFont;
};

SharedCache<InstalledFont>& InstalledFontCache();
SharedCache<NativeFont>& NativeFontCache();

// The cached native font of the identifier (CacheNativeFont), or null. Valid while a graphics context lives.
HFONT FindNativeFont(std::string_view fontID);

// Makes a GDI font: height 0, the weight, italic and underline, default character set, TrueType output
// precision, the quality, the family name as face name (at most 32 UTF-16 units). With checkFamily the system
// must know the family. The font is kept only when GDI picks a face of exactly that family name; null otherwise.
HFONT MakeGdiFont(std::string_view familyName, int weight, bool italic, bool underline, BYTE quality,
                  bool checkFamily);

// A font the system has installed: weight 700 for style 1 (bold), italic for style 2, with the family check.
std::unique_ptr<PlatformFont> LoadSystemFont(std::string_view fontID, std::string_view familyName, int style);

} // namespace ondrell::graphics
