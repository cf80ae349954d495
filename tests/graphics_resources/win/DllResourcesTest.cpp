// Both Windows plug-in files carry the pictures and the font as Win32 resources of their own: the named types
// "PNG" and "TTF", stored names in upper case with a double quote at each end, the bytes of the files in
// resources/ and of Debian's Roboto.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct Listing
{
  HMODULE module;
  std::map<std::string, std::vector<unsigned char>> found;
};

BOOL CALLBACK Collect(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param)
{
  auto& listing = *reinterpret_cast<Listing*>(param);
  if (IS_INTRESOURCE(name))
    return TRUE;
  std::string stored;
  for (const wchar_t* c = name; *c; ++c)
    stored.push_back(static_cast<char>(*c));
  HRSRC info = FindResourceW(module, name, type);
  HGLOBAL handle = info ? LoadResource(module, info) : nullptr;
  const auto* bytes = static_cast<const unsigned char*>(handle ? LockResource(handle) : nullptr);
  const DWORD size = info ? SizeofResource(module, info) : 0;
  listing.found[stored] = bytes ? std::vector<unsigned char>(bytes, bytes + size) : std::vector<unsigned char>();
  return TRUE;
}

std::vector<unsigned char> FileBytes(const std::filesystem::path& path)
{
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::wstring Wide(const std::string& path)
{
  std::wstring wide(path.begin(), path.end());
  for (wchar_t& c : wide)
    if (c == L'/')
      c = L'\\';
  return wide;
}

} // namespace

TEST(DllResources, BothPluginFilesCarryThePicturesAndTheFont)
{
  const std::filesystem::path resources = std::filesystem::path(QUORL_SOURCE_DIR) / "resources";
  const std::map<std::string, std::filesystem::path> pictures = {
    {"\"QEQ_BACK.PNG\"", resources / "QEQ_back.png"},
    {"\"QEQ_BACK@2X.PNG\"", resources / "QEQ_back@2x.png"},
    {"\"SMALLKNOB.PNG\"", resources / "smallknob.png"},
    {"\"SMALLKNOB@2X.PNG\"", resources / "smallknob@2x.png"},
    {"\"X271_FRAME_STACK_FIXED_AGAIN.PNG\"", resources / "x271_frame_stack_fixed_again.png"},
    {"\"X271_FRAME_STACK_FIXED_AGAIN@2X.PNG\"", resources / "x271_frame_stack_fixed_again@2x.png"},
    {"\"QEQ_OS.PNG\"", resources / "QEQ_OS.png"},
    {"\"QEQ_OS@2X.PNG\"", resources / "QEQ_OS@2x.png"},
  };
  for (const char* file : {QUORL_CLAP_PATH, QUORL_VST2_PLUGIN_PATH})
  {
    SCOPED_TRACE(file);
    // As data only: nothing of the plug-in runs.
    HMODULE module = LoadLibraryExW(Wide(file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    Listing png{module, {}};
    Listing ttf{module, {}};
    EnumResourceNamesW(module, L"PNG", &Collect, reinterpret_cast<LONG_PTR>(&png));
    EnumResourceNamesW(module, L"TTF", &Collect, reinterpret_cast<LONG_PTR>(&ttf));
    EXPECT_EQ(png.found.size(), pictures.size());
    for (const auto& [stored, path] : pictures)
    {
      ASSERT_EQ(png.found.count(stored), 1u) << stored;
      EXPECT_EQ(png.found[stored], FileBytes(path)) << stored;
    }
    ASSERT_EQ(ttf.found.size(), 1u);
    ASSERT_EQ(ttf.found.count("\"ROBOTO-REGULAR.TTF\""), 1u);
    EXPECT_EQ(ttf.found["\"ROBOTO-REGULAR.TTF\""], FileBytes(QUORL_ROBOTO_REGULAR_TTF));
    FreeLibrary(module);
  }
}
