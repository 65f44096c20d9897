#include "PageControl.h"

#include "Accessibility.h"

#include <QChildEvent>
#include <QPainter>

namespace parvelle {

TsuiPageControlTopPanel::TsuiPageControlTopPanel(TsuiTab* owner)
    : TsuiTabControlTopPanel(owner)
{
    SetTabs({});
}

TsuiPageControl::TsuiPageControl(QWidget* parent)
    : TsuiTab(parent)
{
    InstallTopPanel(new TsuiPageControlTopPanel(this));
}

TsuiPageControl::~TsuiPageControl()
{
    for (TsuiTabSheet* page : pages_)
        page->pageControl_ = nullptr;
}

void TsuiPageControl::AddPage(TsuiTabSheet* page)
{
    if (!page || pages_.contains(page))
        return;
    page->pageControl_ = this;
    if (page->parentWidget() != this)
        page->setParent(this);
    page->SetColor(Color());
    page->SetBorderColor(BorderColor());
    page->setGeometry(PageArea());
    pages_.append(page);
    Renumber();
    RebuildTabs();
    ActivatePage(page);
}

// A page that leaves is not told OnHide: the page before it becomes active.
void TsuiPageControl::RemovePage(TsuiTabSheet* page)
{
    const int index = int(pages_.indexOf(page));
    if (index < 0)
        return;
    pages_.removeAt(index);
    page->pageControl_ = nullptr;
    if (activePage_ == page)
        activePage_ = nullptr;
    Renumber();
    RebuildTabs();
    ActivatePageIndex(index - 1);
}

void TsuiPageControl::MovePage(TsuiTabSheet* page, int newIndex)
{
    const int index = int(pages_.indexOf(page));
    if (index < 0 || newIndex < 0 || newIndex >= pages_.size())
        return;
    pages_.move(index, newIndex);
    Renumber();
    RebuildTabs();
    ActivatePage(page);
}

void TsuiPageControl::Renumber()
{
    for (int i = 0; i < pages_.size(); ++i)
        pages_[i]->pageIndex_ = i;
}

void TsuiPageControl::RebuildTabs()
{
    QStringList captions;
    QList<bool> visible;
    for (const TsuiTabSheet* page : pages_) {
        captions.append(page->caption_);
        visible.append(page->tabVisible_);
    }
    TopPanel()->SetTabs(captions, visible);
}

// The active page unless it is the one at Index: disabled, left behind, told OnHide.
void TsuiPageControl::DeactivateCurrent(int unlessIndex)
{
    if (!activePage_ || activePage_->pageIndex_ == unlessIndex)
        return;
    activePage_->setEnabled(false);
    Q_EMIT activePage_->OnHide();
}

void TsuiPageControl::ShowActive(TsuiTabSheet* page)
{
    page->setVisible(true);
    page->setEnabled(true);
    page->raise();
    page->repaint();
}

void TsuiPageControl::TabActivated(int index)
{
    DeactivateCurrent(index);
    activePage_ = pages_.value(index);
    if (TsuiTabSheet* page = activePage_) {
        ShowActive(page);
        const QList<QWidget*> children = page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        QWidget* first = children.value(0);
        if (first && first->isVisible() && first->isEnabled() && first->focusPolicy() != Qt::NoFocus)
            first->setFocus(Qt::OtherFocusReason);
        Q_EMIT page->OnShow();
    }
    TsuiTab::TabActivated(index);
}

void TsuiPageControl::ActivatePage(TsuiTabSheet* page)
{
    if (activePage_ && activePage_ != page) {
        activePage_->setEnabled(false);
        Q_EMIT activePage_->OnHide();
    }
    activePage_ = page;
    if (!page)
        return;
    // A new tab index runs TabActivated, which shows the page (and signals OnShow) first.
    TopPanel()->SetTabIndex(page->pageIndex_);
    ShowActive(page);
    Q_EMIT page->OnShow();
}

void TsuiPageControl::ActivatePageIndex(int index)
{
    DeactivateCurrent(index);
    if (index < 0 || index >= TopPanel()->Tabs().size()) {
        activePage_ = nullptr;
        return;
    }
    TopPanel()->SetTabIndex(index);
    activePage_ = pages_.value(index);
    if (TsuiTabSheet* page = activePage_) {
        ShowActive(page);
        Q_EMIT page->OnShow();
    }
}

void TsuiPageControl::SelectNeighbourPage(int index)
{
    for (int i = index - 1; i >= 0; --i) {
        if (TopPanel()->TabVisible(i)) {
            ActivatePageIndex(i);
            return;
        }
    }
    for (int i = index + 1; i < pages_.size(); ++i) {
        if (TopPanel()->TabVisible(i)) {
            ActivatePageIndex(i);
            return;
        }
    }
}

void TsuiPageControl::BorderColorChanged()
{
    for (TsuiTabSheet* page : pages_)
        page->SetBorderColor(BorderColor());
    if (activePage_)
        activePage_->repaint();
}

void TsuiPageControl::ColorChanged()
{
    for (TsuiTabSheet* page : pages_)
        page->SetColor(Color());
}

void TsuiPageControl::ChildAreaChanged()
{
    for (TsuiTabSheet* page : pages_)
        page->setGeometry(PageArea());
}

void TsuiPageControl::UpdateChildStyles(TsuiUIStyle style, TsuiFileTheme* fileTheme)
{
    for (TsuiTabSheet* page : pages_) {
        ApplyStyleToChildren(page, style, fileTheme);
        page->SetColor(Color());
        page->SetBorderColor(BorderColor());
        page->setGeometry(PageArea());
    }
}

// A page given another parent leaves the control.
void TsuiPageControl::childEvent(QChildEvent* event)
{
    TsuiTab::childEvent(event);
    if (event->type() != QEvent::ChildRemoved)
        return;
    for (TsuiTabSheet* page : pages_) {
        if (static_cast<QObject*>(page) == event->child()) {
            RemovePage(page);
            return;
        }
    }
}

// ---------------------------------------------------------------------------------------

TsuiTabSheet::TsuiTabSheet(TsuiPageControl* pageControl)
    : QWidget(pageControl)
{
    // Every paint covers the whole page; nothing is erased.
    setAttribute(Qt::WA_OpaquePaintEvent);
    InstallSkinAccessibility();
    if (pageControl)
        pageControl->AddPage(this);
}

TsuiTabSheet::~TsuiTabSheet()
{
    if (pageControl_)
        pageControl_->RemovePage(this);
}

void TsuiTabSheet::SetPageControl(TsuiPageControl* pageControl)
{
    if (pageControl == pageControl_)
        return;
    if (pageControl_)
        pageControl_->RemovePage(this);
    if (pageControl)
        pageControl->AddPage(this);
}

void TsuiTabSheet::SetPageIndex(int index)
{
    if (pageControl_ && index >= 0 && index < pageControl_->PageCount())
        pageControl_->MovePage(this, index);
}

void TsuiTabSheet::SetCaption(const QString& caption)
{
    caption_ = caption;
    AccessibleNameChanged(this);
    if (pageControl_)
        pageControl_->RebuildTabs();
}

void TsuiTabSheet::SetTabVisible(bool visible)
{
    tabVisible_ = visible;
    if (!pageControl_)
        return;
    pageControl_->TopPanel()->SetTabVisible(pageIndex_, visible);
    if (!visible && pageControl_->ActivePage() == this)
        pageControl_->SelectNeighbourPage(pageIndex_);
}

void TsuiTabSheet::SetColor(TColor color)
{
    color_ = color;
    repaint();
}

void TsuiTabSheet::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), ToQColor(color_));
}

} // namespace parvelle
