// The window host's services beyond its window, under Wine: the clipboard (also held by another program), files
// dropped through WM_DROPFILES and through OLE, the drag objects and dragging a file out, the message box with the
// host's main window as owner, the file, folder and colour dialogs, links and Explorer.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "graphics/win/IGContextWin.h"
#include "graphics/win/WinDialogs.h"
#include "graphics/win/WinDragSource.h"
#include "graphics/win/WinDropTarget.h"
#include "graphics/win/WinShell.h"
#include "tests/graphics/GraphicsTestSupport.h"
// Windows headers last.
#include "tests/graphics_win/WinTestSupport.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

namespace quorl_test {
namespace {

constexpr IRect kDropRect{300.f, 50.f, 400.f, 150.f};

// Records the whole list of a multiple drop.
class DropRecorder : public RecordingControl
{
public:
  using RecordingControl::RecordingControl;
  void OnDropMultiple(const std::vector<const char*>& paths) override
  {
    multiple.assign(paths.begin(), paths.end());
  }
  std::vector<std::string> multiple;
};

class ShellDelegate : public TestDelegate
{
public:
  explicit ShellDelegate(float drawScale = 1.f)
  {
    SetMakeGraphicsFunc([this, drawScale] { return std::make_unique<IGContextWin>(*this, 664, 215, 60, drawScale); });
    SetLayoutFunc([this](IGContext* g) {
      Attach<RecordingControl>(*g, g->GetBounds());
      drop = Attach<DropRecorder>(*g, kDropRect);
    });
  }
  IGContextWin* UI() const { return static_cast<IGContextWin*>(GetUI()); }
  DropRecorder* drop = nullptr;
};

class WinShell : public ::testing::Test
{
protected:
  void SetUp() override
  {
    child = static_cast<HWND>(dlg.OpenWindow(host.ParentHandle()));
    ASSERT_NE(child, nullptr);
    PumpMessages(20);
  }
  void TearDown() override { dlg.CloseWindow(); }
  IGContextWin& UI() { return *dlg.UI(); }

  HostWindow host{1000, 400, true};
  ShellDelegate dlg;
  HWND child = nullptr;
};

std::wstring ClipboardText()
{
  std::wstring text;
  if (!OpenClipboard(nullptr))
    return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT))
  {
    text = static_cast<const wchar_t*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

// A file list of several paths at a drop point, as the shell makes it.
HGLOBAL FileList(const std::vector<std::wstring>& paths, POINT at)
{
  size_t units = 1;
  for (const std::wstring& p : paths)
    units += p.size() + 1;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * sizeof(wchar_t));
  auto* header = static_cast<DROPFILES*>(GlobalLock(block));
  header->pFiles = sizeof(DROPFILES);
  header->pt = at;
  header->fWide = TRUE;
  auto* list = reinterpret_cast<wchar_t*>(header + 1);
  for (const std::wstring& p : paths)
  {
    std::wmemcpy(list, p.c_str(), p.size());
    list += p.size() + 1;
  }
  GlobalUnlock(block);
  return block;
}

std::wstring Utf16(const char* utf8)
{
  wchar_t out[512] = {};
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out, 512);
  return out;
}

// ---- Clipboard ---------------------------------------------------------------------------------------------

TEST_F(WinShell, TextGoesOnTheClipboardAndComesBack)
{
  const char* text = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93 -12.5 dB";
  ASSERT_TRUE(UI().SetTextInClipboard(text));
  EXPECT_EQ(ClipboardText(), Utf16(text));
  std::string read;
  ASSERT_TRUE(UI().GetTextFromClipboard(read));
  EXPECT_EQ(read, text);

  // An empty text empties the clipboard.
  EXPECT_TRUE(UI().SetTextInClipboard(""));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
  read = "left over";
  EXPECT_FALSE(UI().GetTextFromClipboard(read));
  EXPECT_EQ(read, "");
}

