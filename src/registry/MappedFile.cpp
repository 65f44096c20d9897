#include "MappedFile.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parvelle {

namespace {

// The mappings the bus-error handler knows: an address range, whether it is writable and
// whether a page of it was replaced. Plain atomics, so the handler reads them safely.
struct Guard {
    std::atomic<uintptr_t> start{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> writable{false};
    std::atomic<bool> cut{false};
};
constexpr int kGuards = 64;
Guard guards[kGuards];
std::mutex guardsTaken;   // taking and freeing a guard; the handler never locks
uintptr_t pageSize = 0;
struct sigaction previousHandler {};

// Gives the page the file no longer has a page of zeros, so the read that faulted goes on.
bool replaceMissingPage(uintptr_t address)
{
    for (Guard& guard : guards) {
        if (address < guard.start.load() || address >= guard.end.load())
            continue;
        void* page = reinterpret_cast<void*>(address & ~(pageSize - 1));
        const int protection = guard.writable.load() ? PROT_READ | PROT_WRITE : PROT_READ;
        if (::mmap(page, pageSize, protection, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED)
            return false;
        guard.cut.store(true);
        return true;
    }
    return false;
}

void onBusError(int signal, siginfo_t* info, void* context)
{
    if (replaceMissingPage(reinterpret_cast<uintptr_t>(info->si_addr)))
        return;
    // Not a guarded mapping: what would have happened without this handler.
    if ((previousHandler.sa_flags & SA_SIGINFO) && previousHandler.sa_sigaction) {
        previousHandler.sa_sigaction(signal, info, context);
        return;
    }
    if (previousHandler.sa_handler != SIG_DFL && previousHandler.sa_handler != SIG_IGN) {
        previousHandler.sa_handler(signal);
        return;
    }
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    ::sigaction(SIGBUS, &defaultAction, nullptr);
    ::raise(signal);   // delivered once the handler returns: the default action ends the program
}

void installHandler()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        pageSize = uintptr_t(::sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &previousHandler);
    });
}

int takeGuard(const char* data, qsizetype size)
{
    const std::lock_guard lock(guardsTaken);
    for (int i = 0; i < kGuards; ++i) {
        if (guards[i].end.load() != 0)
            continue;
        guards[i].cut.store(false);
        guards[i].writable.store(false);
        guards[i].start.store(reinterpret_cast<uintptr_t>(data));
        guards[i].end.store(reinterpret_cast<uintptr_t>(data) + uintptr_t(size));
        return i;
    }
    return -1;
}

void freeGuard(int slot)
{
    const std::lock_guard lock(guardsTaken);
    guards[slot].end.store(0);
    guards[slot].start.store(0);
}

uintptr_t roundedToPages(qsizetype size)
{
    return (uintptr_t(size) + pageSize - 1) & ~(pageSize - 1);
}

int64_t modificationTime(const struct stat& st)
{
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Address space of `size` bytes (whole pages) starting on a huge page boundary, where a file
// mapped at its start can have its huge folios mapped whole; nullptr when none is left.
void* reserveAligned(size_t size)
{
    constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
    const size_t padded = size + kHugePage;
    void* space = ::mmap(nullptr, padded, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (space == MAP_FAILED)
        return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(space);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start)
        ::munmap(space, aligned - start);
    if (const uintptr_t end = start + padded; end > aligned + size)
        ::munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    return reinterpret_cast<void*>(aligned);
}

} // namespace

std::unique_ptr<MappedFile> MappedFile::map(int fd, qsizetype size, qsizetype capacity)
{
    if (size <= 0)
        return nullptr;
    installHandler();
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return nullptr;
    // Address space for the file and the growth after it, taken first so that the file's
    // pages can be placed at its start; it costs no memory until grow() opens it.
    const size_t filePages = roundedToPages(size);
    const size_t reserved = std::max(filePages, size_t(roundedToPages(capacity)));
    void* space = reserveAligned(reserved);
    if (!space)
        return nullptr;
    void* data = ::mmap(space, size_t(size), PROT_READ, MAP_PRIVATE | MAP_FIXED, fd, 0);
#ifdef MADV_HUGEPAGE
    // Pages read in through the mapping come in huge folios, which later mappings of the
    // file (F5 after another program saved it) map whole: a fault for each 2 MiB instead of
    // each few pages. Only a hint: where the system has no such pages nothing changes.
    if (data != MAP_FAILED)
        ::madvise(data, size_t(size), MADV_HUGEPAGE);
#endif
    const int kept = data == MAP_FAILED ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    const int slot = kept < 0 ? -1 : takeGuard(static_cast<const char*>(data), size);
    if (slot < 0) {
        if (kept >= 0)
            ::close(kept);
        ::munmap(space, reserved);
        return nullptr;
    }
    return std::unique_ptr<MappedFile>(
        new MappedFile(static_cast<char*>(data), size, qsizetype(reserved), slot, kept, modificationTime(st)));
}

MappedFile::~MappedFile()
{
    freeGuard(slot_);
    ::munmap(data_, size_t(reserved_));
    ::close(fd_);
}

char* MappedFile::writableData()
{
    if (writable_ == 0) {
        guards[slot_].writable.store(true);   // a page cut from the file is replaced by a writable one
        if (::mprotect(data_, roundedToPages(size_), PROT_READ | PROT_WRITE) != 0)
            throw std::bad_alloc();
        writable_ = qsizetype(roundedToPages(size_));
    }
    return data_;
}

void MappedFile::grow(qsizetype size)
{
    writableData();
    if (size <= writable_)
        return;
    if (size > reserved_)
        throw std::bad_alloc();
    const uintptr_t end = roundedToPages(size);
    if (::mprotect(data_ + writable_, end - uintptr_t(writable_), PROT_READ | PROT_WRITE) != 0)
        throw std::bad_alloc();
    writable_ = qsizetype(end);
}

bool MappedFile::changedSinceMapped() const
{
    struct stat st {};
    return ::fstat(fd_, &st) != 0 || st.st_size != size_ || modificationTime(st) != modified_;
}

void MappedFile::prefetch(qsizetype offset, qsizetype length) const
{
#ifdef MADV_POPULATE_READ
    const uintptr_t start = reinterpret_cast<uintptr_t>(data_) + uintptr_t(std::clamp<qsizetype>(offset, 0, size_));
    const uintptr_t end = reinterpret_cast<uintptr_t>(data_) + uintptr_t(std::clamp<qsizetype>(offset + length, 0, size_));
    const uintptr_t first = start & ~(pageSize - 1);
    // Where the file has been shortened the call fails (EFAULT) instead of raising SIGBUS.
    if (end > first)
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_READ);
#else
    (void)offset;
    (void)length;
#endif
}

bool MappedFile::wasCut() const
{
    return guards[slot_].cut.load();
}

} // namespace parvelle
