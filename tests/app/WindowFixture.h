#pragma once
// A main window over a fresh test hive, with recording services.
#include "AppTestSupport.h"
#include "app/window/Controls.h"
#include "app/window/Form1.h"
#include "app/window/RegEditWindow.h"
#include "app/window/WindowClass.h"

#include <QTest>
#include <gtest/gtest.h>

namespace parvelle::test {

class WindowTest : public ::testing::Test {
protected:
    WindowTest()
        : registry({{QStringLiteral("AlphaApp"), QStringLiteral("C:\\Program Files\\Alpha\\alpha.exe"), 3, true},
                    {QStringLiteral("BetaTool"), QStringLiteral("C:\\Tools\\beta.exe"), 11, false},
                    {QStringLiteral("GammaSuite"), QString(), -1, false}})
    {
    }

    void TearDown() override
    {
        form.reset();
        EXPECT_EQ(FindWindow(kRegEditClass), nullptr);   // the editor goes with the window
    }

    TForm1& Open(std::function<QWidget*(Machine&)> makeRegEdit = {})
    {
        EnsureApp();
        form = std::make_unique<TForm1>(registry.machine(), registry.undoFolder(),
                                        Form1Services{&messages, &shell, &printers, std::move(makeRegEdit)});
        form->show();
        WaitForUndoList();
        return *form;
    }

    // The Undo page's file is read on a worker thread; this waits until it is shown.
    void WaitForUndoList()
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !form->ReadingUndoList(); }, 20000));
    }

    // A removal, restore or import runs on a worker thread; this waits until it has ended.
    void WaitForChange()
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !form->ChangeRunning(); }, kProcessTimeLimitMs));
    }

    template <class T = QWidget>
    T* Find(const QString& name) const
    {
        T* widget = form->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }

    void ShowPage(int index) { Find<TsuiPageControl>(QStringLiteral("suiPageControl1"))->ActivatePageIndex(index); }

    void Click(const QString& buttonName)
    {
        ClickOnItsPage(Find<QWidget>(buttonName));
        WaitForUndoList();
    }

    QString LastMessage() const { return messages.shown.empty() ? QString() : messages.shown.back().text; }

    TestRegistry registry;
    RecordingMessages messages;
    FakeShell shell;
    PdfChooser printers;
    std::unique_ptr<TForm1> form;
};

} // namespace parvelle::test
