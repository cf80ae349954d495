#include "graphics/win/WinDialogs.h"

#include "graphics/win/WinApi.h"
#include "graphics/win/WinText.h"

#include <commdlg.h>
#include <ole2.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <sstream>
#include <vector>

namespace ondrell::graphics {

namespace {

// The longest chain of parents walked; far more than any host nests.
constexpr int kMaxWindowDepth = 64;
constexpr int kClassNameUnits = 128;
constexpr size_t kPathUnits = MAX_PATH; // 260
constexpr size_t kMaxFilterPattern = 126;
constexpr size_t kMaxDefaultExtension = 15;

static_assert(sizeof(CHOOSECOLORW) == 72);

struct ClassSearch
{
  DWORD process = 0;
  std::string className;
  HWND found = nullptr;
};

BOOL CALLBACK FindByClass(HWND window, LPARAM parameter)
{
  auto* search = reinterpret_cast<ClassSearch*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == search->process && WindowClassName(window) == search->className)
  {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The custom colours of the colour dialog, white at first, kept from one dialog to the next.
std::array<COLORREF, 16>& CustomColours()
{
  static std::array<COLORREF, 16> colours = [] {
    std::array<COLORREF, 16> c{};
    c.fill(RGB(255, 255, 255));
    return c;
  }();
  return colours;
}

UINT_PTR CALLBACK ColourDialogHook(HWND dialog, UINT msg, WPARAM, LPARAM lParam)
{
  if (msg == WM_INITDIALOG && lParam)
  {
    const auto* choice = reinterpret_cast<const CHOOSECOLORW*>(lParam);
    const auto* prompt = reinterpret_cast<const wchar_t*>(choice->lCustData);
    if (prompt && *prompt)
    {
      SetWindowTextW(dialog, prompt);
      const UINT setColour = RegisterWindowMessageW(L"commdlg_SetRGBColor");
      if (setColour)
        SendMessageW(dialog, setColour, 0, static_cast<LPARAM>(choice->rgbResult));
    }
  }
  return 0;
}

} // namespace

HWND TopLevelAncestor(HWND parent)
{
  if (!parent || !IsWindow(parent))
    return nullptr;
  HWND window = parent;
  for (int depth = 0; depth < kMaxWindowDepth; ++depth)
  {
    HWND next = GetParent(window);
    if (!next)
      break;
    window = next;
  }
  return window;
}

std::string WindowClassName(HWND window)
{
  wchar_t name[kClassNameUnits] = {};
  const int n = window ? GetClassNameW(window, name, kClassNameUnits) : 0;
  return n > 0 ? WideToUtf8(std::wstring_view(name, static_cast<size_t>(n))) : std::string();
}

HWND FindProcessWindowByClass(const std::string& className)
{
  if (className.empty())
    return nullptr;
  ClassSearch search;
  search.process = GetCurrentProcessId();
  search.className = className;
  EnumWindows(&FindByClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

FileDialogFilter MakeFileDialogFilter(const char* extensions)
{
  FileDialogFilter filter;
  std::istringstream words(extensions ? extensions : "");
  std::string word;
  std::string pattern;
  std::string first;
  while (words >> word)
  {
    if (!pattern.empty())
      pattern += ';';
    pattern += "*." + word;
    if (first.empty())
      first = word;
  }
  filter.pattern = Utf8ToWide(pattern);
  filter.defaultExtension = Utf8ToWide(first);
  if (filter.pattern.size() > kMaxFilterPattern || filter.defaultExtension.size() > kMaxDefaultExtension)
    return {};
  return filter;
}

bool ChooseFile(HWND owner, std::string& fileName, std::string& folder, int action, const char* extensions)
{
  std::array<wchar_t, kPathUnits> file{};
  const std::wstring initial = Utf8ToWide(fileName);
  if (initial.size() < file.size())
    std::copy(initial.begin(), initial.end(), file.begin());
  const std::wstring initialFolder = Utf8ToWide(folder);
  const FileDialogFilter filter = MakeFileDialogFilter(extensions);
  // Description and pattern are the same text, and the list ends with an empty pair.
  std::wstring filterText;
  if (!filter.pattern.empty())
  {
    filterText = filter.pattern;
    filterText.push_back(L'\0');
    filterText += filter.pattern;
    filterText.push_back(L'\0');
    filterText.push_back(L'\0');
  }

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filterText.empty() ? nullptr : filterText.c_str();
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size() - 1);
  dialog.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
  dialog.lpstrDefExt = filter.defaultExtension.empty() ? nullptr : filter.defaultExtension.c_str();
  BOOL chosen = FALSE;
  if (action == 1)
  {
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    chosen = GetSaveFileNameW(&dialog);
  }
  else
  {
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    chosen = GetOpenFileNameW(&dialog);
  }
  if (!chosen)
  {
    fileName.clear();
    return false;
  }
  const std::wstring path(file.data(), wcsnlen(file.data(), file.size()));
  fileName = WideToUtf8(path);
  // The file name begins at nFileOffset: what precedes it is the drive and directory with its separator.
  const size_t offset = std::min<size_t>(dialog.nFileOffset, path.size());
  folder = WideToUtf8(std::wstring_view(path).substr(0, offset));
  return true;
}

bool ChooseFolder(HWND owner, std::string& folder)
{
  // The new dialog style needs OLE on this thread; without it the classic chooser is shown.
  const bool ole = SUCCEEDED(OleInitialize(nullptr));
  BROWSEINFOW browse{};
  browse.hwndOwner = owner;
  browse.lpszTitle = L"Choose a Directory";
  browse.ulFlags = ole ? (BIF_EDITBOX | BIF_NEWDIALOGSTYLE) : BIF_EDITBOX;
  folder.clear();
  bool chosen = false;
  if (LPITEMIDLIST item = SHBrowseForFolderW(&browse))
  {
    std::array<wchar_t, kPathUnits> path{};
    if (SHGetPathFromIDListW(item, path.data()))
    {
      folder = WideBufferToUtf8(path.data(), path.size()) + "\\";
      chosen = true;
    }
    CoTaskMemFree(item);
  }
  if (ole)
    OleUninitialize();
  return chosen;
}

bool ChooseColour(HWND owner, IColor& colour, const char* prompt)
{
  const std::wstring title = Utf8ToWide(prompt ? prompt : "");
  CHOOSECOLORW choice{};
  choice.lStructSize = sizeof(choice);
  choice.hwndOwner = owner;
  const auto channel = [](int v) { return static_cast<BYTE>(std::clamp(v, 0, 255)); };
  choice.rgbResult = RGB(channel(colour.R), channel(colour.G), channel(colour.B));
  choice.lpCustColors = CustomColours().data();
  choice.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ENABLEHOOK | CC_SOLIDCOLOR | CC_ANYCOLOR;
  choice.lCustData = reinterpret_cast<LPARAM>(title.c_str());
  choice.lpfnHook = &ColourDialogHook;
  if (!ChooseColorW(&choice))
    return false;
  colour.R = GetRValue(choice.rgbResult);
  colour.G = GetGValue(choice.rgbResult);
  colour.B = GetBValue(choice.rgbResult);
  return true;
}

} // namespace ondrell::graphics
