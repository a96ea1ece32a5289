#include "FreshSignatures.h"

#include "signature/SignaturePipeline.h"

namespace vistrel {

std::optional<std::vector<SignatureBytes>> SignFreshly(const std::vector<QString>& paths, int side,
                                                       ProgressObserver* progress) {
    SigningLimits limits;
    // The point is to read the files as they are now.
    limits.cache = nullptr;
    SignaturePipeline pipeline(side, limits);
    for (const QString& path : paths) {
        pipeline.Add(path);
    }
    pipeline.Finish();
    std::vector<SignatureBytes> signatures;
    signatures.reserve(paths.size());
    SignaturePipeline::Result result;
    while (pipeline.Next(result)) {
        signatures.push_back(std::move(result.signature));
        if (progress == nullptr) {
            continue;
        }
        progress->Report({signatures.size(), paths.size(), result.path});
        if (progress->StopRequested()) {
            pipeline.Stop();
            return std::nullopt;
        }
    }
    return signatures;
}

}  // namespace vistrel
