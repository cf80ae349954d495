#include "EditorTestSupport.h"

#include "editor/DisplayScalePreference.h"
#include "editor/QuorlEQEditor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quorl_editor_test {

namespace fs = std::filesystem;

namespace {

// The whole test program runs with its own configuration folder, so that even a test that forgets its own never
// writes the real user's preferences.
class ConfigHomeEnvironment : public ::testing::Environment
{
public:
  void SetUp() override { mHome = std::make_unique<ScopedConfigHome>(); }
  void TearDown() override { mHome.reset(); }

private:
  std::unique_ptr<ScopedConfigHome> mHome;
};

[[maybe_unused]] ::testing::Environment* const kConfigHomeEnvironment =
  ::testing::AddGlobalTestEnvironment(new ConfigHomeEnvironment);

} // namespace

#if defined(_WIN32)

namespace {

constexpr const char* kVendorFolder = "Ondrell Audio";

} // namespace

ScopedConfigHome::ScopedConfigHome() : mPath(quorl_test::RoamingAppDataFolder())
{
  if (mPath.empty())
    throw std::runtime_error("the shell names no roaming application-data folder");
  std::error_code ec;
  if (fs::exists(mPath / kVendorFolder, ec))
  {
    for (int n = 0; mAside.empty(); ++n)
    {
      const fs::path candidate = mPath / (std::string(kVendorFolder) + ".test-aside-" + std::to_string(n));
      if (!fs::exists(candidate, ec))
        mAside = candidate;
    }
    fs::rename(mPath / kVendorFolder, mAside);
  }
}

ScopedConfigHome::~ScopedConfigHome()
{
  std::error_code ec;
  fs::remove_all(mPath / kVendorFolder, ec);
  if (!mAside.empty())
    fs::rename(mAside, mPath / kVendorFolder, ec);
}

void ScopedConfigHome::BlockPreferenceFolder()
{
  std::ofstream(mPath / kVendorFolder) << "x";
}

#else

ScopedConfigHome::ScopedConfigHome() : mPath(quorl_test::MakeTemporaryFolder("quorl-editor-test-"))
{
  mConfigHome.emplace("XDG_CONFIG_HOME", mPath.c_str());
}

ScopedConfigHome::~ScopedConfigHome()
{
  mBlocked.reset();
  mConfigHome.reset();
  std::error_code ec;
  fs::remove_all(mPath, ec);
}

void ScopedConfigHome::BlockPreferenceFolder()
{
  const fs::path blocker = mPath / "not-a-folder";
  std::ofstream(blocker) << "x";
  mBlocked.emplace("XDG_CONFIG_HOME", blocker.c_str());
}

#endif

fs::path ScopedConfigHome::PrefFile(const std::string& name) const
{
  return mPath / "Ondrell Audio" / "Preferences" / (name + "-display-scale.txt");
}

void ScopedConfigHome::WritePrefFile(const std::string& content, const std::string& name) const
{
  fs::create_directories(PrefFile(name).parent_path());
  std::ofstream out(PrefFile(name), std::ios::binary | std::ios::trunc);
  out << content;
}

std::optional<std::string> ScopedConfigHome::ReadPrefFile(const std::string& name) const
{
  std::ifstream in(PrefFile(name), std::ios::binary);
  if (!in)
    return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

EditorRig::EditorRig() : plugin(std::make_unique<QuorlEQ>(CreationArgs{}))
{
  // The plug-in's own make-graphics function makes the X11 window host, which opens only inside a host window on
  // an X server; these tests run the same editor (size, frame rate and stored display scale) on the windowless
  // context. The window host itself, with this editor, is tested in tests/graphics_x11.
  QuorlEQ& dlg = *plugin;
  plugin->SetMakeGraphicsFunc([&dlg] {
    return std::make_unique<IGContextHeadless>(dlg, editor::kEditorWidth, editor::kEditorHeight, editor::kEditorFPS,
                                               editor::ReadDisplayScale());
  });
}

EditorRig::~EditorRig()
{
  plugin->CloseWindow();
}

void EditorRig::UseSpyContext(float scale)
{
  QuorlEQ& dlg = *plugin;
  plugin->SetMakeGraphicsFunc([&dlg, scale] { return std::make_unique<SpyContext>(dlg, 664, 215, 60, scale); });
}

IGContextHeadless& EditorRig::Open()
{
  void* window = plugin->OpenWindow(nullptr);
  if (window == nullptr)
    throw std::runtime_error("the editor did not open");
  return UI();
}

IGContextHeadless& EditorRig::UI()
{
  auto* ui = dynamic_cast<IGContextHeadless*>(plugin->GetUI());
  if (ui == nullptr)
    throw std::runtime_error("no windowless editor context");
  return *ui;
}

IControl& EditorRig::Control(int idx)
{
  IControl* c = UI().GetControl(idx);
  if (c == nullptr)
    throw std::runtime_error("no control " + std::to_string(idx));
  return *c;
}

std::string EditorRig::Text(int paramIdx) const
{
  std::string text;
  const IParam* param = plugin->GetParam(paramIdx);
  param->FormatValue(param->Value(), false, text, true);
  return text;
}

IMouseMod LeftButton(bool shift)
{
  IMouseMod mod;
  mod.L = true;
  mod.S = shift;
  return mod;
}

void EditorRig::Press(float x, float y, IMouseMod mod)
{
  UI().OnMouseDown({IMouseInfo{x, y, 0.f, 0.f, mod}});
}

void EditorRig::Drag(float x, float y, float dX, float dY, IMouseMod mod)
{
  UI().OnMouseDrag({IMouseInfo{x, y, dX, dY, mod}});
}

void EditorRig::Release(float x, float y, IMouseMod mod)
{
  UI().OnMouseUp({IMouseInfo{x, y, 0.f, 0.f, mod}});
}

} // namespace quorl_editor_test
