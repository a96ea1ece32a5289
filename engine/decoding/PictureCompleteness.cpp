#include "PictureCompleteness.h"

#include "BmpCompleteness.h"
#include "GifCompleteness.h"

#include <QByteArray>

namespace vistrel {

bool HoldsAllPictureData(QIODevice& file) {
    const QByteArray magic = file.peek(4);
    if (magic.startsWith("BM")) {
        return BmpIsComplete(file);
    }
    if (magic.startsWith("GIF8")) {
        return GifIsComplete(file.peek(file.size()));
    }
    return true;
}

}  // namespace vistrel
