#pragma once

// What the editor tests share: a private configuration folder for the display-scale preference (so no test ever
// touches the real user's), the plug-in with its editor opened on the windowless context, and pointer helpers.

#include "engine/QuorlEQ.h"
#include "graphics/IControl.h"
#include "graphics/IGContextHeadless.h"
#include "tests/support/TestSystem.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorl_editor_test {

using namespace ondrell;
using namespace ondrell::graphics;

// The folder the preference folder "Ondrell Audio/Preferences" is made in, empty of it while this lives. On Linux
// a fresh folder that XDG_CONFIG_HOME names, removed afterwards (the previous value comes back). On Windows the
// roaming application-data folder itself (what the plug-in asks the shell for); an "Ondrell Audio" folder
// already there is moved aside for the time and put back afterwards.
class ScopedConfigHome
{
public:
  ScopedConfigHome();
  ~ScopedConfigHome();
  ScopedConfigHome(const ScopedConfigHome&) = delete;
  ScopedConfigHome& operator=(const ScopedConfigHome&) = delete;

  const std::filesystem::path& Path() const { return mPath; }
  // Where the preference file of the plug-in name must be.
  std::filesystem::path PrefFile(const std::string& name = "QuorlEQ") const;
  // Writes the file's bytes exactly (creating the folders).
  void WritePrefFile(const std::string& content, const std::string& name = "QuorlEQ") const;
  // The file's bytes, or nothing when there is no file.
  std::optional<std::string> ReadPrefFile(const std::string& name = "QuorlEQ") const;
  // From now on the preference folder cannot be made: a file stands where a folder on its path must be.
  void BlockPreferenceFolder();

private:
  std::filesystem::path mPath;
#if defined(_WIN32)
  std::filesystem::path mAside;
#else
  std::optional<quorl_test::ScopedEnvironment> mConfigHome;
  std::optional<quorl_test::ScopedEnvironment> mBlocked;
#endif
};

// A windowless context that records the pictures and texts it is asked to draw (and still draws them).
class SpyContext : public IGContextHeadless
{
public:
  struct BitmapDraw
  {
    std::string name;
    IRect dest;
    int srcX;
    int srcY;
  };

  using IGContextHeadless::IGContextHeadless;
  using IGContextHeadless::DrawBitmap;
  void DrawBitmap(const IBitmap& bitmap, const IRect& dest, int srcX, int srcY, const IBlend* blend) override
  {
    bitmapDraws.push_back({bitmap.GetResourceName(), dest, srcX, srcY});
    IGContextHeadless::DrawBitmap(bitmap, dest, srcX, srcY, blend);
  }
  void DoDrawText(const IText& text, const char* str, const IRect& bounds, const IBlend* blend) override
  {
    texts.push_back({str, text, bounds});
    IGContextHeadless::DoDrawText(text, str, bounds, blend);
  }

  struct TextDraw
  {
    std::string str;
    IText style;
    IRect bounds;
  };
  std::vector<BitmapDraw> bitmapDraws;
  std::vector<TextDraw> texts;
};

// A left-button sample's modifiers, with or without shift.
IMouseMod LeftButton(bool shift = false);

// The plug-in on the test adapter with its editor open on the windowless context.
class EditorRig
{
public:
  EditorRig();
  ~EditorRig();

  // From now on the editor opens on a SpyContext at the given draw scale (the layout is the plug-in's own).
  void UseSpyContext(float scale = 1.f);
  SpyContext& Spy() { return dynamic_cast<SpyContext&>(UI()); }

  // Opens (again) through the delegate, as a host does.
  IGContextHeadless& Open();
  void Close() { plugin->CloseWindow(); }
  IGContextHeadless& UI();
  IControl& Control(int idx);
  template <typename T>
  T& ControlAs(int idx)
  {
    return dynamic_cast<T&>(Control(idx));
  }
  // The parameter's current display text.
  std::string Text(int paramIdx) const;

  // Pointer gestures as the window host delivers them, in points.
  void Press(float x, float y, IMouseMod mod = LeftButton());
  void Drag(float x, float y, float dX, float dY, IMouseMod mod = LeftButton());
  void Release(float x, float y, IMouseMod mod = LeftButton());

  std::unique_ptr<QuorlEQ> plugin;
};

} // namespace quorl_editor_test
