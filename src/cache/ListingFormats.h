#pragma once
// Text forms of a cache listing: an aligned table, RFC 4180 CSV, JSON and JSON Lines.
#include "cache/CacheListing.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace parvelle {

// Where the rows of a listing come from, named on every row when several sources are
// listed, and on every JSON Lines row.
struct RowSource {
    QString source;   // the installation folder
    QString hive;     // the hive file holding the cache
    QString user;     // the profile, when the cache is a user's; else empty
};

// Hands text over in pieces of about 4,000 characters, so that a long listing is never
// held whole.
class PiecedText {
public:
    using Write = std::function<void(QStringView)>;
    explicit PiecedText(Write write);
    QString& text() { return piece_; }   // append here, then call filled()
    void filled();                       // hands the piece over once it is long enough
    void finish();                       // hands over what is left

private:
    Write write_;
    QString piece_;
};

// The nine column texts, each column padded to its widest text; with a source, its folder
// and profile lead every row.
QString ListingAsTable(const CacheListing& listing, const RowSource* source = nullptr);

// The header row and one row per entry, CRLF line ends; Last Used as ISO 8601 UTC or empty.
QString ListingAsCsv(const CacheListing& listing);

// The header of CSV rows that lead with their source's fields (Source, Hive, User).
QString CsvHeaderWithSource();

// That CSV text written row by row, for rows read one at a time (StreamCache).
class CsvWriter {
public:
    using Write = PiecedText::Write;
    // `lastUsedColumn`: the style the rows' Last Used column was made in. With a source,
    // its fields lead every row and no header is written (see CsvHeaderWithSource).
    CsvWriter(LastUsedStyle lastUsedColumn, Write write, const RowSource* source = nullptr);
    void add(const CacheRow& row);
    void finish();   // hands over the last piece

private:
    LastUsedStyle lastUsedColumn_;
    std::optional<RowSource> source_;
    PiecedText out_;
};

// {"OSKind": n, "entries": [...]} with typed fields, one entry a line; fields a short
// record does not reach are null, as are a missing date and a missing Changed value.
QByteArray ListingAsJson(const CacheListing& listing);

// JSON written entry by entry as the rows are read.
//  - jsDocument: the document of ListingAsJson.
//  - jsSource: one source's object {"Hive", "OSKind", "Source", "User", "entries": [...]},
//    its entries naming it too; an element of JsonSourcesStart() ... JsonSourcesEnd().
//  - jsLines: JSON Lines, each entry with its source's fields and, when it has a Last Used
//    date, the fields timeline tools import as they are: datetime (ISO 8601 UTC),
//    timestamp_desc ("Last Used") and message (name, path and frequency).
enum JsonShape { jsDocument, jsSource, jsLines };

class JsonWriter {
public:
    using Write = PiecedText::Write;
    // `source` is required by jsSource and jsLines (for jsLines its fields may be empty:
    // they are then null).
    JsonWriter(JsonShape shape, LastUsedStyle lastUsedColumn, uint8_t osKind, const RowSource* source, Write write);
    void add(const CacheRow& row);
    void finish();

private:
    JsonShape shape_;
    LastUsedStyle lastUsedColumn_;
    std::optional<RowSource> source_;
    PiecedText out_;
    bool first_ = true;
};

// {"sources": [ one source after another, separated by JsonSourcesSeparator ]}.
QString JsonSourcesStart();
QString JsonSourcesSeparator();
QString JsonSourcesEnd();
// The object of a source that could not be listed: its fields and "Error".
QString JsonFailedSource(const RowSource& source, const QString& error);

// One CSV field: quoted (with doubled quotes) when it holds a comma, quote, CR or LF, and
// led by "'" when a spreadsheet would take it for a formula (it begins with =, +, -, @, tab
// or CR and is not a whole number).
QString CsvField(const QString& text);

} // namespace parvelle
