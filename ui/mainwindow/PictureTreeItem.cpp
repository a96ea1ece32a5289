#include "PictureTreeItem.h"

#include "common/FactorText.h"
#include "common/FileSizeText.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTreeWidget>

#include <algorithm>

namespace vistrel {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("PictureTreeItem", text);
}

bool IsNumberColumn(int column) {
    return column == kDimensionsColumn || column == kFileSizeColumn || column == kDifferenceColumn;
}

}  // namespace

PictureTreeItem::PictureTreeItem(const QString& path, std::int32_t order)
    : path(path), order(order) {}

void PictureTreeItem::SetFacts(const ShownFacts& shown) {
    facts = shown;
}

void PictureTreeItem::SetFactor(float value, bool shown) {
    factor = value;
    factorShown = shown;
}

QVariant PictureTreeItem::data(int column, int role) const {
    // The path and the entry are answered from the item's own fields rather than stored as
    // item data: a rebuild of hundreds of thousands of items makes and frees less.
    if (column == kPathColumn && (role == Qt::DisplayRole || role == Qt::EditRole)) {
        return path;
    }
    if (column == kPathColumn && role == Qt::UserRole) {
        return entry >= 0 ? QVariant(entry) : QVariant();
    }
    if (column == kPathColumn || column >= kTreeColumnCount) {
        return QTreeWidgetItem::data(column, role);
    }
    if (role == Qt::TextAlignmentRole && IsNumberColumn(column)) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    }
    if (role != Qt::DisplayRole) {
        return QTreeWidgetItem::data(column, role);
    }
    if (column == kDifferenceColumn) {
        return factor && factorShown ? FactorText(*factor) : QString();
    }
    // Blank until the facts are read; a file that is gone or whose header cannot be read says
    // so where the dimensions would be (its tooltip tells more).
    if (!facts) {
        return QString();
    }
    if (!facts->exists) {
        return column == kDimensionsColumn ? Tr("missing") : QString();
    }
    switch (column) {
        case kDimensionsColumn:
            return facts->size.isValid()
                       ? Tr("%1 x %2").arg(facts->size.width()).arg(facts->size.height())
                       : Tr("unknown");
        case kFileSizeColumn:
            return FileSizeText(facts->bytes);
        case kModifiedColumn:
            return QLocale().toString(facts->modified, QLocale::ShortFormat);
        default:
            return QString();
    }
}

std::optional<double> PictureTreeItem::SortKey(int column) const {
    switch (column) {
        case kDifferenceColumn:
            return factor ? std::optional<double>(*factor) : std::nullopt;
        case kOrderColumn:
            return order;
        default:
            break;
    }
    if (!facts || !facts->exists) {
        return std::nullopt;
    }
    switch (column) {
        case kDimensionsColumn:
            return facts->size.isValid()
                       ? std::optional<double>(double(facts->size.width()) * facts->size.height())
                       : std::nullopt;
        case kFileSizeColumn:
            return double(facts->bytes);
        case kModifiedColumn:
            return facts->modified.isValid() ? std::optional<double>(double(facts->modifiedMs))
                                             : std::nullopt;
        default:
            return std::nullopt;
    }
}

const QByteArray& PictureTreeItem::FoldedAsciiPath() const {
    if (!foldedPathMade) {
        foldedPathMade = true;
        const bool ascii =
            std::all_of(path.cbegin(), path.cend(), [](QChar c) { return c.unicode() < 0x80; });
        if (ascii) {
            foldedPath = path.toLatin1().toLower();
        }
    }
    return foldedPath;
}

bool PictureTreeItem::operator<(const QTreeWidgetItem& other) const {
    // Every item of the tree is one of these.
    return Before(static_cast<const PictureTreeItem&>(other),
                  treeWidget() != nullptr ? treeWidget()->sortColumn() : kOrderColumn);
}

bool PictureTreeItem::Before(const PictureTreeItem& that, int column) const {
    if (column == kPathColumn) {
        // ASCII letters fold to lower case and nothing else changes, so the bytes in lower case
        // order as the case-insensitive comparison does, many times quicker.
        const QByteArray& mineFolded = FoldedAsciiPath();
        const QByteArray& theirsFolded = that.FoldedAsciiPath();
        const int byPath = !mineFolded.isEmpty() && !theirsFolded.isEmpty()
                               ? mineFolded.compare(theirsFolded)
                               : path.compare(that.path, Qt::CaseInsensitive);
        if (byPath != 0) {
            return byPath < 0;
        }
        if (const int exact = path.compare(that.path); exact != 0) {
            return exact < 0;
        }
    } else if (column != kOrderColumn) {
        const std::optional<double> mine = SortKey(column);
        const std::optional<double> theirs = that.SortKey(column);
        if (mine != theirs) {
            // What is not known comes after everything known.
            return !theirs || (mine && *mine < *theirs);
        }
    }
    return order < that.order;
}

QStringList TreeColumnTitles() {
    return {Tr("Path"),     Tr("Dimensions"), Tr("File Size"),
            Tr("Modified"), Tr("Difference"), QString()};
}

}  // namespace vistrel
