#pragma once
// Records of the regf format written into hive bins, shared by the writer of new hives
// and the editor of existing ones. Cell offsets are relative to the first hive bin; the
// offsets of fields within a cell are those of the views in RegfLayout.h.
#include "ImageBytes.h"
#include "RegfLayout.h"
#include "RegistryStore.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

namespace parvelle::regf {

bool IsLatin1(const QString& text);
// Names as Windows stores them: one byte per character when all fit, else UTF-16LE.
QByteArray StoredName(const QString& name);

// Allocates cells in the hive bins of a whole file image (base block first): in the
// smallest free cell that fits, else in a bin appended at the end. Free cells that touch
// are joined into one, as Windows joins them, so space freed in small pieces serves
// larger cells later. The image stays valid after every call.
class CellWriter {
public:
    CellWriter(ImageBytes& file, uint64_t binTime) : file_(file), binTime_(binTime) {}

    uint32_t allocate(uint32_t payload);   // zero-filled
    // An allocated cell becomes free, and taken again by allocate() when `reusable`.
    void release(uint32_t cell, bool reusable = true);
    // A cell that is free already, to be taken by allocate().
    void adopt(uint32_t cell, uint32_t size) { addFree(cell, size); }
    // Gives the end of an allocated cell back, keeping room for `payload` bytes.
    void shrink(uint32_t cell, uint32_t payload);
    uint32_t binsSize() const { return uint32_t(file_.size()) - kBinsStart; }

    uint32_t u32At(uint32_t cell, uint32_t at) const;
    void u16(uint32_t cell, uint32_t at, uint16_t v);
    void u32(uint32_t cell, uint32_t at, uint32_t v);
    void u64(uint32_t cell, uint32_t at, uint64_t v);
    void bytes(uint32_t cell, uint32_t at, const QByteArray& v);

private:
    char* ptr(uint32_t cell, uint32_t at);
    void openBin(uint32_t size);
    int32_t sizeOf(uint32_t cell) const;
    void setSize(uint32_t cell, int32_t size);
    // Marks a cell free and joins it with the free cells right before and after it. A
    // bin's first cell follows the bin's header, so no joined cell spans two bins.
    void addFree(uint32_t cell, uint32_t size);
    void removeFree(std::map<uint32_t, uint32_t>::iterator free);

    std::map<uint32_t, uint32_t> freeAt_;                 // cell -> size
    std::set<std::pair<uint32_t, uint32_t>> freeBySize_;   // (size, cell)

    ImageBytes& file_;
    uint64_t binTime_;
};

// A key record without subkeys or values, linked to its parent and security cells.
uint32_t WriteKey(CellWriter& cells, const QString& name, uint32_t parent, uint32_t security, uint64_t time,
                  uint16_t flags = 0);

struct SubkeyEntry {
    QString name;
    uint32_t cell;
};

// A subkey list of entries sorted as Windows sorts them: one leaf, or an "ri" index of
// leaves. Leaves are "lh" (name hashes) when `hashLeaves`, else "lf" (name hints).
uint32_t WriteSubkeyList(CellWriter& cells, const std::vector<SubkeyEntry>& sorted, bool hashLeaves);

// Points the key record `nk` at a new subkey list (none when empty) and sets its subkey
// count and longest subkey name. Returns the list cell, or kNoCell.
uint32_t SetKeySubkeys(CellWriter& cells, uint32_t nk, const std::vector<SubkeyEntry>& sorted, bool hashLeaves);

// The same for the values of `nk`, with the longest value name and data. `kept` may give
// for each value a record of the hive that holds it already (used as it is), or kNoCell.
uint32_t SetKeyValues(CellWriter& cells, uint32_t nk, const std::vector<RegValue>& values, bool bigDataSegments,
                      const std::vector<uint32_t>& kept = {});

// A value list with one "vk" record per value (a new one unless `kept` gives one). Data
// beyond one segment goes into "db" segments when `bigDataSegments` (format 1.4 and
// later), else into one cell.
uint32_t WriteValueList(CellWriter& cells, const std::vector<RegValue>& values, bool bigDataSegments,
                        const std::vector<uint32_t>& kept = {});

} // namespace parvelle::regf
