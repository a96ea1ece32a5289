#include "ProtectedFiles.h"

#include <algorithm>

namespace vistrel {

QString ProtectingFolder(const ReferenceFolders& reference, const QString& path) {
    if (reference.IsEmpty() || !reference.ProtectsFile(path)) {
        return QString();
    }
    // Asked of each folder alone only once the list is known to protect the file: one file's
    // question, so building a list per folder costs nothing that matters.
    for (const QString& folder : reference.Folders()) {
        if (ReferenceFolders(QStringList{folder}).ProtectsFile(path)) {
            return folder;
        }
    }
    return reference.Folders().value(0);
}

std::vector<bool> ProtectedPictures(const std::vector<KeepCandidate>& group,
                                    const ReferenceFolders& reference) {
    std::vector<bool> isProtected(group.size(), false);
    if (reference.IsEmpty()) {
        return isProtected;
    }
    for (std::size_t i = 0; i < group.size(); ++i) {
        isProtected[i] = reference.ProtectsFile(group[i].path);
    }
    return isProtected;
}

std::size_t KeepProtectedPicture(const std::vector<KeepCandidate>& group,
                                 const std::vector<bool>& isProtected, KeepRule rule,
                                 std::size_t chosen) {
    const auto at = [&isProtected](std::size_t i) {
        return i < isProtected.size() && isProtected[i];
    };
    if (at(chosen)) {
        return chosen;
    }
    // The rule chooses again among the protected pictures that can be kept alone.
    std::vector<KeepCandidate> keepable;
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (at(i) && group[i].Keepable()) {
            keepable.push_back(group[i]);
            positions.push_back(i);
        }
    }
    if (keepable.empty()) {
        return chosen;
    }
    return positions[std::min(ChooseKeptPicture(keepable, rule), positions.size() - 1)];
}

void SpareProtected(std::vector<KeepAction>& actions, const std::vector<bool>& isProtected) {
    for (std::size_t i = 0; i < actions.size() && i < isProtected.size(); ++i) {
        if (isProtected[i] && actions[i] == KeepAction::Trash) {
            actions[i] = KeepAction::Protected;
        }
    }
}

}  // namespace vistrel
