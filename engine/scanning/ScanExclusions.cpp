#include "ScanExclusions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fnmatch.h>

#include <algorithm>

namespace vistrel {

ScanExclusions::ScanExclusions(const QStringList& patterns) {
    for (const QString& pattern : patterns) {
        std::string bytes = QFile::encodeName(pattern).toStdString();
        // "@eaDir/" names the folder "@eaDir"; "/" alone stays a path, which no entry is.
        while (bytes.size() > 1 && bytes.back() == '/') {
            bytes.pop_back();
        }
        if (bytes.empty()) {
            continue;
        }
        if (bytes.find('/') != std::string::npos) {
            pathGlobs.push_back(std::move(bytes));
        } else if (bytes.find_first_of("*?[") != std::string::npos) {
            nameGlobs.push_back(std::move(bytes));
        } else {
            names.push_back(std::move(bytes));
        }
    }
}

QString ScanExclusions::PatternForFolder(const QString& path) {
    const QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString pattern;
    for (const QChar c : folder) {
        if (c == u'*' || c == u'?' || c == u'[' || c == u'\\') {
            pattern += u'\\';
        }
        pattern += c;
    }
    return pattern;
}

bool ScanExclusions::Excludes(const char* name, const std::string& path) const {
    const auto matches = [](const char* text) {
        // No FNM_PATHNAME: a * of a path pattern crosses slashes, as users of shells' ** and
        // of other programs' exclusion lists expect. An unclosed [ matches itself.
        return [text](const std::string& glob) { return fnmatch(glob.c_str(), text, 0) == 0; };
    };
    return std::any_of(names.cbegin(), names.cend(),
                       [name](const std::string& listed) { return listed == name; }) ||
           std::any_of(nameGlobs.cbegin(), nameGlobs.cend(), matches(name)) ||
           std::any_of(pathGlobs.cbegin(), pathGlobs.cend(), matches(path.c_str()));
}

}  // namespace vistrel
