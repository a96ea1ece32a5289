#pragma once

#include "PictureFacts.h"

#include <QStringList>

#include <vector>

namespace vistrel {

/// Reads the facts of the pictures of one group (`paths`, in order) as Keep One of Each Group
/// weighs them: ReadPictureFacts, the camera's data of each picture that can be read, and, when
/// pictures that can be read differ in size, which of them are enlargements of smaller ones
/// (each decoded once, in full). Any thread but the GUI thread: it reads and decodes files.
std::vector<PictureFacts> ReadKeepFacts(const QStringList& paths);

/// ReadKeepFacts of each group of `groups`, by group, read on `workers` threads (0: one per
/// core) because a group's pictures may be decoded whole. Any thread but the GUI thread.
std::vector<std::vector<PictureFacts>> ReadKeepFactsOfGroups(const std::vector<QStringList>& groups,
                                                             int workers);

}  // namespace vistrel
