#include "Commands.h"
#include "Console.h"
#include "ExitStatus.h"
#include "SourceLoader.h"
#include "repository/PictureRepository.h"
#include "signature/PictureSignature.h"

#include <cstdio>

namespace vistrel::cli {

int RunSignatureCommand(const CliOptions& options, Console& console) {
    const QString& picture = options.picture;
    QString reason = PictureFileProblem(picture);
    std::vector<std::uint8_t> signature;
    if (reason.isEmpty()) {
        signature = ComputeSignature(AbsolutePath(picture), CPictureRepository::kSide);
        if (signature.empty()) {
            reason = UnreadablePictureReason(AbsolutePath(picture));
        }
    }
    if (!reason.isEmpty()) {
        console.Error(QStringLiteral("cannot read picture '%1': %2").arg(picture, reason));
        return kExitUnreadable;
    }
    if (std::fwrite(signature.data(), 1, signature.size(), stdout) != signature.size() ||
        std::fflush(stdout) != 0) {
        console.Error(QStringLiteral("cannot write the signature to standard output"));
        return kExitUnreadable;
    }
    return kExitSuccess;
}

}  // namespace vistrel::cli
