#include "TreeFactsReader.h"

#include "cleanup/PictureFacts.h"

#include <algorithm>
#include <chrono>

namespace vistrel {

namespace {

// The tree is filled in a few times a second, not once per file.
constexpr std::size_t kBatchFiles = 512;
constexpr auto kBatchTime = std::chrono::milliseconds(150);

ShownFacts ReadShownFacts(const QString& path) {
    const PictureFacts facts = ReadPictureFacts(path);
    return ShownFacts{facts.exists, facts.size, facts.fileBytes, facts.modified,
                      facts.modified.isValid() ? facts.modified.toMSecsSinceEpoch() : 0};
}

}  // namespace

TreeFactsReader::TreeFactsReader(QObject* parent) : QObject(parent) {}

TreeFactsReader::~TreeFactsReader() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
        waiting.clear();
    }
    wake.notify_all();
    if (worker.joinable()) {
        // At most the file being read is waited for; batches posted meanwhile die with this
        // object's posted events.
        worker.join();
    }
}

const ShownFacts* TreeFactsReader::Find(const QString& path) const {
    const auto found = known.constFind(path);
    return found == known.constEnd() ? nullptr : &found.value();
}

void TreeFactsReader::Request(QStringList paths) {
    if (paths.isEmpty()) {
        return;
    }
    outstanding += static_cast<std::size_t>(paths.size());
    // Room for the paths of a whole tree, made now: growing a hash of a hundred thousand facts
    // as the batches come in moves them all at once, on the GUI thread for the facts kept and
    // under the lock the GUI thread takes for the paths taken. Made while the hashes are small
    // (the first request after Open), it costs an allocation; later requests of a tree's
    // unknown paths, most of them taken already, ask for no more room.
    known.reserve(std::max(known.size(), paths.size()));
    {
        const std::lock_guard lock(mutex);
        taken.reserve(std::max(taken.size(), paths.size()));
        waiting.push_back(std::move(paths));
    }
    if (!worker.joinable()) {
        worker = std::thread([this] { Run(); });
    }
    wake.notify_one();
}

void TreeFactsReader::Forget() {
    known.clear();
    outstanding = 0;
    const std::lock_guard lock(mutex);
    waiting.clear();
    waitingTaken = 0;
    taken.clear();
    ++generation;
}

void TreeFactsReader::Run() {
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !waiting.empty(); });
        if (stopping) {
            return;
        }
        const std::uint64_t batchGeneration = generation;
        Batch batch;
        const auto started = std::chrono::steady_clock::now();
        while (!waiting.empty() && !stopping && generation == batchGeneration &&
               batch.read.size() < kBatchFiles &&
               std::chrono::steady_clock::now() - started < kBatchTime) {
            // Read through a const list: the caller may still share it, and a write would copy it.
            const QStringList& request = waiting.front();
            QString path = request[waitingTaken];
            if (++waitingTaken == request.size()) {
                waiting.pop_front();
                waitingTaken = 0;
            }
            ++batch.taken;
            // A path asked for again is not read again: its facts are known, or on their way.
            if (taken.contains(path)) {
                continue;
            }
            taken.insert(path);
            // The GUI thread may queue more, or forget, while the file is read.
            lock.unlock();
            ShownFacts facts = ReadShownFacts(path);
            lock.lock();
            batch.read.emplace_back(std::move(path), std::move(facts));
        }
        if (stopping) {
            return;
        }
        QMetaObject::invokeMethod(
            this,
            [this, batchGeneration, batch = std::move(batch)] { Take(batchGeneration, batch); },
            Qt::QueuedConnection);
    }
}

void TreeFactsReader::Take(std::uint64_t batchGeneration, const Batch& batch) {
    {
        const std::lock_guard lock(mutex);
        if (batchGeneration != generation) {
            return;
        }
    }
    outstanding -= std::min(outstanding, batch.taken);
    // A batch of paths all had before reads nothing, but may be the one that ends the wait.
    if (batch.read.empty() && outstanding > 0) {
        return;
    }
    QStringList paths;
    paths.reserve(static_cast<qsizetype>(batch.read.size()));
    for (const auto& [path, facts] : batch.read) {
        // A path forgotten and asked for again meanwhile is read again; this answer is as good.
        known.insert(path, facts);
        paths.append(path);
    }
    emit FactsRead(paths, outstanding == 0);
}

}  // namespace vistrel
