// How long the window stops answering while it adds a folder of pictures (the "Search Progress"
// dialog), opens a repository file (the "Opening Repository" wait dialog) or previews the
// pictures selected in turn in the main window. A 10 ms timer on the GUI thread records the
// longest gap between its ticks and counts the gaps over 100 ms; a window that keeps answering
// keeps every gap near 10 ms, whatever the size of the folder or of the pictures.
//   QT_QPA_PLATFORM=offscreen vistrel_gui_heartbeat [--cache] FOLDER [--save FILE.qrx]
//   QT_QPA_PLATFORM=offscreen vistrel_gui_heartbeat [--cache] --open FILE.qrx
//   QT_QPA_PLATFORM=offscreen vistrel_gui_heartbeat --select PICTURE...
//   QT_QPA_PLATFORM=offscreen vistrel_gui_heartbeat --undo FOLDER
// The folder is scanned for the five formats' extensions, as File > Add To Repository does with
// every format enabled; --save writes the repository afterwards, for a later --open. Without
// --cache no signature cache is used, so every picture is decoded; with it, the user's cache
// (as the window uses it). Prints the pictures added, the wall time, the
// longest gap and the number of gaps over 100 ms. --select adds the pictures to the main
// window's repository, then selects each in turn and waits for its preview; it prints, for each,
// the longest gap and the time until the picture was shown.
// --undo copies FOLDER into a scratch folder, adds the copies to a main window's repository,
// links them in pairs, runs Delete All Similar (every copy goes to a private trash) and then
// Undo, and prints the longest gap of each of the two.
// --window opens FILE.qrx in a main window (with the user's signature cache, as the window
// does), waits for the tree's sizes and dates, then rebuilds the tree, changes the view filter,
// sorts by each column, opens Keep One of Each Group until its facts are in, walks the compare
// window's pairs, saves the repository to SAVED.qrx and runs Test; for each it prints the wall
// time and the longest gap (a step that is one call on the GUI thread has a gap as long as the
// call). A step that rebuilds or sorts the tree lasts until the tree is built (a large one is
// built over turns of the event loop), and its heartbeat goes on 150 ms more, through the
// laying out and painting that follow. With --no-test the run is left out.
//   QT_QPA_PLATFORM=offscreen vistrel_gui_heartbeat --window FILE.qrx SAVED.qrx [--no-test]

#include "cleanup/PictureGroups.h"
#include "compare/CompareWindow.h"
#include "dialogs/OperationReportDlg.h"
#include "groups/KeepGroupsModel.h"
#include "groups/KeepOneDlg.h"
#include "mainwindow/PictureTreeItem.h"
#include "mainwindow/PreviewBox.h"
#include "mainwindow/QRXDlg.h"
#include "progress/LoadWaitDlg.h"
#include "progress/SearchProgressDlg.h"
#include "repository/PictureRepository.h"
#include "repository/SimilarPairs.h"
#include "settings/UserSettings.h"
#include "signature/SignatureCache.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

using vistrel::CPictureRepository;

// Ticks every 10 ms on the GUI thread while it lives; a gap between ticks is the time the event
// loop was busy elsewhere.
class Heartbeat {
public:
    static constexpr qint64 kIntervalMs = 10;
    static constexpr qint64 kLongGapMs = 100;

    Heartbeat() {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(static_cast<int>(kIntervalMs));
        QObject::connect(&timer, &QTimer::timeout, [this] { Beat(); });
        sinceBeat.start();
        timer.start();
    }

    // Counts the time since the last tick too, so that a pause at the very end is not missed.
    void Stop() {
        Beat();
        timer.stop();
    }

    qint64 LongestGapMs() const { return longestGapMs; }
    int LongGaps() const { return longGaps; }

private:
    void Beat() {
        const qint64 gap = sinceBeat.restart();
        longestGapMs = std::max(longestGapMs, gap);
        if (gap > kLongGapMs) {
            ++longGaps;
        }
    }

    QTimer timer;
    QElapsedTimer sinceBeat;
    qint64 longestGapMs = 0;
    int longGaps = 0;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: vistrel_gui_heartbeat [--cache] FOLDER [--save FILE.qrx]\n"
                 "       vistrel_gui_heartbeat [--cache] --open FILE.qrx\n"
                 "       vistrel_gui_heartbeat --select PICTURE...\n"
                 "       vistrel_gui_heartbeat --undo FOLDER\n"
                 "       vistrel_gui_heartbeat --window FILE.qrx SAVED.qrx [--no-test]\n");
    return 1;
}

