#pragma once

#include "ShownFacts.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace vistrel {

/// Reads the facts the picture tree shows (a stat and the picture's header per file) on a worker
/// thread of its own, in the order asked, and keeps them by path: a tree of tens of thousands of
/// pictures is built at once and filled in as the facts arrive. Facts once read are kept until
/// Forget. Created and used on the GUI thread.
class TreeFactsReader : public QObject {
    Q_OBJECT

public:
    explicit TreeFactsReader(QObject* parent = nullptr);
    ~TreeFactsReader() override;

    /// The facts read of `path`; null when they are not read yet.
    const ShownFacts* Find(const QString& path) const;
    /// Queues for reading the paths whose facts are neither read nor queued already. The list
    /// is handed to the worker whole, which passes over the paths it has had before: a request
    /// of hundreds of thousands of paths costs the GUI thread no look-up.
    void Request(QStringList paths);
    /// Drops every fact read and every path queued: the files shown are another repository's.
    void Forget();
    /// True while paths wait to be read.
    bool Busy() const { return outstanding > 0; }

signals:
    /// The facts of `paths` were read (Find gives them); `done`: nothing waits any more.
    void FactsRead(const QStringList& paths, bool done);

private:
    struct Batch {
        std::vector<std::pair<QString, ShownFacts>> read;
        /// Paths of the requests taken, those passed over (had before) included.
        std::size_t taken = 0;
    };
    void Run();
    /// Takes a worker's batch into the facts kept, unless it was read before Forget.
    void Take(std::uint64_t generation, const Batch& batch);

    QHash<QString, ShownFacts> known;
    /// Paths handed to the worker whose batch has not come back yet.
    std::size_t outstanding = 0;

    std::mutex mutex;
    std::condition_variable wake;
    /// Shared with the worker under `mutex`: the requests not yet taken, and how far the first
    /// one is taken.
    std::deque<QStringList> waiting;
    qsizetype waitingTaken = 0;
    /// Every path taken from a request since the last Forget: read, being read, or in a batch
    /// on its way. Under `mutex`.
    QSet<QString> taken;
    std::uint64_t generation = 0;
    bool stopping = false;
    std::thread worker;
};

}  // namespace vistrel
