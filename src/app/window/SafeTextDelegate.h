#pragma once
// Item texts read from a hive drawn safely: control characters and bidirectional controls
// written visibly (\x1B, \u202E) as the command line prints them, so that no name hides or
// reverses what follows it; every row as high as any text of the view's font needs,
// whatever the first row holds (unless the model gives the rows' size).
#include <QFont>
#include <QStyledItemDelegate>

class QAbstractItemView;

namespace parvelle {

class SafeTextDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale& locale) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int RowHeight(const QStyleOptionViewItem& option) const;

    // The last row height measured, and for which font.
    mutable QFont measuredFont_;
    mutable int rowHeight_ = -1;
};

// Gives the view a SafeTextDelegate.
void ShowTextsSafely(QAbstractItemView* view);

} // namespace parvelle
