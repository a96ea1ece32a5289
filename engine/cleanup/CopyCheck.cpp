#include "CopyCheck.h"

#include "PictureFacts.h"

namespace vistrel {

CopyState CheckPictureCopy(const QString& path) {
    const PictureFacts facts = ReadPictureFacts(path);
    if (!facts.exists) {
        return CopyState::Missing;
    }
    return facts.size.isValid() ? CopyState::Readable : CopyState::Unreadable;
}

}  // namespace vistrel
