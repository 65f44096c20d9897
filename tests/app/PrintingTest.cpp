// Printing undo lists to a PDF file and reading the text back with pdftotext.
#include "WindowFixture.h"

#include <QFile>
#include <QListView>
#include <QRegularExpression>

using namespace parvelle;
using namespace parvelle::test;

namespace {
QString PdfText(const QString& pdf, int page)
{
    return QString::fromUtf8(RunTool(QStringLiteral("pdftotext"),
        {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"), QString::number(page),
         QStringLiteral("-layout"), pdf, QStringLiteral("-")}));
}

QString Squeezed(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("\\s")));
}
} // namespace

TEST_F(WindowTest, APrintedUndoListKeepsEveryEntryWrapsAndContinuesOnPageTwo)
{
    // An undo file of 121 keys, the first with a path far wider than the page.
    QString wideKey = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wide");
    for (int i = 0; i < 40; ++i)
        wideKey += QStringLiteral("\\Segment%1").arg(i, 2, 10, QLatin1Char('0'));
    QByteArray undo = "REGEDIT4\r\n\r\n[" + wideKey.toUtf8() + "]\r\n";
    for (int i = 0; i < 120; ++i)
        undo += QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Entry%1]\r\n").arg(i, 3, 10, QLatin1Char('0')).toUtf8();
    QFile file(registry.undoFolder() + QStringLiteral("/20210101-000000.reg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(undo);
    file.close();

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("undo.pdf"));
    printers.file = pdf;
    Open();
    ShowPage(4);
    auto* list = Find<QListView>(QStringLiteral("CheckListBox1"));
    ASSERT_EQ(list->model()->rowCount(), 121);
    SetChecked(list, 3, false);   // printed all the same
    Click(QStringLiteral("Button2"));
    EXPECT_EQ(printers.asked, 1);
    EXPECT_TRUE(messages.shown.empty());

    const QString first = PdfText(pdf, 1);
    const QString second = PdfText(pdf, 2);
    ASSERT_FALSE(second.isEmpty()) << "no second page";
    const QString all = first + second;
    for (int i = 0; i < 120; ++i)
        EXPECT_TRUE(all.contains(QStringLiteral("SOFTWARE\\Entry%1").arg(i, 3, 10, QLatin1Char('0')))) << i;
    EXPECT_TRUE(first.contains(QStringLiteral("Entry000")));
    EXPECT_FALSE(first.contains(QStringLiteral("Entry119")));
    EXPECT_TRUE(second.contains(QStringLiteral("Entry119")));

    // The wide entry spreads over several printed lines, complete and in order.
    const QStringList lines = first.split(QLatin1Char('\n'));
    const auto lineOf = [&lines](const QString& text) {
        for (int i = 0; i < lines.size(); ++i) {
            if (lines[i].contains(text))
                return i;
        }
        return -1;
    };
    ASSERT_GE(lineOf(QStringLiteral("Segment00")), 0);
    EXPECT_GT(lineOf(QStringLiteral("Segment39")), lineOf(QStringLiteral("Segment00")));
    EXPECT_TRUE(Squeezed(first).contains(wideKey));
}

TEST_F(WindowTest, CancelledOrFailedPrinting)
{
    QTemporaryDir dir;
    printers.file = dir.filePath(QStringLiteral("never.pdf"));
    printers.cancel = true;
    Open();
    form->PrintStrings({QStringLiteral("a line")});
    EXPECT_FALSE(QFile::exists(printers.file));
    EXPECT_TRUE(messages.shown.empty());

    printers.file = dir.filePath(QStringLiteral("missing-folder/out.pdf"));
    printers.cancel = false;
    form->PrintStrings({QStringLiteral("a line")});
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Error Printing text."));
}
