#include "WindowTexts.h"

namespace vistrel {

QString ProgramName() {
    return QStringLiteral("Vistrel");
}

QString ProgramVersion() {
    return QStringLiteral("1.2.4");
}

}  // namespace vistrel
