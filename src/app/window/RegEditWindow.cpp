#include "RegEditWindow.h"

#include "SafeTextDelegate.h"
#include "WindowClass.h"
#include "registry/RootKeys.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QSplitter>
#include <QVBoxLayout>
#include <QtEndian>

namespace parvelle {

namespace {
constexpr int kSearchResetMs = 1000;
const QString kComputer = QStringLiteral("Computer");
const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                       HKEY_USERS, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};

std::optional<KeyRef> ResolveKey(const Machine& machine, const QString& keyPath)
{
    const qsizetype slash = keyPath.indexOf(QLatin1Char('\\'));
    const HKEY root = RootFromName(slash < 0 ? keyPath : keyPath.left(slash));
    const auto rootKey = root ? machine.rootKey(root) : std::nullopt;
    if (!rootKey || slash < 0)
        return rootKey;
    return machine.open(*rootKey, keyPath.mid(slash + 1));
}

QString Utf16Text(const QByteArray& data)
{
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(data.constData()),
                                      data.size() / 2);
    const qsizetype zero = text.indexOf(QChar(0));
    return zero < 0 ? text : text.left(zero);
}

QString HexBytes(const QByteArray& data)
{
    return QString::fromLatin1(data.toHex(' ')).toUpper();
}
} // namespace

QString ValueDataText(uint32_t type, const QByteArray& data)
{
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return Utf16Text(data);
    case REG_MULTI_SZ: {
        QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(data.constData()),
                                          data.size() / 2);
        QStringList parts = text.split(QChar(0));
        while (!parts.isEmpty() && parts.last().isEmpty())
            parts.removeLast();
        return parts.join(QLatin1Char(' '));
    }
    case REG_DWORD:
        if (data.size() == 4) {
            const quint32 value = qFromLittleEndian<quint32>(data.constData());
            return QStringLiteral("0x%1 (%2)").arg(value, 8, 16, QLatin1Char('0')).arg(value);
        }
        return HexBytes(data);
    case REG_QWORD:
        if (data.size() == 8) {
            const quint64 value = qFromLittleEndian<quint64>(data.constData());
            return QStringLiteral("0x%1 (%2)").arg(value, 16, 16, QLatin1Char('0')).arg(value);
        }
        return HexBytes(data);
    default:
        return HexBytes(data);
    }
}

RegTree::RegTree(Machine& machine, QWidget* parent) : QTreeWidget(parent), machine_(machine)
{
    SetWindowClass(this, kRegTreeClass);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    auto* top = new QTreeWidgetItem(this, {kComputer});
    top->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    setCurrentItem(top);
    // Every expansion re-reads the key's subkeys, so the tree follows registry changes.
    connect(this, &QTreeWidget::itemExpanded, this, &RegTree::Fill);
}

QString RegTree::KeyPathOf(const QTreeWidgetItem* item)
{
    QStringList parts;
    for (; item && item->parent(); item = item->parent())
        parts.prepend(item->text(0));
    return parts.join(QLatin1Char('\\'));
}

