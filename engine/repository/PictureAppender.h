#pragma once

#include "progress/ProgressObserver.h"
#include "signature/SignaturePipeline.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <functional>

namespace vistrel {

class CPictureRepository;

/// Appends pictures to a repository in the order their paths are queued, their signatures made
/// by a SignaturePipeline on other threads, so that the entries are those of a serial making
/// (AddSignedPicture: one file, one entry). Progress goes to an observer: `done` counts the
/// paths handled, `found` the paths queued so far, `total` the paths queued in all once Finish
/// has said there are no more (0 before), `item` the last path handled. Every call comes from
/// the one thread that owns the repository meanwhile.
class PictureAppender {
public:
    /// Told of each path at its turn, after it was handled: the entry it appended, or -1 when
    /// it appended none (the path was an entry already, or another entry holds its file).
    using Appended = std::function<void(const QString& path, std::int32_t newEntry)>;

    /// `observer` may be null; it and `repository` must outlive the appender.
    PictureAppender(CPictureRepository& repository, SigningLimits limits,
                    ProgressObserver* observer, Appended appended = {});
    PictureAppender(const PictureAppender&) = delete;
    PictureAppender& operator=(const PictureAppender&) = delete;

    /// Queues `path` and reports it found. A path that is an entry already is not decoded
    /// again; it keeps its turn all the same, and is left as it is.
    void Add(const QString& path);
    /// Appends the pictures whose turn has come and whose signatures are made, without
    /// waiting. False once a stop was requested (the rest is then dropped).
    bool AppendReady();
    /// No more paths: appends the rest, waiting for each. False when a stop was requested
    /// first (what was not appended then is dropped).
    bool Finish();

private:
    /// Handles the path at the front of the queue; false when its signature is not made yet
    /// (and `wait` is false) or when none is left.
    bool AppendNext(bool wait);
    bool Stopped();
    void ReportProgress();

    struct Queued {
        QString path;
        bool toSign;  ///< false when the repository held the path when it was queued
    };

    CPictureRepository& repository;
    ProgressObserver* const observer;
    const Appended appended;
    SignaturePipeline pipeline;
    std::deque<Queued> queued;
    std::uint64_t added = 0;
    std::uint64_t done = 0;
    QString lastDone;
    bool finishing = false;  ///< Finish was called: `added` is the total
    bool stopped = false;
};

}  // namespace vistrel
