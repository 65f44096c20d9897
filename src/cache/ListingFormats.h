#pragma once
// Text forms of a cache listing: an aligned table, RFC 4180 CSV and JSON.
#include "cache/CacheListing.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace parvelle {

// The nine column texts, each column padded to its widest text.
QString ListingAsTable(const CacheListing& listing);

// The header row and one row per entry, CRLF line ends; Last Used as ISO 8601 UTC or empty.
QString ListingAsCsv(const CacheListing& listing);

// That CSV text written row by row, for rows read one at a time (StreamCache): handed to
// `write` in pieces of about 4,000 characters, so that a long listing is never held whole.
class CsvWriter {
public:
    using Write = std::function<void(QStringView)>;
    // `lastUsedColumn`: the style the rows' Last Used column was made in.
    CsvWriter(LastUsedStyle lastUsedColumn, Write write);
    void add(const CacheRow& row);
    void finish();   // hands over the last piece

private:
    void handOver();

    LastUsedStyle lastUsedColumn_;
    Write write_;
    QString piece_;
};

// {"OSKind": n, "entries": [...]} with typed fields; fields a short record does not
// reach are null, as are a missing date and a missing Changed value.
QByteArray ListingAsJson(const CacheListing& listing);

// One CSV field: quoted (with doubled quotes) when it holds a comma, quote, CR or LF.
QString CsvField(const QString& text);

} // namespace parvelle
