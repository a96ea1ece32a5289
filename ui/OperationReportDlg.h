#pragma once

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;

namespace vistrel {

/// "Delete Operation Status": lists the files a bulk deletion could not move to the trash, one a
/// line, so that the user can copy them. Modal; Close, Escape or the close box end it.
class COperationReportDlg : public QDialog {
    Q_OBJECT

public:
    explicit COperationReportDlg(QStringList failedPaths, QWidget* parent = nullptr);

    const QStringList& FailedPaths() const { return failedPaths; }
    /// The edit box with the paths.
    QPlainTextEdit* PathList() const { return pathList; }
    /// Every path followed by a line end, in their order: the text of the path list.
    static QString JoinPaths(const QStringList& paths);

private:
    QStringList failedPaths;
    QPlainTextEdit* pathList = nullptr;
};

}  // namespace vistrel
