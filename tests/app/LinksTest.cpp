// The link labels and the logo: each opens its own documentation page; shell failures
// are explained.
#include "WindowFixture.h"

#include <QFileInfo>

using namespace parvelle;
using namespace parvelle::test;

namespace {
struct ShellCase {
    int code;
    const char* message;   // nullptr: nothing shown
};

const ShellCase kShellCases[] = {
    {0, "The operating system is out of memory or resources."},
    {2, "The specified file was not found."},
    {3, "The specified path was not found."},
    {5, "Windows 95 only: The operating system denied access to the specified file."},
    {8, "Windows 95 only: There was not enough memory to complete the operation."},
    {11, "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image)."},
    {26, "A sharing violation occurred."},
    {27, "The filename association is incomplete or invalid."},
    {28, "The DDE transaction could not be completed because the request timed out."},
    {29, "The DDE transaction failed."},
    {30, "The DDE transaction could not be completed because other DDE transactions were being processed."},
    {31, "No program to open web pages is installed."},
    {32, "Windows 95 only: The specified dynamic-link library was not found."},
    {1, "A ShellExecute Error occurred."},
    {-5, "A ShellExecute Error occurred."},
    {33, nullptr},
    {42, nullptr},
};

void ClickControl(QWidget* control)
{
    QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(2, 2));
}
} // namespace

TEST_F(WindowTest, EveryShellResultGivesItsMessage)
{
    Open();
    ShowPage(0);
    auto* notice = Find(QStringLiteral("Label22"));
    for (const ShellCase& c : kShellCases) {
        messages.shown.clear();
        shell.result = c.code;
        ClickControl(notice);
        if (!c.message) {
            EXPECT_TRUE(messages.shown.empty()) << c.code;
            continue;
        }
        ASSERT_EQ(messages.shown.size(), 1u) << c.code;
        EXPECT_EQ(messages.shown[0].text, QString::fromUtf8(c.message)) << c.code;
        EXPECT_EQ(messages.shown[0].title, AppTitle());
    }
}

TEST_F(WindowTest, LinksOpenTheirShippedDocumentationPages)
{
    Open();
    const struct {
        int page;
        const char* control;
        const char* file;
    } links[] = {
        {0, "Label22", "index.html"}, {0, "Image1", "index.html"}, {2, "Label26", "cli.html"},
        {2, "Label27", "regedit.html"}, {2, "Label28", "themes.html"},
    };
    for (const auto& link : links) {
        ShowPage(link.page);
        shell.targets.clear();
        auto* control = Find(QString::fromLatin1(link.control));
        EXPECT_EQ(control->cursor().shape(), Qt::PointingHandCursor) << link.control;
        control->setObjectName(QStringLiteral("Renamed"));   // a link keeps its page under any name
        ClickControl(control);
        ASSERT_EQ(shell.targets.size(), 1u) << link.control;
        const QFileInfo target(shell.targets[0]);
        EXPECT_EQ(target.fileName(), QString::fromLatin1(link.file));
        EXPECT_TRUE(target.isFile()) << shell.targets[0].toStdString();
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST(QtShellTest, AMissingFileIsReportedAsNotFound)
{
    EnsureApp();
    QtShell shell;
    EXPECT_EQ(shell.shellExecute(QStringLiteral("/nonexistent/parvelle/page.html")), kShellFileNotFound);
}
