#pragma once
// The menu bar of a skinned frame: a flat bar below the title bar with one button per
// top-level item of the frame's main menu.
#include <QWidget>

class QHBoxLayout;

namespace parvelle {

class TsuiForm;
class TsuiMainMenu;

class TsuiMenuBar : public QWidget {
public:
    // Aligned to the top of the frame, as high as the frame's MenuBarHeight.
    explicit TsuiMenuBar(TsuiForm* frame);

    // Buttons for the menu's top-level items, in menu order.
    void Rebuild();
    void UpdateHeight();
    // The menu's font and look, after its style changed.
    void UpdateStyle();

    const TsuiMainMenu& Menu() const;
    int BarHeight() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TsuiForm* frame_;
    QHBoxLayout* row_;
};

} // namespace parvelle