// Lets the event loop run until `done` holds or `limitMs` have passed; false on the limit.
template <typename Done>
bool RunUntil(Done done, int limitMs) {
    const QDeadlineTimer deadline(limitMs);
    // Waits for events rather than spinning, which would take a core from the decoding worker.
    QTimer poll;
    poll.start(5);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// The preview of the selected item has come: its picture, or the reason it cannot be shown.
bool PreviewSettled(const vistrel::CQRXDlg& window) {
    return window.Preview()->HasPicture() ||
           window.SizeLabel()->text().startsWith(QLatin1String("Cannot be shown"));
}

// Selects each picture in turn in the main window and waits for its preview.
int MeasureSelection(const QStringList& pictures) {
    constexpr int kPreviewLimitMs = 60 * 1000;
    vistrel::CQRXDlg window;
    for (const QString& path : pictures) {
        window.Repository().AddPicture(path);
    }
    window.RefreshTree();
    window.show();
    QTreeWidget* tree = window.Tree();
    if (tree->topLevelItemCount() != pictures.size()) {
        std::fprintf(stderr, "not every picture could be added\n");
        return 2;
    }
    RunUntil([&] { return PreviewSettled(window); }, kPreviewLimitMs);
    qint64 longest = 0;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        // Away from the item first, so that selecting it previews it anew; no other decode is
        // left running.
        tree->setCurrentItem(nullptr);
        tree->clearSelection();
        RunUntil([] { return false; }, 200);
        Heartbeat heartbeat;
        RunUntil([] { return false; }, 50);
        QElapsedTimer shown;
        shown.start();
        tree->setCurrentItem(item);
        const bool settled = RunUntil([&] { return PreviewSettled(window); }, kPreviewLimitMs);
        const qint64 untilShown = shown.elapsed();
        RunUntil([] { return false; }, 50);
        heartbeat.Stop();
        longest = std::max(longest, heartbeat.LongestGapMs());
        std::printf("%s\n  %s; longest gap %lld ms, gaps over %lld ms: %d; %s after %lld ms\n",
                    qPrintable(item->text(0)), qPrintable(window.SizeLabel()->text()),
                    static_cast<long long>(heartbeat.LongestGapMs()),
                    static_cast<long long>(Heartbeat::kLongGapMs), heartbeat.LongGaps(),
                    settled ? "shown" : "NOT shown", static_cast<long long>(untilShown));
    }
    std::printf("longest gap:       %lld ms\n", static_cast<long long>(longest));
    return 0;
}

// Copies the files under `source` into `target`, keeping the subfolders; the number copied.
int CopyTree(const QString& source, const QString& target) {
    int copied = 0;
    const QDir from(source);
    QDirIterator files(source, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString copy = target + QLatin1Char('/') + from.relativeFilePath(path);
        if (QDir().mkpath(QFileInfo(copy).absolutePath()) && QFile::copy(path, copy)) {
            ++copied;
        }
    }
    return copied;
}

// Says Yes to every question and closes every report, as a user would, while it lives.
class Answerer {
public:
    Answerer() {
        QObject::connect(&timer, &QTimer::timeout, [] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                box->done(QMessageBox::Yes);
            } else if (auto* report = qobject_cast<vistrel::COperationReportDlg*>(modal)) {
                report->accept();
            }
        });
        timer.start(50);
    }

private:
    QTimer timer;
};

// The --undo measure: the longest gaps of a clean-up of every picture of `folder` and of its
// Undo, in a scratch copy with a trash of its own.
int MeasureUndo(const QString& folder) {
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        return 2;
    }
    // Before anything reads these places: the settings and the trash are the scratch folder's.
    qputenv("XDG_CONFIG_HOME", scratch.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", scratch.filePath(QStringLiteral("data")).toLocal8Bit());
    const QString pictures = scratch.filePath(QStringLiteral("pictures"));
    std::printf("files copied:      %d\n", CopyTree(folder, pictures));

    vistrel::CQRXDlg window;
    window.show();
    CPictureRepository& repository = window.Repository();
    {
        vistrel::CSearchProgressDlg scan(&window, &repository, pictures,
                                         vistrel::EnabledExtensions(vistrel::UserSettings{}), {});
        scan.exec();
    }
    // Pairs of pictures that stay what they were compared as: Delete All Similar moves them all.
    for (std::int32_t i = 0; i + 1 < repository.GetCount(); i += 2) {
        repository.AddSimilarPair(CPictureRepository::PairInfo{nullptr, nullptr, i, i + 1, 0.0f});
    }
    window.RefreshTree();
    const int count = repository.GetCount();
    std::printf("pictures added:    %d\n", count);

    const Answerer answerer;
    QElapsedTimer wall;
    wall.start();
    Heartbeat moveBeat;
    window.DeleteAllSimilar();
    moveBeat.Stop();
    const qint64 moveMs = wall.restart();
    const int left = window.Repository().GetCount();
    Heartbeat undoBeat;
    window.UndoMoveToTrash();
    undoBeat.Stop();
    const qint64 undoMs = wall.elapsed();

    std::printf("moved to trash:    %d (%.2f s)\n", count - left,
                static_cast<double>(moveMs) / 1000.0);
    std::printf("longest gap, move: %lld ms\n", static_cast<long long>(moveBeat.LongestGapMs()));
    std::printf("put back by undo:  %d (%.2f s)\n", window.Repository().GetCount() - left,
                static_cast<double>(undoMs) / 1000.0);
    std::printf("longest gap, undo: %lld ms\n", static_cast<long long>(undoBeat.LongestGapMs()));
    return 0;
}

