#pragma once

#include "SignatureBytes.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>

namespace vistrel {

class SignatureCache;

/// Where a repository's signature bytes live: written to a file without a name in a folder
/// (the signature cache's, or the temporary folder), read in place through shared mappings. The
/// pages are the system's file cache, not this process's memory, so a million signatures need
/// no 30 GB of it. The file is unlinked from the start and reserved on disk before it is
/// written: no other program can open it by name, and a full disk is met when the space is
/// reserved, never when a mapped page is written. When the file cannot be made or grown, the
/// signatures stay in memory and Warning says so once. Thread-safe.
class SignatureStore {
public:
    /// Every new part of the file is this long (and so is each mapping).
    static constexpr std::uint64_t kPartBytes = 64ull << 20;
    /// In memory, Keep refuses signatures once the system has less than this available.
    static constexpr std::uint64_t kMemoryReserveBytes = 512ull << 20;

    /// The folder of the store of a program using `cache` (null for none): the cache's own
    /// folder, or the temporary folder when the cache is off or closed.
    static QString FolderFor(const SignatureCache* cache);

    /// A store whose file goes in `folder`, in parts of `partBytes`; an empty folder keeps
    /// every signature in memory, with no warning.
    explicit SignatureStore(const QString& folder, std::uint64_t partBytes = kPartBytes);
    ~SignatureStore();
    SignatureStore(const SignatureStore&) = delete;
    SignatureStore& operator=(const SignatureStore&) = delete;

    /// The same signature (bytes and sketch) held by the store: in its file, or as it is when
    /// the file cannot take it. Empty only when the signature is, or when the store holds
    /// signatures in memory and the system is short of it (OutOfRoom is then set).
    SignatureBytes Keep(const SignatureBytes& signature);

    /// Why signatures are held in memory rather than in the file (the file could not be made,
    /// the disk is full); empty while the file takes them.
    QString Warning() const;
    /// Set once Keep refused a signature for want of memory: what is being added should stop.
    bool OutOfRoom() const;
    /// Whether the file still has the length this store gave it; false once someone else
    /// shortened or grew it (every read past its end would fail).
    bool Intact() const;
    /// Bytes reserved in the file so far.
    std::uint64_t FileBytes() const;

private:
    struct Part;
    bool AddPart(std::size_t atLeast);
    void FallBack(const QString& why);
    void ShortenToWhatIsKept();
    /// Writes `size` bytes at `offset` of the file; false, having fallen back, when it cannot.
    bool WriteWhole(const std::uint8_t* bytes, std::uint64_t size, std::uint64_t offset);

    mutable std::mutex mutex;
    int fd = -1;
    bool appending = false;  // the file takes new signatures
    QString folder;
    const std::uint64_t partBytes;
    QString warning;
    bool outOfRoom = false;
    std::uint64_t fileBytes = 0;
    std::shared_ptr<Part> part;  // the part being filled
    std::uint64_t partUsed = 0;
    std::uint64_t keptInMemory = 0;
};

/// Bytes of memory the system can still give (MemAvailable), or none when it cannot be read.
std::uint64_t AvailableMemoryBytes();

}  // namespace vistrel
