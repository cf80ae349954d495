// The Windows side of fonts: the embedded font installed into the process and made a GDI font of its family,
// its data read back through GDI, the native-font copy for text fields, fonts from mapped files, and the caches
// emptied with the last graphics context.

#include "graphics/GraphicsCaches.h"
#include "graphics/Typeface.h"
#include "graphics/win/WinFont.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace ondrell::graphics;

namespace {

std::string FaceName(HFONT font)
{
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(dc, font);
  wchar_t face[64] = {};
  GetTextFaceW(dc, 64, face);
  SelectObject(dc, previous);
  DeleteDC(dc);
  std::string narrow;
  for (const wchar_t* c = face; *c; ++c)
    narrow.push_back(static_cast<char>(*c));
  return narrow;
}

class WinFonts : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_EQ(InstalledFontCache().Size(), 0u);
    ASSERT_EQ(NativeFontCache().Size(), 0u);
    mUser = std::make_unique<GraphicsCacheUser>();
  }
  void TearDown() override { mUser.reset(); }
  std::unique_ptr<GraphicsCacheUser> mUser;
};

} // namespace

TEST_F(WinFonts, TheEmbeddedFontBecomesAGdiFontOfItsFamily)
{
  const std::unique_ptr<PlatformFont> font = LoadPlatformFont("Roboto-Regular", "Roboto-Regular.ttf");
  ASSERT_NE(font, nullptr);
  auto* gdi = dynamic_cast<WinFont*>(font.get());
  ASSERT_NE(gdi, nullptr);
  EXPECT_FALSE(gdi->IsSystemFont());
  EXPECT_EQ(FaceName(static_cast<HFONT>(gdi->GetHandle())), "Roboto");
  EXPECT_EQ(InstalledFontCache().Size(), 1u);

  const PlatformFontData data = font->GetFontData();
  EXPECT_EQ(data.faceIndex, 0);
  EXPECT_EQ(data.info.familyName, "Roboto");
  EXPECT_EQ(data.info.styleName, "Regular");
  EXPECT_EQ(data.info.unitsPerEm, 2048);
  EXPECT_EQ(data.info.styleBits, 0);
}

TEST_F(WinFonts, LoadFontKeepsOneNativeCopyPerIdentifier)
{
  EXPECT_TRUE(LoadFont("Roboto-Regular", "Roboto-Regular.ttf"));
  const HFONT native = FindNativeFont("Roboto-Regular");
  ASSERT_NE(native, nullptr);
  EXPECT_EQ(FaceName(native), "Roboto");
  EXPECT_TRUE(LoadFont("Roboto-Regular", "ROBOTO-REGULAR.TTF"));
  EXPECT_EQ(NativeFontCache().Size(), 1u);
  EXPECT_EQ(FindNativeFont("Roboto-Regular"), native);
  EXPECT_EQ(FindNativeFont("Other"), nullptr);
}

TEST_F(WinFonts, TheLastContextEmptiesTheInstalledAndNativeFonts)
{
  {
    const GraphicsCacheUser second;
    EXPECT_TRUE(LoadFont("Roboto-Regular", "Roboto-Regular.ttf"));
  }
  // One context still lives.
  EXPECT_EQ(InstalledFontCache().Size(), 1u);
  EXPECT_EQ(NativeFontCache().Size(), 1u);
  mUser.reset();
  EXPECT_EQ(InstalledFontCache().Size(), 0u);
  EXPECT_EQ(NativeFontCache().Size(), 0u);
  EXPECT_EQ(TypefaceCache().Size(), 0u);
}

TEST_F(WinFonts, AFontFileIsMappedForTheInstallation)
{
  const std::unique_ptr<PlatformFont> font = LoadPlatformFont("RobotoFile", QUORL_ROBOTO_REGULAR_TTF);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(FaceName(static_cast<HFONT>(font->GetHandle())), "Roboto");
  EXPECT_EQ(font->GetFontData().bytes.size(), std::filesystem::file_size(QUORL_ROBOTO_REGULAR_TTF));
}

TEST_F(WinFonts, WhatIsNoFontInstallsNothing)
{
  const std::filesystem::path text = std::filesystem::temp_directory_path() / "quorl_win_not_a_font.ttf";
  std::ofstream(text, std::ios::binary) << "not a font at all, only some text";
  const std::filesystem::path empty = std::filesystem::temp_directory_path() / "quorl_win_empty.ttf";
  std::ofstream(empty, std::ios::binary).flush();
  for (const std::string& name : {text.string(), empty.string(), std::string("Missing.ttf"), std::string()})
  {
    EXPECT_EQ(LoadPlatformFont("bad", name), nullptr) << name;
    EXPECT_FALSE(LoadFont("bad", name)) << name;
  }
  EXPECT_EQ(InstalledFontCache().Size(), 0u);
  EXPECT_EQ(NativeFontCache().Size(), 0u);
  std::filesystem::remove(text);
  std::filesystem::remove(empty);
}

TEST_F(WinFonts, SystemFontsNeedTheirFamily)
{
  EXPECT_EQ(LoadSystemFont("none", "No Such Family Anywhere", 0), nullptr);
  EXPECT_EQ(MakeGdiFont("No Such Family Anywhere", FW_NORMAL, false, false, DEFAULT_QUALITY, false), nullptr);
  // Once the embedded font is installed, its family is one the process knows.
  ASSERT_NE(LoadPlatformFont("Roboto-Regular", "Roboto-Regular.ttf"), nullptr);
  const std::unique_ptr<PlatformFont> regular = LoadSystemFont("roboto", "Roboto", 0);
  ASSERT_NE(regular, nullptr);
  auto* gdi = static_cast<WinFont*>(regular.get());
  EXPECT_TRUE(gdi->IsSystemFont());
  EXPECT_EQ(gdi->GetStyle(), "Regular");
  EXPECT_EQ(regular->GetFontData().info.styleName, "Regular");
  const std::unique_ptr<PlatformFont> bold = LoadSystemFont("roboto-bold", "Roboto", 1);
  ASSERT_NE(bold, nullptr);
  EXPECT_EQ(static_cast<WinFont*>(bold.get())->GetStyle(), "Bold");
  LOGFONTW description{};
  ASSERT_EQ(GetObjectW(static_cast<HFONT>(bold->GetHandle()), sizeof description, &description),
            static_cast<int>(sizeof description));
  EXPECT_EQ(description.lfWeight, FW_BOLD);
}
