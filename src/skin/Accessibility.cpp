#include "Accessibility.h"

#include "Buttons.h"
#include "CheckBox.h"
#include "ImagePanel.h"
#include "PageControl.h"
#include "RotateLabel.h"
#include "ScrollBar.h"
#include "TitleBar.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QKeySequence>
#include <QPointer>
#include <algorithm>

namespace parvelle {

namespace {

// The caption as read aloud: "&" marks the accelerator, "&&" stands for "&".
QString WithoutAccelerator(const QString& caption)
{
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != u'&')
            text += caption[i];
        else if (i + 1 < caption.size() && caption[i + 1] == u'&')
            text += caption[++i];
    }
    return text;
}

QString AcceleratorText(const QString& caption)
{
    return QKeySequence::mnemonic(caption).toString(QKeySequence::NativeText);
}

// A control named by its caption whose one action (Action) clicks it as the mouse does.
template <class Control>
class ClickableControl : public QAccessibleWidget {
public:
    ClickableControl(Control* control, QAccessible::Role role, const QString& action)
        : QAccessibleWidget(control, role), action_(action)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return WithoutAccelerator(caption());
        if (kind == QAccessible::Accelerator)
            return AcceleratorText(caption());
        return QAccessibleWidget::text(kind);
    }

    QStringList actionNames() const override { return QStringList{action_} + QAccessibleWidget::actionNames(); }

    void doAction(const QString& name) override
    {
        if (name != action_)
            return QAccessibleWidget::doAction(name);
        if (widget()->isEnabled())
            control()->Click();
    }

    QStringList keyBindingsForAction(const QString& name) const override
    {
        const QString accelerator = AcceleratorText(caption());
        if (name != action_ || accelerator.isEmpty())
            return QAccessibleWidget::keyBindingsForAction(name);
        return {accelerator};
    }

protected:
    Control* control() const { return static_cast<Control*>(widget()); }
    QString caption() const { return control()->Caption(); }

private:
    QString action_;
};

class AccessibleButton : public ClickableControl<TsuiCustomButton> {
public:
    explicit AccessibleButton(TsuiCustomButton* button)
        : ClickableControl(button, QAccessible::Button, pressAction())
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = ClickableControl::state();
        state.pressed = control()->State().pressed();
        return state;
    }
};

class AccessibleCheckBox : public ClickableControl<TsuiCheckBox> {
public:
    explicit AccessibleCheckBox(TsuiCheckBox* box)
        : ClickableControl(box, QAccessible::CheckBox, toggleAction())
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = ClickableControl::state();
        state.checkable = true;
        state.checked = control()->Checked();
        return state;
    }
};

// A part a control draws with no widget of its own (a page tab, a title-bar button),
// known by its owner and its index there. Pressing it does what a click on it does.
class ControlPart : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ControlPart(QWidget* owner, int index) : owner_(owner), index_(index) {}

    QWidget* owner() const { return owner_; }
    int index() const { return index_; }

    bool isValid() const override { return owner_ && exists(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return parent() ? parent()->window() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(owner_); }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        const QRect local = localRect();
        return local.isNull() ? QRect() : QRect(owner_->mapToGlobal(local.topLeft()), local.size());
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction() && isValid())
            press();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

protected:
    virtual bool exists() const = 0;
    virtual QRect localRect() const = 0;   // in the owner's coordinates; null when not shown
    virtual void press() = 0;

private:
    QPointer<QWidget> owner_;
    int index_;
};

