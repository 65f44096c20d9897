#include "SafeTextDelegate.h"

#include "cache/TerminalText.h"

#include <QAbstractItemView>
#include <QApplication>

namespace parvelle {

namespace {
// A tall Latin letter with a descender, and a character of the CJK font the window's fonts
// fall back to, which reaches higher and lower than they do.
const QString kTallestText = QStringLiteral("Ag\u4E2D");
} // namespace

QString SafeTextDelegate::displayText(const QVariant& value, const QLocale& locale) const
{
    if (value.typeId() == QMetaType::QString)
        return TerminalText(value.toString());
    return QStyledItemDelegate::displayText(value, locale);
}

QSize SafeTextDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (!index.data(Qt::SizeHintRole).isValid())   // else the model sized its rows itself
        size.setHeight(RowHeight(option));
    return size;
}

int SafeTextDelegate::RowHeight(const QStyleOptionViewItem& option) const
{
    if (rowHeight_ < 0 || measuredFont_ != option.font) {
        QStyleOptionViewItem sample(option);
        sample.text = kTallestText;
        sample.features |= QStyleOptionViewItem::HasDisplay;
        const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        rowHeight_ = style->sizeFromContents(QStyle::CT_ItemViewItem, &sample, QSize(), option.widget).height();
        measuredFont_ = option.font;
    }
    return rowHeight_;
}

void ShowTextsSafely(QAbstractItemView* view)
{
    view->setItemDelegate(new SafeTextDelegate(view));
}

} // namespace parvelle