// One step of the --window measure: its wall time and longest gap, printed as it ends.
class Step {
public:
    explicit Step(const char* name) : name(name) { wall.start(); }
    ~Step() {
        heartbeat.Stop();
        std::printf("%-28s %8.3f s, longest gap %5lld ms, gaps over %lld ms: %d\n", name,
                    static_cast<double>(finishedMs >= 0 ? finishedMs : wall.elapsed()) / 1000.0,
                    static_cast<long long>(heartbeat.LongestGapMs()),
                    static_cast<long long>(Heartbeat::kLongGapMs), heartbeat.LongGaps());
        std::fflush(stdout);
    }
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;

    /// The step's work is done: its wall time ends here, while the heartbeat goes on until the
    /// step ends (through the painting that follows).
    void Finished() const { finishedMs = wall.elapsed(); }

private:
    const char* name;
    QElapsedTimer wall;
    mutable qint64 finishedMs = -1;
    Heartbeat heartbeat;
};

// True once every top-level item of the tree has its file's facts.
bool TreeFactsIn(const QTreeWidget& tree) {
    for (int i = tree.topLevelItemCount() - 1; i >= 0; --i) {
        if (!static_cast<const vistrel::PictureTreeItem*>(tree.topLevelItem(i))->HasFacts()) {
            return false;
        }
    }
    return true;
}

// Lets the event loop run until the tree is built, ends `step`'s wall time there, then runs it
// 150 ms more: the view lays its items out and paints them after the call that changed them,
// and a long pause there is the user's pause too.
void SettleTree(const vistrel::CQRXDlg& window, const Step& step) {
    RunUntil([&] { return window.TreeBuilt(); }, 10 * 60 * 1000);
    step.Finished();
    RunUntil([] { return false; }, 150);
}