// A widget whose accessible children are its parts, in reading order, then the child
// widgets no part holds. The parts are made on demand and live as long as this interface.
template <class PartType>
class PartsOwner : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;

    ~PartsOwner() override
    {
        for (QAccessible::Id id : std::as_const(parts_))
            QAccessible::deleteAccessibleInterface(id);
    }

    // Indexes of the parts shown, in reading order.
    virtual QList<int> partIndexes() const = 0;

    // The child position of the part at Index, -1 when it is not shown.
    int partPosition(int index) const { return int(partIndexes().indexOf(index)); }

    int childCount() const override { return int(partIndexes().size() + childWidgets().size()); }

    QAccessibleInterface* child(int position) const override
    {
        const QList<int> parts = partIndexes();
        if (position >= 0 && position < parts.size())
            return part(parts[position]);
        return QAccessible::queryAccessibleInterface(childWidgets().value(position - parts.size()));
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        const auto* part = dynamic_cast<const ControlPart*>(child);
        if (part)
            return part->owner() == widget() ? partPosition(part->index()) : -1;
        const qsizetype at = child ? childWidgets().indexOf(child->object()) : -1;
        return at < 0 ? -1 : int(partIndexes().size() + at);
    }

protected:
    // The child widgets listed after the parts: by default every one but windows.
    virtual QList<QWidget*> childWidgets() const
    {
        QList<QWidget*> children = widget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        children.removeIf([](const QWidget* child) { return child->isWindow(); });
        return children;
    }

    QAccessibleInterface* part(int index) const
    {
        if (const QAccessible::Id id = parts_.value(index))
            return QAccessible::accessibleInterface(id);
        auto* part = new PartType(widget(), index);
        parts_.insert(index, QAccessible::registerAccessibleInterface(part));
        return part;
    }

private:
    mutable QHash<int, QAccessible::Id> parts_;
};

// ---- page control -------------------------------------------------------------------

TsuiTabControlTopPanel* StripOf(const QWidget* owner)
{
    return static_cast<const TsuiTab*>(owner)->TopPanel();
}

TsuiTabSheet* PageOf(const QWidget* owner, int index)
{
    const auto* pages = qobject_cast<const TsuiPageControl*>(owner);
    return pages ? pages->Page(index) : nullptr;
}

bool IsActivePage(const TsuiTabSheet* page)
{
    return page->PageControl() && page->PageControl()->ActivePage() == page;
}

// A tab of the strip; on a page control it holds its page.
class PageTab : public ControlPart {
public:
    using ControlPart::ControlPart;

    QAccessible::Role role() const override { return QAccessible::PageTab; }

    QString text(QAccessible::Text kind) const override
    {
        return kind == QAccessible::Name ? WithoutAccelerator(strip()->Tabs().value(index())) : QString();
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.selectable = true;
        state.selected = strip()->TabIndex() == index();
        state.offscreen = localRect().isNull();
        state.disabled = !owner()->isEnabled();
        return state;
    }

    int childCount() const override { return page() ? 1 : 0; }
    QAccessibleInterface* child(int position) const override
    {
        return position == 0 ? QAccessible::queryAccessibleInterface(page()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && page() && child->object() == page() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        QAccessibleInterface* page = child(0);
        return page && page->rect().contains(x, y) ? page : nullptr;
    }

protected:
    bool exists() const override { return index() < strip()->Tabs().size() && strip()->TabVisible(index()); }

    QRect localRect() const override
    {
        strip()->UpdateLayout();   // as a paint would, should none have come yet
        for (const TabCell& cell : strip()->Layout().cells) {
            if (cell.index == index())
                return cell.rect.translated(strip()->pos());
        }
        return {};
    }

    void press() override { strip()->SetTabIndex(index()); }

private:
    TsuiTabControlTopPanel* strip() const { return StripOf(owner()); }
    TsuiTabSheet* page() const { return PageOf(owner(), index()); }
};

class AccessibleTabs : public PartsOwner<PageTab> {
public:
    explicit AccessibleTabs(TsuiTab* tabs) : PartsOwner(tabs, QAccessible::PageTabList) {}

    QList<int> partIndexes() const override
    {
        QList<int> shown;
        const TsuiTabControlTopPanel* strip = StripOf(widget());
        for (int i = 0; strip && i < strip->Tabs().size(); ++i) {
            if (strip->TabVisible(i))
                shown.append(i);
        }
        return shown;
    }

