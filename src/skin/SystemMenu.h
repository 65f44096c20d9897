#pragma once
// The system menu of a skinned title bar, and what it asks of the title bar: which buttons
// it has and their actions on the form.
#include "Menus.h"

#include <cstdint>

namespace parvelle {

// The kinds of title bar buttons; the system menu's items follow the first three.
enum TsuiTitleBarBtnType : uint8_t {
    suiMax = 0,
    suiMin = 1,
    suiClose = 2,
    suiHelp = 3,
    suiControlBox = 4,
    suiCustom = 5,
};

// What the system menu needs of the title bar it belongs to.
class TsuiTitleBarCommands {
public:
    virtual ~TsuiTitleBarCommands() = default;
    // Whether the title bar has a button of that type, visible or not.
    virtual bool HasButton(TsuiTitleBarBtnType type) const = 0;
    virtual void MinimizeForm() = 0;           // as the minimise button does
    virtual void ClickMaximizeButtons() = 0;   // every maximise button, in collection order
    virtual void CloseForm() = 0;
};

// The system menu: "Mi&nimize", "Ma&ximize/Restore", a separator and "&Close".
class TsuiTitleBarPopupMenu : public TsuiPopupMenu {
    Q_OBJECT

public:
    enum ItemIndex { MinimizeItem = 0, MaximizeItem = 1, SeparatorItem = 2, CloseItem = 3 };

    // Owner: the title bar widget; commands: its buttons and form (usually the same object).
    TsuiTitleBarPopupMenu(QWidget* titleBar, TsuiTitleBarCommands* commands);

    // Enables the items whose buttons the title bar has, then pops up at the screen point.
    void Popup(int x, int y);
    // Enables the items whose buttons the title bar has.
    void UpdateItems();
    QAction* Item(ItemIndex index) const;

private:
    TsuiTitleBarCommands* commands_;
};

} // namespace parvelle

Q_DECLARE_METATYPE(parvelle::TsuiTitleBarBtnType)
