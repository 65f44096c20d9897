#pragma once
// Reads a registry hive file, mapped or held in memory. Node ids are the file offsets of
// the key cells, as in hivex. Our own reader rather than hivex: hivex converts every name
// through iconv and re-validates each cell on every call, which made listing 20,000 cache
// entries slow; here every reference is range-checked, so a damaged file gives an
// EHiveError, never a crash or an endless loop. A mapped file is read only where it is
// needed: each hive bin is checked when a cell in it is first read, so that a listing
// does not load every page of a large hive.
#include "ImageBytes.h"
#include "RegfLayout.h"
#include "RegistryStore.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace parvelle {

// One number for each 4 KiB page of the hive bins, 0 until set. Readers on several threads
// may get and set numbers at once; resize() only while one thread uses the table. Its
// memory is asked for zeroed, so a listing of a large hive touches only the pages of the
// table it sets.
class PageTable {
public:
    uint32_t size() const { return size_; }
    void resize(uint32_t pages);   // grows only
    uint32_t at(uint32_t page) const   // inline: every cell read asks it
    {
        return std::atomic_ref<uint32_t>(pages_.get()[page]).load(std::memory_order_relaxed);
    }
    void fill(uint32_t from, uint32_t to, uint32_t value);   // pages [from, to)

private:
    struct Free {
        void operator()(uint32_t* pages) const { std::free(pages); }
    };
    std::unique_ptr<uint32_t[], Free> pages_;
    uint32_t size_ = 0;
};

// A cell marked free: its offset from the first hive bin and its size.
struct FreeCell {
    uint32_t offset;
    uint32_t size;
};

// Its reads of keys and values may run on several threads at once while it is not changed.
class RegfImage {
public:
    // Checks the base block, the root key and its subkey list; throws EHiveError naming
    // `path`. A hive bin is checked when a cell in it is first read, so that reading
    // touches only the pages it needs.
    RegfImage(ImageBytes bytes, const QString& path);

    // Checks the header of every hive bin (once): before the image is changed or written
    // whole. Throws EHiveError.
    void checkAllBins() const;

    // Checks every hive bin, then every key, value, subkey list and security record reachable
    // from the root, and that no key lies in a cell marked free: before the image is written
    // whole as a new hive. Throws EHiveError naming what is damaged and the key holding it.
    void checkReachableCells() const;

    // The file's mapping when the image is read from one, else nullptr.
    const std::shared_ptr<MappedFile>& mapping() const { return bytes_.mapping(); }
    // EHiveShortenedError when pages of the mapped file were gone when read: what was read
    // is not the hive.
    void requireIntact() const;

    // The cells marked free, in file order; a damaged bin's cells from its damage on are
    // left out. Reads every hive bin: after checkAllBins().
    std::vector<FreeCell> cellsMarkedFree() const;

    uint32_t sequence1() const { return sequence1_; }
    uint32_t sequence2() const { return sequence2_; }
    uint32_t minorVersion() const { return minorVersion_; }
    // The image's bytes, not copied: valid while the image is unchanged.
    QByteArrayView bytes() const { return bytes_.view(); }

    NodeId root() const { return root_; }
    std::vector<NodeId> children(NodeId node) const;
    QString name(NodeId node) const;
    QStringView nameView(NodeId node, NameBuffer& buffer) const;
    // Asks the processor for a key's record and the cells after it, where its values
    // mostly lie: a walk over many keys otherwise waits for the memory of each.
    void prefetch(NodeId node) const
    {
#if defined(__GNUC__)
        constexpr NodeId kSpan = 384;
        constexpr NodeId kLine = 64;
        if (node < NodeId(bytes_.size()) && NodeId(bytes_.size()) - node >= kSpan) {
            for (NodeId at = node; at < node + kSpan; at += kLine)
                __builtin_prefetch(bytes_.constData() + at);
        }
#else
        Q_UNUSED(node);
#endif
    }
    uint64_t timestamp(NodeId node) const;
    std::vector<RegValue> values(NodeId node) const;
    // Each value in stored order; then EHiveError when the mapped file was cut meanwhile.
    void visitValues(NodeId node, const ValueVisitor& visit) const;
    // Both at one reading of the key; `name` is set before the values are visited.
    void visitKey(NodeId node, NameBuffer& buffer, QStringView& name, const ValueVisitor& visit) const;
    NodeId parent(NodeId node) const;
    // Keys read although their cell is marked free (their parent lists them and their
    // record is intact, so they are read as they stand, as other readers do): one line
    // each, naming the key and its offset.
    QStringList keysInFreeCells() const;

protected:
    using Cell = regf::Cell;

