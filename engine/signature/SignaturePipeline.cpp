#include "SignaturePipeline.h"

#include "FileDigest.h"
#include "PictureSignature.h"
#include "decoding/PictureDecoder.h"
#include "decoding/PictureFile.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <system_error>

namespace vistrel {

namespace {

// A file up to this size is held whole while it is decoded; a larger one (a rare huge TIFF) is
// streamed by its reader and read again for the cache's digest.
constexpr qint64 kMostFileBytesHeld = 256LL * 1024 * 1024;

}  // namespace

SignaturePipeline::SignaturePipeline(int side, SigningLimits limits) : side(side), limits(limits) {
    const int count = limits.workers > 0
                          ? limits.workers
                          : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    for (int i = 0; i < count; ++i) {
        try {
            workers.emplace_back(&SignaturePipeline::Work, this);
        } catch (const std::system_error&) {
            break;  // fewer workers, or none: Next then makes the signatures itself
        }
    }
}

SignaturePipeline::~SignaturePipeline() {
    Stop();
    if (limits.cache) {
        limits.cache->WriteSoon();  // the window's thread must not wait for the disk
    }
}

void SignaturePipeline::Add(QString path) {
    {
        const std::lock_guard lock(mutex);
        if (stopped || finishedAdding) {
            return;
        }
        pending.push_back(std::move(path));
        ++added;
    }
    workAvailable.notify_one();
    resultReady.notify_all();  // a consumer without workers makes it itself
}

void SignaturePipeline::Finish() {
    {
        const std::lock_guard lock(mutex);
        finishedAdding = true;
    }
    workAvailable.notify_all();
    resultReady.notify_all();
}

std::uint64_t SignaturePipeline::Delivered() const {
    const std::lock_guard lock(mutex);
    return delivered;
}

std::uint64_t SignaturePipeline::Added() const {
    const std::lock_guard lock(mutex);
    return added;
}

bool SignaturePipeline::TakeJob(std::uint64_t& index, QString& path) {
    std::unique_lock lock(mutex);
    // Only so far ahead of the consumer: finished results hold their signatures until taken.
    workAvailable.wait(lock, [this] {
        return stopped || (!pending.empty() && taken - delivered < limits.ahead) ||
               (pending.empty() && finishedAdding);
    });
    if (stopped || pending.empty()) {
        return false;
    }
    index = taken++;
    path = std::move(pending.front());
    pending.pop_front();
    return true;
}

bool SignaturePipeline::Reserve(const QString& path, std::int64_t& reserved) {
    // Read from the header, outside the lock; a picture larger than the whole budget waits until
    // it can be decoded alone.
    const std::int64_t estimate = std::min(EstimateDecodeBytes(path), limits.decodeBytes);
    std::unique_lock lock(mutex);
    workAvailable.wait(lock, [&] {
        return stopped || decoding == 0 || decodingBytes + estimate <= limits.decodeBytes;
    });
    if (stopped) {
        return false;
    }
    ++decoding;
    decodingBytes += estimate;
    reserved = estimate;
    return true;
}

void SignaturePipeline::Release(std::int64_t reserved) {
    {
        const std::lock_guard lock(mutex);
        --decoding;
        decodingBytes -= reserved;
    }
    workAvailable.notify_all();
}

template <typename ReserveFn, typename ReleaseFn>
bool SignaturePipeline::Make(const QString& path, SignatureBytes& signature, ReserveFn reserve,
                             ReleaseFn release) {
    SignatureCache* const cache = limits.cache.get();
    std::optional<SignatureCache::FileKey> key = cache ? SignatureCache::KeyOf(path) : std::nullopt;
    if (key) {
        if (std::optional<SignatureBytes> kept = cache->Find(*key, side)) {
            signature = std::move(*kept);
            return true;
        }
    }
    if (!reserve()) {
        return false;
    }
    // The file is read once: the decoder and the cache's digest both take these bytes.
    QByteArray bytes;
    std::optional<std::uint64_t> digest;
    switch (ReadWholePictureFile(path, kMostFileBytesHeld, bytes)) {
        case WholeFileRead::Read:
            signature = SignatureBytes(ComputeSignatureOfData(bytes, side));
            if (key) {
                digest = DigestBytes(bytes.constData(), static_cast<std::size_t>(bytes.size()));
            }
            break;
        case WholeFileRead::TooLarge:
            signature = SignatureBytes(ComputeSignature(path, side));  // the cache reads it again
            break;
        case WholeFileRead::Unreadable:
            signature = SignatureBytes();
            key.reset();  // nothing to keep: the file, not its content, is to blame
            break;
    }
    bytes = QByteArray();
    release();
    // Kept only when the file did not change while it was read, and an unreadable picture only
    // when its content is to blame: a file the user may not read now may become readable
    // without a change of its time.
    if (key && SignatureCache::KeyOf(path) == key &&
        (!signature.empty() || QFileInfo(path).isReadable())) {
        if (digest) {
            cache->StoreDigested(*key, path, side, signature, *digest);
        } else {
            cache->Store(*key, path, side, signature);
        }
    }
    return true;
}

void SignaturePipeline::Work() {
    std::uint64_t index = 0;
    QString path;
    while (TakeJob(index, path)) {
        std::int64_t reserved = 0;
        SignatureBytes signature;
        const bool made = Make(
            path, signature, [&] { return Reserve(path, reserved); }, [&] { Release(reserved); });
        {
            const std::lock_guard lock(mutex);
            if (made && !stopped) {
                finished.emplace(index, Result{std::move(path), std::move(signature)});
            }
        }
        resultReady.notify_all();
    }
}

bool SignaturePipeline::Ready() const {
    return stopped || finished.count(delivered) != 0 || (finishedAdding && delivered == added);
}

bool SignaturePipeline::Deliver(Result& result) {
    if (stopped || finished.count(delivered) == 0) {
        return false;
    }
    auto next = finished.find(delivered);
    result = std::move(next->second);
    finished.erase(next);
    ++delivered;
    return true;
}

bool SignaturePipeline::Next(Result& result) {
    if (workers.empty()) {
        // No thread could be made: the consumer makes each signature itself, in order.
        std::unique_lock lock(mutex);
        resultReady.wait(lock, [this] { return stopped || !pending.empty() || finishedAdding; });
        if (stopped || pending.empty()) {
            return false;
        }
        QString path = std::move(pending.front());
        pending.pop_front();
        ++delivered;
        lock.unlock();
        SignatureBytes signature;
        Make(
            path, signature, [] { return true; }, [] {});
        result = Result{std::move(path), std::move(signature)};
        return true;
    }
    bool delivering = false;
    {
        std::unique_lock lock(mutex);
        resultReady.wait(lock, [this] { return Ready(); });
        delivering = Deliver(result);
    }
    if (delivering) {
        workAvailable.notify_all();  // there is room ahead again
    }
    return delivering;
}

bool SignaturePipeline::TryNext(Result& result) {
    if (workers.empty()) {
        {
            const std::lock_guard lock(mutex);
            if (pending.empty()) {
                return false;
            }
        }
        return Next(result);
    }
    bool delivering = false;
    {
        const std::lock_guard lock(mutex);
        delivering = Deliver(result);
    }
    if (delivering) {
        workAvailable.notify_all();
    }
    return delivering;
}

void SignaturePipeline::Stop() {
    {
        const std::lock_guard lock(mutex);
        stopped = true;
        pending.clear();
        finished.clear();
    }
    workAvailable.notify_all();
    resultReady.notify_all();
    for (std::thread& worker : workers) {
        if (worker.joinable()) {
            worker.join();
        }
    }
}

}  // namespace vistrel
