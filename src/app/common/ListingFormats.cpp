#include "ListingFormats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace parvelle {

namespace {

QString csvLine(const QStringList& fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& field : fields)
        quoted.append(CsvField(field));
    return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QJsonValue jsonText(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QJsonObject jsonEntry(const CacheRow& row)
{
    const CacheRecord& r = row.Record;
    auto field = [&r](CacheRecord::Field f, QJsonValue value) { return r.has(f) ? value : QJsonValue(); };
    const QString lastUsed = FileTimeToIso(r.LastUsed);
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
    const auto special = [](QChar c) { return c == u',' || c == u'"' || c == u'\r' || c == u'\n'; };
    if (std::none_of(text.begin(), text.end(), special))
        return text;
    QString escaped = text;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
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
    QString csv = csvLine(CacheColumnHeaders());
    for (const CacheRow& row : listing.Rows) {
        QStringList fields = row.Columns;
        fields[ccLastUsed] = row.Record.has(CacheRecord::fLastUsed) ? FileTimeToIso(row.Record.LastUsed) : QString();
        csv += csvLine(fields);
    }
    return csv;
}

QByteArray ListingAsJson(const CacheListing& listing)
{
    QJsonArray entries;
    for (const CacheRow& row : listing.Rows)
        entries.append(jsonEntry(row));
    const QJsonObject document{{QStringLiteral("OSKind"), int(listing.OSKind)}, {QStringLiteral("entries"), entries}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

} // namespace parvelle
