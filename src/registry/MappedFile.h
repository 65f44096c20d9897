#pragma once
// A file mapped read-only into memory: a page is read from the file only when touched.
// Another program may shorten the file while it is mapped (rewriting it in place starts by
// truncating it). Touching a page the file no longer has would end the program with
// SIGBUS; here such a page reads as zeros instead and wasCut() turns true, so that readers
// can refuse what they read.
#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>

namespace parvelle {

class MappedFile {
public:
    // The first `size` bytes of the open file `fd`, or nullptr when the file cannot be
    // mapped (then read it instead). `fd` may be closed afterwards.
    static std::unique_ptr<MappedFile> map(int fd, qsizetype size);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // The mapped bytes, not copied: valid while this object lives.
    QByteArray bytes() const { return QByteArray::fromRawData(data_, size_); }
    qsizetype size() const { return size_; }
    bool wasCut() const;
    // Maps in the pages of the range in one call, where the kernel can, instead of a page
    // fault every few pages as they are read. Only a hint: a failure changes nothing.
    void prefetch(qsizetype offset, qsizetype length) const;
    // The bytes copied into memory, its pages read in few calls and the copy's memory
    // taken in large pages where the system gives them; nullopt once `cancelled` turns
    // true (checked between pieces of a few MiB).
    std::optional<QByteArray> copy(const std::atomic<bool>* cancelled = nullptr) const;

private:
    MappedFile(const char* data, qsizetype size, int slot) : data_(data), size_(size), slot_(slot) {}

    const char* data_;
    qsizetype size_;
    int slot_;
};

} // namespace parvelle
