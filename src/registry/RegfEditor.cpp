#include "RegfEditor.h"

#include "HiveImage.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>

namespace parvelle {

using namespace regf;

RegfEditor::RegfEditor(ImageBytes bytes, const QString& path)
    : RegfImage(std::move(bytes), path), cells_(bytes_, CurrentFileTime()),
      slackStart_(qsizetype(kBinsStart + binsSize_))
{
}

void RegfEditor::beginChanges()
{
    if (changing_)
        return;
    checkAllBins();
    slack_ = bytes_.view().sliced(slackStart_).toByteArray();
    requireIntact();
    bytes_.resize(slackStart_);
    adoptFreeCells();
    changing_ = true;
}

void RegfEditor::synced()
{
    binsSize_ = cells_.binsSize();
    binEnds_.resize(binsSize_ / kPageSize);
}

uint32_t RegfEditor::keyCellOffset(NodeId key) const
{
    keyCell(key);
    return uint32_t(key - kBinsStart);
}

void RegfEditor::adoptFreeCells()
{
    const std::vector<FreeCell> free = preparedFreeCells_ ? std::move(*preparedFreeCells_) : cellsMarkedFree();
    preparedFreeCells_.reset();
    for (const FreeCell& cell : free)
        cells_.adopt(cell.offset, cell.size);
}

void RegfEditor::usePrepared(PreparedImage prepared)
{
    if (!readsMappedFile())
        return;
    requireIntact();
    allBinsChecked_ = true;
    preparedFreeCells_ = std::move(prepared.freeCells);
}

NodeId RegfEditor::addKey(NodeId parent, const QString& name, uint64_t time)
{
    const uint32_t security = KeyNode(keyCell(parent)).security();
    const uint32_t references = SecurityKey(securityCell(security)).references();
    beginChanges();
    const uint32_t nk = WriteKey(cells_, name, keyCellOffset(parent), security, time);
    synced();
    cells_.u32(security, SecurityKey::kReferences, references + 1);
    return NodeId(nk) + kBinsStart;
}

void RegfEditor::collectSubkeyList(uint32_t list, std::vector<uint32_t>& cells) const
{
    const SubkeyList index(cell(list));
    cells.push_back(list);
    if (!index.isIndex())
        return;
    if (!index.fits(SubkeyList::Kind::Index))
        damaged(QStringLiteral("the subkey list at offset 0x%1 is broken").arg(list + kBinsStart, 0, 16),
                DamageKind::SubkeyList, list + kBinsStart + kCellSizeField + SubkeyList::kCount,
                 (index.size() - SubkeyList::kEntries) / kOffsetEntry, index.count());
    for (uint32_t i = 0; i < index.count(); ++i) {
        const uint32_t leaf = index.entry(i, SubkeyList::Kind::Index);
        cell(leaf);
        cells.push_back(leaf);
    }
}

std::pair<uint32_t, std::vector<uint32_t>> RegfEditor::valueRecords(NodeId key) const
{
    const KeyNode nk(keyCell(key));
    if (nk.valueCount() == 0)
        return {kNoCell, {}};
    const OffsetList list(cell(nk.valueList()));
    if (!list.fits(nk.valueCount()))
        brokenValueList(key, list, nk.valueCount());
    std::vector<uint32_t> records;
    for (uint32_t i = 0; i < nk.valueCount(); ++i)
        records.push_back(list.entry(i));
    return {nk.valueList(), records};
}

void RegfEditor::collectValueRecordCells(uint32_t vkOffset, std::vector<uint32_t>& cells) const
{
    const ValueKey vk(cell(vkOffset));
    cells.push_back(vkOffset);
    const uint32_t length = vk.holdsDataFields() ? vk.dataLength() : 0;
    if (length == 0 || (length & ValueKey::kDataInline))   // no data, or data inside the record
        return;
    const uint32_t dataOffset = vk.dataField();
    const Cell data = cell(dataOffset);
    cells.push_back(dataOffset);
    const BigData big(data);
    if (length <= data.size || !big.whole())
        return;
    const uint16_t segments = big.segmentCount();
    const OffsetList segmentCells(cell(big.segmentList()));
    if (!segmentCells.fits(segments))
        damaged(QStringLiteral("a big data list is broken"),
                DamageKind::ValueData, dataOffset + kBinsStart + kCellSizeField + BigData::kSegmentCount,
                 segmentCells.size() / kOffsetEntry, segments);
    cells.push_back(big.segmentList());
    for (uint32_t s = 0; s < segments; ++s) {
        const uint32_t segment = segmentCells.entry(s);
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
    const KeyNode nk(keyCell(key));
    cells.keys.push_back(keyCellOffset(key));
    const uint32_t className = nk.className();
    if (className != kNoCell && nk.classNameLength() > 0) {
        cell(className);
        cells.free.push_back(className);
    }
    const uint32_t subkeys = nk.subkeyList();
    if (nk.subkeyCount() > 0 && subkeys != kNoCell)
        collectSubkeyList(subkeys, cells.free);
    collectValueCells(key, cells.free);
    cells.security.push_back(nk.security());
}

void RegfEditor::freeCells(const std::vector<uint32_t>& cells)
{
    for (uint32_t at : cells)
        cells_.release(at);
}

void RegfEditor::releaseSecurity(uint32_t sk)
{
    const SecurityKey record(cell(sk));
    const uint32_t references = record.references();
    if (references > 1) {
        cells_.u32(sk, SecurityKey::kReferences, references - 1);
        return;
    }
    const uint32_t next = record.next();
    const uint32_t previous = record.previous();
    cells_.u32(previous, SecurityKey::kNext, next);
    cells_.u32(next, SecurityKey::kPrevious, previous);
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
        const SecurityKey record(securityCell(sk));
        const uint32_t references = record.references();
        if (references < count)
            damaged(QStringLiteral("the security record at offset 0x%1 has too few references").arg(sk + kBinsStart, 0, 16),
                    DamageKind::SecurityRecord, sk + kBinsStart + kCellSizeField + SecurityKey::kReferences, count, references);
        if (references == count) {
            securityCell(record.next());
            securityCell(record.previous());
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
    const KeyNode nk(keyCell(key));
    std::vector<uint32_t> old;
    const uint32_t list = nk.subkeyList();
    if (nk.subkeyCount() > 0 && list != kNoCell)
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
    cells_.u64(keyCellOffset(key), KeyNode::kTimestamp, time);
}

std::vector<QByteArrayView> RegfEditor::save(uint64_t time)
{
    beginChanges();
    sequence1_ = sequence2_ = std::max(sequence1_, sequence2_) + 1;   // equal: cleanly closed
    char* header = bytes_.data();
    StoreU32(header + BaseBlock::kSequence1, sequence1_);
    StoreU32(header + BaseBlock::kSequence2, sequence2_);
    StoreU32(header + BaseBlock::kBinsSize, binsSize_);
    StampBaseBlock(header, time);
    const qsizetype slackTaken = std::min(bytes_.size() - slackStart_, slack_.size());
    return {bytes_.view(), QByteArrayView(slack_).sliced(slackTaken)};
}

} // namespace parvelle
