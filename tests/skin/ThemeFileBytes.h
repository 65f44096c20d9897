#pragma once
// Theme files built byte by byte, valid and damaged, for the reader tests, the corpus test
// and the fuzzer's seeds.
#include "skin/ThemeFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QtEndian>

namespace skintest {

using parvelle::ThemeEntryType;

inline QByteArray BmpBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

// A theme file under construction: a 24-byte header, data blocks and directory entries at
// chosen offsets.
struct ThemeBytes {
    static constexpr int kEntrySize = 77;
    QByteArray content = QByteArray(24, '\0');

    ThemeBytes() { put(12, 24); }

    void put(qsizetype offset, uint32_t value)
    {
        if (content.size() < offset + 4)
            content.resize(offset + 4, '\0');
        qToLittleEndian(value, content.data() + offset);
    }
    uint32_t appendData(const QByteArray& data)
    {
        const auto offset = static_cast<uint32_t>(content.size());
        content.append(data);
        return offset;
    }
    // Offset of the i-th entry appended after everything written so far.
    uint32_t nextEntryOffset(int i) const { return uint32_t(content.size() + i * kEntrySize); }
    uint32_t first()
    {
        const uint32_t offset = nextEntryOffset(0);
        setFirst(offset);
        return offset;
    }
    void setFirst(uint32_t offset) { put(20, offset); }
    void entry(uint32_t offset, const QByteArray& name, uint8_t type, uint32_t dataOffset,
               uint32_t size, uint32_t next)
    {
        if (content.size() < qsizetype(offset) + kEntrySize)
            content.resize(qsizetype(offset) + kEntrySize, '\0');
        QByteArray field = name.left(64);
        field.append(64 - field.size(), '\0');
        content.replace(offset, 64, field);
        content[offset + 64] = char(type);
        put(offset + 65, dataOffset);
        put(offset + 69, size);
        put(offset + 73, next);
    }
};

inline QByteArray ValidTheme()
{
    return parvelle::BuildThemeFile({
        {"FormBorderWidthInt", parvelle::teInteger, parvelle::ThemeIntegerData(3)},
        {"FormBorderColor", parvelle::teInteger, parvelle::ThemeIntegerData(0xC82C00)},
    });
}

inline QByteArray WithHeaderLength(QByteArray content, uint32_t length)
{
    if (content.size() >= 16)
        qToLittleEndian(length, content.data() + 12);
    return content;
}

// `count` integer entries whose last entry points back to the first.
inline QByteArray LoopingChain(int count)
{
    ThemeBytes bytes;
    const uint32_t value = bytes.appendData(parvelle::ThemeIntegerData(1));
    const uint32_t first = bytes.nextEntryOffset(0);
    bytes.setFirst(first);
    for (int i = 0; i < count; ++i) {
        const uint32_t next = i + 1 < count ? first + uint32_t(i + 1) * ThemeBytes::kEntrySize : first;
        bytes.entry(first + uint32_t(i) * ThemeBytes::kEntrySize, "Item" + QByteArray::number(i),
                    parvelle::teInteger, value, 4, next);
    }
    return bytes.content;
}

// One good entry followed by `second`, an entry of the given fields, then a terminator.
inline QByteArray GoodThenEntry(uint8_t type, uint32_t dataOffset, uint32_t size)
{
    ThemeBytes bytes;
    const uint32_t value = bytes.appendData(parvelle::ThemeIntegerData(1));
    const uint32_t e1 = bytes.nextEntryOffset(0), e2 = bytes.nextEntryOffset(1),
                   e3 = bytes.nextEntryOffset(2);
    bytes.setFirst(e1);
    bytes.entry(e1, "Good", parvelle::teInteger, value, 4, e2);
    bytes.entry(e2, "Bad", type, dataOffset, size, e3);
    bytes.entry(e3, "", 0, 0, 0, 0);
    return bytes.content;
}

inline QByteArray DataPastEnd(uint32_t dataOffset, uint32_t size)
{
    return GoodThenEntry(parvelle::teImage, dataOffset, size);
}

// A value entry whose data has `size` bytes (inside the file).
inline QByteArray WrongSize(uint8_t type, uint32_t size)
{
    return GoodThenEntry(type, 0, size);
}

inline QByteArray EntryPastEnd()
{
    ThemeBytes bytes;
    const uint32_t value = bytes.appendData(parvelle::ThemeIntegerData(1));
    bytes.entry(bytes.first(), "Good", parvelle::teInteger, value, 4, 0x7FFFFFFF);
    return bytes.content;
}

// The second entry starts inside the file but would end 30 bytes past it.
inline QByteArray EntryStraddlingEnd()
{
    ThemeBytes bytes;
    const uint32_t value = bytes.appendData(parvelle::ThemeIntegerData(1));
    const uint32_t first = bytes.first();
    bytes.entry(first, "Good", parvelle::teInteger, value, 4, first + ThemeBytes::kEntrySize - 47);
    return bytes.content;
}

// `count` entries of `type` whose data blocks of `size` bytes start `step` bytes apart in
// one run of data: with step 0 they all share one block.
inline QByteArray EntriesOverData(int count, int size, int step, uint8_t type = parvelle::teImage)
{
    ThemeBytes bytes;
    const uint32_t data = bytes.appendData(QByteArray(size + count * step, 'x'));
    const uint32_t first = bytes.first();
    for (int i = 0; i <= count; ++i) {
        const uint32_t next = i < count ? first + uint32_t(i + 1) * ThemeBytes::kEntrySize : 0;
        bytes.entry(first + uint32_t(i) * ThemeBytes::kEntrySize, "Entry" + QByteArray::number(i), type,
                    data + uint32_t(i * step), uint32_t(size), next);
    }
    return bytes.content;
}

// What a reader holds, as entries a writer takes (images, integers, booleans, texts; entries
// without a name are left out, as no writer can make them).
inline QList<parvelle::ThemeFileEntry> EntriesOf(const parvelle::TsuiThemeFileReader& reader)
{
    using namespace parvelle;
    QList<ThemeFileEntry> entries;
    const QStringList images = reader.ImageNames();
    for (qsizetype i = 0; i < images.size(); ++i) {
        if (!images[i].isEmpty())
            entries.append({images[i], teImage, reader.ImageData(i)});
    }
    for (const auto& [name, value] : reader.Integers()) {
        if (!name.isEmpty())
            entries.append({name, teInteger, ThemeIntegerData(value.toInt())});
    }
    for (const auto& [name, value] : reader.Booleans()) {
        if (!name.isEmpty())
            entries.append({name, teBoolean, QByteArray(1, char(value.toUInt()))});
    }
    for (const auto& [name, value] : reader.Texts()) {
        if (!name.isEmpty())
            entries.append({name, teText, value.toLatin1()});
    }
    return entries;
}

inline bool SameEntries(const QList<parvelle::ThemeFileEntry>& a, const QList<parvelle::ThemeFileEntry>& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].data != b[i].data)
            return false;
    }
    return true;
}

