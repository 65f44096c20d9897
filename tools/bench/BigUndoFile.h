#pragma once
// A large undo file for the benchmarks: `keys` cache entries of `valuesPerKey` string values.
#include <QByteArray>
#include <QFile>
#include <stdexcept>

namespace parvelle::bench {

inline void WriteBigUndoFile(const QString& path, int keys, int valuesPerKey)
{
    QByteArray text = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (int key = 0; key < keys; ++key) {
        text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\Program "
            + QByteArray::number(key) + "]\r\n";
        for (int value = 0; value < valuesPerKey; ++value)
            text += "\"Value" + QByteArray::number(value) + "\"=\"Some text of value " + QByteArray::number(value) + "\"\r\n";
        text += "\r\n";
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        throw std::runtime_error("cannot write the undo file");
}

} // namespace parvelle::bench
