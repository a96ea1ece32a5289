#include "ResultFormat.h"

#include "comparison/kernels/DifferenceFactor.h"
#include "repository/PictureRepository.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>

namespace vistrel {

namespace {}  // namespace

Orientation TurnOnto(const PairInfo& record, std::int32_t first) {
    // The record's orientation turns its second picture onto its first.
    return record.indexA == first ? record.orientation : Inverse(record.orientation);
}

QByteArray FormatFactor(float factor) {
    char text[64];
    const auto end =
        std::to_chars(text, text + sizeof text, ShownFactor(factor), std::chars_format::fixed, 3)
            .ptr;
    return QByteArray(text, static_cast<qsizetype>(end - text));
}

QByteArray PairLine(const CPictureRepository& repository, const PairInfo& record, RecordEnds ends,
                    bool orientation) {
    const std::int32_t a = std::min(record.indexA, record.indexB);
    const std::int32_t b = std::max(record.indexA, record.indexB);
    const char between = ends == RecordEnds::Nul ? '\0' : '\t';
    const char last = ends == RecordEnds::Nul ? '\0' : '\n';
    QByteArray line = FormatFactor(record.factor) + between +
                      QFile::encodeName(repository.GetPicture(a).path) + between +
                      QFile::encodeName(repository.GetPicture(b).path);
    if (orientation) {
        line += between + QByteArray(OrientationName(TurnOnto(record, a)));
    }
    return line + last;
}

QByteArray SearchLine(const CPictureRepository& repository, const PairInfo& record,
                      std::int32_t target, RecordEnds ends, bool orientation) {
    const std::int32_t other = record.indexA == target ? record.indexB : record.indexA;
    const char between = ends == RecordEnds::Nul ? '\0' : '\t';
    const char last = ends == RecordEnds::Nul ? '\0' : '\n';
    QByteArray line = FormatFactor(record.factor) + between +
                      QFile::encodeName(repository.GetPicture(other).path);
    if (orientation) {
        line += between + QByteArray(OrientationName(TurnOnto(record, target)));
    }
    return line + last;
}

QByteArray JsonResult(const CPictureRepository& repository, const std::vector<PairInfo>& records,
                      std::int32_t target) {
    QJsonArray pictures;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        const CPictureInfo& entry = repository.GetPicture(i);
        pictures.append(QJsonObject{{QStringLiteral("path"), entry.path},
                                    {QStringLiteral("loadError"), entry.loadError}});
    }
    QJsonArray pairs;
    for (const PairInfo& record : records) {
        const std::int32_t a = std::min(record.indexA, record.indexB);
        pairs.append(QJsonObject{{QStringLiteral("a"), a},
                                 {QStringLiteral("b"), std::max(record.indexA, record.indexB)},
                                 // Exact, as the threshold weighs it: a line's three decimals are
                                 // this value rounded.
                                 {QStringLiteral("factor"), ShownFactor(record.factor)},
                                 {QStringLiteral("orientation"),
                                  QString::fromLatin1(OrientationName(TurnOnto(record, a)))}});
    }
    QJsonObject result{{QStringLiteral("pictures"), pictures}, {QStringLiteral("pairs"), pairs}};
    if (target >= 0) {
        result.insert(QStringLiteral("target"), target);
    }
    return QJsonDocument(result).toJson(QJsonDocument::Indented);
}

}  // namespace vistrel
