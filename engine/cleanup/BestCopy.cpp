#include "BestCopy.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace vistrel {

namespace {

// -1 when only `a` has the quality, 1 when only `b` has it.
int Prefer(bool a, bool b) {
    return a == b ? 0 : a ? -1 : 1;
}

bool IsLossy(const QByteArray& format) {
    return format == "jpeg" || format == "jpg" || format == "heif" || format == "heic" ||
           format == "avif" || format == "webp";
}

bool IsLossless(const QByteArray& format) {
    return format == "png" || format == "bmp" || format == "tiff" || format == "tif";
}

}  // namespace

int ComparePixels(const KeepCandidate& a, const KeepCandidate& b) {
    const std::int64_t pixelsA = a.facts.Pixels();
    const std::int64_t pixelsB = b.facts.Pixels();
    if (pixelsA == pixelsB) {
        return 0;
    }
    const bool aLarger = pixelsA > pixelsB;
    const KeepCandidate& larger = aLarger ? a : b;
    const KeepCandidate& smaller = aLarger ? b : a;
    const bool enlarged = larger.facts.enlargementOf.contains(smaller.path);
    return aLarger != enlarged ? -1 : 1;
}

bool IsResaveFormat(const QByteArray& format, const QByteArray& originalFormat) {
    return IsLossless(format) && IsLossy(originalFormat);
}

int CompareEarlier(const QDateTime& a, const QDateTime& b) {
    if (!a.isValid() || !b.isValid()) {
        return 0;
    }
    // Dates that show the same second are one date: a copy's time stamp may lag by a fraction.
    const qint64 apart = a.msecsTo(b);
    return apart >= 1000 ? -1 : apart <= -1000 ? 1 : 0;
}

bool NameMarksCopy(const QString& path) {
    static const QRegularExpression marks(
        QStringLiteral("(^|[^\\p{L}])(copy|kopie|copie|copia|edited|bearbeitet)($|[^\\p{L}])|"
                       " ?\\(\\d+\\)$|-\\d$"),
        QRegularExpression::CaseInsensitiveOption);
    return marks.match(QFileInfo(path).completeBaseName()).hasMatch();
}

int CompareCopies(const KeepCandidate& a, const KeepCandidate& b) {
    if (const int camera = Prefer(a.facts.camera.Present(), b.facts.camera.Present())) {
        return camera;
    }
    if (const int pixels = ComparePixels(a, b)) {
        return pixels;
    }
    if (const int original = Prefer(!a.resave, !b.resave)) {
        return original;
    }
    if (const int taken = CompareEarlier(a.facts.camera.taken, b.facts.camera.taken)) {
        return taken;
    }
    if (const int named = Prefer(!NameMarksCopy(a.path), !NameMarksCopy(b.path))) {
        return named;
    }
    const auto lengthA = QFileInfo(a.path).fileName().size();
    const auto lengthB = QFileInfo(b.path).fileName().size();
    return lengthA == lengthB ? 0 : lengthA < lengthB ? -1 : 1;
}

void MarkResaves(std::vector<KeepCandidate>& group,
                 const std::vector<std::vector<NearCopy>>& nearCopies) {
    const auto mark = [&group](std::size_t a, std::size_t b) {
        if (a < group.size() && b < group.size() &&
            IsResaveFormat(group[a].facts.format, group[b].facts.format)) {
            group[a].resave = true;
        }
    };
    // A near-copy is listed on one side or both: either way the pair counts.
    for (std::size_t position = 0; position < nearCopies.size(); ++position) {
        for (const NearCopy& copy : nearCopies[position]) {
            mark(position, copy.position);
            mark(copy.position, position);
        }
    }
}

}  // namespace vistrel
