#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

namespace vistrel {

class CPictureRepository;

/// File > Export Results...: asks for a file and writes the similar pairs of `repository`'s
/// links there, as CSV (CsvResult) or, for a name ending in ".json", as vistrel-cli's JSON
/// (JsonResult). `orientation`: the CSV also says how each second picture is turned (the
/// window looked for turned copies). Asks before replacing a file; says why when the file
/// cannot be written, and whatever was there then stays as it was. GUI thread.
void ExportResults(QWidget* parent, const CPictureRepository& repository, bool orientation);

/// Writes `bytes` to `path` whole or not at all (QSaveFile). False with `reason` set to the
/// system's words when it could not. Any thread.
bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString& reason);

}  // namespace vistrel