    // Over the page area: the active tab, which holds the page.
    QAccessibleInterface* childAt(int x, int y) const override
    {
        if (QAccessibleInterface* hit = PartsOwner::childAt(x, y))
            return hit;
        const TsuiTabControlTopPanel* strip = StripOf(widget());
        const int active = strip ? partPosition(strip->TabIndex()) : -1;
        QAccessibleInterface* tab = active >= 0 ? child(active) : nullptr;
        return tab && tab->childAt(x, y) ? tab : nullptr;
    }

protected:
    // The strip is read as its tabs, and a page whose tab is shown as that tab's child.
    QList<QWidget*> childWidgets() const override
    {
        QList<QWidget*> children = PartsOwner::childWidgets();
        children.removeIf([this](QWidget* child) {
            const auto* page = qobject_cast<TsuiTabSheet*>(child);
            return child == StripOf(widget()) || (page && page->PageControl() && page->TabVisible());
        });
        return children;
    }
};

// A page is showing only while it is the active one: the others lie behind it.
class AccessibleTabSheet : public QAccessibleWidget {
public:
    explicit AccessibleTabSheet(TsuiTabSheet* page) : QAccessibleWidget(page, QAccessible::PropertyPage) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return WithoutAccelerator(page()->Caption());
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        if (page()->PageControl() && !IsActivePage(page()))
            state.invisible = state.offscreen = true;
        return state;
    }

    QAccessibleInterface* parent() const override
    {
        TsuiPageControl* pages = page()->PageControl();
        if (!pages || !page()->TabVisible())
            return QAccessibleWidget::parent();
        const auto* tabs = dynamic_cast<AccessibleTabs*>(QAccessible::queryAccessibleInterface(pages));
        return tabs ? tabs->child(tabs->partPosition(page()->PageIndex())) : QAccessibleWidget::parent();
    }

private:
    TsuiTabSheet* page() const { return static_cast<TsuiTabSheet*>(widget()); }
};

// ---- title bar ---------------------------------------------------------------------------

TitleBarLayout ArrangedButtons(const QWidget* owner)
{
    const auto* bar = static_cast<const TsuiTitleBar*>(owner);
    return bar->Arrange(bar->width());
}

class TitleBarButton : public ControlPart {
public:
    using ControlPart::ControlPart;

    QAccessible::Role role() const override { return QAccessible::Button; }

    QString text(QAccessible::Text kind) const override
    {
        if (kind != QAccessible::Name)
            return {};
        switch (button()->ButtonType()) {
        case suiClose: return QStringLiteral("Close");
        case suiMax: {
            const QWidget* form = bar()->Form();
            return form && form->isMaximized() ? QStringLiteral("Restore") : QStringLiteral("Maximize");
        }
        case suiMin: return QStringLiteral("Minimize");
        case suiControlBox: return QStringLiteral("System menu");
        case suiHelp: return QStringLiteral("Help");
        case suiCustom: break;
        }
        return {};
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.disabled = !owner()->isEnabled();
        state.hasPopup = button()->ButtonType() == suiControlBox;
        return state;
    }

protected:
    bool exists() const override { return index() < bar()->Buttons()->Count(); }
    QRect localRect() const override { return ArrangedButtons(owner()).buttons.value(index()); }

    // What a click does; the control box without a menu of its own opens the system menu.
    void press() override
    {
        if (button()->ButtonType() == suiControlBox && !button()->ControlBoxMenu())
            bar()->PopupSystemMenu();
        else
            button()->ClickButton();
    }

private:
    TsuiTitleBar* bar() const { return static_cast<TsuiTitleBar*>(owner()); }
    TsuiTitleBarButton* button() const { return bar()->Buttons()->Items(index()); }
};

class AccessibleTitleBar : public PartsOwner<TitleBarButton> {
public:
    explicit AccessibleTitleBar(TsuiTitleBar* bar) : PartsOwner(bar, QAccessible::TitleBar) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<TsuiTitleBar*>(widget())->Caption();
        return PartsOwner::text(kind);
    }

    // Left to right as drawn.
    QList<int> partIndexes() const override
    {
        const TitleBarLayout layout = ArrangedButtons(widget());
        QList<int> shown;
        for (int i = 0; i < layout.buttons.size(); ++i) {
            if (!layout.buttons[i].isNull())
                shown.append(i);
        }
        std::sort(shown.begin(), shown.end(),
                  [&](int a, int b) { return layout.buttons[a].left() < layout.buttons[b].left(); });
        return shown;
    }
};

