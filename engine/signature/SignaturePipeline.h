#pragma once

#include "SignatureBytes.h"
#include "SignatureCache.h"
#include "SigningLimits.h"

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace vistrel {

/// Makes the signatures of many picture files on several threads and hands them out in the
/// order their paths went in, each exactly as the picture's own ComputeSignature makes it. A
/// producer feeds paths with Add and ends with Finish; one consumer takes the results with Next
/// or TryNext; Stop and the destructor may come from the consumer's thread at any time.
class SignaturePipeline {
public:
    /// One picture's signature; empty when the picture cannot be read.
    struct Result {
        QString path;
        SignatureBytes signature;
    };

    /// Starts the workers at once, making signatures of `side` x `side` pixels. When no thread
    /// can be made, Next makes each signature on the consumer's thread.
    explicit SignaturePipeline(int side, SigningLimits limits);
    explicit SignaturePipeline(int side) : SignaturePipeline(side, SigningLimits{}) {}
    SignaturePipeline(const SignaturePipeline&) = delete;
    SignaturePipeline& operator=(const SignaturePipeline&) = delete;
    /// Stops and joins the workers, and has the cache write what it still holds.
    ~SignaturePipeline();

    /// Queues a path; never blocks. Producer thread.
    void Add(QString path);
    /// No more paths will come. Producer thread.
    void Finish();

    /// The next result in the order of Add: waits for it. False once every path added before
    /// Finish was handed out, or after Stop. Consumer thread.
    bool Next(Result& result);
    /// As Next, without waiting: false when the next result is not made yet.
    bool TryNext(Result& result);
    /// Results handed out so far, and paths added so far.
    std::uint64_t Delivered() const;
    std::uint64_t Added() const;

    /// Starts no further decoding and drops what is not handed out yet; Next and TryNext give
    /// false from then on. Waits for the decodings in progress. Consumer thread.
    void Stop();

    /// Threads actually decoding (0 when none could be made).
    int WorkerCount() const { return static_cast<int>(workers.size()); }

private:
    void Work();
    /// Takes the next path; false when the worker is to end.
    bool TakeJob(std::uint64_t& index, QString& path);
    /// Waits until the decoding of `path` fits in the budget and reserves its memory; false on
    /// Stop.
    bool Reserve(const QString& path, std::int64_t& reserved);
    void Release(std::int64_t reserved);
    /// The signature of `path`: from the cache when it holds this very file, made otherwise.
    /// `reserve` and `release` bracket the decoding; false when `reserve` refused (a stop).
    template <typename ReserveFn, typename ReleaseFn>
    bool Make(const QString& path, SignatureBytes& signature, ReserveFn reserve, ReleaseFn release);
    /// Under the lock: whether result `index` (or the end) can be handed out now.
    bool Ready() const;
    bool Deliver(Result& result);

    const int side;
    const SigningLimits limits;

    mutable std::mutex mutex;
    std::condition_variable workAvailable;  // for workers: a path, room ahead, memory, a stop
    std::condition_variable resultReady;    // for the consumer
    std::deque<QString> pending;            // paths not taken by a worker yet
    std::uint64_t added = 0;                // paths added
    std::uint64_t taken = 0;                // paths taken by workers (their indices: 0..taken-1)
    std::uint64_t delivered = 0;            // results handed out
    std::map<std::uint64_t, Result> finished;
    std::int64_t decodingBytes = 0;  // reserved by the decodings in progress
    int decoding = 0;                // decodings in progress
    bool finishedAdding = false;
    bool stopped = false;
    std::vector<std::thread> workers;
};

}  // namespace vistrel
