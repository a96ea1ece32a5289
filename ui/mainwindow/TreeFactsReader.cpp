#include "TreeFactsReader.h"

#include "cleanup/PictureFacts.h"

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

void TreeFactsReader::Request(const QStringList& paths) {
    std::vector<QString> added;
    added.reserve(static_cast<std::size_t>(paths.size()));
    // Room made once: a set that grows by steps hashes every path again at each.
    queued.reserve(queued.size() + paths.size());
    for (const QString& path : paths) {
        if (!known.contains(path) && !queued.contains(path)) {
            queued.insert(path);
            added.push_back(path);
        }
    }
    if (added.empty()) {
        return;
    }
    {
        const std::lock_guard lock(mutex);
        waiting.insert(waiting.end(), added.begin(), added.end());
    }
    if (!worker.joinable()) {
        worker = std::thread([this] { Run(); });
    }
    wake.notify_one();
}

void TreeFactsReader::Forget() {
    known.clear();
    queued.clear();
    const std::lock_guard lock(mutex);
    waiting.clear();
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
               batch.size() < kBatchFiles &&
               std::chrono::steady_clock::now() - started < kBatchTime) {
            QString path = std::move(waiting.front());
            waiting.pop_front();
            // The GUI thread may queue more, or forget, while the file is read.
            lock.unlock();
            ShownFacts facts = ReadShownFacts(path);
            lock.lock();
            batch.emplace_back(std::move(path), std::move(facts));
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
    QStringList paths;
    paths.reserve(static_cast<qsizetype>(batch.size()));
    for (const auto& [path, facts] : batch) {
        // A path forgotten and asked for again meanwhile is read again; this answer is as good.
        known.insert(path, facts);
        queued.remove(path);
        paths.append(path);
    }
    emit FactsRead(paths, queued.isEmpty());
}

}  // namespace vistrel
