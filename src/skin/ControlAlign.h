#pragma once
// Placement of child controls along their parent's edges, as the toolkit aligns them:
// top-aligned children are stacked down from the top, then bottom-aligned ones up from the
// bottom, left and right ones inwards from the sides, and a client-aligned child takes what
// is left. Within one edge the children keep their current order along it (child order on
// a tie). The parent realigns whenever it or an aligned child is resized, shown or hidden.
#include <QMetaType>
#include <cstdint>

class QWidget;

namespace parvelle {

enum TAlign : uint8_t { alNone = 0, alTop, alBottom, alLeft, alRight, alClient };

// Stores the control's alignment and realigns its parent.
void SetControlAlign(QWidget* control, TAlign align);
TAlign ControlAlign(const QWidget* control);

// Places every aligned, not hidden child of Parent inside its contents rectangle.
void AlignControls(QWidget* parent);

} // namespace parvelle

Q_DECLARE_METATYPE(parvelle::TAlign)