// Whatever a reader took from any file is written and read back unchanged.
inline bool SurvivesRewrite(const parvelle::TsuiThemeFileReader& reader)
{
    const QList<parvelle::ThemeFileEntry> entries = EntriesOf(reader);
    const parvelle::TsuiThemeFileReader again(parvelle::BuildThemeFile(entries));
    return again.DamageNote().isEmpty() && SameEntries(EntriesOf(again), entries);
}

// Seeds of the fuzzer and cases of the reader tests: valid files and every kind of damage,
// with the number of entries a reader keeps and whether it reports damage.
struct SeedFile {
    const char* name;
    QByteArray content;
    int entriesKept;
    bool damaged;
};

inline QList<SeedFile> SeedThemeFiles()
{
    using namespace parvelle;
    const QByteArray allKinds = BuildThemeFile({
        {"ButtonImage", teImage, BmpBytes(QImage(6, 3, QImage::Format_RGB32))},
        {"FormMinWidthInt", teInteger, ThemeIntegerData(-1)},
        {"ButtonTransparentBool", teBoolean, ThemeBooleanData(true)},
        {"Note", teText, "text"}});
    return {
        {"valid", ValidTheme(), 2, false},
        {"valid-all-kinds", allKinds, 4, false},
        {"empty-directory", BuildThemeFile({}), 0, false},
        {"header-length-huge", WithHeaderLength(ValidTheme(), 0xFFFFFFFF), 2, false},
        {"loop-self", LoopingChain(1), 1, true},
        {"loop-three", LoopingChain(3), 3, true},
        {"entry-past-end", EntryPastEnd(), 1, true},
        {"entry-straddling-end", EntryStraddlingEnd(), 1, true},
        {"data-past-end", DataPastEnd(0x7FFFFFF0, 4), 1, true},
        {"data-size-wraps", DataPastEnd(40, 0xFFFFFFFF), 1, true},
        {"data-shared", EntriesOverData(5, 1000, 0), 5, false},
        {"data-overlapping", EntriesOverData(5, 1000, 1), 1, true},
        {"integer-2-bytes", WrongSize(teInteger, 2), 1, true},
        {"integer-8-bytes", WrongSize(teInteger, 8), 1, true},
        {"boolean-4-bytes", WrongSize(teBoolean, 4), 1, true},
        {"boolean-0-bytes", WrongSize(teBoolean, 0), 1, true},
        {"header-length-short", WithHeaderLength(ValidTheme(), 23), 0, true},
        {"truncated-header", ValidTheme().left(15), 0, true},
        {"header-only", ValidTheme().left(24), 0, true},
        {"empty-file", QByteArray(), 0, true},
    };
}

} // namespace skintest
