#include "cache/ListingFormats.h"
#include "TestRegistry.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {

CacheListing sampleListing(LastUsedStyle lastUsedColumn = luLocale)
{
    ListingMachine m;
    m.addEntry(QStringLiteral("7-Zip"),
               record(552, 552, true, 3801088, fileTime(2006, 8, 14, 3, 33, 20), 12, "C:\\7-Zip\\7zFM.exe"));
    m.entry(QStringLiteral("7-Zip")).WriteText(QStringLiteral("Changed"), QStringLiteral("1"));
    m.addUninstall(QStringLiteral("7-Zip"));
    m.addEntry(QStringLiteral("Tool, \"Pro\""), record(552, 552, false, -1, 0, -1, QString()));
    m.addEntry(QStringLiteral("Über"), record(20, 20, true, 7, 0, 0, QString()));
    return ListCache(m.machine, {}, lastUsedColumn);
}

QStringList csvLines(const QString& csv)
{
    QStringList lines = csv.split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines.takeLast(), QString()) << "the last line ends with CRLF";
    return lines;
}

} // namespace

TEST(CsvFormat, QuotesOnlyWhereNeeded)
{
    EXPECT_EQ(CsvField(QStringLiteral("plain text")), QStringLiteral("plain text"));
    EXPECT_EQ(CsvField(QStringLiteral("a,b")), QStringLiteral("\"a,b\""));
    EXPECT_EQ(CsvField(QStringLiteral("say \"hi\"")), QStringLiteral("\"say \"\"hi\"\"\""));
    EXPECT_EQ(CsvField(QStringLiteral("two\nlines")), QStringLiteral("\"two\nlines\""));
    EXPECT_EQ(CsvField(QString()), QString());
    // Texts a spreadsheet would run as formulas are led by a quote; numbers stay numbers.
    EXPECT_EQ(CsvField(QStringLiteral("=HYPERLINK(\"http://x\",\"y\")")), QStringLiteral("\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""));
    EXPECT_EQ(CsvField(QStringLiteral("@SUM(A1)")), QStringLiteral("'@SUM(A1)"));
    EXPECT_EQ(CsvField(QStringLiteral("+1+2")), QStringLiteral("'+1+2"));
    EXPECT_EQ(CsvField(QStringLiteral("-")), QStringLiteral("'-"));
    EXPECT_EQ(CsvField(QStringLiteral("\tx")), QStringLiteral("'\tx"));
    EXPECT_EQ(CsvField(QStringLiteral("\rx")), QStringLiteral("\"'\rx\""));
    EXPECT_EQ(CsvField(QStringLiteral("-1")), QStringLiteral("-1"));
    EXPECT_EQ(CsvField(QStringLiteral("+12")), QStringLiteral("+12"));
    EXPECT_EQ(CsvField(QStringLiteral("a=b")), QStringLiteral("a=b"));
}

TEST(CsvFormat, HeaderRowsAndIsoDates)
{
    const QStringList lines = csvLines(ListingAsCsv(sampleListing()));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("KeyName,In Add/Remove,File Path,Frequency,Last Used,Install Size,Has Name,Data Size,Changed"));
    EXPECT_EQ(lines[1], QStringLiteral("7-Zip,Yes,C:\\7-Zip\\7zFM.exe,frequently (12),2006-08-14T03:33:20Z,3801088,True,552,1"));
    EXPECT_EQ(lines[2], QStringLiteral("\"Tool, \"\"Pro\"\"\",No,,rarely (-1),,-1,False,552,"));
    EXPECT_EQ(lines[3], QStringLiteral("Über,No,,,,7,True,20,"));
}

TEST(CsvFormat, FormulaLikeTextsAreNeutralisedWhileNumbersAndJsonStayExact)
{
    ListingMachine m;
    const QString name = QStringLiteral("=HYPERLINK(\"http://x\")");
    m.addEntry(name, record(552, 552, true, -1, 0, -1, "@SUM(A1)"));
    m.entry(name).WriteText(QStringLiteral("Changed"), QStringLiteral("-cmd"));
    const CacheListing listing = ListCache(m.machine, {}, luIso);
    EXPECT_EQ(csvLines(ListingAsCsv(listing)).value(1),
              QStringLiteral("\"'=HYPERLINK(\"\"http://x\"\")\",No,'@SUM(A1),rarely (-1),,-1,True,552,'-cmd"));
    const QJsonObject entry = QJsonDocument::fromJson(ListingAsJson(listing)).object().value("entries").toArray().at(0).toObject();
    EXPECT_EQ(entry.value("KeyName").toString(), name);
    EXPECT_EQ(entry.value("FilePath").toString(), QStringLiteral("@SUM(A1)"));
    EXPECT_EQ(entry.value("Changed").toString(), QStringLiteral("-cmd"));
}

TEST(CsvFormat, SameTextWhicheverLastUsedStyleTheListingCarries)
{
    EXPECT_EQ(ListingAsCsv(sampleListing(luIso)), ListingAsCsv(sampleListing(luLocale)));
    EXPECT_EQ(ListingAsJson(sampleListing(luIso)), ListingAsJson(sampleListing(luLocale)));
}

TEST(JsonFormat, TypedFieldsAndNulls)
{
    const QJsonDocument doc = QJsonDocument::fromJson(ListingAsJson(sampleListing()));
    ASSERT_TRUE(doc.isObject());
    EXPECT_EQ(doc.object().value("OSKind").toInt(-1), 6);
    const QJsonArray entries = doc.object().value("entries").toArray();
    ASSERT_EQ(entries.size(), 3);

    const QJsonObject zip = entries[0].toObject();
    EXPECT_EQ(zip.keys().size(), 12);
    EXPECT_TRUE(zip.value("Damage").isNull());
    EXPECT_EQ(zip.value("KeyName").toString(), QStringLiteral("7-Zip"));
    EXPECT_EQ(zip.value("InAddRemove"), QJsonValue(true));
    EXPECT_EQ(zip.value("FilePath").toString(), QStringLiteral("C:\\7-Zip\\7zFM.exe"));
    EXPECT_EQ(zip.value("Frequency"), QJsonValue(12));
    EXPECT_EQ(zip.value("FrequencyText").toString(), QStringLiteral("frequently (12)"));
    EXPECT_EQ(zip.value("LastUsed").toString(), QStringLiteral("2006-08-14T03:33:20Z"));
    EXPECT_EQ(zip.value("LastUsedFileTime").toString(), QString::number(fileTime(2006, 8, 14, 3, 33, 20)));
    EXPECT_EQ(zip.value("InstallSize").toInteger(), 3801088);
    EXPECT_EQ(zip.value("HasName"), QJsonValue(true));
    EXPECT_EQ(zip.value("DataSize").toInteger(), 552);
    EXPECT_EQ(zip.value("Changed").toString(), QStringLiteral("1"));

    const QJsonObject tool = entries[1].toObject();
    EXPECT_TRUE(tool.value("LastUsed").isNull());
    EXPECT_EQ(tool.value("LastUsedFileTime").toString(), QStringLiteral("0"));
    EXPECT_TRUE(tool.value("Changed").isNull());
    EXPECT_EQ(tool.value("InstallSize").toInteger(), -1);
    EXPECT_EQ(tool.value("Frequency"), QJsonValue(-1));
    EXPECT_EQ(tool.value("HasName"), QJsonValue(false));

    const QJsonObject shortOne = entries[2].toObject();
    EXPECT_EQ(shortOne.value("KeyName").toString(), QStringLiteral("Über"));
    EXPECT_TRUE(shortOne.value("FilePath").isNull());
    EXPECT_TRUE(shortOne.value("Frequency").isNull());
    EXPECT_TRUE(shortOne.value("LastUsed").isNull());
    EXPECT_TRUE(shortOne.value("LastUsedFileTime").isNull());
    EXPECT_EQ(shortOne.value("InstallSize").toInteger(), 7);
}

// Dates past the year 9999 have no ISO form; the stored FILETIME keeps them exactly.
TEST(JsonFormat, TheStoredFileTimeKeepsDatesWithoutAnIsoForm)
{
    ListingMachine m;
    const uint64_t beyond = fileTime(9999, 12, 31, 23, 59, 59) + 10'000'000ULL;
    m.addEntry(QStringLiteral("Beyond"), record(552, 552, true, 1, beyond, 1, "C:\\b.exe"));
    m.addEntry(QStringLiteral("Top"), record(552, 552, true, 1, ~0ULL, 1, "C:\\t.exe"));
    const QJsonArray entries = QJsonDocument::fromJson(ListingAsJson(ListCache(m.machine))).object().value("entries").toArray();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_TRUE(entries[0].toObject().value("LastUsed").isNull());
    EXPECT_EQ(entries[0].toObject().value("LastUsedFileTime").toString(), QString::number(beyond));
    EXPECT_EQ(entries[1].toObject().value("LastUsedFileTime").toString(), QStringLiteral("18446744073709551615"));
}

TEST(TableFormat, ColumnsAlignedUnderTheirHeaders)
{
    const QStringList lines = ListingAsTable(sampleListing()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    const qsizetype fileColumn = lines[0].indexOf(QStringLiteral("File Path"));
    const qsizetype sizeColumn = lines[0].indexOf(QStringLiteral("Install Size"));
    EXPECT_EQ(lines[1].indexOf(QStringLiteral("C:\\7-Zip")), fileColumn);
    EXPECT_EQ(lines[1].indexOf(QStringLiteral("3801088")), sizeColumn);
    EXPECT_EQ(lines[2].indexOf(QStringLiteral("-1  ")), sizeColumn);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("KeyName")));
    EXPECT_FALSE(lines[3].endsWith(QLatin1Char(' ')));
}

TEST(CsvFormat, RowsAddedOneByOneAreWrittenInPieces)
{
    const CacheListing listing = sampleListing(luLocale);
    QString text;
    int pieces = 0;
    CsvWriter csv(listing.lastUsedColumn, [&](QStringView piece) {
        text += piece;
        ++pieces;
    });
    constexpr int kCopies = 300;   // long enough to be handed over in several pieces
    for (int copy = 0; copy < kCopies; ++copy)
        for (const CacheRow& row : listing.rows)
            csv.add(row);
    csv.finish();
    EXPECT_GT(pieces, 1);
    const QStringList once = csvLines(ListingAsCsv(listing));
    const QStringList lines = csvLines(text);
    ASSERT_EQ(lines.size(), 1 + kCopies * 3);
    EXPECT_EQ(lines[0], once[0]);
    for (int i = 1; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], once[1 + (i - 1) % 3]) << "line " << i;
}