TEST_F(WinShell, AFilePathGoesOnTheClipboardAsAFileList)
{
  const char* path = "C:\\Samples\\Kick \xC3\xBC.wav";
  ASSERT_TRUE(UI().SetFilePathInClipboard(path));
  std::string read = "x";
  EXPECT_FALSE(UI().GetTextFromClipboard(read));
  EXPECT_EQ(read, "");
  ASSERT_TRUE(OpenClipboard(nullptr));
  auto drop = static_cast<HDROP>(GetClipboardData(CF_HDROP));
  ASSERT_NE(drop, nullptr);
  const std::wstring wide = Utf16(path);
  EXPECT_EQ(GlobalSize(drop), 20 + (wide.size() + 1) * 2 + 2);
  const auto* header = static_cast<const DROPFILES*>(GlobalLock(drop));
  EXPECT_EQ(header->pFiles, 20u);
  EXPECT_EQ(header->pt.x, 0);
  EXPECT_EQ(header->pt.y, 0);
  EXPECT_EQ(header->fNC, TRUE);
  EXPECT_EQ(header->fWide, TRUE);
  GlobalUnlock(drop);
  EXPECT_EQ(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), 1u);
  wchar_t listed[MAX_PATH] = {};
  DragQueryFileW(drop, 0, listed, MAX_PATH);
  EXPECT_EQ(std::wstring(listed), wide);
  CloseClipboard();
}

TEST_F(WinShell, AClipboardThatAnotherProgramHoldsIsRefusedAndNothingIsLost)
{
  OtherProgram holder(L"clipboard");
  ASSERT_TRUE(holder.Ready());
  EXPECT_FALSE(UI().SetTextInClipboard("mine"));
  EXPECT_FALSE(UI().SetFilePathInClipboard("C:\\mine.wav"));
  std::string read = "x";
  EXPECT_FALSE(UI().GetTextFromClipboard(read));
  EXPECT_EQ(read, "");
  EXPECT_EQ(holder.Finish(), 0);
  // The other program's text is still there, and the clipboard works again.
  ASSERT_TRUE(UI().GetTextFromClipboard(read));
  EXPECT_EQ(read, "held elsewhere");
  EXPECT_TRUE(UI().SetTextInClipboard("mine"));
  EXPECT_EQ(ClipboardText(), L"mine");
}

// ---- Drops -------------------------------------------------------------------------------------------------

TEST(WinDropFiles, DroppedFilesReachTheControlAtThePointInEditorPoints)
{
  HostWindow host(1200, 400);
  ShellDelegate dlg(1.5f);
  const HWND child = static_cast<HWND>(dlg.OpenWindow(host.ParentHandle()));
  ASSERT_NE(child, nullptr);
  // Pixel (525, 150) is point (350, 100), inside the drop recorder.
  PostMessageW(child, WM_DROPFILES, reinterpret_cast<WPARAM>(FileList({L"C:\\a.wav"}, {525, 150})), 0);
  PumpMessages(20);
  EXPECT_EQ(dlg.drop->dropped, std::vector<std::string>{"C:\\a.wav"});
  EXPECT_TRUE(dlg.drop->multiple.empty());

  PostMessageW(child, WM_DROPFILES,
               reinterpret_cast<WPARAM>(FileList({L"C:\\first.wav", L"D:\\second \x00FC.aif"}, {525, 150})), 0);
  PumpMessages(20);
  EXPECT_EQ(dlg.drop->multiple, (std::vector<std::string>{"C:\\first.wav", "D:\\second \xC3\xBC.aif"}));

  // Outside every control but the background: the background gets it.
  dlg.drop->dropped.clear();
  PostMessageW(child, WM_DROPFILES, reinterpret_cast<WPARAM>(FileList({L"C:\\b.wav"}, {10, 10})), 0);
  PumpMessages(20);
  EXPECT_TRUE(dlg.drop->dropped.empty());
  dlg.CloseWindow();
}

