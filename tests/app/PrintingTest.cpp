// Printing undo lists to a PDF file and reading the text back with pdftotext.
#include "WindowFixture.h"

#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QRegularExpression>

using namespace parvelle;
using namespace parvelle::test;

namespace {
QString PdfText(const QString& pdf, int page)
{
    return RunTool(QStringLiteral("pdftotext"),
                   {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"), QString::number(page),
                    QStringLiteral("-layout"), pdf, QStringLiteral("-")});
}

QString Squeezed(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("\\s")));
}
} // namespace

TEST(PrintLinesTest, EveryLineArrivesWrappedAndContinuedOnPageTwo)
{
    EnsureApp();
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("list.pdf"));
    QStringList lines;
    for (int i = 0; i < 120; ++i)
        lines.append(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Entry%1").arg(i, 3, 10, QLatin1Char('0')));
    QString wide;
    for (int i = 0; i < 40; ++i)
        wide += QStringLiteral("Segment%1-").arg(i, 2, 10, QLatin1Char('0'));
    lines.insert(5, wide);

    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    ASSERT_TRUE(PrintLines(lines, printer));

    const QString first = PdfText(pdf, 1);
    const QString second = PdfText(pdf, 2);
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty()) << "no second page";
    const QString all = first + second;
    for (int i = 0; i < 120; ++i)
        EXPECT_TRUE(all.contains(QStringLiteral("SOFTWARE\\Entry%1").arg(i, 3, 10, QLatin1Char('0')))) << i;
    EXPECT_TRUE(first.contains(QStringLiteral("Entry000")));
    EXPECT_FALSE(first.contains(QStringLiteral("Entry119")));
    EXPECT_TRUE(second.contains(QStringLiteral("Entry119")));

    // The wide entry is on several printed lines, in order and complete.
    const QStringList firstLines = first.split(QLatin1Char('\n'));
    int startLine = -1, endLine = -1;
    for (int i = 0; i < firstLines.size(); ++i) {
        if (firstLines[i].contains(QStringLiteral("Segment00-")))
            startLine = i;
        if (firstLines[i].contains(QStringLiteral("Segment39-")))
            endLine = i;
    }
    ASSERT_GE(startLine, 0);
    EXPECT_GT(endLine, startLine);
    EXPECT_TRUE(Squeezed(first).contains(wide));
}

TEST_F(WindowTest, PrintListPrintsTheUndoEntries)
{
    QTemporaryDir dir;
    PdfChooser chooser(dir.filePath(QStringLiteral("undo.pdf")));
    EnsureApp();
    form = std::make_unique<TForm1>(registry.machine(), registry.UndoFolder(),
                                    TForm1Services{&messages, &shell, &chooser, {}});
    form->show();
    auto* table = Find<QTreeWidget>(QStringLiteral("suiListView1"));
    table->setCurrentItem(table->topLevelItem(0));
    Click(QStringLiteral("suiButton3"));
    ShowPage(4);
    auto* list = Find<QListWidget>(QStringLiteral("CheckListBox1"));
    list->item(0)->setCheckState(Qt::Unchecked);   // printed all the same
    Click(QStringLiteral("Button2"));
    EXPECT_EQ(chooser.asked, 1);
    const QString text = Squeezed(PdfText(dir.filePath(QStringLiteral("undo.pdf")), 1));
    for (int i = 0; i < list->count(); ++i)
        EXPECT_TRUE(text.contains(Squeezed(list->item(i)->text()))) << list->item(i)->text().toStdString();
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(WindowTest, CancelledOrFailedPrinting)
{
    QTemporaryDir dir;
    PdfChooser cancelled(dir.filePath(QStringLiteral("never.pdf")));
    cancelled.cancel = true;
    EnsureApp();
    form = std::make_unique<TForm1>(registry.machine(), registry.UndoFolder(),
                                    TForm1Services{&messages, &shell, &cancelled, {}});
    form->PrintStrings({QStringLiteral("a line")});
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("never.pdf"))));
    EXPECT_TRUE(messages.shown.empty());

    PdfChooser unwritable(dir.filePath(QStringLiteral("missing-folder/out.pdf")));
    form = std::make_unique<TForm1>(registry.machine(), registry.UndoFolder(),
                                    TForm1Services{&messages, &shell, &unwritable, {}});
    form->PrintStrings({QStringLiteral("a line")});
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Error Printing text."));
}
