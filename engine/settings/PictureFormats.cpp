#include "PictureFormats.h"

namespace vistrel {

namespace {

// Appends the blank-separated extensions of one table entry.
void AppendExtensions(const char* entryText, QStringList& extensions) {
    const QString entry = QString::fromLatin1(entryText);
    qsizetype start = 0;
    while (true) {
        const qsizetype blank = entry.indexOf(QLatin1Char(' '), start);
        if (blank < 0) {
            extensions.append(entry.mid(start));
            return;
        }
        extensions.append(entry.mid(start, blank - start));
        start = blank + 1;
    }
}

}  // namespace

void GetFormatExtensions(std::uint32_t number, QStringList& extensions) {
    if (number == 0 || number > static_cast<std::uint32_t>(FORMAT_COUNT)) {
        return;
    }
    AppendExtensions(kPictureFormats[number - 1], extensions);
}

void GetEnabledExtensions(const std::array<bool, FORMAT_COUNT>& enabled, QStringList& extensions) {
    for (int i = 0; i < FORMAT_COUNT; ++i) {
        if (enabled[i]) {
            GetFormatExtensions(static_cast<std::uint32_t>(i + 1), extensions);
        }
    }
}

void GetAddedFormatExtensions(int index, QStringList& extensions) {
    if (index < 0 || index >= kAddedFormatCount) {
        return;
    }
    AppendExtensions(kAddedPictureFormats[static_cast<std::size_t>(index)].extensions, extensions);
}

void GetAllEnabledExtensions(const std::array<bool, FORMAT_COUNT>& enabled,
                             const AddedFormatFlags& added, QStringList& extensions) {
    GetEnabledExtensions(enabled, extensions);
    for (int i = 0; i < kAddedFormatCount; ++i) {
        if (added[static_cast<std::size_t>(i)]) {
            GetAddedFormatExtensions(i, extensions);
        }
    }
}

}  // namespace vistrel
