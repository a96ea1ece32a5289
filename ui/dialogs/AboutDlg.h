#pragma once

#include <QDialog>

namespace vistrel {

/// "About Vistrel": the banner, the program's icon, its name and version. Modal; OK, Escape or
/// the close box end it.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    /// The line under the name and version.
    static QString SecondLine();
};

}  // namespace vistrel
