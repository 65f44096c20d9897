#pragma once
// Opening web addresses and files with the desktop's default handler.
#include <QString>

namespace parvelle {

class Shell {
public:
    virtual ~Shell() = default;
    // Opens target (a URL or a local file path); returns a Windows-style code,
    // 33 or more on success.
    virtual int shellExecute(const QString& target) = 0;
};

class QtShell : public Shell {
public:
    int shellExecute(const QString& target) override;
};

constexpr int kShellSuccess = 42;
constexpr int kShellFileNotFound = 2;
constexpr int kShellNoAssociation = 31;

// The user-facing text for a shell result code.
QString ShellErrorMessage(int code);

} // namespace parvelle
