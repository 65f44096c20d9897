#include "CellToolTips.h"

#include "cache/TerminalText.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

namespace parvelle {

namespace {

class CutOffCellTips : public QObject {
public:
    explicit CutOffCellTips(QAbstractItemView* view) : QObject(view), view_(view) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip)
            return QObject::eventFilter(watched, event);
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = view_->indexAt(help->pos());
        const QString text = TerminalText(index.data().toString());   // as the cell shows it
        const QRect cell = view_->visualRect(index);
        if (index.isValid() && TextWidth(text) > cell.width())
            QToolTip::showText(help->globalPos(), text, view_->viewport(), cell);
        else
            QToolTip::hideText();
        return true;
    }

private:
    // The text's width with the margins the view draws around it.
    int TextWidth(const QString& text) const
    {
        const int margin = view_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view_) + 1;
        return view_->fontMetrics().horizontalAdvance(text) + 2 * margin;
    }

    QAbstractItemView* view_;
};

} // namespace

void ShowCutOffCellTexts(QAbstractItemView* view)
{
    view->viewport()->installEventFilter(new CutOffCellTips(view));
}

} // namespace parvelle
