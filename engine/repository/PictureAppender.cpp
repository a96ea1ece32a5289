#include "PictureAppender.h"

#include "PictureRepository.h"

#include <utility>

namespace vistrel {

PictureAppender::PictureAppender(CPictureRepository& repository, SigningLimits limits,
                                 ProgressObserver* observer, Appended appended)
    : repository(repository),
      observer(observer),
      appended(std::move(appended)),
      pipeline(repository.Side(), std::move(limits)) {}

void PictureAppender::Add(const QString& path) {
    const bool toSign = repository.FindPicture(path) < 0;
    if (toSign) {
        pipeline.Add(path);
    }
    queued.push_back(Queued{path, toSign});
    ++added;
    // The count of files found moves while the walk goes on, also when no signature is ready.
    ReportProgress();
}

bool PictureAppender::AppendReady() {
    while (!Stopped() && AppendNext(false)) {
    }
    return !stopped;
}

bool PictureAppender::Finish() {
    pipeline.Finish();
    finishing = true;
    // The total is known from here on, before the next picture is done.
    ReportProgress();
    while (!Stopped() && AppendNext(true)) {
    }
    return !stopped;
}

bool PictureAppender::AppendNext(bool wait) {
    if (queued.empty()) {
        return false;
    }
    const Queued& next = queued.front();
    const std::int32_t before = repository.GetCount();
    if (next.toSign) {
        SignaturePipeline::Result made;
        if (!(wait ? pipeline.Next(made) : pipeline.TryNext(made))) {
            return false;
        }
        repository.AddSignedPicture(made.path, std::move(made.signature));
    }
    lastDone = next.path;
    queued.pop_front();
    ++done;
    if (appended) {
        appended(lastDone, repository.GetCount() > before ? before : -1);
    }
    ReportProgress();
    return true;
}

void PictureAppender::ReportProgress() {
    if (observer != nullptr) {
        observer->Report({done, finishing ? added : 0, lastDone, added});
    }
}

bool PictureAppender::Stopped() {
    // A store out of memory refuses signatures: the rest would be lost, so the adding stops as
    // if asked to, and whoever started it tells the user why (SignatureStore::OutOfRoom).
    const SignatureStore* store = repository.Store();
    if (!stopped && ((observer != nullptr && observer->StopRequested()) ||
                     (store != nullptr && store->OutOfRoom()))) {
        stopped = true;
        pipeline.Stop();  // what is not appended yet is dropped
    }
    return stopped;
}

}  // namespace vistrel
