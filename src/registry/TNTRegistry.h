#pragma once
// The program's only way into the registry: one root, one open key, operations by path.
#include "Machine.h"
#include "core/Errors.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace parvelle {

enum DataKind : uint8_t {
    dkUnknown = 0, dkNone = 1, dkString = 2, dkExpandString = 3, dkBinary = 4, dkDword = 5,
    dkDwordLittleEndian = 6, dkDwordBigEndian = 7, dkLink = 8, dkMultiString = 9,
    dkResourceList = 10, dkFullResourceDescriptor = 11, dkResourceRequirementsList = 12,
};

DataKind KindOfType(uint32_t windowsType);
uint32_t TypeOfKind(DataKind kind);

// Registry text: UTF-16LE. Decoding stops at the first zero character (an odd trailing
// byte is ignored); encoding appends one zero character.
QString RegTextFromBytes(const QByteArray& data);
QByteArray RegTextToBytes(const QString& text);

struct ValueInfo {
    DataKind kind = dkUnknown;
    int32_t size = 0;
};

struct KeyCounts {
    uint32_t subkeyCount = 0;
    uint32_t maxSubkeyNameLength = 0;
    uint32_t valueCount = 0;
    uint32_t maxValueNameLength = 0;
    uint32_t maxDataLength = 0;
    uint64_t lastWriteTime = 0;   // FILETIME
};

// A value read whole, with its exact Windows type number.
struct RawValue {
    uint32_t type = 0;
    QByteArray data;
};

class TNTRegistry {
public:
    explicit TNTRegistry(Machine& machine);   // root HKEY_CURRENT_USER, no key open
    ~TNTRegistry();
    TNTRegistry(const TNTRegistry&) = delete;
    TNTRegistry& operator=(const TNTRegistry&) = delete;

    HKEY RootHandle() const;
    const QString& KeyPath() const;
    bool HasOpenKey() const;

    void SelectRoot(HKEY root);
    bool OpenPath(const QString& path, bool mayCreate);
    void ClosePath();
    bool QueryKeyCounts(KeyCounts& counts);
    void ListSubkeys(QStringList& list);
    void ListValues(QStringList& list);
    bool QueryValue(const QString& name, ValueInfo& info);
    int32_t ValueSize(const QString& name);
    DataKind ValueKind(const QString& name);
    QString ReadText(const QString& name);
    void WriteText(const QString& name, const QString& text);
    void WriteExpandText(const QString& name, const QString& text);
    int32_t ReadDword(const QString& name);
    void WriteDword(const QString& name, int32_t value);
    int ReadBytes(const QString& name, void* buffer, int bufferSize);
    void WriteBytes(const QString& name, const void* buffer, int size);
    bool SubkeyExists(const QString& path);
    bool DeleteTree(const QString& path);
    bool EraseValue(const QString& name);

    // Whole value with its type number ("Failed to get data for '%s'" when missing),
    // and a write of any type number ("Failed to set data for '%s'" when refused).
    RawValue ReadRaw(const QString& name);
    void WriteRaw(const QString& name, uint32_t windowsType, const QByteArray& data);

    Machine& machine() { return machine_; }
    // The store's reason for the last refused write or deletion; empty when none.
    const QString& LastStoreError() const { return lastStoreError_; }

private:
    std::optional<KeyRef> baseKey(bool absolute) const;
    // Splits off a leading backslash into `absolute`; returns the key `rest` starts from.
    std::optional<KeyRef> resolve(const QString& path, QString& rest, bool& absolute) const;
    std::optional<RegValue> lookup(const QString& name) const;

    Machine& machine_;
    HKEY rootHandle_ = HKEY_CURRENT_USER;
    std::optional<KeyRef> key_;   // the open key
    QString keyPath_;
    QString lastStoreError_;
};

} // namespace parvelle
