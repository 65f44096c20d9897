#include "TNTRegistry.h"

#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstring>

namespace parvelle {

namespace {

struct KindType {
    DataKind kind;
    uint32_t type;
};

// Read direction; dkDwordLittleEndian is only ever written (as REG_DWORD).
constexpr std::array<KindType, 11> kKindTypes{{
    {dkNone, REG_NONE}, {dkString, REG_SZ}, {dkExpandString, REG_EXPAND_SZ},
    {dkBinary, REG_BINARY}, {dkDword, REG_DWORD}, {dkDwordBigEndian, REG_DWORD_BIG_ENDIAN},
    {dkLink, REG_LINK}, {dkMultiString, REG_MULTI_SZ}, {dkResourceList, REG_RESOURCE_LIST},
    {dkFullResourceDescriptor, REG_FULL_RESOURCE_DESCRIPTOR},
    {dkResourceRequirementsList, REG_RESOURCE_REQUIREMENTS_LIST},
}};

[[noreturn]] void raise(const char* format, const QString& name)
{
    throw ERegistryException(QString::fromLatin1(format).arg(name));
}

constexpr const char* kInvalidType = "Invalid data type for '%1'";
constexpr const char* kGetFailed = "Failed to get data for '%1'";
constexpr const char* kSetFailed = "Failed to set data for '%1'";

} // namespace

DataKind KindOfType(uint32_t windowsType)
{
    const auto it = std::find_if(kKindTypes.begin(), kKindTypes.end(),
                                 [&](const KindType& kt) { return kt.type == windowsType; });
    return it == kKindTypes.end() ? dkUnknown : it->kind;
}

uint32_t TypeOfKind(DataKind kind)
{
    if (kind == dkDwordLittleEndian)
        return REG_DWORD;
    const auto it = std::find_if(kKindTypes.begin(), kKindTypes.end(),
                                 [&](const KindType& kt) { return kt.kind == kind; });
    return it == kKindTypes.end() ? uint32_t(REG_NONE) : it->type;
}

QString RegTextFromBytes(const QByteArray& data)
{
    const qsizetype units = data.size() / 2;   // an odd trailing byte is no character
    QString text;
    text.reserve(units);
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t unit = qFromLittleEndian<char16_t>(data.constData() + 2 * i);
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

QByteArray RegTextToBytes(const QString& text)
{
    QByteArray data(2 * (text.size() + 1), '\0');
    for (qsizetype i = 0; i < text.size(); ++i)
        qToLittleEndian<char16_t>(text.at(i).unicode(), data.data() + 2 * i);
    return data;
}

TNTRegistry::TNTRegistry(Machine& machine) : machine_(machine) {}

TNTRegistry::~TNTRegistry()
{
    ClosePath();
}

HKEY TNTRegistry::RootHandle() const { return rootHandle_; }
const QString& TNTRegistry::KeyPath() const { return keyPath_; }
bool TNTRegistry::HasOpenKey() const { return key_.has_value(); }

void TNTRegistry::SelectRoot(HKEY root)
{
    if (root == rootHandle_)
        return;
    rootHandle_ = root;
    ClosePath();
}

std::optional<KeyRef> TNTRegistry::baseKey(bool absolute) const
{
    if (!absolute && key_)
        return key_;
    return machine_.rootKey(rootHandle_);
}

std::optional<KeyRef> TNTRegistry::resolve(const QString& path, QString& rest, bool& absolute) const
{
    absolute = path.startsWith(QLatin1Char('\\'));
    rest = absolute ? path.mid(1) : path;
    return baseKey(absolute);
}

bool TNTRegistry::OpenPath(const QString& path, bool mayCreate)
{
    QString rest;
    bool absolute = false;
    const std::optional<KeyRef> base = resolve(path, rest, absolute);
    if (!base)
        return false;
    std::optional<KeyRef> opened = !mayCreate || rest.isEmpty() ? machine_.open(*base, rest) : machine_.create(*base, rest);
    if (!opened)
        return false;
    if (absolute || !key_)
        keyPath_ = rest;
    else if (!rest.isEmpty())
        keyPath_ = keyPath_.isEmpty() ? rest : keyPath_ + QLatin1Char('\\') + rest;
    key_ = std::move(opened);
    return true;
}

void TNTRegistry::ClosePath()
{
    key_.reset();
    keyPath_.clear();
}

bool TNTRegistry::QueryKeyCounts(KeyCounts& counts)
{
    counts = KeyCounts{};
    if (!key_)
        return false;
    const QStringList subkeys = machine_.subkeyNames(*key_);
    counts.subkeyCount = uint32_t(subkeys.size());
    for (const QString& name : subkeys)
        counts.maxSubkeyNameLength = std::max(counts.maxSubkeyNameLength, uint32_t(name.size()));
    if (!key_->store)
        return true;
    const std::vector<RegValue> values = key_->store->values(key_->node);
    counts.valueCount = uint32_t(values.size());
    for (const RegValue& v : values) {
        counts.maxValueNameLength = std::max(counts.maxValueNameLength, uint32_t(v.name.size()));
        counts.maxDataLength = std::max(counts.maxDataLength, uint32_t(v.data.size()));
    }
    counts.lastWriteTime = key_->store->lastWriteTime(key_->node);
    return true;
}

void TNTRegistry::ListSubkeys(QStringList& list)
{
    list.clear();
    if (key_)
        list = machine_.subkeyNames(*key_);
}

void TNTRegistry::ListValues(QStringList& list)
{
    list.clear();
    if (!key_ || !key_->store)
        return;
    for (const RegValue& v : key_->store->values(key_->node))
        list.append(v.name);
}

std::optional<RegValue> TNTRegistry::lookup(const QString& name) const
{
    if (!key_ || !key_->store)
        return std::nullopt;
    return key_->store->value(key_->node, name);
}

bool TNTRegistry::QueryValue(const QString& name, ValueInfo& info)
{
    info = ValueInfo{};
    const std::optional<RegValue> v = lookup(name);
    if (!v)
        return false;
    info.kind = KindOfType(v->type);
    info.size = int32_t(v->data.size());
    return true;
}

int32_t TNTRegistry::ValueSize(const QString& name)
{
    ValueInfo info;
    return QueryValue(name, info) ? info.size : -1;
}

DataKind TNTRegistry::ValueKind(const QString& name)
{
    ValueInfo info;
    return QueryValue(name, info) ? info.kind : dkUnknown;
}

RawValue TNTRegistry::ReadRaw(const QString& name)
{
    const std::optional<RegValue> v = lookup(name);
    if (!v)
        raise(kGetFailed, name);
    return RawValue{v->type, v->data};
}

void TNTRegistry::WriteRaw(const QString& name, uint32_t windowsType, const QByteArray& data)
{
    if (!key_ || !machine_.isWritable(*key_))
        raise(kSetFailed, name);
    try {
        key_->store->setValue(key_->node, RegValue{name, windowsType, data});
    } catch (const EHiveError& e) {
        lastStoreError_ = e.message();
        raise(kSetFailed, name);
    }
}

QString TNTRegistry::ReadText(const QString& name)
{
    if (ValueSize(name) <= 0)
        return QString();
    const RawValue raw = ReadRaw(name);
    switch (KindOfType(raw.type)) {
    case dkString:
    case dkExpandString:
    case dkMultiString:
        return RegTextFromBytes(raw.data);
    default:
        raise(kInvalidType, name);
    }
}

void TNTRegistry::WriteText(const QString& name, const QString& text)
{
    WriteRaw(name, REG_SZ, RegTextToBytes(text));
}

void TNTRegistry::WriteExpandText(const QString& name, const QString& text)
{
    WriteRaw(name, REG_EXPAND_SZ, RegTextToBytes(text));
}

int32_t TNTRegistry::ReadDword(const QString& name)
{
    const RawValue raw = ReadRaw(name);
    if (raw.data.size() > 4)
        raise(kGetFailed, name);   // the data does not fit the 4-byte buffer
    if (KindOfType(raw.type) != dkDword)
        raise(kInvalidType, name);
    std::array<char, 4> bytes{};   // shorter data is zero-extended
    std::copy(raw.data.cbegin(), raw.data.cend(), bytes.begin());
    return qFromLittleEndian<int32_t>(bytes.data());
}

void TNTRegistry::WriteDword(const QString& name, int32_t value)
{
    QByteArray data(4, '\0');
    qToLittleEndian<int32_t>(value, data.data());
    WriteRaw(name, REG_DWORD, data);
}

int TNTRegistry::ReadBytes(const QString& name, void* buffer, int bufferSize)
{
    ValueInfo info;
    if (!QueryValue(name, info))
        return 0;
    if (info.kind != dkBinary || info.size > bufferSize)
        raise(kInvalidType, name);
    const RawValue raw = ReadRaw(name);
    if (raw.data.size() > bufferSize)
        raise(kInvalidType, name);
    if (!raw.data.isEmpty())
        std::memcpy(buffer, raw.data.constData(), size_t(raw.data.size()));
    return int(raw.data.size());
}

void TNTRegistry::WriteBytes(const QString& name, const void* buffer, int size)
{
    if (size < 0)
        raise(kSetFailed, name);
    WriteRaw(name, REG_BINARY, QByteArray(static_cast<const char*>(buffer), size));
}

bool TNTRegistry::SubkeyExists(const QString& path)
{
    QString rest;
    bool absolute = false;
    const std::optional<KeyRef> base = resolve(path, rest, absolute);
    return base && machine_.open(*base, rest).has_value();
}

bool TNTRegistry::DeleteTree(const QString& path)
{
    QString rest;
    bool absolute = false;
    const std::optional<KeyRef> base = resolve(path, rest, absolute);
    if (!base)
        return false;
    const std::optional<KeyRef> target = machine_.open(*base, rest);
    if (!target || !target->store || target->node == target->store->root()
        || !target->store->isWritable())
        return false;   // missing, a root or mount point, or read-only
    try {
        target->store->deleteNode(target->node);   // the store removes the whole subtree
    } catch (const EHiveError& e) {
        lastStoreError_ = e.message();
        return false;
    }
    return true;
}

bool TNTRegistry::EraseValue(const QString& name)
{
    if (!key_ || !machine_.isWritable(*key_))
        return false;
    try {
        return key_->store->eraseValue(key_->node, name);
    } catch (const EHiveError& e) {
        lastStoreError_ = e.message();
        return false;
    }
}

} // namespace parvelle
