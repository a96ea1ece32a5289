#include "ResultCsv.h"

#include "ResultFormat.h"
#include "cleanup/PictureGroups.h"
#include "repository/PictureRepository.h"

#include <QFile>

#include <algorithm>

namespace vistrel {

QByteArray CsvField(const QByteArray& field) {
    if (!field.contains(',') && !field.contains('"') && !field.contains('\r') &&
        !field.contains('\n')) {
        return field;
    }
    QByteArray quoted = field;
    quoted.replace("\"", "\"\"");
    return '"' + quoted + '"';
}

QByteArray CsvResult(const CPictureRepository& repository, const std::vector<PairInfo>& records,
                     bool orientation) {
    std::vector<std::int32_t> groupOf(static_cast<std::size_t>(repository.GetCount()), 0);
    const std::vector<PictureGroup> groups = ListPictureGroups(repository);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        for (const std::int32_t entry : groups[g]) {
            groupOf[static_cast<std::size_t>(entry)] = static_cast<std::int32_t>(g + 1);
        }
    }
    QByteArray text = orientation ? "factor,path_a,path_b,orientation,group\r\n"
                                  : "factor,path_a,path_b,group\r\n";
    for (const PairInfo& record : records) {
        const std::int32_t a = std::min(record.indexA, record.indexB);
        const std::int32_t b = std::max(record.indexA, record.indexB);
        text += FormatFactor(record.factor) + ',' +
                CsvField(QFile::encodeName(repository.GetPicture(a).path)) + ',' +
                CsvField(QFile::encodeName(repository.GetPicture(b).path)) + ',';
        if (orientation) {
            text += QByteArray(OrientationName(TurnOnto(record, a))) + ',';
        }
        text += QByteArray::number(groupOf[static_cast<std::size_t>(a)]) + "\r\n";
    }
    return text;
}

}  // namespace vistrel