    const char* bins() const { return bytes_.constData() + regf::kBinsStart; }
    Cell cell(uint32_t offset) const;   // offset relative to the first hive bin
    // The end of the hive bin holding `offset`, checked on first use: its header, and that
    // the bins before and after it meet it. EHiveError when it is broken.
    uint32_t binEnd(uint32_t offset) const   // inline: every cell read asks it
    {
        const uint32_t end = binEnds_.at(offset / regf::kPageSize);
        return end > kBrokenBin ? end : uncheckedOrBrokenBinEnd(offset);
    }
    uint32_t uncheckedOrBrokenBinEnd(uint32_t offset) const;
    void checkBinHolding(uint32_t page) const;   // pages of 4 KiB from the first hive bin
    // The end of the bin whose header starts `page` when that header is valid and the bins
    // around it meet it, else 0.
    uint32_t soundBinEnd(uint32_t page) const;
    // Going back from `page`: the first page that starts with a bin signature or was
    // checked before, where the bin holding `page` must start; 0 when none does.
    uint32_t binStartCandidate(uint32_t page) const;
    // The end of the bin before the one starting at `page` (> 0) as its header gives it, or 0
    // when that header is broken.
    uint32_t endOfBinBefore(uint32_t page) const;
    regf::BinHeaderCheck binHeader(uint32_t page) const;
    // Reports the bin holding `page` broken, with what is broken in or beside it.
    [[noreturn]] Q_DECL_COLD_FUNCTION void brokenBin(uint32_t page) const;
    regf::HiveDamage brokenBinNear(uint32_t page) const;
    bool startsWithBinSignature(uint32_t page) const;
    // A key's record; one in a cell marked free is read and noted in keysInFreeCells().
    Cell keyCell(NodeId node) const;
    // A key's record whether its cell is allocated or marked free (then `markedFree` is
    // set); EHiveError when the cell's size or the record is broken.
    Cell keyRecord(NodeId node, bool& markedFree) const;
    // The record of a key that reads without damage, else nullopt; notes nothing.
    std::optional<Cell> readableKey(NodeId node) const;
    void collectSubkeys(uint32_t list, std::vector<NodeId>& into, int depth) const;
    // Maps in at once the pages of many subkeys lying close together, as a key's subkeys
    // usually do, before they are read one by one.
    void prefetchKeys(const std::vector<NodeId>& keys) const;
    // A security record and the records on either side of it in their list.
    Cell securityCell(uint32_t offset) const;
    void checkSecurity(uint32_t offset) const;
    // Reports of damage found by the checks that every read goes through, made out of line.
    [[noreturn]] Q_DECL_COLD_FUNCTION void brokenCell(uint32_t offset, uint32_t binEnd) const;
    [[noreturn]] Q_DECL_COLD_FUNCTION void brokenKey(NodeId node, uint32_t binEnd) const;
    [[noreturn]] Q_DECL_COLD_FUNCTION void brokenValue(uint32_t vkOffset) const;
    // Reports the value list of a key too short for its `count` values.
    [[noreturn]] Q_DECL_COLD_FUNCTION void brokenValueList(NodeId node, const regf::OffsetList& list, uint32_t count) const;
    RegValue readValue(uint32_t vkOffset) const;
    // The value whose record is at `vkOffset`, its name decoded into `name`.
    void visitValue(uint32_t vkOffset, NameBuffer& name, QByteArray& gathered, const ValueVisitor& visit) const;
    // The values of the key `node`, whose record is read already.
    void visitValuesOf(NodeId node, const regf::KeyNode& key, const ValueVisitor& visit) const;
    // The data of the value whose record is at `vkOffset`, where it lies: in the record, in
    // its cell, or in `gathered` from the segments of a big value.
    QByteArrayView valueData(uint32_t vkOffset, const regf::ValueKey& vk, QByteArray& gathered) const;
    // Throws regf::EHiveDamage naming the file, with `what` for the user and the details
    // of a regf::HiveDamage.
    [[noreturn]] Q_DECL_COLD_FUNCTION void damaged(const QString& what, regf::DamageKind kind, uint64_t offset,
                                                   uint64_t expected, uint64_t found) const;

    ImageBytes bytes_;
    QString path_;
    uint32_t binsSize_ = 0;
    uint32_t sequence1_ = 0;
    uint32_t sequence2_ = 0;
    uint32_t minorVersion_ = 0;
    NodeId root_ = 0;
    // For each page of the hive bins: the end of its bin once checked, kBrokenBin when
    // the bin holding it is broken, 0 before it is checked.
    static constexpr uint32_t kBrokenBin = 1;   // never the end of a bin
    mutable PageTable binEnds_;   // sized with binsSize_
    mutable bool allBinsChecked_ = false;
    mutable std::mutex keysInFreeCellsTaken_;
    mutable std::map<NodeId, QString> keysInFreeCells_;
};

} // namespace parvelle
