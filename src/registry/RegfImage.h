#pragma once
// Reads a registry hive file, mapped or held in memory. Node ids are the file offsets of
// the key cells, as in hivex. Our own reader rather than hivex: hivex converts every name
// through iconv and re-validates each cell on every call, which made listing 20,000 cache
// entries slow; here every reference is range-checked, so a damaged file gives an
// EHiveError, never a crash or an endless loop.
#include "MappedFile.h"
#include "RegistryStore.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

namespace parvelle {

class RegfImage {
public:
    // Checks the base block first, then the chain of hive bins; throws EHiveError naming
    // `path`. `bytes` may be those of `mapping`, which the image then keeps.
    RegfImage(QByteArray bytes, const QString& path, std::shared_ptr<const MappedFile> mapping = nullptr);

    // A mapped image becomes a copy in memory and the file is let go: for changing the
    // bytes. EHiveError when another program shortened the file meanwhile.
    void makePrivateCopy();

    uint32_t sequence1() const { return sequence1_; }
    uint32_t sequence2() const { return sequence2_; }
    uint32_t minorVersion() const { return minorVersion_; }
    const QByteArray& bytes() const { return bytes_; }

    NodeId root() const { return root_; }
    std::vector<NodeId> children(NodeId node) const;
    QString name(NodeId node) const;
    uint64_t timestamp(NodeId node) const;
    std::vector<RegValue> values(NodeId node) const;
    NodeId parent(NodeId node) const;
    bool isReadableKey(NodeId node) const;   // a key cell that reads without damage

protected:
    struct Cell {
        const char* data;   // after the size field
        uint32_t size;      // payload bytes
    };

    Cell cell(uint32_t offset) const;   // offset relative to the first hive bin
    Cell keyCell(NodeId node) const;
    void collectSubkeys(uint32_t list, std::vector<NodeId>& into, int depth) const;
    RegValue readValue(uint32_t vkOffset) const;
    QByteArray valueData(uint32_t length, uint32_t offset) const;
    [[noreturn]] void damaged(const QString& what) const;
    // EHiveError when pages of the mapped file were gone when read: what was read is not
    // the hive.
    void requireIntact() const;

    QByteArray bytes_;
    std::shared_ptr<const MappedFile> mapping_;
    QString path_;
    uint32_t binsSize_ = 0;
    uint32_t sequence1_ = 0;
    uint32_t sequence2_ = 0;
    uint32_t minorVersion_ = 0;
    NodeId root_ = 0;
};

} // namespace parvelle
