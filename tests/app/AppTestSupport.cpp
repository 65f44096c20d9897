#include "AppTestSupport.h"
#include "app/window/Form1.h"

#include "registry/TNTRegistry.h"
#include "skin/PageControl.h"

#include <QDir>
#include <QAbstractItemView>
#include <QProcess>
#include <QTest>
#include <QTreeWidget>
#include <QtEndian>

namespace parvelle::test {

namespace {
const QString kCache = QStringLiteral("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\");
const QString kUninstall = QStringLiteral("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
} // namespace

QByteArray SlowInfoCacheRecord(const QString& filePath, int32_t frequency)
{
    QByteArray record(552, '\0');
    qToLittleEndian<quint32>(552, record.data());
    qToLittleEndian<quint32>(filePath.isEmpty() ? 0 : 1, record.data() + 4);
    qToLittleEndian<qint64>(4096 * 1024, record.data() + 8);
    qToLittleEndian<quint64>(Q_UINT64_C(128000000000000000), record.data() + 16);
    qToLittleEndian<qint32>(frequency, record.data() + 24);
    for (int i = 0; i < filePath.size() && 28 + 2 * i + 1 < record.size(); ++i)
        qToLittleEndian<quint16>(filePath[i].unicode(), record.data() + 28 + 2 * i);
    return record;
}

TestRegistry::TestRegistry(const std::vector<TestCacheEntry>& entries)
{
    QDir(dir_.path()).mkdir(QStringLiteral("undo"));
    HiveStore::createEmpty(hivePath());
    {
        Machine writer;
        writer.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"), std::make_shared<HiveStore>(hivePath()));
        TNTRegistry reg(writer);
        reg.SelectRoot(HKEY_LOCAL_MACHINE);
        reg.OpenPath(QStringLiteral("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"), true);
        reg.WriteText(QStringLiteral("CurrentVersion"), QStringLiteral("5.1"));
        reg.OpenPath(kUninstall, true);
        for (const TestCacheEntry& entry : entries) {
            const QByteArray record = SlowInfoCacheRecord(entry.filePath, entry.frequency);
            reg.OpenPath(kCache + entry.name, true);
            reg.WriteBytes(QStringLiteral("SlowInfoCache"), record.constData(), int(record.size()));
            reg.WriteDword(QStringLiteral("Changed"), 0);
            if (entry.inUninstall)
                reg.OpenPath(kUninstall + entry.name, true);
        }
        writer.commit();
    }
    machine_ = reopen();
}

std::unique_ptr<Machine> TestRegistry::reopen() const
{
    auto machine = std::make_unique<Machine>();
    machine->mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"), std::make_shared<HiveStore>(hivePath()));
    return machine;
}

QList<QStringList> TableOf(const QTreeWidget* view)
{
    QList<QStringList> rows;
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
        QStringList row;
        for (int column = 0; column < view->columnCount(); ++column)
            row.append(view->topLevelItem(i)->text(column));
        rows.append(row);
    }
    return rows;
}

ProcessRun RunProcess(const QString& program, const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return RunProcess(program, arguments, environment);
}

ProcessRun RunProcess(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ProcessRun run;
    run.finished = process.waitForFinished(kProcessTimeLimitMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(2000);
        return run;
    }
    run.crashed = process.exitStatus() == QProcess::CrashExit;
    run.exitCode = process.exitCode();
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QStringList ListItems(const QAbstractItemView* list)
{
    QStringList items;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        items.append(list->model()->index(row, 0).data().toString());
    return items;
}

int CheckedCount(const QAbstractItemView* list)
{
    int checked = 0;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        checked += list->model()->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
    return checked;
}

void SetChecked(QAbstractItemView* list, int row, bool checked)
{
    list->model()->setData(list->model()->index(row, 0), checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

void ClickOnItsPage(QWidget* control)
{
    ASSERT_NE(control, nullptr);
    for (QWidget* up = control; up; up = up->parentWidget()) {
        if (auto* sheet = qobject_cast<TsuiTabSheet*>(up))
            sheet->PageControl()->ActivatePage(sheet);
    }
    QTest::mouseClick(control, Qt::LeftButton);
    if (const auto* form = qobject_cast<const TForm1*>(control->window())) {
        EXPECT_TRUE(QTest::qWaitFor([form] { return !form->ChangeRunning(); }, kProcessTimeLimitMs));
    }
}

} // namespace parvelle::test
