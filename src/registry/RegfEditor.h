#pragma once
// Changes a hive image in memory; the caller writes the bytes out. New cells go into hive
// bins appended at the end, replaced lists and deleted keys are freed in place. Ours
// rather than hivex: hivex inserts every new key after comparing its name with all
// siblings (through iconv) and writes a new subkey list each time, so restoring 1,000
// cache entries among 20,000 took seconds; here a changed key gets its lists written
// once per save.
#include "HiveCells.h"
#include "RegfImage.h"

#include <QStringList>
#include <optional>

namespace parvelle {

// A mapped image made ready for changes ahead, on its mapping: its hive bins were checked
// and these are its free cells.
struct PreparedImage {
    std::vector<FreeCell> freeCells;
};

class RegfEditor : public RegfImage {
public:
    RegfEditor(ImageBytes bytes, const QString& path);

    // Whether the image still reads its mapped file as it is, unchanged: only then can its
    // first change be prepared ahead, by a reader of the mapping.
    bool readsMappedFile() const { return mapping() && !changing_; }
    // Takes what was prepared on the mapping before the first change; the caller vouches
    // that the file is unchanged since it was mapped. Ignored once the image is changed.
    // EHiveError when the file was shortened.
    void usePrepared(PreparedImage prepared);

    // A key without subkeys or values, sharing its parent's security descriptor. The
    // parent's subkey list is left to setSubkeys().
    NodeId addKey(NodeId parent, const QString& name, uint64_t time);
    // Replaces the subkey list of `key`; `kids` are sorted as Windows sorts them.
    void setSubkeys(NodeId key, const std::vector<NodeId>& kids, const QStringList& names);
    void setValues(NodeId key, const std::vector<RegValue>& values);
    void setTimestamp(NodeId key, uint64_t time);
    // Frees the cells of these keys (records, values, lists, class names) and releases
    // their security descriptors. Checks every cell before freeing any.
    void freeKeys(const std::vector<NodeId>& keys);

    // The file with its base block brought up to date, in pieces to be written one after
    // the other, valid until the image changes: the image (its pages those of the mapping,
    // when mapped), then the bytes that followed the hive bins in the file where new bins
    // did not take their place, as Windows keeps them.
    std::vector<QByteArrayView> save(uint64_t time);

private:
    struct Cells {
        std::vector<uint32_t> keys;   // never reused: handles to deleted keys must stay dead
        std::vector<uint32_t> free;
        std::vector<uint32_t> security;   // one entry per released reference
    };
    void collectKeyCells(NodeId key, Cells& cells) const;
    void collectSubkeyList(uint32_t list, std::vector<uint32_t>& cells) const;
    // The value list cell of a key (kNoCell when it has none) and its "vk" records.
    std::pair<uint32_t, std::vector<uint32_t>> valueRecords(NodeId key) const;
    void collectValueCells(NodeId key, std::vector<uint32_t>& cells) const;
    void collectValueRecordCells(uint32_t vk, std::vector<uint32_t>& cells) const;
    void freeCells(const std::vector<uint32_t>& cells);
    void releaseSecurity(uint32_t sk);
    uint32_t keyCellOffset(NodeId key) const;
    void synced();
    // Before the first change: every hive bin is checked, the bytes after its hive bins are
    // set aside (new bins follow the last one),
    // and free cells already in the file are taken for reuse, as Windows does, so a hive
    // changed in many sessions does not grow by a copy of every changed list each time.
    void beginChanges();
    void adoptFreeCells();

    regf::CellWriter cells_;
    bool changing_ = false;
    QByteArray slack_;   // the file's bytes after its hive bins, as read
    std::optional<std::vector<FreeCell>> preparedFreeCells_;
    qsizetype slackStart_ = 0;
};

} // namespace parvelle
