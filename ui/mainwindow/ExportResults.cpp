#include "ExportResults.h"

#include "export/ResultCsv.h"
#include "export/ResultFormat.h"
#include "export/ResultRecords.h"
#include "repository/PictureRepository.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>

namespace vistrel {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("ExportResults", text);
}

bool IsJsonName(const QString& path) {
    return path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive);
}

}  // namespace

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString& reason) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}

void ExportResults(QWidget* parent, const CPictureRepository& repository, bool orientation) {
    const QString csvFilter = Tr("CSV files (*.csv)");
    const QString jsonFilter = Tr("JSON files (*.json)");
    QFileDialog chooser(parent, Tr("Export Results"));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setNameFilters({csvFilter, jsonFilter});
    // Replacing is asked about below, once the extension may have been added.
    chooser.setOption(QFileDialog::DontConfirmOverwrite);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return;
    }
    QString target = chooser.selectedFiles().first();
    const bool json = IsJsonName(target) || (QFileInfo(target).suffix().isEmpty() &&
                                             chooser.selectedNameFilter() == jsonFilter);
    if (QFileInfo(target).suffix().isEmpty()) {
        target += json ? QStringLiteral(".json") : QStringLiteral(".csv");
    }
    if (QFileInfo::exists(target) &&
        QMessageBox::question(parent, Tr("Export Results"),
                              Tr("\"%1\" already exists. Do you want to replace it?").arg(target),
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    const std::vector<PairInfo> records = LinkedPairs(repository);
    const QByteArray bytes =
        json ? JsonResult(repository, records, -1) : CsvResult(repository, records, orientation);
    QString reason;
    if (!WriteWholeFile(target, bytes, reason)) {
        QMessageBox::critical(parent, Tr("Error"),
                              Tr("The results could not be written to \"%1\": %2. A file that "
                                 "was there is unchanged.")
                                  .arg(target, reason));
    }
}

}  // namespace vistrel
