#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QPlainTextEdit;

namespace vistrel {

/// "Delete Operation Status": lists the files a bulk deletion could not move to the trash (or
/// Undo could not put back), one a line, so that the user can copy them. Modal; Close, Escape or
/// the close box end it.
class COperationReportDlg : public QDialog {
    Q_OBJECT

public:
    explicit COperationReportDlg(QStringList failedPaths, QWidget* parent = nullptr);

    const QStringList& FailedPaths() const { return failedPaths; }
    /// Replaces the line above the paths, for a report on another kind of operation.
    void SetMessage(const QString& text);
    /// The edit box with the paths.
    QPlainTextEdit* PathList() const { return pathList; }
    /// Every path followed by a line end, in their order: the text of the path list.
    static QString JoinPaths(const QStringList& paths);

private:
    QStringList failedPaths;
    QLabel* message = nullptr;
    QPlainTextEdit* pathList = nullptr;
};

}  // namespace vistrel
