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
}

bool PictureAppender::AppendReady() {
    while (!Stopped() && AppendNext(false)) {
    }
    return !stopped;
}

bool PictureAppender::Finish() {
    pipeline.Finish();
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
    const QString path = next.path;
    queued.pop_front();
    ++done;
    if (appended) {
        appended(path, repository.GetCount() > before ? before : -1);
    }
    if (observer != nullptr) {
        observer->Report({done, added, path});
    }
    return true;
}

bool PictureAppender::Stopped() {
    if (!stopped && observer != nullptr && observer->StopRequested()) {
        stopped = true;
        pipeline.Stop();  // what is not appended yet is dropped
    }
    return stopped;
}

}  // namespace vistrel
