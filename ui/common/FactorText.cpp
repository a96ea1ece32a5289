#include "FactorText.h"

#include "comparison/kernels/DifferenceFactor.h"

#include <QLocale>

namespace vistrel {

QString FactorText(float factor) {
    return QLocale().toString(ShownFactor(factor), 'f', 1);
}

}  // namespace vistrel
