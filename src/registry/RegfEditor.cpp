#include "RegfEditor.h"

#include "HiveImage.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>

namespace parvelle {

using namespace regf;

namespace {

uint16_t u16(const char* at) { return qFromLittleEndian<uint16_t>(at); }
uint32_t u32(const char* at) { return qFromLittleEndian<uint32_t>(at); }

} // namespace

RegfEditor::RegfEditor(QByteArray bytes, const QString& path, std::shared_ptr<const MappedFile> mapping)
    : RegfImage(std::move(bytes), path, std::move(mapping)), cells_(bytes_, CurrentFileTime()),
      slackStart_(qsizetype(kBinsStart + binsSize_))
{
}

void RegfEditor::beginChanges()
{
    if (changing_)
        return;
    checkAllBins();
    makePrivateCopy();
    slack_ = bytes_.mid(slackStart_);
    bytes_.truncate(slackStart_);
    adoptFreeCells();
    changing_ = true;
}

void RegfEditor::synced()
{
    binsSize_ = cells_.binsSize();
}

uint32_t RegfEditor::keyCellOffset(NodeId key) const
{
    keyCell(key);
    return uint32_t(key - kBinsStart);
}

void RegfEditor::adoptFreeCells()
{
    for (uint32_t bin = 0; bin < binsSize_;) {
        const uint32_t binEnd = bin + u32(bytes_.constData() + kBinsStart + bin + 8);   // checked by beginChanges()
        for (uint32_t at = bin + 0x20; binEnd - at >= 8;) {
            const int32_t size = qFromLittleEndian<int32_t>(bytes_.constData() + kBinsStart + at);
            const uint32_t length = uint32_t(size < 0 ? -int64_t(size) : size);
            if (length < 8 || length % 8 != 0 || length > binEnd - at)
                break;   // a damaged bin: its cells are left alone
            if (size > 0)
                cells_.adopt(at, length);
            at += length;
        }
        bin = binEnd;
    }
}

NodeId RegfEditor::addKey(NodeId parent, const QString& name, uint64_t time)
{
    const uint32_t security = u32(keyCell(parent).data + 0x2C);
    const uint32_t references = u32(securityCell(security).data + 0x0C);
    beginChanges();
    const uint32_t nk = WriteKey(cells_, name, keyCellOffset(parent), security, time);
    synced();
    cells_.u32(security, 0x0C, references + 1);
    return NodeId(nk) + kBinsStart;
}

void RegfEditor::collectSubkeyList(uint32_t list, std::vector<uint32_t>& cells) const
{
    const Cell c = cell(list);
    cells.push_back(list);
    if (std::memcmp(c.data, "ri", 2) != 0)
        return;
    const uint16_t count = u16(c.data + 2);
    if (4u + 4u * count > c.size)
        damaged(QStringLiteral("the subkey list at offset 0x%1 is broken").arg(list + kBinsStart, 0, 16));
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t leaf = u32(c.data + 4 + 4 * i);
        cell(leaf);
        cells.push_back(leaf);
    }
}

std::pair<uint32_t, std::vector<uint32_t>> RegfEditor::valueRecords(NodeId key) const
{
    const Cell nk = keyCell(key);
    const uint32_t count = u32(nk.data + 0x24);
    if (count == 0)
        return {kNoCell, {}};
    const uint32_t listOffset = u32(nk.data + 0x28);
    const Cell list = cell(listOffset);
    if (count > list.size / 4)
        damaged(QStringLiteral("the value list of the key at offset 0x%1 is broken").arg(key, 0, 16));
    std::vector<uint32_t> records;
    for (uint32_t i = 0; i < count; ++i)
        records.push_back(u32(list.data + 4 * i));
    return {listOffset, records};
}

void RegfEditor::collectValueRecordCells(uint32_t vkOffset, std::vector<uint32_t>& cells) const
{
    const Cell vk = cell(vkOffset);
    cells.push_back(vkOffset);
    const uint32_t length = vk.size >= 0x0C ? u32(vk.data + 4) : 0;
    if (length == 0 || (length & 0x80000000u))   // no data, or data inside the record
        return;
    const uint32_t dataOffset = u32(vk.data + 8);
    const Cell data = cell(dataOffset);
    cells.push_back(dataOffset);
    if (length <= data.size || data.size < 8 || std::memcmp(data.data, "db", 2) != 0)
        return;
    const uint16_t segments = u16(data.data + 2);
    const uint32_t segmentList = u32(data.data + 4);
    const Cell segmentCells = cell(segmentList);
    if (segments * 4u > segmentCells.size)
        damaged(QStringLiteral("a big data list is broken"));
    cells.push_back(segmentList);
    for (uint32_t s = 0; s < segments; ++s) {
        const uint32_t segment = u32(segmentCells.data + 4 * s);
        cell(segment);
        cells.push_back(segment);
    }
}

void RegfEditor::collectValueCells(NodeId key, std::vector<uint32_t>& cells) const
{
    const auto [list, records] = valueRecords(key);
    if (list != kNoCell)
        cells.push_back(list);
    for (uint32_t vk : records)
        collectValueRecordCells(vk, cells);
}