TEST(WinDropFiles, APathLongerThanTheBufferArrivesCut)
{
  HostWindow host;
  ShellDelegate dlg;
  const HWND child = static_cast<HWND>(dlg.OpenWindow(host.ParentHandle()));
  ASSERT_NE(child, nullptr);
  const std::wstring longPath = L"C:\\" + std::wstring(1500, L'p');
  SendMessageW(child, WM_DROPFILES, reinterpret_cast<WPARAM>(FileList({longPath}, {350, 100})), 0);
  ASSERT_EQ(dlg.drop->dropped.size(), 1u);
  EXPECT_EQ(dlg.drop->dropped[0], "C:\\" + std::string(1020, 'p'));
  dlg.CloseWindow();
}

TEST(WinDropFiles, ADropMessageWithoutAFileListChangesNothing)
{
  HostWindow host;
  ShellDelegate dlg;
  const HWND child = static_cast<HWND>(dlg.OpenWindow(host.ParentHandle()));
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(SendMessageW(child, WM_DROPFILES, 0, 0), 0);
  // A block too small for a file list is neither read nor freed.
  HGLOBAL tiny = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 8);
  SendMessageW(child, WM_DROPFILES, reinterpret_cast<WPARAM>(tiny), 0);
  EXPECT_EQ(GlobalFree(tiny), nullptr);
  EXPECT_TRUE(dlg.drop->dropped.empty());
  dlg.CloseWindow();
}

// The shell's data object for what is on the clipboard.
IDataObject* ClipboardDataObject()
{
  IDataObject* data = nullptr;
  return SUCCEEDED(OleGetClipboard(&data)) ? data : nullptr;
}

TEST_F(WinShell, TheDropTargetTakesFileListsOfferingACopy)
{
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  auto* target = new IGContextWinFileDropTarget(child, &UI());
  auto* data = new DragAndDropHelpers::DataObject(FileListFormat(), "C:\\x\\y.wav");
  POINT screen{350, 100};
  ClientToScreen(child, &screen);
  const POINTL at{screen.x, screen.y};

  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  EXPECT_EQ(target->DragEnter(data, MK_LBUTTON, at, &effect), S_OK);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
  EXPECT_TRUE(target->Accepting());
  // A drag that offers only a move is refused.
  effect = DROPEFFECT_MOVE;
  EXPECT_EQ(target->DragOver(MK_LBUTTON, at, &effect), S_OK);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  EXPECT_EQ(target->DragLeave(), S_OK);
  EXPECT_FALSE(target->Accepting());
  effect = DROPEFFECT_COPY;
  EXPECT_EQ(target->DragEnter(nullptr, MK_LBUTTON, at, &effect), S_OK);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));

  effect = DROPEFFECT_COPY;
  target->DragEnter(data, MK_LBUTTON, at, &effect);
  effect = DROPEFFECT_COPY | DROPEFFECT_LINK;
  EXPECT_EQ(target->Drop(data, 0, at, &effect), S_OK);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
  EXPECT_FALSE(target->Accepting());
  EXPECT_EQ(dlg.drop->dropped, std::vector<std::string>{"C:\\x\\y.wav"});

  // Text is not a file list; a file list the clipboard holds is.
  dlg.drop->dropped.clear();
  ASSERT_TRUE(UI().SetTextInClipboard("not a file"));
  IDataObject* text = ClipboardDataObject();
  ASSERT_NE(text, nullptr);
  effect = DROPEFFECT_COPY;
  target->DragEnter(text, MK_LBUTTON, at, &effect);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  EXPECT_EQ(target->Drop(text, 0, at, &effect), S_OK);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  text->Release();
  ASSERT_TRUE(UI().SetFilePathInClipboard("E:\\from the clipboard.wav"));
  IDataObject* files = ClipboardDataObject();
  ASSERT_NE(files, nullptr);
  effect = DROPEFFECT_COPY;
  target->DragEnter(files, MK_LBUTTON, at, &effect);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
  target->Drop(files, 0, at, &effect);
  EXPECT_EQ(dlg.drop->dropped, std::vector<std::string>{"E:\\from the clipboard.wav"});
  files->Release();

  data->Release();
  EXPECT_EQ(target->Release(), 0u);
  OleUninitialize();
}

