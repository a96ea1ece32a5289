#include "UserSettings.h"

namespace vistrel {

QStringList EnabledExtensions(const UserSettings& settings) {
    QStringList extensions;
    GetAllEnabledExtensions(settings.record.enabledFormats, settings.addedFormats, extensions);
    return extensions;
}

}  // namespace vistrel
