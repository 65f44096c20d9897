#pragma once
// What assistive technology (a screen reader, through AT-SPI) learns of the skinned
// controls. A factory, installed with the first control, gives each control its
// QAccessibleInterface: push buttons and the check box named by their captions with their
// press and toggle actions; the page control a page tab list whose tabs hold their pages;
// the title bar its buttons (Close, Maximize or Restore, Minimize, System menu); rotated
// labels and image panels their text; a scroll bar and a track bar their position in their
// range, read and set as a value. The controls call the hooks below on the changes a screen
// reader follows.
class QObject;

namespace parvelle {

class TsuiTab;
class TsuiTitleBar;

// Installs the factory, once. Each skinned control calls it as it is made, before Qt can ask
// for its interface.
void InstallSkinAccessibility();
// The control's accessible name (its caption) changed.
void AccessibleNameChanged(QObject* control);
// A scroll bar's or track bar's position changed.
void AccessibleValueChanged(QObject* control, int value);
// A check box was checked or unchecked.
void AccessibleCheckedChanged(QObject* box);
// The tab Current became the selected one, after Previous (-1 for none).
void AccessibleTabSelected(TsuiTab* tabs, int previous, int current);
// The tabs' captions or visibility changed.
void AccessibleTabsChanged(TsuiTab* tabs);
// The title bar's buttons changed their names (the maximise button became Restore).
void AccessibleTitleButtonsChanged(TsuiTitleBar* titleBar);

} // namespace parvelle
