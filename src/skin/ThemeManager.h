#pragma once
// Non-visual component that keeps a list of its form's components in one style.
#include "ThemeCatalogue.h"
#include "ThemeFile.h"

#include <QList>
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

    // The listed components by name, as stored files hold them: a component's current name
    // once it is bound, else the name it is to be found by.
    QStringList CompList() const;
    // Names to be found on the form (case-insensitively), each bound to its component once
    // found, now or in a later UpdateAll. Restyles nothing.
    void SetCompList(const QStringList& names);
    // Binds the components themselves: renaming one keeps it listed. Restyles nothing.
    void SetComponents(const QList<QObject*>& components);

    // Gives every listed component of the form, in list order, UIStyle then FileTheme.
    // Only when the owner is a form; names without a component are skipped.
    void UpdateAll();

Q_SIGNALS:
    void OnUIStyleChanged(parvelle::TsuiThemeManager* sender);

private:
    // One list entry: bound to its component, or a name still to be found.
    struct Listed {
        QString name;
        QObject* component = nullptr;   // cleared from the list when it is destroyed
    };

    QWidget* OwnerForm() const;
    QObject* FindComponent(const QString& name) const;
    void Bind(Listed& entry, QObject* component);
    void BindNamedComponents();
    void ComponentRemoved(QObject* component);
    void FileThemeRemoved();

    TsuiUIStyle uiStyle_ = DeepBlue;
    QPointer<TsuiFileTheme> fileTheme_;
    QList<Listed> listed_;
};

} // namespace parvelle
