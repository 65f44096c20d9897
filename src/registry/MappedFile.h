#pragma once
// A file mapped privately into memory: a page is read from the file only when touched, and
// copied only when written, so the file itself never changes. Another program may shorten
// the file while it is mapped (rewriting it in place starts by truncating it). Touching a
// page the file no longer has would end the program with SIGBUS; here such a page reads as
// zeros instead and wasCut() turns true, so that readers can refuse what they read.
#include <QByteArray>
#include <QString>
#include <memory>

namespace parvelle {

class MappedFile {
public:
    // The first `size` bytes of the open file `fd`, with address space after them to grow
    // the mapped bytes to `capacity` (grow()), or nullptr when the file cannot be mapped
    // (then read it instead). `fd` may be closed afterwards.
    static std::unique_ptr<MappedFile> map(int fd, qsizetype size, qsizetype capacity = 0);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // The file's bytes as mapped, not copied: valid while this object lives.
    QByteArray bytes() const { return QByteArray::fromRawData(data_, size_); }
    const char* data() const { return data_; }
    qsizetype size() const { return size_; }
    bool wasCut() const;
    // The file was written or resized since it was mapped (by its size and modification
    // time): pages not yet copied may no longer hold what was read.
    bool changedSinceMapped() const;
    // Maps in the pages of the range in one call, where the kernel can, instead of a page
    // fault every few pages as they are read. Only a hint: a failure changes nothing.
    void prefetch(qsizetype offset, qsizetype length) const;

    // The mapped bytes made writable; each page is copied when it is first written.
    // std::bad_alloc when the system refuses the memory.
    char* writableData();
    // Makes the first `size` bytes of the mapping writable (beyond the file: zeros);
    // std::bad_alloc beyond the capacity or when the system refuses the memory.
    void grow(qsizetype size);

private:
    MappedFile(char* data, qsizetype size, qsizetype reserved, int slot, int fd, int64_t modified)
        : data_(data), size_(size), reserved_(reserved), slot_(slot), fd_(fd), modified_(modified) {}

    char* data_;
    qsizetype size_;
    qsizetype reserved_;        // address space held from data_ on
    qsizetype writable_ = 0;    // bytes from data_ on made writable
    int slot_;
    int fd_;                    // kept to tell whether the file changed
    int64_t modified_;          // ns since 1970, when mapped
};

} // namespace parvelle