// The --window measure: the main window's commands on the repository of `file`.
int MeasureWindow(const QString& file, const QString& saved, bool test) {
    constexpr int kSettleLimitMs = 10 * 60 * 1000;
    const auto cache =
        std::make_shared<vistrel::SignatureCache>(vistrel::SignatureCache::DefaultPath());
    vistrel::CQRXDlg window(vistrel::UserSettings{}, cache);
    window.show();
    const Answerer answerer;
    QTreeWidget* tree = window.Tree();
    {
        const Step step("open");
        if (!window.OpenRepositoryFile(file)) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(file));
            return 2;
        }
        SettleTree(window, step);
    }
    CPictureRepository& repository = window.Repository();
    std::int64_t links = 0;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        links += static_cast<std::int64_t>(repository.GetPicture(i).similar.size());
    }
    std::printf("entries %d, links %lld; %s\n", repository.GetCount(),
                static_cast<long long>(links / 2), qPrintable(window.GroupsText()));
    {
        // The sizes and dates come in while the user looks: the tree must keep answering.
        const Step step("sizes and dates read");
        RunUntil([&] { return TreeFactsIn(*tree); }, kSettleLimitMs);
    }
    {
        const Step step("tree rebuild");
        window.RefreshTree();
        SettleTree(window, step);
    }
    {
        const Step step("filter: with similar");
        window.SetFilter(vistrel::ViewFilter::WithSimilar);
        SettleTree(window, step);
    }
    {
        const Step step("filter: with load error");
        window.SetFilter(vistrel::ViewFilter::WithLoadError);
        SettleTree(window, step);
    }
    {
        const Step step("filter: all");
        window.SetFilter(vistrel::ViewFilter::All);
        SettleTree(window, step);
    }
    const char* const sortNames[] = {"sort: path", "sort: dimensions", "sort: file size",
                                     "sort: modified", "sort: difference"};
    for (int column = vistrel::kPathColumn; column <= vistrel::kDifferenceColumn; ++column) {
        const Step step(sortNames[column]);
        tree->header()->setSortIndicator(column, Qt::AscendingOrder);
        SettleTree(window, step);
    }
    {
        const Step step("sort: difference, reversed");
        tree->header()->setSortIndicator(vistrel::kDifferenceColumn, Qt::DescendingOrder);
        SettleTree(window, step);
    }
    {
        const Step step("filter: with similar, sorted");
        window.SetFilter(vistrel::ViewFilter::WithSimilar);
        SettleTree(window, step);
    }
    {
        const Step step("filter: all, sorted");
        window.SetFilter(vistrel::ViewFilter::All);
        SettleTree(window, step);
    }
    {
        const Step step("repository order");
        window.ShowRepositoryOrder();
        SettleTree(window, step);
    }
    {
        const Step step("group count");
        const std::vector<vistrel::PictureGroup> groups = vistrel::ListPictureGroups(repository);
        std::printf("groups %zu\n", groups.size());
    }
    {
        std::unique_ptr<vistrel::CKeepOneDlg> keep;
        {
            const Step step("keep one: dialog shown");
            keep = std::make_unique<vistrel::CKeepOneDlg>(repository, false, &window);
            keep->show();
            RunUntil([] { return false; }, 50);
        }
        {
            const Step step("keep one: until facts read");
            RunUntil([&] { return keep->Model()->AllFactsRead(); }, kSettleLimitMs);
        }
        // Scrolled to its end, as a user checking the last groups would.
        const Step step("keep one: to the last group");
        keep->GroupView()->scrollToBottom();
        RunUntil([] { return false; }, 200);
    }
    {
        const std::optional<vistrel::SimilarPair> first =
            vistrel::StepSimilarPair(repository, std::nullopt, true).pair;
        if (first) {
            // The main window owns it, as Compare Side by Side makes it.
            auto* compare = new vistrel::CompareWindow(window, window);
            const Step step("compare: 20 next, 20 previous");
            compare->ShowPair(repository.GetPicture(first->first).path,
                              repository.GetPicture(first->second).path);
            for (int i = 0; i < 40; ++i) {
                if (i < 20) {
                    compare->NextPair();
                } else {
                    compare->PreviousPair();
                }
                RunUntil([] { return false; }, 20);
            }
            std::printf("%s\n", qPrintable(compare->PairLabel()->text()));
            compare->close();
        }
    }
    {
        const Step step("save");
        QString reason;
        if (!repository.SaveToFile(saved, &reason)) {
            std::fprintf(stderr, "cannot save %s: %s\n", qPrintable(saved), qPrintable(reason));
        }
    }
    if (test) {
        const Step step("test (a run)");
        window.TestRepository();
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QStringList arguments = QApplication::arguments().mid(1);
    if (!arguments.isEmpty() && arguments[0] == QLatin1String("--select")) {
        return arguments.size() > 1 ? MeasureSelection(arguments.mid(1)) : Usage();
    }
    if (arguments.size() >= 3 && arguments[0] == QLatin1String("--window")) {
        const bool test = !arguments.contains(QStringLiteral("--no-test"));
        return MeasureWindow(arguments[1], arguments[2], test);
    }
    if (arguments.size() == 2 && arguments[0] == QLatin1String("--undo")) {
        return MeasureUndo(arguments[1]);
    }
    std::shared_ptr<vistrel::SignatureCache> cache;
    if (arguments.removeAll(QStringLiteral("--cache")) > 0) {
        cache = std::make_shared<vistrel::SignatureCache>(vistrel::SignatureCache::DefaultPath());
    }
    const bool open = arguments.size() == 2 && arguments[0] == QLatin1String("--open");
    const bool save = arguments.size() == 3 && arguments[1] == QLatin1String("--save");
    if (!open && !save && arguments.size() != 1) {
        return Usage();
    }

    CPictureRepository repository;
    QElapsedTimer wall;
    wall.start();
    Heartbeat heartbeat;
    if (open) {
        vistrel::CLoadWaitDlg wait;
        wait.params.repository = &repository;
        wait.params.path = arguments[1];
        wait.params.cache = cache;
        if (wait.exec() != 1 || !wait.params.succeeded) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(arguments[1]));
            return 2;
        }
    } else {
        // The settings of a first start.
        vistrel::CSearchProgressDlg scan(nullptr, &repository, arguments[0],
                                         vistrel::EnabledExtensions(vistrel::UserSettings{}),
                                         vistrel::SigningLimits{.cache = cache});
        scan.exec();
    }
    heartbeat.Stop();
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;

    std::printf("pictures added:    %d\n", repository.GetCount());
    std::printf("wall time:         %.2f s\n", seconds);
    std::printf("longest gap:       %lld ms\n", static_cast<long long>(heartbeat.LongestGapMs()));
    std::printf("gaps over %lld ms:  %d\n", static_cast<long long>(Heartbeat::kLongGapMs),
                heartbeat.LongGaps());
    if (save) {
        QString reason;
        if (!repository.SaveToFile(arguments[2], &reason)) {
            std::fprintf(stderr, "cannot save %s: %s\n", qPrintable(arguments[2]),
                         qPrintable(reason));
            return 2;
        }
    }
    return 0;
}
