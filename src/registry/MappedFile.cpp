#include "MappedFile.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace parvelle {

namespace {

// The mappings the bus-error handler knows: an address range and whether a page of it was
// replaced. Plain atomics, so the handler reads them safely.
struct Guard {
    std::atomic<uintptr_t> start{0};
    std::atomic<uintptr_t> end{0};
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
        if (::mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED)
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

} // namespace

std::unique_ptr<MappedFile> MappedFile::map(int fd, qsizetype size)
{
    if (size <= 0)
        return nullptr;
    installHandler();
    void* data = ::mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED)
        return nullptr;
    const int slot = takeGuard(static_cast<const char*>(data), size);
    if (slot < 0) {
        ::munmap(data, size_t(size));
        return nullptr;
    }
    return std::unique_ptr<MappedFile>(new MappedFile(static_cast<const char*>(data), size, slot));
}

MappedFile::~MappedFile()
{
    freeGuard(slot_);
    ::munmap(const_cast<char*>(data_), size_t(size_));
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

std::optional<QByteArray> MappedFile::copy(const std::atomic<bool>* cancelled) const
{
    constexpr qsizetype kPiece = qsizetype(8) << 20;
    constexpr uintptr_t kLargePage = uintptr_t(2) << 20;
    QByteArray bytes(size_, Qt::Uninitialized);
    const uintptr_t start = (reinterpret_cast<uintptr_t>(bytes.data()) + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(bytes.data()) + uintptr_t(size_)) & ~(kLargePage - 1);
    if (end > start)
        ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);   // a hint: a failure changes nothing
    for (qsizetype done = 0; done < size_; done += kPiece) {
        if (cancelled && cancelled->load())
            return std::nullopt;
        const qsizetype length = std::min(kPiece, size_ - done);
        prefetch(done, length);
        std::memcpy(bytes.data() + done, data_ + done, size_t(length));
    }
    return bytes;
}

bool MappedFile::wasCut() const
{
    return guards[slot_].cut.load();
}

} // namespace parvelle
