// Fonts on Windows: installing the embedded font for the process, GDI fonts, face data and the native-font cache.

#include "graphics/win/WinFont.h"

#include "graphics/FontFaceInfo.h"
#include "graphics/ResourceLocator.h"

#include <cwchar>
#include <memory>
#include <vector>

namespace ondrell::graphics {

namespace {

std::wstring Utf16(std::string_view text)
{
  if (text.empty())
    return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0)
    return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string Utf8(const wchar_t* text)
{
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1)
    return {};
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
  narrow.pop_back();
  return narrow;
}

// Does a family of that description exist on the system?
int CALLBACK NoteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

// Opens a font file read-only and maps it into memory for as long as this lives. Owns both handles.
class MappedFile
{
public:
  explicit MappedFile(const std::string& path)
  {
    const std::wstring wide = Utf16(path);
    if (wide.empty())
      return;
    mFile = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    if (mFile == INVALID_HANDLE_VALUE)
      return;
    LARGE_INTEGER size{};
    // An empty file cannot be mapped, and nothing larger than the address space can be one view.
    if (!GetFileSizeEx(mFile, &size) || size.QuadPart <= 0 ||
        static_cast<unsigned long long>(size.QuadPart) > static_cast<unsigned long long>(SIZE_MAX))
      return;
    mMapping = CreateFileMappingW(mFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mMapping == nullptr)
      return;
    mView = MapViewOfFile(mMapping, FILE_MAP_READ, 0, 0, 0);
    if (mView != nullptr)
      mSize = static_cast<std::size_t>(size.QuadPart);
  }
  ~MappedFile()
  {
    if (mView != nullptr)
      UnmapViewOfFile(mView);
    if (mMapping != nullptr)
      CloseHandle(mMapping);
    if (mFile != INVALID_HANDLE_VALUE)
      CloseHandle(mFile);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::span<const unsigned char> Bytes() const { return {static_cast<const unsigned char*>(mView), mSize}; }

private:
  HANDLE mFile = INVALID_HANDLE_VALUE;
  HANDLE mMapping = nullptr;
  void* mView = nullptr;
  std::size_t mSize = 0;
};

// The bytes GDI holds for the table (0: the whole font); empty when it has none.
std::vector<unsigned char> ReadGdiFontData(HDC dc, DWORD table)
{
  const DWORD size = GetFontData(dc, table, 0, nullptr, 0);
  if (size == GDI_ERROR || size == 0)
    return {};
  std::vector<unsigned char> bytes(size);
  if (GetFontData(dc, table, 0, bytes.data(), size) != size)
    return {};
  return bytes;
}

} // namespace

WinFont::WinFont(HFONT font, bool systemFont, std::string style)
  : mFont(font), mSystemFont(systemFont), mStyle(std::move(style))
{
}

WinFont::~WinFont()
{
  if (mFont != nullptr)
    DeleteObject(mFont);
}

PlatformFontData WinFont::GetFontData() const
{
  PlatformFontData data;
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr)
    return data;
  HGDIOBJ previous = SelectObject(dc, mFont);
  // The tag "ttcf" as GDI reads a table tag (its bytes in file order).
  constexpr DWORD kCollectionTag = 0x66637474;
  std::vector<unsigned char> bytes = ReadGdiFontData(dc, kCollectionTag);
  if (bytes.empty())
    bytes = ReadGdiFontData(dc, 0);
  SelectObject(dc, previous);
  DeleteDC(dc);
  if (bytes.empty())
    return data;
  auto owned = std::make_shared<const std::vector<unsigned char>>(std::move(bytes));
  data.bytes = std::span<const unsigned char>(*owned);
  data.owner = owned;
  // ReadFontFaceInfo refuses every index past the last face, so the search always ends.
  for (int face = 0;; ++face)
  {
    FontFaceInfo info = ReadFontFaceInfo(data.bytes, face);
    if (!info.IsValid())
      break;
    if (!info.styleName.empty() && (mStyle.empty() || info.styleName == mStyle))
    {
      data.faceIndex = face;
      data.info = std::move(info);
      break;
    }
  }
  return data;
}

InstalledFont::~InstalledFont()
{
  if (mInstallation != nullptr)
    RemoveFontMemResourceEx(mInstallation);
}

NativeFont::~NativeFont()
{
  if (mFont != nullptr)
    DeleteObject(mFont);
}

SharedCache<InstalledFont>& InstalledFontCache()
{
  static SharedCache<InstalledFont> cache;
  return cache;
}

SharedCache<NativeFont>& NativeFontCache()
{
  static SharedCache<NativeFont> cache;
  return cache;
}

HFONT FindNativeFont(std::string_view fontID)
{
  const NativeFont* font = NativeFontCache().Find(fontID, 1.0);
  return font ? font->Get() : nullptr;
}

