#include "OSInfo.h"

#include "registry/TNTRegistry.h"

#include <algorithm>
#include <optional>

namespace parvelle {

namespace {

struct Version {
    int major;
    int minor;
};

// The number the text starts with (ASCII digits), taken off the text; nullopt without one.
std::optional<int> takeNumber(QStringView& text)
{
    const auto end = std::find_if_not(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    const QStringView digits = text.first(end - text.begin());
    text = text.sliced(digits.size());
    return digits.isEmpty() ? std::nullopt : std::optional<int>(digits.toInt());
}

// "5.1", "4.10.2222", "6.0.6002": the first two numbers, after any spaces. (Read by hand:
// a regular expression cost more than the rest of finding the Windows version.)
std::optional<Version> parseVersion(QStringView text)
{
    while (!text.isEmpty() && text.front().isSpace())
        text = text.sliced(1);
    const std::optional<int> major = takeNumber(text);
    if (!major || !text.startsWith(u'.'))
        return std::nullopt;
    text = text.sliced(1);
    const std::optional<int> minor = takeNumber(text);
    if (!minor)
        return std::nullopt;
    return Version{*major, *minor};
}

// The text of a string value of the key at `path`, or nullopt.
std::optional<QString> readVersionText(TNTRegistry& registry, const QString& path, const QString& name)
{
    if (!registry.OpenPath(path, false))
        return std::nullopt;
    const DataKind kind = registry.ValueKind(name);
    if (kind != dkString && kind != dkExpandString)
        return std::nullopt;
    return registry.ReadText(name);
}

} // namespace

QString CacheEntryPath(const QString& name)
{
    return kArpCachePath + QLatin1Char('\\') + name;
}

int NtVersionInfo(int major, int minor)
{
    if (major <= 4)
        return 4;
    if (major == 5 && minor <= 2)
        return 5 + minor;
    if (major == 6 && minor == 0)
        return 8;
    return -1;
}

int Win9xVersionInfo(int major, int minor, const QString& subVersion)
{
    if (major != 4)
        return -1;
    switch (minor) {
    case 0:
        return 0;
    case 10:
        return subVersion.size() >= 2 && subVersion.at(1) == QLatin1Char('A') ? 2 : 1;
    case 90:
        return 3;
    default:
        return -1;
    }
}

int GetOSInfo(Machine& machine)
{
    TNTRegistry registry(machine);
    registry.SelectRoot(HKEY_LOCAL_MACHINE);

    if (const auto nt = readVersionText(registry, kNtVersionPath, QStringLiteral("CurrentVersion"))) {
        const auto version = parseVersion(*nt);
        return version ? NtVersionInfo(version->major, version->minor) : -1;
    }
    if (const auto win9x = readVersionText(registry, kWin9xVersionPath, QStringLiteral("VersionNumber"))) {
        const auto version = parseVersion(*win9x);
        const QString subVersion =
            readVersionText(registry, kWin9xVersionPath, QStringLiteral("SubVersionNumber")).value_or(QString());
        return version ? Win9xVersionInfo(version->major, version->minor, subVersion) : -1;
    }
    return -1;
}

uint8_t OSKindFromInfo(int info)
{
    if (info < 0 || info > 8)
        return 0;
    return static_cast<uint8_t>(info <= 1 ? info + 1 : info);
}

HKEY CacheRoot(uint8_t osKind)
{
    return osKind == 8 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

} // namespace parvelle