TEST_F(WinShell, TheEditorWindowIsADropTargetWhileItIsOpen)
{
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  auto* other = new IGContextWinFileDropTarget(child, &UI());
  EXPECT_EQ(RegisterDragDrop(child, other), DRAGDROP_E_ALREADYREGISTERED);
  other->Release();
  OleUninitialize();
}

TEST(WinOle, AThreadThatRefusesOleStillTakesDroppedFilesAndKeepsItsModel)
{
  bool opened = false;
  std::vector<std::string> dropped;
  HRESULT again = E_FAIL;
  std::thread thread([&] {
    // The multithreaded model: OleInitialize is refused on this thread.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
      HostWindow host;
      ShellDelegate dlg;
      const HWND child = static_cast<HWND>(dlg.OpenWindow(host.ParentHandle()));
      opened = child != nullptr;
      if (child)
      {
        SendMessageW(child, WM_DROPFILES, reinterpret_cast<WPARAM>(FileList({L"C:\\mta.wav"}, {350, 100})), 0);
        dropped = dlg.drop->dropped;
      }
      dlg.CloseWindow();
    }
    // Nothing was undone that the window did not do: the thread is still in its model.
    again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoUninitialize();
    CoUninitialize();
  });
  thread.join();
  EXPECT_TRUE(opened);
  EXPECT_EQ(dropped, std::vector<std::string>{"C:\\mta.wav"});
  EXPECT_EQ(again, S_FALSE);
}

// ---- Drag objects and dragging out -----------------------------------------------------------------------

TEST(WinDragObjects, TheDataObjectServesOneFileList)
{
  auto* data = new DragAndDropHelpers::DataObject(FileListFormat(), "C:\\out \xC3\xA9.wav");
  void* object = nullptr;
  EXPECT_EQ(data->QueryInterface(IID_IDataObject, &object), S_OK);
  static_cast<IUnknown*>(object)->Release();
  EXPECT_EQ(data->QueryInterface(IID_IUnknown, &object), S_OK);
  static_cast<IUnknown*>(object)->Release();
  EXPECT_EQ(data->QueryInterface(IID_IDropTarget, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  FORMATETC format = FileListFormat();
  FORMATETC text = format;
  text.cfFormat = CF_UNICODETEXT;
  FORMATETC thumbnail = format;
  thumbnail.dwAspect = DVASPECT_THUMBNAIL;
  FORMATETC stream = format;
  stream.tymed = TYMED_ISTREAM;
  STGMEDIUM medium{};
  EXPECT_EQ(data->GetData(nullptr, &medium), E_INVALIDARG);
  EXPECT_EQ(data->QueryGetData(nullptr), E_INVALIDARG);
  for (FORMATETC* wrong : {&text, &thumbnail, &stream})
  {
    EXPECT_EQ(data->GetData(wrong, &medium), static_cast<HRESULT>(0x80040064));
    EXPECT_EQ(data->QueryGetData(wrong), static_cast<HRESULT>(0x80040064));
  }
  EXPECT_EQ(data->QueryGetData(&format), S_OK);
  ASSERT_EQ(data->GetData(&format, &medium), S_OK);
  EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
  EXPECT_EQ(medium.pUnkForRelease, nullptr);
  const std::wstring wide = Utf16("C:\\out \xC3\xA9.wav");
  EXPECT_EQ(GlobalSize(medium.hGlobal), 24 + (wide.size() + 1) * 2);
  const auto* header = static_cast<const DROPFILES*>(GlobalLock(medium.hGlobal));
  EXPECT_EQ(header->pFiles, 20u);
  EXPECT_EQ(header->fNC, FALSE);
  EXPECT_EQ(header->fWide, TRUE);
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(header + 1)), wide);
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);

  FORMATETC canonical{};
  canonical.ptd = reinterpret_cast<DVTARGETDEVICE*>(&canonical);
  EXPECT_EQ(data->GetCanonicalFormatEtc(&format, &canonical), E_NOTIMPL);
  EXPECT_EQ(canonical.ptd, nullptr);
  EXPECT_EQ(data->GetDataHere(&format, &medium), E_NOTIMPL);
  EXPECT_EQ(data->SetData(&format, &medium, FALSE), E_NOTIMPL);
  DWORD connection = 0;
  EXPECT_EQ(data->DAdvise(&format, 0, nullptr, &connection), E_NOTIMPL);
  EXPECT_EQ(data->DUnadvise(0), E_NOTIMPL);
  IEnumSTATDATA* advise = nullptr;
  EXPECT_EQ(data->EnumDAdvise(&advise), E_NOTIMPL);
  EXPECT_EQ(data->Release(), 0u);
}

