// The main window's Recent Repositories menu: the files opened or saved lately.

#include "QRXDlg.h"

#include "RecentRepositories.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>

namespace vistrel {

void CQRXDlg::UpdateRecentMenu() {
    QMenu* menu = actions.recentRepositories;
    // The entry being chosen may be the one that brings the rebuild: it goes only later.
    for (QAction* old : menu->actions()) {
        menu->removeAction(old);
        old->deleteLater();
    }
    const QStringList recent = LoadRecentRepositories();
    for (qsizetype i = 0; i < recent.size(); ++i) {
        const QString& path = recent[i];
        // "&" in a file name would otherwise be taken for an accelerator.
        QString text = path;
        text.replace(u'&', QStringLiteral("&&"));
        QAction* entry = menu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(text));
        entry->setData(path);
        connect(entry, &QAction::triggered, this, [this, path] { OpenRecentRepository(path); });
    }
    menu->addSeparator();
    QAction* clear = menu->addAction(tr("Clear Menu"));
    clear->setEnabled(!recent.isEmpty());
    connect(clear, &QAction::triggered, this, [this] {
        StoreRecentRepositories({});
        UpdateRecentMenu();
    });
}

void CQRXDlg::OpenRecentRepository(const QString& path) {
    if (!QFileInfo::exists(path)) {
        RemoveRecentRepository(path);
        UpdateRecentMenu();
        QMessageBox::warning(this, tr("Recent Repositories"),
                             tr("The repository file \"%1\" no longer exists, so it was taken "
                                "off the list.")
                                 .arg(path));
        UpdateCommandStates();
        return;
    }
    OpenRepositoryFile(path);
}

}  // namespace vistrel
