#include "PictureFacts.h"

#include "decoding/PictureDecoder.h"

#include <QFileInfo>

namespace vistrel {

PictureFacts ReadPictureFacts(const QString& path) {
    PictureFacts facts;
    const QFileInfo file(path);
    if (!file.isFile()) {
        return facts;
    }
    facts.identity = ReadFileIdentity(path);
    if (!facts.identity) {
        return facts;
    }
    facts.exists = true;
    facts.fileBytes = file.size();
    facts.modified = file.lastModified();
    const PictureHeader header = ReadPictureHeader(path);
    facts.size = header.size;
    facts.format = header.format;
    return facts;
}

}  // namespace vistrel