TEST(WinDragObjects, TheEnumeratorListsTheFormatOnce)
{
  auto* data = new DragAndDropHelpers::DataObject(FileListFormat(), "C:\\a.wav");
  IEnumFORMATETC* formats = nullptr;
  EXPECT_EQ(data->EnumFormatEtc(DATADIR_GET, nullptr), E_POINTER);
  EXPECT_EQ(data->EnumFormatEtc(DATADIR_SET, &formats), E_NOTIMPL);
  ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
  FORMATETC got{};
  ULONG fetched = 9;
  EXPECT_EQ(formats->Next(1, &got, &fetched), S_OK);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(got.cfFormat, CF_HDROP);
  EXPECT_EQ(got.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
  EXPECT_EQ(got.lindex, -1);
  EXPECT_EQ(formats->Next(1, &got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  IEnumFORMATETC* copy = nullptr;
  ASSERT_EQ(formats->Clone(&copy), S_OK);
  EXPECT_EQ(copy->Next(1, &got, nullptr), S_FALSE);
  EXPECT_EQ(formats->Reset(), S_OK);
  EXPECT_EQ(formats->Skip(1), S_OK);
  EXPECT_EQ(formats->Skip(1), S_FALSE);
  EXPECT_EQ(formats->Reset(), S_OK);
  FORMATETC two[2] = {};
  EXPECT_EQ(formats->Next(2, two, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(copy->Release(), 0u);
  EXPECT_EQ(formats->Release(), 0u);
  EXPECT_EQ(data->Release(), 0u);
}

TEST(WinDragObjects, TheDropSourceFollowsEscapeAndTheLeftButton)
{
  auto* source = new DragAndDropHelpers::DropSource();
  EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
  EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
  EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_RBUTTON), DRAGDROP_S_DROP);
  EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
  EXPECT_EQ(source->GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
  void* object = nullptr;
  EXPECT_EQ(source->QueryInterface(IID_IDropSource, &object), S_OK);
  static_cast<IUnknown*>(object)->Release();
  EXPECT_EQ(source->Release(), 0u);
}

TEST_F(WinShell, AFileDraggedOutOverTheEditorIsDroppedOnIt)
{
  // With the button already up the drag ends at once, on the window under the pointer: the editor itself.
  POINT over{350, 100};
  ClientToScreen(child, &over);
  ASSERT_TRUE(SetCursorPos(over.x, over.y));
  PumpMessages(20);
  EXPECT_TRUE(UI().InitiateExternalFileDragDrop("C:\\dragged.wav"));
  EXPECT_EQ(dlg.drop->dropped, std::vector<std::string>{"C:\\dragged.wav"});
  EXPECT_FALSE(UI().InitiateExternalFileDragDrop(""));
  EXPECT_FALSE(UI().ControlIsCaptured());
}

// ---- Message box -------------------------------------------------------------------------------------------

// Answers the first message box with the button and records its owner, title and text.
struct MessageBoxAnswer
{
  explicit MessageBoxAnswer(int button)
    : helper([this, button] {
        HWND box = FindThreadWindow(L"#32770");
        if (!box)
          return false;
        owner = GetWindow(box, GW_OWNER);
        title = WindowText(box);
        wchar_t message[256] = {};
        GetDlgItemTextW(box, 0xFFFF, message, 256);
        text = message;
        PostMessageW(box, WM_COMMAND, button, 0);
        return true;
      })
  {
  }
  HWND owner = nullptr;
  std::wstring title;
  std::wstring text;
  ModalHelper helper;
};

TEST_F(WinShell, AMessageBoxBelongsToTheHostsMainWindowAndItsAnswerIsPassedOn)
{
  MessageBoxAnswer answer(IDNO);
  int completed = 0;
  const int result = UI().ShowMessageBox("Replace the preset?", "Quorl EQ", MB_YESNO | MB_ICONQUESTION,
                                         [&](int r) { completed = r; });
  ASSERT_TRUE(answer.helper.Done());
  EXPECT_EQ(result, IDNO);
  EXPECT_EQ(completed, IDNO);
  EXPECT_EQ(answer.owner, host.TopLevel());
  EXPECT_EQ(answer.title, L"Quorl EQ");
  EXPECT_EQ(UI().GetHostMainWindow(), host.TopLevel());
}

TEST(WinMessageBox, AHostWhoseMainWindowCameBackIsFoundByItsClass)
{
  auto first = std::make_unique<HostWindow>();
  ShellDelegate dlg;
  ASSERT_NE(dlg.OpenWindow(first->ParentHandle()), nullptr);
  IGContextWin& ui = *dlg.UI();
  {
    MessageBoxAnswer answer(IDOK);
    EXPECT_EQ(ui.ShowMessageBox("one", "t", MB_OK), IDOK);
    EXPECT_EQ(answer.owner, first->TopLevel());
  }
  // The host closes its main window (the editor's window goes with it) and opens another of the same class.
  first.reset();
  HostWindow second;
  MessageBoxAnswer answer(IDOK);
  EXPECT_EQ(ui.ShowMessageBox("two", "t", MB_OK), IDOK);
  EXPECT_EQ(answer.owner, second.TopLevel());
  EXPECT_EQ(answer.text, L"two");
  dlg.CloseWindow();
}

// ---- File, folder and colour dialogs -----------------------------------------------------------------------

TEST(WinDialogRules, TheFileDialogsFilter)
{
  const struct
  {
    const char* extensions;
    const wchar_t* pattern;
    const wchar_t* defaultExtension;
  } cases[] = {
    {"wav aif", L"*.wav;*.aif", L"wav"},
    {"fxp", L"*.fxp", L"fxp"},
    {"  wav   flac ", L"*.wav;*.flac", L"wav"},
    {"", L"", L""},
    {nullptr, L"", L""},
    // The first extension must fit in 15 characters, the pattern in 126.
    {"abcdefghijklmnop", L"", L""},
    {"abcdefghijklmno", L"*.abcdefghijklmno", L"abcdefghijklmno"},
  };
  for (const auto& c : cases)
  {
    const FileDialogFilter filter = MakeFileDialogFilter(c.extensions);
    EXPECT_EQ(filter.pattern, c.pattern) << (c.extensions ? c.extensions : "(null)");
    EXPECT_EQ(filter.defaultExtension, c.defaultExtension);
  }
  std::string many;
  for (int i = 0; i < 30; ++i)
    many += "ext ";
  EXPECT_TRUE(MakeFileDialogFilter(many.c_str()).pattern.empty());
}

TEST(WinDialogRules, ExplorersParameters)
{
  EXPECT_EQ(ExplorerParameters(L"C:\\Samples\\a.wav", true), L"/select,\"C:\\Samples\\a.wav\\\"");
  EXPECT_EQ(ExplorerParameters(L"C:\\Samples", false), L"\"C:\\Samples\\\"");
  EXPECT_FALSE(ShowInFileBrowser("", true));
  EXPECT_FALSE(ShowInFileBrowser(nullptr, false));
}

// Fills the file dialog's name field and presses OK (or cancels), noting the file type shown.
struct FileDialogAnswer
{
  FileDialogAnswer(std::wstring name, bool ok)
    : helper([this, name, ok] {
        HWND dialog = FindThreadWindow(L"#32770");
        if (!dialog)
          return false;
        title = WindowText(dialog);
        wchar_t type[256] = {};
        GetDlgItemTextW(dialog, 0x470, type, 256);
        fileType = type;
        if (ok)
        {
          if (!SetDlgItemTextW(dialog, 0x47C, name.c_str()))
            SetDlgItemTextW(dialog, 0x480, name.c_str());
          PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        }
        else
        {
          PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }
        return true;
      })
  {
  }
  std::wstring title;
  std::wstring fileType;
  ModalHelper helper;
};

std::string Narrow(const std::wstring& wide)
{
  char out[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, out, 1024, nullptr, nullptr);
  return out;
}

TEST_F(WinShell, SavingAsTakesTheTypedNameWithTheDefaultExtension)
{
  const std::wstring folder = MakeTempFolder(L"quorl-save-");
  ASSERT_FALSE(folder.empty());
  FileDialogAnswer answer(L"take", true);
  std::string file;
  std::string path = Narrow(folder);
  std::string completedFile = "unset";
  UI().PromptForFile(file, path, 1, "wav aif", [&](const std::string& f, const std::string&) { completedFile = f; });
  ASSERT_TRUE(answer.helper.Done());
  EXPECT_EQ(answer.fileType, L"*.wav;*.aif");
  EXPECT_EQ(file, Narrow(folder) + "\\take.wav");
  EXPECT_EQ(path, Narrow(folder) + "\\");
  EXPECT_EQ(completedFile, file);
  RemoveFolder(folder);
}

TEST_F(WinShell, OpeningTakesAnExistingFileAndCancellingEmptiesTheName)
{
  const std::wstring folder = MakeTempFolder(L"quorl-open-");
  ASSERT_FALSE(folder.empty());
  const std::wstring existing = folder + L"\\kick.wav";
  CloseHandle(CreateFileW(existing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  {
    FileDialogAnswer answer(existing, true);
    std::string file;
    std::string path = Narrow(folder);
    UI().PromptForFile(file, path, 0, "wav");
    ASSERT_TRUE(answer.helper.Done());
    EXPECT_EQ(file, Narrow(existing));
    EXPECT_EQ(path, Narrow(folder) + "\\");
  }
  {
    FileDialogAnswer answer(L"", false);
    std::string file = "previous.wav";
    std::string path = "C:\\kept\\";
    int completions = 0;
    UI().PromptForFile(file, path, 0, "wav", [&](const std::string& f, const std::string& p) {
      ++completions;
      EXPECT_EQ(f, "");
      EXPECT_EQ(p, "C:\\kept\\");
    });
    ASSERT_TRUE(answer.helper.Done());
    EXPECT_EQ(file, "");
    EXPECT_EQ(path, "C:\\kept\\");
    EXPECT_EQ(completions, 1);
  }
  RemoveFolder(folder);
}

TEST(WinDialogsWithoutWindow, AnswerAsCancelled)
{
  ShellDelegate dlg;
  ASSERT_EQ(dlg.OpenWindow(nullptr), nullptr);
  IGContextWin& ui = *dlg.UI();
  std::string file = "a.wav";
  std::string path = "C:\\";
  bool completed = false;
  ui.PromptForFile(file, path, 0, "wav", [&](const std::string&, const std::string&) { completed = true; });
  EXPECT_EQ(file, "");
  EXPECT_EQ(path, "C:\\");
  EXPECT_FALSE(completed);
  IColor colour(10, 20, 30, 40);
  EXPECT_FALSE(ui.PromptForColor(colour, "Pick", [&](const IColor&) { completed = true; }));
  EXPECT_EQ(colour, IColor(10, 20, 30, 40));
  EXPECT_FALSE(completed);
  dlg.CloseWindow();
}

// The text of the item selected in the dialog's folder tree.
std::wstring SelectedTreeItemText(HWND dialog)
{
  HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
  if (!tree)
    return {};
  const auto selected = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  wchar_t text[MAX_PATH] = {};
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = selected;
  item.pszText = text;
  item.cchTextMax = MAX_PATH;
  if (!selected || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
    return {};
  return text;
}

TEST_F(WinShell, TheFolderChooserGivesTheFolderWithABackslash)
{
  const std::wstring folder = MakeTempFolder(L"quorl-folder-");
  ASSERT_FALSE(folder.empty());
  std::wstring title;
  for (bool ok : {true, false})
  {
    SCOPED_TRACE(ok);
    ModalHelper helper([&] {
      HWND dialog = FindThreadWindow(L"#32770");
      if (!dialog)
        return false;
      wchar_t text[256] = {};
      GetDlgItemTextW(dialog, 0x3742, text, 256);
      title = text;
      // The user picks the folder in the tree, once the tree is filled (the first time in a new Wine prefix that
      // takes a while): until the tree shows the folder as selected, the helper tries again.
      if (ok)
      {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
        if (SelectedTreeItemText(dialog) != folder.substr(folder.find_last_of(L'\\') + 1))
          return false;
      }
      PostMessageW(dialog, WM_COMMAND, ok ? IDOK : IDCANCEL, 0);
      return true;
    });
    std::string chosen = "before";
    std::string completedFile = "unset";
    std::string completedFolder;
    UI().PromptForDirectory(chosen, [&](const std::string& f, const std::string& d) {
      completedFile = f;
      completedFolder = d;
    });
    ASSERT_TRUE(helper.Done());
    EXPECT_EQ(title, L"Choose a Directory");
    EXPECT_EQ(chosen, ok ? Narrow(folder) + "\\" : "");
    EXPECT_EQ(completedFile, "");
    EXPECT_EQ(completedFolder, chosen);
  }
  RemoveFolder(folder);
}

TEST_F(WinShell, TheColourChooserReplacesRedGreenAndBlueAndKeepsTheAlpha)
{
  std::wstring title;
  ModalHelper helper([&] {
    HWND dialog = FindThreadWindow(L"#32770");
    if (!dialog)
      return false;
    title = WindowText(dialog);
    // The user types another colour into the red, green and blue fields (COLOR_RED ... COLOR_BLUE).
    SetDlgItemInt(dialog, 706, 10, FALSE);
    SetDlgItemInt(dialog, 707, 20, FALSE);
    SetDlgItemInt(dialog, 708, 30, FALSE);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    return true;
  });
  IColor colour(77, 200, 100, 50);
  IColor completed;
  EXPECT_TRUE(UI().PromptForColor(colour, "Knob colour", [&](const IColor& c) { completed = c; }));
  ASSERT_TRUE(helper.Done());
  EXPECT_EQ(title, L"Knob colour");
  EXPECT_EQ(colour, IColor(77, 10, 20, 30));
  EXPECT_EQ(completed, colour);

  ModalHelper cancel([&] {
    HWND dialog = FindThreadWindow(L"#32770");
    if (dialog)
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return dialog != nullptr;
  });
  bool called = false;
  EXPECT_FALSE(UI().PromptForColor(colour, "", [&](const IColor&) { called = true; }));
  EXPECT_FALSE(called);
  EXPECT_EQ(colour, IColor(77, 10, 20, 30));
}

// ---- Links -------------------------------------------------------------------------------------------------

TEST_F(WinShell, ALinkIsOnlyOpenedWhenTheUserAgrees)
{
  MessageBoxAnswer no(IDNO);
  EXPECT_FALSE(UI().OpenURL("https://example.invalid/", "Quorl EQ", "Open the manual?", "Could not open it"));
  ASSERT_TRUE(no.helper.Done());
  EXPECT_EQ(no.text, L"Open the manual?");
  EXPECT_EQ(no.title, L"Quorl EQ");
  // Owned by the editor window, whose top-level window the system makes the owner.
  EXPECT_EQ(no.owner, host.TopLevel());
}

TEST_F(WinShell, ALinkThatCannotBeOpenedShowsTheFailureText)
{
  MessageBoxAnswer ok(IDOK);
  EXPECT_FALSE(UI().OpenURL("", "Quorl EQ", nullptr, "Could not open it"));
  ASSERT_TRUE(ok.helper.Done());
  EXPECT_EQ(ok.text, L"Could not open it");
}

} // namespace
} // namespace quorl_test
