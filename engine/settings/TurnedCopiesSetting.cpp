#include "TurnedCopiesSetting.h"

namespace vistrel {

bool DecodeTurnedCopies(const QVariant& stored) {
    // A boolean comes back from the store's text file as the text it was written as.
    if (stored.typeId() == QMetaType::Bool) {
        return stored.toBool();
    }
    return stored.typeId() == QMetaType::QString && stored.toString() == QLatin1String("true");
}

}  // namespace vistrel
