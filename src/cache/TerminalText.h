#pragma once
// Text from a hive made safe and measurable for a terminal: names may hold escape
// sequences, line ends, NUL or bidirectional overrides, and wide CJK characters.
#include <QString>
#include <QStringView>

namespace parvelle {

// The text with control characters (C0, DEL, C1), line and paragraph separators and
// format characters (bidirectional controls, zero-width characters, U+FEFF) written
// visibly as \xHH or \uHHHH, a byte of a file name that is not UTF-8 as \xHH (see
// NativePath.h), and every other unpaired surrogate replaced by U+FFFD.
QString TerminalText(QStringView text);

// Every unpaired surrogate replaced by U+FFFD; nothing else changed.
QString WithoutLoneSurrogates(QStringView text);

// Terminal cells the text takes: 2 for wide and full-width East Asian characters, 0 for
// combining marks and zero-width characters, 1 for the rest.
int TerminalCells(QStringView text);

// The text cut to at most `cells` cells, ending with "…" when it was cut; never cuts
// inside a character with its combining marks.
QString FitToCells(const QString& text, int cells);

} // namespace parvelle
