#include "graphics/IPopupMenu.h"

namespace ondrell::graphics {

IPopupMenu::Item* IPopupMenu::AddItem(std::string text, int flags, int tag)
{
  mItems.push_back(std::make_unique<Item>(std::move(text), flags, tag));
  return mItems.back().get();
}

IPopupMenu::Item* IPopupMenu::AddSubmenu(std::string text, std::unique_ptr<IPopupMenu> submenu, int tag)
{
  Item* item = AddItem(std::move(text), 0, tag);
  item->SetSubmenu(std::move(submenu));
  return item;
}

IPopupMenu::Item* IPopupMenu::AddSeparator()
{
  return AddItem({}, kSeparator);
}

void IPopupMenu::Clear()
{
  mItems.clear();
  mChosenItemIdx = -1;
}

IPopupMenu::Item* IPopupMenu::GetItem(int index) const
{
  if (index < 0 || index >= NItems())
    return nullptr;
  return mItems[static_cast<size_t>(index)].get();
}

const char* IPopupMenu::GetItemText(int index) const
{
  const Item* item = GetItem(index);
  return item ? item->GetText().c_str() : "";
}

bool IPopupMenu::IsItemChecked(int index) const
{
  const Item* item = GetItem(index);
  return item && item->GetChecked();
}

void IPopupMenu::CheckItem(int index, bool on)
{
  if (Item* item = GetItem(index))
    item->SetChecked(on);
}

void IPopupMenu::ExecFunction()
{
  if (mFunction)
    mFunction(this);
}

} // namespace ondrell::graphics
