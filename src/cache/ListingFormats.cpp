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

// The source's fields that lead a row, and their headers.
constexpr int kSourceColumns = 3;

const QStringList& sourceHeaders()
{
    static const QStringList headers{QStringLiteral("Source"), QStringLiteral("Hive"), QStringLiteral("User")};
    return headers;
}

const QString& sourceField(const RowSource& source, int c)
{
    return c == 0 ? source.Source : c == 1 ? source.Hive : source.User;
}

// Appends `count` fields as one CSV line; `text(c)` gives the text of field c. The line is
// measured first, so that the text grows once a line.
template <typename FieldText>
void appendCsvLine(QString& csv, int count, FieldText text)
{
    std::array<CsvForm, kSourceColumns + ccColumnCount> fields;
    qsizetype length = count - 1 + 2;   // the commas and CRLF
    for (int c = 0; c < count; ++c) {
        fields[c] = csvForm(text(c));
        length += fields[c].length;
    }
    const qsizetype start = csv.size();
    csv.resize(start + length);
    QChar* out = csv.data() + start;
    for (int c = 0; c < count; ++c) {
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

QJsonObject jsonEntry(LastUsedStyle style, const CacheRow& row)
{
    const CacheRecord& r = row.Record;
    auto field = [&r](CacheRecord::Field f, QJsonValue value) { return r.has(f) ? value : QJsonValue(); };
    const QString lastUsed = isoLastUsed(style, row);
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

QJsonValue jsonOptionalText(const QString& text)
{
    return text.isEmpty() ? QJsonValue() : jsonString(text);
}

void addSourceFields(QJsonObject& object, const RowSource& source)
{
    object.insert(QStringLiteral("Source"), jsonOptionalText(source.Source));
    object.insert(QStringLiteral("Hive"), jsonOptionalText(source.Hive));
    object.insert(QStringLiteral("User"), jsonOptionalText(source.User));
}

// The fields a timeline tool (Timesketch) imports as they are, for an entry with a date.
void addTimelineFields(QJsonObject& object, const QString& lastUsed, const CacheRow& row)
{
    if (lastUsed.isEmpty())
        return;
    const QString path = row.Record.has(CacheRecord::fFilePath) ? row.Record.FilePath : QString();
    const QString message = row.KeyName + QStringLiteral(" | ") + path + QStringLiteral(" | ") + row.Columns.at(ccFrequency);
    object.insert(QStringLiteral("datetime"), lastUsed);
    object.insert(QStringLiteral("timestamp_desc"), QStringLiteral("Last Used"));
    object.insert(QStringLiteral("message"), jsonString(TerminalText(message)));
}

QString compactJson(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject sourceObject(const RowSource& source)
{
    QJsonObject object;
    addSourceFields(object, source);
    return object;
}

const QString kEntryIndent = QStringLiteral("        ");
const QString kSourceEntryIndent = QStringLiteral("            ");

} // namespace

PiecedText::PiecedText(Write write) : write_(std::move(write))
{
    piece_.reserve(kCsvPieceSize + 4096);
}

void PiecedText::filled()
{
    if (piece_.size() >= kCsvPieceSize)
        finish();
}

void PiecedText::finish()
{
    if (piece_.isEmpty())
        return;
    write_(piece_);
    piece_.resize(0);   // keeps the reserved room
}

QString CsvField(const QString& text)
{
    const CsvForm form = csvForm(text);
    QString field(form.length, Qt::Uninitialized);
    writeCsvField(field.data(), form);
    return field;
}

QString ListingAsTable(const CacheListing& listing, const RowSource* source)
{
    const QStringList lead = source ? QStringList{source->Source, source->User} : QStringList();
    std::vector<QStringList> lines{tableCells((source ? QStringList{sourceHeaders().at(0), sourceHeaders().at(2)} : QStringList())
                                              + CacheColumnHeaders())};
    lines.reserve(listing.Rows.size() + 1);
    for (const CacheRow& row : listing.Rows)
        lines.push_back(tableCells(lead + row.Columns));
    const int columns = int(lines.front().size());
    std::vector<int> widths(columns, 0);
    for (const QStringList& cells : lines)
        for (int c = 0; c < columns; ++c)
            widths[c] = std::max(widths[c], TerminalCells(cells.at(c)));

    QString table;
    for (const QStringList& cells : lines) {
        QString line;
        for (int c = 0; c < columns; ++c) {
            line += cells.at(c);
            if (c + 1 < columns)
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

QString CsvHeaderWithSource()
{
    QString header;
    const QStringList headers = sourceHeaders() + CacheColumnHeaders();
    appendCsvLine(header, int(headers.size()), [&headers](int c) -> const QString& { return headers.at(c); });
    return header;
}

CsvWriter::CsvWriter(LastUsedStyle lastUsedColumn, Write write, const RowSource* source)
    : lastUsedColumn_(lastUsedColumn), out_(std::move(write))
{
    if (source) {
        source_ = *source;
        return;
    }
    const QStringList& headers = CacheColumnHeaders();
    appendCsvLine(out_.text(), ccColumnCount, [&headers](int c) -> const QString& { return headers.at(c); });
}

void CsvWriter::add(const CacheRow& row)
{
    const QString lastUsed = isoLastUsed(lastUsedColumn_, row);
    const auto column = [&](int c) -> const QString& { return c == ccLastUsed ? lastUsed : row.Columns.at(c); };
    if (source_)
        appendCsvLine(out_.text(), kSourceColumns + ccColumnCount, [&](int c) -> const QString& {
            return c < kSourceColumns ? sourceField(*source_, c) : column(c - kSourceColumns);
        });
    else
        appendCsvLine(out_.text(), ccColumnCount, column);
    out_.filled();
}

void CsvWriter::finish()
{
    out_.finish();
}

QByteArray ListingAsJson(const CacheListing& listing)
{
    QString text;
    JsonWriter json(jsDocument, listing.LastUsedColumn, listing.OSKind, nullptr, [&text](QStringView piece) { text += piece; });
    for (const CacheRow& row : listing.Rows)
        json.add(row);
    json.finish();
    return text.toUtf8();
}

JsonWriter::JsonWriter(JsonShape shape, LastUsedStyle lastUsedColumn, uint8_t osKind, const RowSource* source, Write write)
    : shape_(shape), lastUsedColumn_(lastUsedColumn), out_(std::move(write))
{
    if (source)
        source_ = *source;
    if (shape == jsDocument)
        out_.text() += QStringLiteral("{\n    \"OSKind\": %1,\n    \"entries\": [").arg(osKind);
    else if (shape == jsSource)
    {
        QJsonObject head = sourceObject(*source_);
        head.insert(QStringLiteral("OSKind"), int(osKind));
        out_.text() += kEntryIndent + compactJson(head).chopped(1) + QStringLiteral(",\"entries\":[");   // left open
    }
}

void JsonWriter::add(const CacheRow& row)
{
    QJsonObject entry = jsonEntry(lastUsedColumn_, row);
    if (source_)
        addSourceFields(entry, *source_);
    QString& text = out_.text();
    if (shape_ == jsLines) {
        addTimelineFields(entry, isoLastUsed(lastUsedColumn_, row), row);
        text += compactJson(entry) + QLatin1Char('\n');
    } else {
        text += (first_ ? QStringLiteral("\n") : QStringLiteral(",\n")) + (shape_ == jsSource ? kSourceEntryIndent : kEntryIndent)
                + compactJson(entry);
    }
    first_ = false;
    out_.filled();
}

void JsonWriter::finish()
{
    if (shape_ == jsDocument)
        out_.text() += QStringLiteral("\n    ]\n}\n");
    else if (shape_ == jsSource)
        out_.text() += QLatin1Char('\n') + kEntryIndent + QStringLiteral("]}");
    out_.finish();
}

QString JsonSourcesStart()
{
    return QStringLiteral("{\n    \"sources\": [\n");
}

QString JsonSourcesSeparator()
{
    return QStringLiteral(",\n");
}

QString JsonSourcesEnd()
{
    return QStringLiteral("\n    ]\n}\n");
}

QString JsonFailedSource(const RowSource& source, const QString& error)
{
    QJsonObject object = sourceObject(source);
    object.insert(QStringLiteral("Error"), jsonString(error));
    return kEntryIndent + compactJson(object);
}

} // namespace parvelle
