#include "ProgramResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitVistrelResources() {
    Q_INIT_RESOURCE(vistrel);
}

namespace vistrel {

void EnsureProgramResources() {
    static const bool registered = (InitVistrelResources(), true);
    (void)registered;
}

}  // namespace vistrel