// ---- labels and pictures ---------------------------------------------------------------

class AccessibleRotateLabel : public QAccessibleWidget {
public:
    explicit AccessibleRotateLabel(TRotateLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind != QAccessible::Name || !widget()->accessibleName().isEmpty())
            return QAccessibleWidget::text(kind);
        const auto* label = static_cast<TRotateLabel*>(widget());
        return label->ShowAccelChar() ? WithoutAccelerator(label->Caption()) : label->Caption();
    }
};

// A picture named by its caption; without a picture, a label.
class AccessibleImagePanel : public QAccessibleWidget, public QAccessibleImageInterface {
public:
    explicit AccessibleImagePanel(TsuiCustomPanel* panel) : QAccessibleWidget(panel) {}

    QAccessible::Role role() const override
    {
        return panel()->Picture().isNull() ? QAccessible::StaticText : QAccessible::Graphic;
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return panel()->Caption().trimmed();
        return QAccessibleWidget::text(kind);
    }

    QString imageDescription() const override { return text(QAccessible::Name); }
    QSize imageSize() const override { return panel()->Picture().size(); }
    QPoint imagePosition() const override { return widget()->mapToGlobal(QPoint(0, 0)); }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ImageInterface && !panel()->Picture().isNull())
            return static_cast<QAccessibleImageInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

private:
    TsuiCustomPanel* panel() const { return static_cast<TsuiCustomPanel*>(widget()); }
};

// ---- scroll bars and track bars -------------------------------------------------------

// A control holding a position within its range, which assistive technology reads and sets.
template <class Control>
class AccessibleRange : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    AccessibleRange(Control* control, QAccessible::Role role) : QAccessibleWidget(control, role) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return defaultName();
        if (kind == QAccessible::Value)
            return QString::number(control()->Position());
        return QAccessibleWidget::text(kind);
    }

    QVariant currentValue() const override { return control()->Position(); }
    QVariant minimumValue() const override { return control()->Min(); }
    QVariant maximumValue() const override { return control()->Max(); }

    void setCurrentValue(const QVariant& value) override
    {
        if (widget()->isEnabled())
            control()->SetPosition(value.toInt());
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

protected:
    Control* control() const { return static_cast<Control*>(widget()); }
    virtual QString defaultName() const = 0;
};

// The track and its thumb: one slider, the thumb a part of its drawing.
class AccessibleTrackBar : public AccessibleRange<TsuiScrollTrackBar> {
public:
    explicit AccessibleTrackBar(TsuiScrollTrackBar* track) : AccessibleRange(track, QAccessible::Slider) {}

    QVariant minimumStepSize() const override { return control()->LineSize(); }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

protected:
    QString defaultName() const override { return QStringLiteral("Position"); }
};

// Named by its orientation, as Windows names a window's scroll bars. Its one child is the
// track; the arrows, which take no focus, are left to the mouse, the value standing for them.
class AccessibleScrollBar : public AccessibleRange<TsuiScrollBar> {
public:
    explicit AccessibleScrollBar(TsuiScrollBar* bar) : AccessibleRange(bar, QAccessible::ScrollBar) {}

    QVariant minimumStepSize() const override { return control()->SmallChange(); }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override { return index == 0 ? track() : nullptr; }
    int indexOfChild(const QAccessibleInterface* child) const override { return child && child->object() == &control()->Track() ? 0 : -1; }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        QAccessibleInterface* trackInterface = track();
        return trackInterface->rect().contains(x, y) ? trackInterface : nullptr;
    }

protected:
    QString defaultName() const override
    {
        return control()->Orientation() == suiHorizontal ? QStringLiteral("Horizontal") : QStringLiteral("Vertical");
    }

