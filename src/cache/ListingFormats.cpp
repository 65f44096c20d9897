#include "ListingFormats.h"

#include "cache/TerminalText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>

namespace parvelle {

namespace {

constexpr int kMaxCellCells = 60;   // terminal cells; longer texts end with an ellipsis
constexpr int kColumnGap = 2;

bool isCsvSpecial(QChar c)
{
    const char16_t unit = c.unicode();
    return unit <= u',' && (unit == u',' || unit == u'"' || unit == u'\r' || unit == u'\n');
}

constexpr qsizetype kCsvPieceSize = 1 << 12;   // characters handed over at a time; small, to keep output buffers small

// A field in its CSV form (see CsvField): quoted or not, and its length then.
struct CsvForm {
    QStringView text;
    bool quoted = false;
    qsizetype length = 0;
};

CsvForm csvForm(QStringView text)
{
    const bool quoted = std::any_of(text.begin(), text.end(), isCsvSpecial);
    return {text, quoted, quoted ? text.size() + 2 + text.count(u'"') : text.size()};
}

// Writes the field at `out`; returns the end of it.
QChar* writeCsvField(QChar* out, const CsvForm& field)
{
    if (!field.quoted)
        return std::copy(field.text.begin(), field.text.end(), out);
    *out++ = u'"';
    for (const QChar c : field.text) {
        if (c == u'"')
            *out++ = u'"';
        *out++ = c;
    }
    *out++ = u'"';
    return out;
}

// Appends the nine fields as one CSV line; `text(c)` gives the text of column c. The line
// is measured first, so that the text grows once a line.
template <typename ColumnText>
void appendCsvLine(QString& csv, ColumnText text)
{
    std::array<CsvForm, ccColumnCount> fields;
    qsizetype length = ccColumnCount - 1 + 2;   // the commas and CRLF
    for (int c = 0; c < ccColumnCount; ++c) {
        fields[c] = csvForm(text(c));
        length += fields[c].length;
    }
    const qsizetype start = csv.size();
    csv.resize(start + length);
    QChar* out = csv.data() + start;
    for (int c = 0; c < ccColumnCount; ++c) {
        if (c > 0)
            *out++ = u',';
        out = writeCsvField(out, fields[c]);
    }
    *out++ = u'\r';
    *out = u'\n';
}

// Last Used as ISO 8601 UTC, or empty when the record has no date; `style` is that of the
// row's columns.
QString isoLastUsed(LastUsedStyle style, const CacheRow& row)
{
    if (style == luIso)
        return row.Columns.at(ccLastUsed);
    return row.Record.has(CacheRecord::fLastUsed) ? FileTimeToIso(row.Record.LastUsed) : QString();
}

// A table cell: control characters shown escaped, cut to kMaxCellCells.
QStringList tableCells(const QStringList& texts)
{
    QStringList cells;
    cells.reserve(texts.size());
    for (const QString& text : texts)
        cells.append(FitToCells(TerminalText(text), kMaxCellCells));
    return cells;
}

// A string for JSON: strict parsers refuse the unpaired surrogates a hive may hold.
QJsonValue jsonString(const QString& text)
{
    return WithoutLoneSurrogates(text);
}

QJsonValue jsonText(const std::optional<QString>& text)
{
    return text ? jsonString(*text) : QJsonValue(QJsonValue::Null);
}

QJsonObject jsonEntry(const CacheListing& listing, const CacheRow& row)
{
    const CacheRecord& r = row.Record;
    auto field = [&r](CacheRecord::Field f, QJsonValue value) { return r.has(f) ? value : QJsonValue(); };
    const QString lastUsed = isoLastUsed(listing.LastUsedColumn, row);
    return {
        {QStringLiteral("KeyName"), jsonString(row.KeyName)},
        {QStringLiteral("InAddRemove"), row.AddRemoveUnknown ? QJsonValue() : QJsonValue(row.InAddRemove)},
        {QStringLiteral("FilePath"), field(CacheRecord::fFilePath, jsonString(r.FilePath))},
        {QStringLiteral("Frequency"), field(CacheRecord::fFrequency, r.Frequency)},
        {QStringLiteral("FrequencyText"), field(CacheRecord::fFrequency, row.Columns.at(ccFrequency))},
        {QStringLiteral("LastUsed"), field(CacheRecord::fLastUsed, lastUsed.isEmpty() ? QJsonValue() : lastUsed)},
        {QStringLiteral("InstallSize"), field(CacheRecord::fInstallSize, qint64(r.InstallSize))},
        {QStringLiteral("HasName"), field(CacheRecord::fHasName, r.HasName)},
        {QStringLiteral("DataSize"), field(CacheRecord::fRecordSize, qint64(r.RecordSize))},
        {QStringLiteral("Changed"), jsonText(row.Changed)},
        {QStringLiteral("Damage"), row.Damage.isEmpty() ? QJsonValue() : jsonString(row.Damage)},
    };
}

} // namespace

QString CsvField(const QString& text)
{
    const CsvForm form = csvForm(text);
    QString field(form.length, Qt::Uninitialized);
    writeCsvField(field.data(), form);
    return field;
}

QString ListingAsTable(const CacheListing& listing)
{
    std::vector<QStringList> lines{tableCells(CacheColumnHeaders())};
    lines.reserve(listing.Rows.size() + 1);
    for (const CacheRow& row : listing.Rows)
        lines.push_back(tableCells(row.Columns));
    std::vector<int> widths(ccColumnCount, 0);
    for (const QStringList& cells : lines)
        for (int c = 0; c < ccColumnCount; ++c)
            widths[c] = std::max(widths[c], TerminalCells(cells.at(c)));

    QString table;
    for (const QStringList& cells : lines) {
        QString line;
        for (int c = 0; c < ccColumnCount; ++c) {
            line += cells.at(c);
            if (c + 1 < ccColumnCount)
                line += QString(widths[c] + kColumnGap - TerminalCells(cells.at(c)), QLatin1Char(' '));
        }
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);   // the padding of empty last columns
        table += line + QLatin1Char('\n');
    }
    return table;
}

QString ListingAsCsv(const CacheListing& listing)
{
    QString text;
    CsvWriter csv(listing.LastUsedColumn, [&text](QStringView piece) { text += piece; });
    for (const CacheRow& row : listing.Rows)
        csv.add(row);
    csv.finish();
    return text;
}

CsvWriter::CsvWriter(LastUsedStyle lastUsedColumn, Write write)
    : lastUsedColumn_(lastUsedColumn), write_(std::move(write))
{
    piece_.reserve(kCsvPieceSize + 4096);
    const QStringList& headers = CacheColumnHeaders();
    appendCsvLine(piece_, [&headers](int c) -> const QString& { return headers.at(c); });
}

void CsvWriter::add(const CacheRow& row)
{
    const QString lastUsed = isoLastUsed(lastUsedColumn_, row);
    appendCsvLine(piece_, [&](int c) -> const QString& { return c == ccLastUsed ? lastUsed : row.Columns.at(c); });
    if (piece_.size() >= kCsvPieceSize)
        handOver();
}

void CsvWriter::finish()
{
    if (!piece_.isEmpty())
        handOver();
}

void CsvWriter::handOver()
{
    write_(piece_);
    piece_.resize(0);   // keeps the reserved room
}

QByteArray ListingAsJson(const CacheListing& listing)
{
    QJsonArray entries;
    for (const CacheRow& row : listing.Rows)
        entries.append(jsonEntry(listing, row));
    const QJsonObject document{{QStringLiteral("OSKind"), int(listing.OSKind)}, {QStringLiteral("entries"), entries}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

} // namespace parvelle
