#pragma once
// Non-visual component that keeps a list of its form's components in one style.
#include "ThemeCatalogue.h"
#include "ThemeFile.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

namespace parvelle {

class TsuiThemeManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(parvelle::TsuiUIStyle UIStyle READ UIStyle WRITE SetUIStyle)
    Q_PROPERTY(parvelle::TsuiFileTheme* FileTheme READ FileTheme WRITE SetFileTheme)
    Q_PROPERTY(QStringList CompList READ CompList WRITE SetCompList)

public:
    // Starts in DeepBlue with an empty list. The owner is the manager's form.
    explicit TsuiThemeManager(QObject* owner = nullptr);

    TsuiUIStyle UIStyle() const { return uiStyle_; }
    // Stores the style, runs UpdateAll, then signals OnUIStyleChanged when it changed.
    // EPropertyError when a listed component lacks UIStyle or FileTheme.
    void SetUIStyle(TsuiUIStyle style);

    TsuiFileTheme* FileTheme() const { return fileTheme_; }
    // Stores it and writes UIStyle again (UpdateAll, no signal).
    void SetFileTheme(TsuiFileTheme* fileTheme);

    QStringList CompList() const { return compList_; }
    void SetCompList(const QStringList& names);   // copies the names; restyles nothing

    // Gives every listed component of the form, in list order, UIStyle then FileTheme.
    // Only when the owner is a form; names without a component are skipped.
    void UpdateAll();

Q_SIGNALS:
    void OnUIStyleChanged(parvelle::TsuiThemeManager* sender);

private:
    QWidget* OwnerForm() const;
    QObject* FindComponent(const QString& name) const;
    void WatchListedComponents();
    void ComponentRemoved(QObject* component);
    void FileThemeRemoved();

    TsuiUIStyle uiStyle_ = DeepBlue;
    QPointer<TsuiFileTheme> fileTheme_;
    QStringList compList_;
};

} // namespace parvelle
