#pragma once
// Error classes shared by every layer. Each carries only a message: UTF-8, where a byte of
// a file name that is not UTF-8 stays that byte (see NativePath.h).
#include "NativePath.h"

#include <QString>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace parvelle {

class EParvelleError : public std::runtime_error {
public:
    // Messages longer than this (a name of thousands of characters in one) are cut with "…".
    static constexpr qsizetype kMaxMessage = 1000;

    explicit EParvelleError(const QString& message) : std::runtime_error(NativePath(capped(message)).toStdString()) {}
    QString message() const { return PathFromNative(what()); }

private:
    static QString capped(const QString& message)
    {
        if (message.size() <= kMaxMessage)
            return message;
        qsizetype kept = kMaxMessage - 1;
        if (message.at(kept - 1).isHighSurrogate())
            --kept;   // never half a character
        return message.left(kept) + QChar(0x2026);
    }
};

// The system's text for an errno value.
inline QString SystemErrorText(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What both programs say when an operation runs out of memory.
inline QString OutOfMemoryMessage()
{
    return QStringLiteral("There is not enough memory for this operation; it was stopped before it saved anything "
                          "more");
}

// Raised by TNTRegistry: "Invalid data type for '%s'", "Failed to get data for '%s'",
// "Failed to set data for '%s'".
class ERegistryException : public EParvelleError {
    using EParvelleError::EParvelleError;
};

// A text that is not a number: "'%s' is not a valid integer value".
class EConvertError : public EParvelleError {
    using EParvelleError::EParvelleError;
};

// A file that cannot be opened, read or written.
class EInOutError : public EParvelleError {
    using EParvelleError::EParvelleError;
};

// A hive file that cannot be opened, is corrupt, or cannot be committed.
class EHiveError : public EParvelleError {
    using EParvelleError::EParvelleError;
};

// A mapped hive file another program shortened while it was read: what was read is not the
// hive, so no reader takes it for damage of one key.
class EHiveShortenedError : public EHiveError {
    using EHiveError::EHiveError;
};

} // namespace parvelle
