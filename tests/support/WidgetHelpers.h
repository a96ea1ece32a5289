#pragma once

// What the widget tests make and look at again and again: pictures in a test's folder, links
// between entries, the private trash and the main window's tree as text.

#include "TestPictures.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>

class QTreeWidget;

namespace vistrel {
class CQRXDlg;
}

namespace vistrel::test {

/// Writes a photograph-like picture (MakePhotoLike) of `width` x `height` as `name` in `folder`,
/// as `format`, and gives its path. Ends the program when it cannot be written: no test means
/// anything without its pictures.
QString WritePhoto(const QTemporaryDir& folder, const QString& name, int width, int height,
                   std::uint32_t seed, PictureFormat format = PictureFormat::Png);

/// Links entries `a` and `b` of the window's repository with the difference factor `factor`,
/// as a similarity run would.
void Link(CQRXDlg& window, int a, int b, float factor = 1);

/// The private desktop trash of the test program (PrivateHome's data folder).
QString TrashFolder();

/// Whether the private trash holds a file that was at `path`: its contents under the trash's
/// files, and its record naming that place (where another file may stand by now).
bool InTrash(const QString& path);

/// The texts of the tree's top-level items, top to bottom.
QStringList TopLevelTexts(const QTreeWidget& tree);

/// The whole tree as text, every item expanded: each top-level item, then its children indented
/// by two spaces.
QStringList TreeText(QTreeWidget& tree);

}  // namespace vistrel::test