HFONT MakeGdiFont(std::string_view familyName, int weight, bool italic, bool underline, BYTE quality,
                  bool checkFamily)
{
  LOGFONTW description{};
  description.lfHeight = 0;
  description.lfWidth = 0;
  description.lfEscapement = 0;
  description.lfOrientation = 0;
  description.lfWeight = weight;
  description.lfItalic = italic ? TRUE : FALSE;
  description.lfUnderline = underline ? TRUE : FALSE;
  description.lfStrikeOut = FALSE;
  description.lfCharSet = DEFAULT_CHARSET;
  description.lfOutPrecision = OUT_TT_PRECIS;
  description.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  description.lfQuality = quality;
  description.lfPitchAndFamily = 0;
  const std::wstring face = Utf16(familyName).substr(0, LF_FACESIZE - 1);
  std::wmemcpy(description.lfFaceName, face.c_str(), face.size() + 1);

  HDC screen = GetDC(nullptr);
  if (screen == nullptr)
    return nullptr;
  HFONT font = nullptr;
  bool known = true;
  if (checkFamily)
  {
    known = false;
    EnumFontFamiliesExW(screen, &description, &NoteFamily, reinterpret_cast<LPARAM>(&known), 0);
  }
  if (known)
    font = CreateFontIndirectW(&description);
  if (font != nullptr)
  {
    // GDI substitutes another face for a family it does not have; only the asked-for one will do.
    HGDIOBJ previous = SelectObject(screen, font);
    wchar_t chosen[64] = {};
    const int length = GetTextFaceW(screen, 64, chosen);
    SelectObject(screen, previous);
    if (length <= 0 || Utf8(chosen) != familyName)
    {
      DeleteObject(font);
      font = nullptr;
    }
  }
  ReleaseDC(nullptr, screen);
  return font;
}

std::unique_ptr<PlatformFont> LoadPlatformFont(std::string_view fontID, std::string_view fileNameOrResID)
{
  const auto lock = InstalledFontCache().Acquire();
  std::string found;
  switch (LocateResource(fileNameOrResID, "ttf", found))
  {
  case ResourceLocation::FilePath:
  {
    // The bytes are needed only while the font is installed: GDI keeps its own copy.
    const MappedFile file(found);
    if (file.Bytes().empty())
      return nullptr;
    return LoadPlatformFont(fontID, file.Bytes());
  }
  case ResourceLocation::WinResource:
  {
    std::size_t size = 0;
    const unsigned char* bytes = ReadEmbeddedResource(found, "ttf", size);
    if (bytes == nullptr)
      return nullptr;
    return LoadPlatformFont(fontID, std::span<const unsigned char>(bytes, size));
  }
  case ResourceLocation::NotFound:
    break;
  }
  return nullptr;
}

std::unique_ptr<PlatformFont> LoadPlatformFont(std::string_view fontID, std::span<const unsigned char> bytes,
                                               std::shared_ptr<const void>)
{
  SharedCache<InstalledFont>& installed = InstalledFontCache();
  const auto lock = installed.Acquire();
  if (bytes.empty() || bytes.size() > MAXDWORD)
    return nullptr;
  // The face must be described before anything is installed: its family names the GDI font.
  const FontFaceInfo info = ReadFontFaceInfo(bytes, 0);
  if (!info.IsValid() || info.familyName.empty())
    return nullptr;
  DWORD faces = 0;
  HANDLE installation =
    AddFontMemResourceEx(const_cast<unsigned char*>(bytes.data()), static_cast<DWORD>(bytes.size()), nullptr, &faces);
  if (installation == nullptr)
    return nullptr;
  const bool bold = (info.styleBits & 1) != 0;
  const bool italic = (info.styleBits & 2) != 0;
  const bool underline = (info.styleBits & 4) != 0;
  HFONT font = MakeGdiFont(info.familyName, bold ? FW_BOLD : FW_NORMAL, italic, underline, DEFAULT_QUALITY, false);
  if (font == nullptr)
  {
    RemoveFontMemResourceEx(installation);
    return nullptr;
  }
  installed.Add(std::make_unique<InstalledFont>(installation), fontID, 1.0);
  return std::make_unique<WinFont>(font, false, std::string());
}

std::unique_ptr<PlatformFont> LoadSystemFont(std::string_view, std::string_view familyName, int style)
{
  HFONT font = MakeGdiFont(familyName, style == 1 ? FW_BOLD : FW_NORMAL, style == 2, false, DEFAULT_QUALITY, true);
  if (font == nullptr)
    return nullptr;
  return std::make_unique<WinFont>(font, true, style == 1 ? "Bold" : style == 2 ? "Italic" : "Regular");
}

void CacheNativeFont(std::string_view fontID, const PlatformFont& font)
{
  SharedCache<NativeFont>& cache = NativeFontCache();
  const auto lock = cache.Acquire();
  if (cache.Find(fontID, 1.0) != nullptr || font.GetHandle() == nullptr)
    return;
  LOGFONTW description{};
  if (GetObjectW(static_cast<HFONT>(font.GetHandle()), sizeof description, &description) != sizeof description)
    return;
  if (HFONT copy = CreateFontIndirectW(&description))
    cache.Add(std::make_unique<NativeFont>(copy), fontID, 1.0);
}

void AddPlatformFontCacheUser()
{
  // Always the installed-font lock before the native-font lock.
  const auto lock = InstalledFontCache().Acquire();
  InstalledFontCache().AddUser();
  NativeFontCache().AddUser();
}

void RemovePlatformFontCacheUser()
{
  const auto lock = InstalledFontCache().Acquire();
  NativeFontCache().RemoveUser();
  InstalledFontCache().RemoveUser();
}

} // namespace ondrell::graphics
