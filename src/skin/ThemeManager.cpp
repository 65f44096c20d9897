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

void TsuiThemeManager::SetCompList(const QStringList& names)
{
    compList_ = names;
    WatchListedComponents();
}

void TsuiThemeManager::UpdateAll()
{
    if (!OwnerForm())
        return;
    WatchListedComponents();
    for (const QString& name : std::as_const(compList_)) {
        QObject* component = FindComponent(name);
        if (!component)
            continue;
        SetPublishedProperty(component, QStringLiteral("UIStyle"), QVariant::fromValue(uiStyle_));
        SetPublishedProperty(component, QStringLiteral("FileTheme"),
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

// Removal notifications: every listed component found on the form reports its destruction.
void TsuiThemeManager::WatchListedComponents()
{
    for (const QString& name : std::as_const(compList_)) {
        if (QObject* component = FindComponent(name); component && component != this)
            connect(component, &QObject::destroyed, this, &TsuiThemeManager::ComponentRemoved,
                    Qt::UniqueConnection);
    }
}

void TsuiThemeManager::ComponentRemoved(QObject* component)
{
    const QString name = component->objectName();
    for (qsizetype i = 0; i < compList_.size(); ++i) {
        if (compList_[i].compare(name, Qt::CaseInsensitive) == 0) {
            compList_.removeAt(i);
            return;
        }
    }
}

void TsuiThemeManager::FileThemeRemoved()
{
    fileTheme_ = nullptr;
    uiStyle_ = DeepBlue;
}

} // namespace parvelle
