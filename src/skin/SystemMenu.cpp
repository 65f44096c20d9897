#include "SystemMenu.h"

namespace parvelle {

TsuiTitleBarPopupMenu::TsuiTitleBarPopupMenu(QWidget* titleBar, TsuiTitleBarCommands* commands)
    : TsuiPopupMenu(titleBar)
    , commands_(commands)
{
    addAction(QStringLiteral("Mi&nimize"), this, [this] { commands_->MinimizeForm(); });
    addAction(QStringLiteral("Ma&ximize/Restore"), this, [this] { commands_->ClickMaximizeButtons(); });
    addSeparator();
    addAction(QStringLiteral("&Close"), this, [this] { commands_->CloseForm(); });
    InstallHandlers();
}

QAction* TsuiTitleBarPopupMenu::Item(ItemIndex index) const
{
    return actions().value(index);
}

void TsuiTitleBarPopupMenu::UpdateItems()
{
    Item(MinimizeItem)->setEnabled(commands_->HasButton(suiMin));
    Item(MaximizeItem)->setEnabled(commands_->HasButton(suiMax));
    Item(CloseItem)->setEnabled(commands_->HasButton(suiClose));
}

void TsuiTitleBarPopupMenu::Popup(int x, int y)
{
    UpdateItems();
    popup(QPoint(x, y));
}

} // namespace parvelle