private:
    QAccessibleInterface* track() const { return QAccessible::queryAccessibleInterface(&control()->Track()); }
};

QAccessibleInterface* SkinInterface(const QString&, QObject* object)
{
    if (auto* button = qobject_cast<TsuiCustomButton*>(object))
        return new AccessibleButton(button);
    if (auto* box = qobject_cast<TsuiCheckBox*>(object))
        return new AccessibleCheckBox(box);
    if (auto* tabs = qobject_cast<TsuiTab*>(object))
        return new AccessibleTabs(tabs);
    if (auto* page = qobject_cast<TsuiTabSheet*>(object))
        return new AccessibleTabSheet(page);
    if (auto* bar = qobject_cast<TsuiTitleBar*>(object))
        return new AccessibleTitleBar(bar);
    if (auto* label = qobject_cast<TRotateLabel*>(object))
        return new AccessibleRotateLabel(label);
    if (auto* panel = qobject_cast<TsuiCustomPanel*>(object))
        return new AccessibleImagePanel(panel);
    if (auto* bar = qobject_cast<TsuiScrollBar*>(object))
        return new AccessibleScrollBar(bar);
    if (auto* track = qobject_cast<TsuiScrollTrackBar*>(object))
        return new AccessibleTrackBar(track);
    return nullptr;
}

void Notify(QObject* control, QAccessible::Event type, int child = -1)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(control, type);
    event.setChild(child);
    QAccessible::updateAccessibility(&event);
}

void NotifyState(QObject* control, QAccessible::State changed, int child = -1)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleStateChangeEvent event(control, changed);
    event.setChild(child);
    QAccessible::updateAccessibility(&event);
}

template <class Interface>
Interface* InterfaceOf(QWidget* widget)
{
    return dynamic_cast<Interface*>(QAccessible::queryAccessibleInterface(widget));
}

// Every part Owner shows has a new name.
template <class Interface>
void NotifyPartNames(QWidget* owner)
{
    if (!QAccessible::isActive())
        return;
    const auto* parts = InterfaceOf<Interface>(owner);
    const qsizetype count = parts ? parts->partIndexes().size() : 0;
    for (int position = 0; position < count; ++position)
        Notify(owner, QAccessible::NameChanged, position);
}

} // namespace

void InstallSkinAccessibility()
{
    static const bool installed = (QAccessible::installFactory(SkinInterface), true);
    Q_UNUSED(installed);
}

void AccessibleNameChanged(QObject* control)
{
    Notify(control, QAccessible::NameChanged);
}

void AccessibleValueChanged(QObject* control, int value)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleValueChangeEvent event(control, value);
    QAccessible::updateAccessibility(&event);
}

void AccessibleCheckedChanged(QObject* box)
{
    QAccessible::State checked;
    checked.checked = true;
    NotifyState(box, checked);
}

void AccessibleTabSelected(TsuiTab* tabs, int previous, int current)
{
    if (!QAccessible::isActive() || !tabs->TopPanel())
        return;
    const auto* list = InterfaceOf<AccessibleTabs>(tabs);
    if (!list)
        return;
    QAccessible::State selected;
    selected.selected = true;
    QAccessible::State shown;
    shown.invisible = shown.offscreen = true;
    for (int index : {previous, current}) {
        const int position = list->partPosition(index);
        if (position < 0)
            continue;
        NotifyState(tabs, selected, position);
        if (TsuiTabSheet* page = PageOf(tabs, index))
            NotifyState(page, shown);
    }
    Notify(tabs, QAccessible::Selection, list->partPosition(current));
}

void AccessibleTabsChanged(TsuiTab* tabs)
{
    if (tabs->TopPanel())
        NotifyPartNames<AccessibleTabs>(tabs);
}

void AccessibleTitleButtonsChanged(TsuiTitleBar* titleBar)
{
    NotifyPartNames<AccessibleTitleBar>(titleBar);
}

} // namespace parvelle
