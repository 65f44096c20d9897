#pragma once
// The registry editor window: a lazily filled tree of keys over the open machine and
// the values of the selected key. Its tree answers the keyboard like the Windows tree:
// Left collapses or goes to the parent, Right expands or goes to the first child, and
// typed characters search incrementally among the visible keys.
#include "registry/Machine.h"

#include <QElapsedTimer>
#include <QStatusBar>
#include <QTreeWidget>
#include <QWidget>

namespace parvelle {

inline const QString kRegEditClass = QStringLiteral("RegEdit_RegEdit");
inline const QString kRegTreeClass = QStringLiteral("SysTreeView32");

class RegTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit RegTree(Machine& machine, QWidget* parent = nullptr);
    // Full path of an item: "Computer\HKEY_LOCAL_MACHINE\SOFTWARE\..." without the
    // "Computer\" prefix; empty for the top item.
    static QString KeyPathOf(const QTreeWidgetItem* item);
    QString CurrentKeyPath() const { return KeyPathOf(currentItem()); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Fill(QTreeWidgetItem* item);
    void GoLeft();
    void GoRight();
    void Search(const QString& typed);
    QTreeWidgetItem* NextVisible(QTreeWidgetItem* item) const;

    Machine& machine_;
    QString search_;
    QElapsedTimer lastTyped_;
};

class RegEditWindow : public QWidget {
    Q_OBJECT
public:
    explicit RegEditWindow(Machine& machine, QWidget* parent = nullptr);
    RegTree* Tree() const { return tree_; }
    QTreeWidget* Values() const { return values_; }
    QStatusBar* StatusBar() const { return status_; }

    // After a key path was typed into the tree: says in the status bar when the selected
    // key is not that key (it does not exist, or typing could not reach it).
    void CheckSelection(const QString& keyPath);

private:
    void ShowValues(const QTreeWidgetItem* item);

    Machine& machine_;
    RegTree* tree_;
    QTreeWidget* values_;
    QStatusBar* status_;
};

// The text of a value's data as the editor shows it.
QString ValueDataText(uint32_t type, const QByteArray& data);

} // namespace parvelle
