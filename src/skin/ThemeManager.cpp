#include "ThemeManager.h"

#include <QWidget>

namespace parvelle {

TsuiThemeManager::TsuiThemeManager(QObject* owner) : QObject(owner)
{
    UpdateAll();
}

void TsuiThemeManager::SetUIStyle(TsuiUIStyle style)
{
    const TsuiUIStyle old = uiStyle_;
    uiStyle_ = style;
    UpdateAll();
    if (old != style)
        Q_EMIT OnUIStyleChanged(this);
}

void TsuiThemeManager::SetFileTheme(TsuiFileTheme* fileTheme)
{
    if (fileTheme_ != fileTheme) {
        if (fileTheme_)
            disconnect(fileTheme_, &QObject::destroyed, this, nullptr);
        if (fileTheme)
            connect(fileTheme, &QObject::destroyed, this, &TsuiThemeManager::FileThemeRemoved);
    }
    fileTheme_ = fileTheme;
    UpdateAll();   // the style written again with its current value: no change signal
}

QStringList TsuiThemeManager::CompList() const
{
    QStringList names;
    for (const Listed& entry : listed_)
        names.append(entry.component ? entry.component->objectName() : entry.name);
    return names;
}

void TsuiThemeManager::SetCompList(const QStringList& names)
{
    listed_.clear();
    for (const QString& name : names)
        listed_.append(Listed{name});
    BindNamedComponents();
}

void TsuiThemeManager::SetComponents(const QList<QObject*>& components)
{
    listed_.clear();
    for (QObject* component : components) {
        if (!component)
            continue;
        listed_.append(Listed{});
        Bind(listed_.last(), component);
    }
}

void TsuiThemeManager::UpdateAll()
{
    if (!OwnerForm())
        return;
    BindNamedComponents();
    // A copy: a component restyled may remove another from the list.
    const QList<Listed> listed = listed_;
    for (const Listed& entry : listed) {
        if (!entry.component)
            continue;
        SetPublishedProperty(entry.component, QStringLiteral("UIStyle"), QVariant::fromValue(uiStyle_));
        SetPublishedProperty(entry.component, QStringLiteral("FileTheme"),
                             QVariant::fromValue(fileTheme_.data()));
    }
}

QWidget* TsuiThemeManager::OwnerForm() const
{
    auto* form = qobject_cast<QWidget*>(parent());
    return form && form->isWindow() ? form : nullptr;
}

QObject* TsuiThemeManager::FindComponent(const QString& name) const
{
    const QWidget* form = OwnerForm();
    if (!form || name.isEmpty())
        return nullptr;
    for (QObject* component : form->findChildren<QObject*>()) {
        if (component->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return component;
    }
    return nullptr;
}

// A bound component reports its destruction, which takes it off the list.
void TsuiThemeManager::Bind(Listed& entry, QObject* component)
{
    entry.component = component;
    if (component != this)
        connect(component, &QObject::destroyed, this, &TsuiThemeManager::ComponentRemoved,
                Qt::UniqueConnection);
}

void TsuiThemeManager::BindNamedComponents()
{
    for (Listed& entry : listed_) {
        if (entry.component)
            continue;
        if (QObject* component = FindComponent(entry.name))
            Bind(entry, component);
    }
}

void TsuiThemeManager::ComponentRemoved(QObject* component)
{
    listed_.removeIf([component](const Listed& entry) { return entry.component == component; });
}

void TsuiThemeManager::FileThemeRemoved()
{
    fileTheme_ = nullptr;
    uiStyle_ = DeepBlue;
}

} // namespace parvelle
