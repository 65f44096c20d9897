#pragma once
// Skinned page control: an ordered list of TsuiTabSheet pages under a strip of themed tabs,
// showing the page of the selected tab.
#include "TabControl.h"

#include <QList>
#include <QPointer>

namespace parvelle {

class TsuiPageControl;

// The page control's strip starts without tabs.
class TsuiPageControlTopPanel : public TsuiTabControlTopPanel {
    Q_OBJECT

public:
    explicit TsuiPageControlTopPanel(TsuiTab* owner);
};

// One page: fills the page control's page area; its Caption is its tab's text.
class TsuiTabSheet : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int PageIndex READ PageIndex WRITE SetPageIndex)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool TabVisible READ TabVisible WRITE SetTabVisible)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)

public:
    // Given a page control, the sheet joins it as its last page and becomes active.
    explicit TsuiTabSheet(TsuiPageControl* pageControl = nullptr);
    ~TsuiTabSheet() override;

    TsuiPageControl* PageControl() const { return pageControl_; }
    void SetPageControl(TsuiPageControl* pageControl);
    int PageIndex() const { return pageIndex_; }
    void SetPageIndex(int index);   // moves the page; ignored outside 0..PageCount - 1
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    bool TabVisible() const { return tabVisible_; }
    void SetTabVisible(bool visible);   // hiding the active page's tab activates a neighbour
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(TColor color) { borderColor_ = color; }

Q_SIGNALS:
    void OnShow();
    void OnHide();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    friend class TsuiPageControl;

    TsuiPageControl* pageControl_ = nullptr;
    int pageIndex_ = -1;
    QString caption_;
    bool tabVisible_ = true;
    TColor color_ = clBtnFace;
    TColor borderColor_ = clBlack;
};

class TsuiPageControl : public TsuiTab {
    Q_OBJECT
    Q_PROPERTY(parvelle::TsuiTabSheet* ActivePage READ ActivePage WRITE SetActivePage)
    Q_PROPERTY(int PageCount READ PageCount)

public:
    explicit TsuiPageControl(QWidget* parent = nullptr);
    ~TsuiPageControl() override;

    TsuiTabSheet* ActivePage() const { return activePage_; }
    void SetActivePage(TsuiTabSheet* page) { ActivatePage(page); }
    int PageCount() const { return int(pages_.size()); }
    TsuiTabSheet* Page(int index) const { return pages_.value(index); }

    // Page list maintenance, used by the sheets.
    void AddPage(TsuiTabSheet* page);                 // appends it and makes it active
    void RemovePage(TsuiTabSheet* page);              // the page before it becomes active
    void MovePage(TsuiTabSheet* page, int newIndex);  // and makes it active

    // The old page is disabled (it stays behind, not hidden) and told OnHide; the new one
    // becomes the active page, its tab selected, and is told OnShow.
    void ActivatePage(TsuiTabSheet* page);
    void ActivatePageIndex(int index);   // outside the tabs: no active page
    // The nearest page before Index whose tab is shown, else the nearest after it.
    void SelectNeighbourPage(int index);

    void TabActivated(int index) override;
    void RebuildTabs();   // the strip's tabs: every page's caption and tab visibility

protected:
    void BorderColorChanged() override;
    void ColorChanged() override;
    void ChildAreaChanged() override;
    void UpdateChildStyles(TsuiUIStyle style, TsuiFileTheme* fileTheme) override;
    void childEvent(QChildEvent* event) override;

private:
    void Renumber();
    void DeactivateCurrent(int unlessIndex);
    void ShowActive(TsuiTabSheet* page);

    QList<TsuiTabSheet*> pages_;   // not owned: pages are children of the control
    QPointer<TsuiTabSheet> activePage_;
};

} // namespace parvelle
