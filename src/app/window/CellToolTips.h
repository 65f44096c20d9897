#pragma once
// Tooltips with the whole text of a cell that its column cuts off.
class QAbstractItemView;

namespace parvelle {

// From now on, hovering over a cell of `view` whose text does not fit shows that text.
void ShowCutOffCellTexts(QAbstractItemView* view);

} // namespace parvelle
