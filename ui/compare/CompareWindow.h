#pragma once

#include "ComparePicture.h"
#include "CompareView.h"
#include "cleanup/PictureFacts.h"
#include "repository/SimilarPairs.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>

class QGridLayout;
class QLabel;
class QPushButton;

namespace vistrel {

class CompareWindowHost;
class ComparePanel;
template <typename Result>
class LatestJob;

/// The "Compare Side by Side" window: two similar pictures of the main window's repository side
/// by side at full quality, zoomed and panned together, with their facts, the pair's difference
/// factor, a blinking and a difference view, and the commands to move either file to the trash
/// and to step through every similar pair. It knows the pair only by the two paths and finds it
/// again in the repository whenever it acts, so that no change in the main window leaves it
/// with a stale index. Pictures are decoded on worker threads. One per main window, which owns
/// it (`parent`) and serves it (`host`, usually the same window). GUI thread.
class CompareWindow : public QWidget {
    Q_OBJECT

public:
    enum Side { kLeft = 0, kRight = 1 };

    CompareWindow(QWidget& parent, CompareWindowHost& host);
    ~CompareWindow() override;

    /// Shows the pair of the entries at these paths, with `note` in the window's note line, and
    /// brings the window to the front.
    void ShowPair(const QString& leftPath, const QString& rightPath, const QString& note = {});

    QString Path(Side side) const { return paths[side]; }
    ComparePanel* Panel(Side side) const { return panels[side]; }
    CompareView* View(Side side) const { return views[side]; }
    QLabel* FactorLabel() const { return factorLabel; }
    /// "Pair N of M": where the pair shown stands in the walk of Next Pair.
    QLabel* PairLabel() const { return pairLabel; }
    QLabel* NoteLabel() const { return noteLabel; }
    QPushButton* MarkButton() const { return markButton; }
    /// True while a picture, its facts or the difference view is still being worked out.
    bool IsLoading() const;

public slots:
    void NextPair();
    void PreviousPair();
    /// Asks to move that side's file to the trash (the main window's question and Undo record,
    /// with a warning and No as the default when the other file of the pair is missing or cannot
    /// be read now); once it went, shows the next pair that remains, or closes when none does.
    void TrashPicture(Side side);
    /// Marks the pair shown as not similar (through the main window, so that Undo takes it
    /// back); it then leaves the similar pairs, and the next pair that remains is shown, or the
    /// window closes when none does.
    void MarkNotSimilar();
    /// Finds the pair again after the main window changed the repository: its factor, or that it
    /// is no longer a similar pair (the trash buttons are then off, and Next Pair starts over).
    void RepositoryChanged();
    void SetBlink(bool on);
    void SetDifference(bool on);
    void FitToWindow();
    /// The larger picture at one screen pixel per picture pixel.
    void ActualSize();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct ReadFacts {
        QString path;
        PictureFacts facts;
    };
    struct Difference {
        QString first;
        QString second;
        PictureLevels map;
    };
    /// Which picture of the pair `first`, `second` is an enlargement of the other.
    struct Enlargement {
        QString first;
        QString second;
        std::array<bool, 2> enlarged{};
    };

    void BuildControls();
    void BuildKeys();
    void Step(bool forward);
    /// The paths of the pair `step` leads to (empty at the end), taken before the repository
    /// changes: the entries' indices change when a file goes or a pair is marked, their paths do
    /// not.
    std::array<QString, 2> PathsOfStep(const PairStep& step) const;
    /// After the shown pair left the similar pairs: shows the pair at `next` with `note`, or
    /// closes the window when it is no similar pair any more.
    void GoOnTo(const std::array<QString, 2>& next, const QString& note);
    /// Reads that side's file and facts (or takes `reuse`, decoded before in `orientation`), the
    /// picture turned into `orientation`.
    void StartLoading(Side side, Orientation orientation, const LoadedPicture* reuse,
                      const std::optional<PictureFacts>& facts);
    /// The facts the window shows of the file at `path`: the file's and, where it can be read,
    /// the photo's own data (ReadCameraData). A worker's: it reads the file.
    static PictureFacts ReadShownFacts(const QString& path);
    /// Reads the facts of that side's file once more: it may have gone or changed.
    void ReadFactsAgain(Side side);
    void PictureLoaded(Side side, const LoadedPicture& loaded);
    void FactsRead(Side side, const ReadFacts& read);
    void DifferenceMade(const Difference& made);
    /// Once both pictures are decoded: whether either is an enlargement of the other, on a
    /// worker, for the mark of pixels.
    void MeasureEnlargement();
    void EnlargementMeasured(const Enlargement& measured);
    /// Puts the pictures, the blinking one or the difference into the views.
    void ShowViews();
    void ShowSide(CompareView* view, Side side, const QString& caption);
    void ShowFacts();
    void ShowFactor();
    void UpdateZoomLabel();
    /// The scale at which the larger picture fits the views.
    double SmallestFit() const;
    void StopWork();
    void SaveGeometry() const;

    CompareWindowHost& host;
    std::array<QString, 2> paths;
    std::array<std::optional<PictureFacts>, 2> facts;
    std::array<std::optional<LoadedPicture>, 2> pictures;
    std::optional<PictureLevels> difference;
    std::array<std::unique_ptr<LatestJob<LoadedPicture>>, 2> loaders;
    std::array<std::unique_ptr<LatestJob<ReadFacts>>, 2> factReaders;
    std::unique_ptr<LatestJob<Difference>> differ;
    /// By side: the picture is an enlargement of the other; nothing until measured.
    std::optional<std::array<bool, 2>> enlargements;
    std::unique_ptr<LatestJob<Enlargement>> enlarger;
    ViewZoom zoom;
    /// The pair is no longer a similar pair of the repository.
    bool stale = false;
    /// The window's own trash or mark command is changing the repository.
    bool trashing = false;
    bool blinkShowsRight = false;
    /// One view takes the place of both (blinking or difference).
    bool singleView = false;
    QTimer blinkTimer;

    QLabel* factorLabel = nullptr;
    QLabel* pairLabel = nullptr;
    QLabel* noteLabel = nullptr;
    QLabel* zoomLabel = nullptr;
    QPushButton* previousButton = nullptr;
    QPushButton* nextButton = nullptr;
    QPushButton* fitButton = nullptr;
    QPushButton* actualButton = nullptr;
    QPushButton* blinkButton = nullptr;
    QPushButton* differenceButton = nullptr;
    QPushButton* markButton = nullptr;
    QPushButton* closeButton = nullptr;
    std::array<CompareView*, 2> views{};
    std::array<ComparePanel*, 2> panels{};
    QGridLayout* grid = nullptr;
};

}  // namespace vistrel