void RegfEditor::collectKeyCells(NodeId key, Cells& cells) const
{
    const Cell nk = keyCell(key);
    cells.keys.push_back(keyCellOffset(key));
    const uint32_t className = u32(nk.data + 0x30);
    if (className != kNoCell && u16(nk.data + 0x4A) > 0) {
        cell(className);
        cells.free.push_back(className);
    }
    const uint32_t subkeys = u32(nk.data + 0x1C);
    if (u32(nk.data + 0x14) > 0 && subkeys != kNoCell)
        collectSubkeyList(subkeys, cells.free);
    collectValueCells(key, cells.free);
    cells.security.push_back(u32(nk.data + 0x2C));
}

void RegfEditor::freeCells(const std::vector<uint32_t>& cells)
{
    for (uint32_t at : cells)
        cells_.release(at);
}

void RegfEditor::releaseSecurity(uint32_t sk)
{
    const Cell record = cell(sk);
    const uint32_t references = u32(record.data + 0x0C);
    if (references > 1) {
        cells_.u32(sk, 0x0C, references - 1);
        return;
    }
    const uint32_t next = u32(record.data + 0x04);
    const uint32_t previous = u32(record.data + 0x08);
    cells_.u32(previous, 0x04, next);
    cells_.u32(next, 0x08, previous);
    freeCells({sk});
}

void RegfEditor::freeKeys(const std::vector<NodeId>& keys)
{
    Cells cells;
    for (NodeId key : keys)
        collectKeyCells(key, cells);
    // Every descriptor, and the neighbours of one that loses its last reference, must be
    // sound before anything changes.
    std::map<uint32_t, uint32_t> releases;
    for (uint32_t sk : cells.security)
        ++releases[sk];
    for (const auto& [sk, count] : releases) {
        const Cell record = securityCell(sk);
        const uint32_t references = u32(record.data + 0x0C);
        if (references < count)
            damaged(QStringLiteral("the security record at offset 0x%1 has too few references").arg(sk + kBinsStart, 0, 16));
        if (references == count) {
            securityCell(u32(record.data + 0x04));
            securityCell(u32(record.data + 0x08));
        }
    }
    beginChanges();   // before the cells freed here become free
    for (uint32_t nk : cells.keys)
        cells_.release(nk, false);
    freeCells(cells.free);
    for (uint32_t sk : cells.security)
        releaseSecurity(sk);
}

void RegfEditor::setSubkeys(NodeId key, const std::vector<NodeId>& kids, const QStringList& names)
{
    const Cell nk = keyCell(key);
    std::vector<uint32_t> old;
    const uint32_t list = u32(nk.data + 0x1C);
    if (u32(nk.data + 0x14) > 0 && list != kNoCell)
        collectSubkeyList(list, old);
    std::vector<SubkeyEntry> entries;
    entries.reserve(kids.size());
    for (size_t i = 0; i < kids.size(); ++i)
        entries.push_back({names.at(qsizetype(i)), uint32_t(kids[i] - kBinsStart)});
    beginChanges();
    freeCells(old);   // first, so that the new list can take their place
    SetKeySubkeys(cells_, keyCellOffset(key), entries, minorVersion_ >= 5);
    synced();
}

void RegfEditor::setValues(NodeId key, const std::vector<RegValue>& values)
{
    // A value that stays as it was keeps its record, with every field of it.
    const auto [list, records] = valueRecords(key);
    std::unordered_map<QString, size_t> byName;
    std::vector<RegValue> old;
    for (uint32_t vk : records) {
        old.push_back(readValue(vk));
        byName.emplace(old.back().name, old.size() - 1);
    }
    std::vector<uint32_t> kept(values.size(), kNoCell);
    std::vector<bool> reused(records.size(), false);
    for (size_t i = 0; i < values.size(); ++i) {
        const auto same = byName.find(values[i].name);
        if (same != byName.end() && !reused[same->second] && old[same->second].type == values[i].type
            && old[same->second].data == values[i].data) {
            kept[i] = records[same->second];
            reused[same->second] = true;
        }
    }
    std::vector<uint32_t> freed;
    if (list != kNoCell)
        freed.push_back(list);
    for (size_t r = 0; r < records.size(); ++r) {
        if (!reused[r])
            collectValueRecordCells(records[r], freed);
    }
    beginChanges();
    freeCells(freed);   // first, so that the new records can take their place
    SetKeyValues(cells_, keyCellOffset(key), values, minorVersion_ >= 4, kept);
    synced();
}

void RegfEditor::setTimestamp(NodeId key, uint64_t time)
{
    beginChanges();
    cells_.u64(keyCellOffset(key), 0x04, time);
}

QByteArray RegfEditor::save(uint64_t time)
{
    beginChanges();
    sequence1_ = sequence2_ = std::max(sequence1_, sequence2_) + 1;   // equal: cleanly closed
    char* header = bytes_.data();
    qToLittleEndian<uint32_t>(sequence1_, header + 0x04);
    qToLittleEndian<uint32_t>(sequence2_, header + 0x08);
    qToLittleEndian<uint32_t>(binsSize_, header + 0x28);
    StampBaseBlock(bytes_, time);
    return bytes_ + slack_.mid(bytes_.size() - slackStart_);
}

} // namespace parvelle
