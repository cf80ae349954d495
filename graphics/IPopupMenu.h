#pragma once

// A menu model: items with flags, tags and optional submenus, the chosen item after the menu closes, and an
// optional function that receives the menu when an item is chosen. The platform shows it; controls fill it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ondrell::graphics {

class IPopupMenu
{
public:
  enum ItemFlags : int { kGreyed = 1, kDisabled = 2, kChecked = 4, kSeparator = 8 };

  class Item
  {
  public:
    Item(std::string text, int flags = 0, int tag = -1) : mText(std::move(text)), mFlags(flags), mTag(tag) {}

    const std::string& GetText() const { return mText; }
    void SetText(std::string text) { mText = std::move(text); }
    int GetFlags() const { return mFlags; }
    int GetTag() const { return mTag; }
    bool GetEnabled() const { return !(mFlags & (kDisabled | kGreyed)); }
    bool GetChecked() const { return (mFlags & kChecked) != 0; }
    bool GetIsSeparator() const { return (mFlags & kSeparator) != 0; }
    void SetChecked(bool on) { mFlags = on ? (mFlags | kChecked) : (mFlags & ~kChecked); }
    void SetEnabled(bool on) { mFlags = on ? (mFlags & ~kDisabled) : (mFlags | kDisabled); }
    IPopupMenu* GetSubmenu() const { return mSubmenu.get(); }
    void SetSubmenu(std::unique_ptr<IPopupMenu> menu) { mSubmenu = std::move(menu); }

  private:
    std::string mText;
    int mFlags = 0;
    int mTag = -1;
    std::unique_ptr<IPopupMenu> mSubmenu;
  };

  explicit IPopupMenu(std::string title = {}) : mTitle(std::move(title)) {}

  Item* AddItem(std::string text, int flags = 0, int tag = -1);
  Item* AddSubmenu(std::string text, std::unique_ptr<IPopupMenu> submenu, int tag = -1);
  Item* AddSeparator();
  void Clear();

  int NItems() const { return static_cast<int>(mItems.size()); }
  // Null for an index out of range.
  Item* GetItem(int index) const;
  const char* GetItemText(int index) const;
  bool IsItemChecked(int index) const;
  void CheckItem(int index, bool on);

  const std::string& GetTitle() const { return mTitle; }
  void SetTitle(std::string title) { mTitle = std::move(title); }
  // -1 when nothing was chosen.
  int GetChosenItemIdx() const { return mChosenItemIdx; }
  void SetChosenItemIdx(int index) { mChosenItemIdx = index; }
  Item* GetChosenItem() const { return GetItem(mChosenItemIdx); }

  // 0 none; 1, 2 or 3 number the items with that many digits when shown.
  int GetPrefix() const { return mPrefix; }
  void SetPrefix(int digits) { mPrefix = digits; }
  // 0 means one column.
  int GetColumnLength() const { return mColumnLength; }
  void SetColumnLength(int length) { mColumnLength = length; }

  void SetFunction(std::function<void(IPopupMenu*)> fn) { mFunction = std::move(fn); }
  bool HasFunction() const { return static_cast<bool>(mFunction); }
  void ExecFunction();

private:
  std::string mTitle;
  std::vector<std::unique_ptr<Item>> mItems;
  int mChosenItemIdx = -1;
  int mPrefix = 0;
  int mColumnLength = 0;
  std::function<void(IPopupMenu*)> mFunction;
};

} // namespace ondrell::graphics
