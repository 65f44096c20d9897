#pragma once
// The system focus rectangle around a scroll area's viewport while the area has the
// keyboard focus. Item views show the focus only on their current item, so not at all
// while empty, and scroll boxes never do.
class QAbstractScrollArea;

namespace parvelle {

void ShowKeyboardFocus(QAbstractScrollArea* area);

} // namespace parvelle
