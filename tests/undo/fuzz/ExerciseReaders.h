#pragma once
// Runs bytes through every reader of .reg files. Bad input may only raise the
// program's own errors; anything else (a crash, another exception) is a fault.
#include "core/Errors.h"
#include "undo/RegFile.h"

#include <QByteArray>

namespace parvelle::test {

inline void ExerciseReaders(const QByteArray& bytes)
{
    const RegFileText file = DecodeRegFile(bytes);
    const QStringList entries = ListUndoEntries(file);
    for (const QString& entry : entries) {
        const UndoEntry parts = SplitUndoEntry(entry);
        QString path = parts.keyPath;
        RootStToRoot(path);
        ValueNameOf(parts.namePart);
        for (const QString& dataText : FindValueTexts(file, parts.keyPath, parts.namePart)) {
            try {
                ParseValueData(dataText);
            } catch (const EConvertError&) {
            }
        }
    }
    try {
        ParseRegStatements(file);
    } catch (const EConvertError&) {
    }
}

} // namespace parvelle::test
