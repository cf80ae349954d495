// The library's resources on Windows: real Win32 resources of the module that holds this code (the plug-in DLL,
// or the test program it is linked into), found with EnumResourceNames and FindResource on its own handle.

#include "graphics/ModuleResources.h"
#include "graphics/ResourceLocator.h"

#include <windows.h>

namespace ondrell::graphics {

namespace {

// The module this function is linked into; its reference count is left alone.
HMODULE OwnModule()
{
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&OwnModule), &module))
    return nullptr;
  return module;
}

// Resource names and types are ASCII; anything else cannot name one of ours.
bool ToUpperWide(std::string_view text, std::wstring& wide)
{
  wide.clear();
  for (const char c : text)
  {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0 || byte > 0x7F)
      return false;
    wide.push_back(static_cast<wchar_t>(byte >= 'a' && byte <= 'z' ? byte - 'a' + 'A' : byte));
  }
  return !wide.empty();
}

std::string NarrowAscii(const wchar_t* wide)
{
  std::string text;
  for (; *wide != 0; ++wide)
    text.push_back(*wide <= 0x7F ? static_cast<char>(*wide) : '?');
  return text;
}

// The bytes of one resource, in place; an empty span when it cannot be loaded.
std::span<const unsigned char> ResourceBytes(HMODULE module, const wchar_t* name, const wchar_t* type)
{
  HRSRC info = FindResourceW(module, name, type);
  if (info == nullptr)
    return {};
  const DWORD size = SizeofResource(module, info);
  HGLOBAL handle = LoadResource(module, info);
  const void* bytes = handle ? LockResource(handle) : nullptr;
  if (bytes == nullptr || size == 0)
    return {};
  return {static_cast<const unsigned char*>(bytes), size};
}

struct Listing
{
  HMODULE module;
  const wchar_t* type;
  std::string typeText;
  std::vector<ModuleResource>* found;
};

BOOL CALLBACK AddResource(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param)
{
  auto& listing = *reinterpret_cast<Listing*>(param);
  // Resources named by number have no stored name to be found by.
  if (IS_INTRESOURCE(name))
    return TRUE;
  listing.found->push_back(
    {NarrowAscii(name), listing.typeText, ResourceBytes(listing.module, name, listing.type)});
  return TRUE;
}

} // namespace

std::vector<ModuleResource> ListModuleResources(std::string_view type)
{
  std::vector<ModuleResource> found;
  std::wstring wideType;
  HMODULE module = OwnModule();
  if (module == nullptr || !ToUpperWide(type, wideType))
    return found;
  Listing listing{module, wideType.c_str(), NarrowAscii(wideType.c_str()), &found};
  // No resource of the type at all is an empty list, not an error.
  EnumResourceNamesW(module, wideType.c_str(), &AddResource, reinterpret_cast<LONG_PTR>(&listing));
  return found;
}

const unsigned char* ReadEmbeddedResource(std::string_view storedName, std::string_view type, std::size_t& size)
{
  size = 0;
  std::wstring wideName;
  std::wstring wideType;
  HMODULE module = OwnModule();
  // Stored names are upper case, so asking in upper case finds them whatever case the caller used.
  if (module == nullptr || !ToUpperWide(storedName, wideName) || !ToUpperWide(type, wideType))
    return nullptr;
  const std::span<const unsigned char> bytes = ResourceBytes(module, wideName.c_str(), wideType.c_str());
  if (bytes.size() <= 7)
    return nullptr;
  size = bytes.size();
  return bytes.data();
}

} // namespace ondrell::graphics
