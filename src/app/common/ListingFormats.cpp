#include "ListingFormats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace parvelle {

namespace {

bool isCsvSpecial(QChar c)
{
    return c == u',' || c == u'"' || c == u'\r' || c == u'\n';
}

// Appends one field in its CSV form (see CsvField).
void appendCsvField(QString& out, QStringView text)
{
    if (std::none_of(text.begin(), text.end(), isCsvSpecial)) {
        out += text;
        return;
    }
    out += QLatin1Char('"');
    for (const QChar c : text) {
        if (c == u'"')
            out += QLatin1Char('"');
        out += c;
    }
    out += QLatin1Char('"');
}

// Appends the nine fields as one CSV line; `text(c)` gives the text of column c.
template <typename ColumnText>
void appendCsvLine(QString& csv, ColumnText text)
{
    for (int c = 0; c < ccColumnCount; ++c) {
        if (c > 0)
            csv += QLatin1Char(',');
        appendCsvField(csv, text(c));
    }
    csv += QLatin1String("\r\n");
}

// Last Used as ISO 8601 UTC, or empty when the record has no date.
QString isoLastUsed(const CacheListing& listing, const CacheRow& row)
{
    if (listing.LastUsedColumn == luIso)
        return row.Columns.at(ccLastUsed);
    return row.Record.has(CacheRecord::fLastUsed) ? FileTimeToIso(row.Record.LastUsed) : QString();
}

QJsonValue jsonText(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QJsonObject jsonEntry(const CacheListing& listing, const CacheRow& row)
{
    const CacheRecord& r = row.Record;
    auto field = [&r](CacheRecord::Field f, QJsonValue value) { return r.has(f) ? value : QJsonValue(); };
    const QString lastUsed = isoLastUsed(listing, row);
    return {
        {QStringLiteral("KeyName"), row.KeyName},
        {QStringLiteral("InAddRemove"), row.InAddRemove},
        {QStringLiteral("FilePath"), field(CacheRecord::fFilePath, r.FilePath)},
        {QStringLiteral("Frequency"), field(CacheRecord::fFrequency, r.Frequency)},
        {QStringLiteral("FrequencyText"), field(CacheRecord::fFrequency, row.Columns.at(ccFrequency))},
        {QStringLiteral("LastUsed"), field(CacheRecord::fLastUsed, lastUsed.isEmpty() ? QJsonValue() : lastUsed)},
        {QStringLiteral("InstallSize"), field(CacheRecord::fInstallSize, qint64(r.InstallSize))},
        {QStringLiteral("HasName"), field(CacheRecord::fHasName, r.HasName)},
        {QStringLiteral("DataSize"), field(CacheRecord::fRecordSize, qint64(r.RecordSize))},
        {QStringLiteral("Changed"), jsonText(row.Changed)},
    };
}

} // namespace

QString CsvField(const QString& text)
{
    QString field;
    appendCsvField(field, text);
    return field;
}

QString ListingAsTable(const CacheListing& listing)
{
    std::vector<qsizetype> widths;
    for (const QString& header : CacheColumnHeaders())
        widths.push_back(header.size());
    for (const CacheRow& row : listing.Rows)
        for (int c = 0; c < ccColumnCount; ++c)
            widths[c] = std::max(widths[c], row.Columns.at(c).size());

    auto line = [&widths](const QStringList& texts) {
        QString out;
        for (int c = 0; c < ccColumnCount; ++c)
            out += c + 1 < ccColumnCount ? texts.at(c).leftJustified(widths[c] + 2) : texts.at(c);
        while (out.endsWith(QLatin1Char(' ')))
            out.chop(1);   // the padding of empty last columns
        return out + QLatin1Char('\n');
    };
    QString table = line(CacheColumnHeaders());
    for (const CacheRow& row : listing.Rows)
        table += line(row.Columns);
    return table;
}

QString ListingAsCsv(const CacheListing& listing)
{
    QString csv;
    WriteListingAsCsv(listing, [&csv](QStringView piece) { csv += piece; });
    return csv;
}

void WriteListingAsCsv(const CacheListing& listing, const std::function<void(QStringView)>& write)
{
    constexpr qsizetype kPieceSize = 1 << 14;
    QString piece;
    piece.reserve(kPieceSize + 4096);
    const auto handOver = [&piece, &write] {
        write(piece);
        piece.resize(0);   // keeps the reserved room
    };

    const QStringList& headers = CacheColumnHeaders();
    appendCsvLine(piece, [&headers](int c) -> const QString& { return headers.at(c); });
    for (const CacheRow& row : listing.Rows) {
        const QString lastUsed = isoLastUsed(listing, row);
        appendCsvLine(piece, [&](int c) -> const QString& { return c == ccLastUsed ? lastUsed : row.Columns.at(c); });
        if (piece.size() >= kPieceSize)
            handOver();
    }
    if (!piece.isEmpty())
        handOver();
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
