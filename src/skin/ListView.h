#pragma once
// A tree widget in report view with the skin's two-pixel border ring and optional skinned
// scroll bars laid over its own and kept in step with them.
#include "ControlSupport.h"
#include "ScrollBar.h"
#include "ThemeCatalogue.h"

#include <QPointer>
#include <QTreeWidget>

class QScrollBar;

namespace parvelle {

class TsuiListView : public QTreeWidget {
    Q_OBJECT
    Q_PROPERTY(parvelle::TsuiFileTheme* FileTheme READ FileTheme WRITE SetFileTheme)
    Q_PROPERTY(parvelle::TsuiUIStyle UIStyle READ UIStyle WRITE SetUIStyle)
    Q_PROPERTY(uint BorderColor READ BorderColor WRITE SetBorderColor)
    Q_PROPERTY(parvelle::TsuiScrollBar* VScrollBar READ VScrollBar WRITE SetVScrollBar)
    Q_PROPERTY(parvelle::TsuiScrollBar* HScrollBar READ HScrollBar WRITE SetHScrollBar)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)

public:
    // Style of the owner form; one scroll position is one row.
    explicit TsuiListView(QWidget* parent = nullptr);

    TsuiFileTheme* FileTheme() const { return fileTheme_.get(); }
    void SetFileTheme(TsuiFileTheme* fileTheme);   // then UIStyle is written again
    TsuiUIStyle UIStyle() const { return uiStyle_; }
    // Also sets BorderColor from the theme and the attached bars' style.
    void SetUIStyle(TsuiUIStyle style);

    TColor BorderColor() const { return borderColor_; }   // the outer ring
    void SetBorderColor(TColor color);
    TColor Color() const;   // the background, also the inner ring
    void SetColor(TColor color);

    // Bars placed beside the list in its parent, not owned; a released bar is put back to
    // no event, LineButton 0, Max 100, enabled.
    TsuiScrollBar* VScrollBar() const { return v_.bar; }
    void SetVScrollBar(TsuiScrollBar* bar);
    TsuiScrollBar* HScrollBar() const { return h_.bar; }
    void SetHScrollBar(TsuiScrollBar* bar);

    void PlaceScrollBars();
    void SyncScrollBars();

protected:
    // Without a current row, paging and Home / End start from the top row shown (the
    // toolkit's view would only go to the first row).
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Attached {
        QPointer<TsuiScrollBar> bar;
        QMetaObject::Connection onChange;
    };
    void Attach(Attached& slot, TsuiScrollBar* bar, TsuiProgressBarOrientation orientation);
    void SyncBar(TsuiScrollBar* skinned, const QScrollBar* system);
    void VScrollBarChanged();
    void HScrollBarChanged();
    static bool Shown(const TsuiScrollBar* bar) { return bar && !bar->isHidden(); }

    FileThemeLink fileTheme_;
    TsuiUIStyle uiStyle_ = DeepBlue;
    TColor borderColor_ = clBlack;
    Attached v_;
    Attached h_;
    bool syncing_ = false;
};

} // namespace parvelle
