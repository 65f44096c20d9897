#pragma once
// Shared fixtures of the window tests: the application object, recording services and
// a real SOFTWARE hive with cache entries in a temporary folder.
#include "app/window/ErrorHandler.h"
#include "app/window/MessageBox.h"
#include "app/window/Printing.h"
#include "app/window/Shell.h"
#include "registry/HiveStore.h"
#include "registry/Machine.h"
#include "TestSupport.h"

#include <QPrinter>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

class QAbstractItemView;
class QTreeWidget;

namespace parvelle::test {

struct Message {
    QString text;
    QString title;
};

// Where errors that escape an event go in tests: a modal box would wait for ever, so
// the running test fails instead.
class UnexpectedMessages : public MessageBoxService {
public:
    void show(const QString& text, const QString& title) override
    {
        ADD_FAILURE() << "message box \"" << title.toStdString() << "\": " << text.toStdString();
    }
};

inline void EnsureApp()
{
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static UnexpectedMessages unexpected;
    if (!QApplication::instance()) {
        QStandardPaths::setTestModeEnabled(true);
        (new Application(argc, argv))->SetErrorMessages(&unexpected);
    }
}

class RecordingMessages : public MessageBoxService {
public:
    void show(const QString& text, const QString& title) override { shown.push_back({text, title}); }
    std::vector<Message> shown;
};

class FakeShell : public Shell {
public:
    int shellExecute(const QString& target) override
    {
        targets.push_back(target);
        return result;
    }
    int result = kShellSuccess;
    std::vector<QString> targets;
};

// "Chooses" a PDF file as the printer, or cancels.
class PdfChooser : public PrinterChooser {
public:
    bool choose(QPrinter& printer) override
    {
        ++asked;
        if (cancel)
            return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        return true;
    }
    QString file;
    bool cancel = false;
    int asked = 0;
};

// A cache entry of the test hive.
struct TestCacheEntry {
    QString name;
    QString filePath;
    int32_t frequency = 0;
    bool inUninstall = false;
};

// A real SOFTWARE hive of Windows XP (OS kind 6) with ARPCache entries, written with
// hivex into a temporary folder, and a machine that mounts it under HKLM\SOFTWARE.
class TestRegistry {
public:
    explicit TestRegistry(const std::vector<TestCacheEntry>& entries);
    QString hivePath() const { return dir_.filePath(QStringLiteral("SOFTWARE")); }
    QString undoFolder() const { return dir_.filePath(QStringLiteral("undo")); }
    Machine& machine() { return *machine_; }
    // Opens the hive file again from disk (what another reader would see).
    std::unique_ptr<Machine> reopen() const;

private:
    QTemporaryDir dir_;
    std::unique_ptr<Machine> machine_;
};

// The 552-byte SlowInfoCache record of an entry.
QByteArray SlowInfoCacheRecord(const QString& filePath, int32_t frequency);

// How a program run by a test ended. A run that outlasts the time limit is killed.
struct ProcessRun {
    bool finished = false;   // ended by itself within the limit
    bool crashed = false;
    int exitCode = -1;
    QString output;
    QString errors;
};

inline constexpr int kProcessTimeLimitMs = 20000;

// Runs a program with QT_QPA_PLATFORM=offscreen added to the environment, or in the
// environment given.
ProcessRun RunProcess(const QString& program, const QStringList& arguments);
ProcessRun RunProcess(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment);

// The texts of every row of a report view, column by column.
QList<QStringList> TableOf(const QTreeWidget* view);

// The Undo page's check list: every entry's text, the number checked, a check mark set.
QStringList ListItems(const QAbstractItemView* list);
int CheckedCount(const QAbstractItemView* list);
void SetChecked(QAbstractItemView* list, int row, bool checked);

// Clicks a control of the window as a user does: its page brought to the front first.
// Then waits until a removal, restore or import the click started has ended.
void ClickOnItsPage(QWidget* control);

} // namespace parvelle::test
