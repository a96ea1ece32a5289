#pragma once

#include "signature/SigningLimits.h"

#include <QString>
#include <QStringList>

namespace vistrel {
class CPictureRepository;
}

namespace vistrel::cli {

class Console;

/// Fills the repository from the sources of the command line, in their order: a folder is
/// scanned as Add To Repository scans it, a ".qrx" file is loaded as Open Repository loads it,
/// any other file is added as one picture. Keeps the time of each phase for the summary.
class SourceLoader {
public:
    /// `extensions`: what a folder scan looks for (EnabledExtensions); `signing`: how every
    /// source's signatures are made (threads, 0 for one per core; the signature cache, null for
    /// none). The repository's signatures are kept in a store beside the cache (or in the
    /// temporary folder without one).
    SourceLoader(CPictureRepository& repository, Console& console, QStringList extensions,
                 SigningLimits signing = {});

    /// What a folder scan leaves out (ScanExclusions): the stored exclusions and --exclude.
    void SetExclusions(QStringList patterns) { exclusions = std::move(patterns); }

    /// Checks that `source` exists and can be opened, without reading it, so that a mistyped
    /// last source fails before a long scan of the first ones. False with `error` set.
    static bool CheckSource(const QString& source, QString& error);

    /// Adds one source. False, with `error` set to a one-line reason, when the source cannot be
    /// read at all; unreadable pictures and subfolders inside it are only warnings.
    bool AddSource(const QString& source, QString& error);

    /// Adds one picture file, as Add To Repository adds it: nothing when an entry holds the
    /// file already (FindFile tells which), an entry with `loadError` when it cannot be read.
    void AddPicture(const QString& path);

    double ScanSeconds() const { return scanSeconds; }
    double LoadSeconds() const { return loadSeconds; }
    bool Scanned() const { return scanned; }
    bool Loaded() const { return loaded; }

private:
    bool AddOneSource(const QString& source, QString& error);
    /// Warns once when the signatures are held in memory rather than in their store's file;
    /// false, with `error` set, when memory ran short and pictures were left out.
    bool SignaturesKept(QString& error);
    void ScanFolder(const QString& folder);
    bool LoadRepositoryFile(const QString& file, QString& error);
    void WarnUnreadableFrom(int firstIndex);

    CPictureRepository& repository;
    Console& console;
    const QStringList extensions;
    const SigningLimits signing;
    QStringList exclusions;
    double scanSeconds = 0.0;
    double loadSeconds = 0.0;
    bool scanned = false;
    bool loaded = false;
    bool storeWarned = false;
};

/// The absolute, cleaned form of a path given on the command line (symbolic links kept), so
/// that the same file named in two ways is one entry.
QString AbsolutePath(const QString& path);

/// The system's reason why `path` cannot be opened for reading, or an empty string.
QString UnreadableReason(const QString& path, bool folder);

/// Why the picture file `path`, which did not decode, cannot be read (DiagnoseUnreadablePicture):
/// "the file is cut short", "it is not a picture", ...
QString UnreadablePictureReason(const QString& path);

/// Why `path`, named as one picture, cannot be read as one: missing, a folder, not a regular
/// file (a FIFO or a device named like a picture could block or never end), or the system's
/// reason. Empty when it can be opened.
QString PictureFileProblem(const QString& path);

}  // namespace vistrel::cli
