#include "ListingFormats.h"

#include "cache/TerminalText.h"

#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

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

// A text a spreadsheet would run as a formula: it begins with =, +, -, @, tab or CR and is
// not a whole number.
bool looksLikeFormula(QStringView text)
{
    if (text.isEmpty())
        return false;
    const char16_t first = text.front().unicode();
    if (first != u'=' && first != u'+' && first != u'-' && first != u'@' && first != u'\t' && first != u'\r')
        return false;
    const QStringView digits = text.sliced(1);
    const bool number = (first == u'-' || first == u'+') && !digits.isEmpty()
                        && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    return !number;
}

// A field in its CSV form (see CsvField): neutralised or not, quoted or not, and its
// length then.
struct CsvForm {
    QStringView text;
    bool neutralised = false;
    bool quoted = false;
    qsizetype length = 0;
};

CsvForm csvForm(QStringView text)
{
    const bool neutralised = looksLikeFormula(text);
    const bool quoted = std::any_of(text.begin(), text.end(), isCsvSpecial);
    const qsizetype length = text.size() + (neutralised ? 1 : 0);
    return {text, neutralised, quoted, quoted ? length + 2 + text.count(u'"') : length};
}

// Writes the field at `out`; returns the end of it.
QChar* writeCsvField(QChar* out, const CsvForm& field)
{
    if (field.quoted)
        *out++ = u'"';
    if (field.neutralised)
        *out++ = u'\'';
    if (!field.quoted)
        return std::copy(field.text.begin(), field.text.end(), out);
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
    return c == 0 ? source.source : c == 1 ? source.hive : source.user;
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
        return row.columns.at(ccLastUsed);
    return row.record.has(CacheRecord::fLastUsed) ? FileTimeToIso(row.record.LastUsed) : QString();
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

bool isPlainJsonUnit(QChar c)
{
    const char16_t unit = c.unicode();
    return unit >= 0x20 && unit != u'"' && unit != u'\\' && !QChar::isSurrogate(unit);
}

// Writes one JSON object into a text. The object is gathered in a buffer of its own and
// handed over in one append: appending member by member to the text cost more than the
// rest of the listing.
class JsonObjectText {
public:
    explicit JsonObjectText(QString& text) : text_(text) { out_.append(u'{'); }
    // Hands the object over, closed or left open for more members written after it.
    void close()
    {
        out_.append(u'}');
        leaveOpen();
    }
    void leaveOpen() { text_ += QStringView(out_.constData(), out_.size()); }

    // Unpaired surrogates, which strict parsers refuse and a hive may hold, become U+FFFD.
    void string(QLatin1StringView name, QStringView value)
    {
        key(name);
        out_.append(u'"');
        if (std::all_of(value.begin(), value.end(), isPlainJsonUnit))
            out_.append(reinterpret_cast<const char16_t*>(value.utf16()), value.size());
        else if (std::any_of(value.begin(), value.end(), [](QChar c) { return c.isSurrogate(); }))
            appendEscaped(WithoutLoneSurrogates(value));
        else
            appendEscaped(value);
        out_.append(u'"');
    }
    void text(QLatin1StringView name, const std::optional<QString>& value)
    {
        value ? string(name, *value) : null(name);
    }
    void optionalText(QLatin1StringView name, const QString& value)   // empty is null
    {
        value.isEmpty() ? null(name) : string(name, value);
    }
    void number(QLatin1StringView name, qint64 value)
    {
        key(name);
        char digits[24];
        appendLatin1(std::string_view(digits, std::to_chars(digits, std::end(digits), value).ptr));
    }
    void boolean(QLatin1StringView name, bool value)
    {
        key(name);
        appendLatin1(value ? "true" : "false");
    }
    void null(QLatin1StringView name)
    {
        key(name);
        appendLatin1("null");
    }

private:
    void key(QLatin1StringView name)
    {
        if (out_.size() > 1)
            out_.append(u',');
        out_.append(u'"');
        appendLatin1(std::string_view(name.data(), size_t(name.size())));
        out_.append(u'"');
        out_.append(u':');
    }
    void appendLatin1(std::string_view text)
    {
        for (const char c : text)
            out_.append(char16_t(uchar(c)));
    }

    void appendEscaped(QStringView value)
    {
        for (const QChar c : value) {
            const char16_t unit = c.unicode();
            if (const char16_t escape = shortEscape(unit)) {
                out_.append(u'\\');
                out_.append(escape);
            } else if (unit < 0x20) {
                const char16_t hex[] = u"0123456789abcdef";
                for (const char16_t h : {u'\\', u'u', u'0', u'0', hex[unit >> 4], hex[unit & 0xF]})
                    out_.append(h);
            } else {
                out_.append(unit);
            }
        }
    }
    static char16_t shortEscape(char16_t unit)
    {
        switch (unit) {
        case u'"': return u'"';
        case u'\\': return u'\\';
        case u'\n': return u'n';
        case u'\r': return u'r';
        case u'\t': return u't';
        case u'\b': return u'b';
        case u'\f': return u'f';
        default: return 0;
        }
    }

    QString& text_;
    QVarLengthArray<char16_t, 1024> out_;
};

void addEntryFields(JsonObjectText& object, const CacheRow& row, const QString& lastUsed)
{
    const CacheRecord& r = row.record;
    const auto has = [&r](CacheRecord::Field f) { return r.has(f); };
    object.string(QLatin1StringView("KeyName"), row.KeyName);
    row.addRemoveUnknown ? object.null(QLatin1StringView("InAddRemove")) : object.boolean(QLatin1StringView("InAddRemove"), row.InAddRemove);
    has(CacheRecord::fFilePath) ? object.string(QLatin1StringView("FilePath"), r.FilePath) : object.null(QLatin1StringView("FilePath"));
    if (has(CacheRecord::fFrequency)) {
        object.number(QLatin1StringView("Frequency"), r.Frequency);
        object.string(QLatin1StringView("FrequencyText"), row.columns.at(ccFrequency));
    } else {
        object.null(QLatin1StringView("Frequency"));
        object.null(QLatin1StringView("FrequencyText"));
    }
    object.optionalText(QLatin1StringView("LastUsed"), lastUsed);
    // The stored FILETIME as decimal text, exact in every parser (a number beyond 2^53
    // is not): it keeps dates that have no ISO form.
    has(CacheRecord::fLastUsed) ? object.string(QLatin1StringView("LastUsedFileTime"), QString::number(r.LastUsed))
                                : object.null(QLatin1StringView("LastUsedFileTime"));
    has(CacheRecord::fInstallSize) ? object.number(QLatin1StringView("InstallSize"), r.InstallSize) : object.null(QLatin1StringView("InstallSize"));
    has(CacheRecord::fHasName) ? object.boolean(QLatin1StringView("HasName"), r.HasName) : object.null(QLatin1StringView("HasName"));
    has(CacheRecord::fRecordSize) ? object.number(QLatin1StringView("DataSize"), r.RecordSize) : object.null(QLatin1StringView("DataSize"));
    object.text(QLatin1StringView("Changed"), row.Changed);
    object.optionalText(QLatin1StringView("Damage"), row.damage);
}

void addSourceFields(JsonObjectText& object, const RowSource& source)
{
    object.optionalText(QLatin1StringView("Source"), source.source);
    object.optionalText(QLatin1StringView("Hive"), source.hive);
    object.optionalText(QLatin1StringView("User"), source.user);
}

// The fields a timeline tool (Timesketch) imports as they are, for an entry with a date.
void addTimelineFields(JsonObjectText& object, const QString& lastUsed, const CacheRow& row)
{
    if (lastUsed.isEmpty())
        return;
    const QString path = row.record.has(CacheRecord::fFilePath) ? row.record.FilePath : QString();
    object.string(QLatin1StringView("datetime"), lastUsed);
    object.string(QLatin1StringView("timestamp_desc"), QStringLiteral("Last Used"));
    object.string(QLatin1StringView("message"),
                  TerminalText(row.KeyName + QStringLiteral(" | ") + path + QStringLiteral(" | ") + row.columns.at(ccFrequency)));
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
    const QStringList lead = source ? QStringList{source->source, source->hive, source->user} : QStringList();
    std::vector<QStringList> lines{tableCells((source ? sourceHeaders() : QStringList()) + CacheColumnHeaders())};
    lines.reserve(listing.rows.size() + 1);
    for (const CacheRow& row : listing.rows)
        lines.push_back(tableCells(lead + row.columns));
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
    CsvWriter csv(listing.lastUsedColumn, [&text](QStringView piece) { text += piece; });
    for (const CacheRow& row : listing.rows)
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
    const auto column = [&](int c) -> const QString& { return c == ccLastUsed ? lastUsed : row.columns.at(c); };
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
    JsonWriter json(jsDocument, listing.lastUsedColumn, listing.osKind, nullptr, [&text](QStringView piece) { text += piece; });
    for (const CacheRow& row : listing.rows)
        json.add(row);
    json.finish();
    return text.toUtf8();
}

JsonWriter::JsonWriter(JsonShape shape, LastUsedStyle lastUsedColumn, uint8_t osKind, const RowSource* source, Write write)
    : shape_(shape), lastUsedColumn_(lastUsedColumn), out_(std::move(write))
{
    if (source)
        source_ = *source;
    QString& text = out_.text();
    if (shape == jsDocument) {
        text += QStringLiteral("{\n    \"OSKind\": %1,\n    \"entries\": [").arg(osKind);
    } else if (shape == jsSource) {
        text += kEntryIndent;
        JsonObjectText head(text);
        addSourceFields(head, *source_);
        head.number(QLatin1StringView("OSKind"), osKind);
        head.leaveOpen();   // for its entries
        text += QLatin1StringView(",\"entries\":[");
    }
}

void JsonWriter::add(const CacheRow& row)
{
    QString& text = out_.text();
    if (shape_ != jsLines) {
        text += first_ ? QLatin1StringView("\n") : QLatin1StringView(",\n");
        text += shape_ == jsSource ? kSourceEntryIndent : kEntryIndent;
    }
    const QString lastUsed = isoLastUsed(lastUsedColumn_, row);
    JsonObjectText entry(text);
    addEntryFields(entry, row, lastUsed);
    if (source_)
        addSourceFields(entry, *source_);
    if (shape_ == jsLines)
        addTimelineFields(entry, lastUsed, row);
    entry.close();
    if (shape_ == jsLines)
        text += u'\n';
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
    QString text = kEntryIndent;
    JsonObjectText object(text);
    addSourceFields(object, source);
    object.string(QLatin1StringView("Error"), error);
    object.close();
    return text;
}

} // namespace parvelle