void RegTree::Fill(QTreeWidgetItem* item)
{
    QStringList names;
    if (!item->parent()) {
        for (HKEY root : kRoots) {
            if (machine_.rootKey(root))
                names.append(RootName(root));
        }
    } else if (const auto key = ResolveKey(machine_, KeyPathOf(item))) {
        names = machine_.subkeyNames(*key);
        names.sort(Qt::CaseInsensitive);
    }
    bool currentInside = false;
    for (auto* up = currentItem(); up && !currentInside; up = up->parent())
        currentInside = up->parent() == item;
    if (currentInside)
        setCurrentItem(item);
    qDeleteAll(item->takeChildren());
    for (const QString& name : names) {
        auto* child = new QTreeWidgetItem(item, {name});
        child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void RegTree::keyPressEvent(QKeyEvent* event)
{
    const QList<uint> typed = event->text().toUcs4();
    // Format characters (bidirectional controls, joiners) are part of names as well.
    const bool plainText = !typed.isEmpty()
        && (QChar::isPrint(typed.first()) || QChar::category(typed.first()) == QChar::Other_Format)
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (event->key() == Qt::Key_Left) {
        search_.clear();
        GoLeft();
    } else if (event->key() == Qt::Key_Right) {
        search_.clear();
        GoRight();
    } else if (plainText) {
        Search(event->text());
    } else {
        search_.clear();
        QTreeWidget::keyPressEvent(event);
    }
}

void RegTree::GoLeft()
{
    QTreeWidgetItem* item = currentItem();
    if (!item)
        return;
    if (item->isExpanded())
        item->setExpanded(false);
    else if (item->parent())
        setCurrentItem(item->parent());
}

void RegTree::GoRight()
{
    QTreeWidgetItem* item = currentItem();
    if (!item)
        return;
    if (!item->isExpanded()) {
        item->setExpanded(true);
        if (item->childCount() == 0)
            item->setExpanded(false);
    } else if (item->childCount() > 0) {
        setCurrentItem(item->child(0));
    }
}

// Selects the first visible item, from the one after the selection (or from the
// selection itself while a longer prefix is being typed), whose name starts with
// what was typed within the last second.
void RegTree::Search(const QString& typed)
{
    if (!lastTyped_.isValid() || lastTyped_.elapsed() > kSearchResetMs)
        search_.clear();
    lastTyped_.restart();
    search_ += typed;
    QTreeWidgetItem* start = currentItem() ? currentItem() : topLevelItem(0);
    if (!start)
        return;
    QTreeWidgetItem* item = search_.size() == 1 ? NextVisible(start) : start;
    QTreeWidgetItem* const first = item;
    do {
        if (item->text(0).startsWith(search_, Qt::CaseInsensitive)) {
            setCurrentItem(item);
            return;
        }
        item = NextVisible(item);
    } while (item != first);
}

QTreeWidgetItem* RegTree::NextVisible(QTreeWidgetItem* item) const
{
    QTreeWidgetItem* below = itemBelow(item);
    return below ? below : topLevelItem(0);
}

RegEditWindow::RegEditWindow(Machine& machine, QWidget* parent)
    : QWidget(parent, Qt::Window), machine_(machine)
{
    SetWindowClass(this, kRegEditClass);
    setWindowTitle(QStringLiteral("Registry Editor"));
    auto* splitter = new QSplitter(this);
    tree_ = new RegTree(machine, splitter);
    values_ = new QTreeWidget(splitter);
    values_->setObjectName(QStringLiteral("ValueList"));
    values_->setRootIsDecorated(false);
    values_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Data")});
    values_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    splitter->setStretchFactor(1, 2);
    ShowTextsSafely(tree_);
    ShowTextsSafely(values_);
    status_ = new QStatusBar(this);
    status_->setObjectName(QStringLiteral("StatusBar"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(splitter, 1);   // the panes take the height, the status bar one line
    layout->addWidget(status_);
    resize(760, 480);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        status_->clearMessage();
        ShowValues(current);
    });
}

void RegEditWindow::CheckSelection(const QString& keyPath)
{
    QString target = keyPath;
    while (target.endsWith(QLatin1Char('\\')))
        target.chop(1);
    if (!SameName(target, tree_->CurrentKeyPath()))
        status_->showMessage(QStringLiteral("Key not found: ") + target);
}

void RegEditWindow::ShowValues(const QTreeWidgetItem* item)
{
    values_->clear();
    const auto key = item && item->parent() ? ResolveKey(machine_, RegTree::KeyPathOf(item))
                                            : std::nullopt;
    if (!key || !key->store)
        return;
    for (const RegValue& value : key->store->values(key->node)) {
        const QString name = value.name.isEmpty() ? QStringLiteral("(Default)") : value.name;
        new QTreeWidgetItem(values_, {name, ValueTypeName(value.type),
                                      ValueDataText(value.type, value.data)});
    }
}

} // namespace parvelle
