// Fuzz target for the repository file loader: whatever the bytes, the load either fails with an
// empty repository or gives entries whose links are sound and nothing beyond its last record;
// saving that repository and loading it again gives it back unchanged; and a save that runs
// out of room (the process's file size limit, at a size taken from the input) fails, says why,
// and leaves the earlier file exactly as it was.
//
// Built with libFuzzer (VISTREL_LIBFUZZER) it is driven by the fuzzer; otherwise its main reads
// the files named on the command line, or a few built-in inputs when there are none.
//
// Paths in the input are handed to the picture decoder like any loaded path; it opens regular
// files only, so nothing blocks, but relative paths are read from the working folder: run it in
// an empty one.

#include "repository/PictureRepository.h"
#include "repository/RepositoryLoader.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "repository file fuzz: %s\n", what);
        std::abort();
    }
}

void CheckSound(const vistrel::CPictureRepository& repository) {
    QSet<QString> paths;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        const vistrel::CPictureInfo& entry = repository.GetPicture(i);
        Require(!entry.path.isEmpty(), "an entry with an empty path");
        Require(!paths.contains(entry.path), "two entries with one path");
        paths.insert(entry.path);
        for (const vistrel::CSimilarInfo& link : entry.similar) {
            Require(link.index >= 0 && link.index < repository.GetCount(), "a dangling link");
            Require(link.index != i, "a link to its owner");
            Require(link.factor >= 0 && link.factor <= 100, "a factor out of range");
        }
    }
}

bool Load(vistrel::CPictureRepository& repository, QByteArray bytes) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return vistrel::ReadRepository(repository, buffer);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    Require(file.open(QIODevice::ReadOnly), "a saved file that cannot be read");
    return file.readAll();
}

// Saves `repository` over the file `earlier` with the file size limited to `limit` bytes: the
// save either writes the whole file or fails with a reason and leaves the earlier file alone.
void SaveWithLimitedRoom(vistrel::CPictureRepository& repository, const QString& file,
                         rlim_t limit) {
    const QByteArray before = ReadFile(file);
    const bool wasModified = repository.IsModified();
    rlimit previous{};
    Require(getrlimit(RLIMIT_FSIZE, &previous) == 0, "no file size limit to read");
    rlimit small = previous;
    small.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &small);
    QString reason;
    const bool saved = repository.SaveToFile(file, &reason);
    setrlimit(RLIMIT_FSIZE, &previous);
    if (saved) {
        Require(!repository.IsModified(), "a good save that kept the modified flag");
        return;
    }
    Require(!reason.isEmpty(), "a failed save without a reason");
    Require(repository.IsModified() == wasModified, "a failed save that changed the flag");
    Require(ReadFile(file) == before, "a failed save that changed the earlier file");
}

void FuzzOne(const QByteArray& bytes) {
    vistrel::CPictureRepository first;
    if (!Load(first, bytes)) {
        Require(first.IsEmpty(), "a failed load that kept entries");
        return;
    }
    CheckSound(first);
    Require(!first.IsModified(), "a repository just opened counts as modified");

    QTemporaryDir folder;
    Require(folder.isValid(), "no temporary folder");
    const QString file = folder.filePath(QStringLiteral("again.qrx"));
    Require(first.SaveToFile(file), "a loaded repository that cannot be saved");
    const QByteArray saved = ReadFile(file);
    // Strict reading: the writer gives back every byte it read but a missing final line feed
    // and the links with factors it drops.
    Require(saved.size() <= bytes.size() + 2, "a load that accepted bytes after the end");
    vistrel::CPictureRepository second;
    Require(Load(second, saved), "a saved repository that does not load");
    Require(second.GetCount() == first.GetCount(), "a round trip changed the entry count");
    for (std::int32_t i = 0; i < first.GetCount(); ++i) {
        Require(second.GetPicture(i).path == first.GetPicture(i).path,
                "a round trip changed a path");
        Require(second.GetPicture(i).similar == first.GetPicture(i).similar,
                "a round trip changed links");
    }

    second.AddPicture(QStringLiteral("/changed/since/opened.jpg"));
    SaveWithLimitedRoom(second, file, static_cast<rlim_t>(bytes.size()) / 2);
}

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "RepositoryFileFuzz";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        static QCoreApplication application(argc, argv);
        // A write beyond the file size limit fails with EFBIG instead of ending the process.
        std::signal(SIGXFSZ, SIG_IGN);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    EnsureApplication();
    FuzzOne(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}

#ifndef VISTREL_LIBFUZZER
namespace {

QByteArray Utf16Le(const char16_t* text) {
    QByteArray bytes;
    for (; *text != 0; ++text) {
        bytes.append(static_cast<char>(*text & 0xFF));
        bytes.append(static_cast<char>(*text >> 8));
    }
    return bytes;
}

}  // namespace

int main(int argc, char* argv[]) {
    EnsureApplication();
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            QFile input(QString::fromLocal8Bit(argv[i]));
            if (!input.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 2;
            }
            FuzzOne(input.readAll());
        }
        return 0;
    }
    // Inputs that reach every branch of the loader: good files, names with line feeds, repeated
    // and missing paths, links out of range, cut records, loose numbers, absurd lengths and a
    // stray byte.
    const char16_t* const texts[] = {
        u"3\n8\n/a\nb.jpg\n1\n2\n9\n3\n/\n\n\n0\n3\n/\tc\n1\n0\n9\n",
        u"1\n6\n/a.jpg\n0\n\n",
        u"1\n6\n/a.jpg\n0\n5\n",
        u"0\n",
        u"2\n6\n/a.jpg\n1\n1\n3\n6\n/b.jpg\n1\n0\n3",
        u"4\n2\n/a\n1\n1\n9\n2\n/a\n1\n3\n8\n2\n/b\n1\n3\n7\n2\n/c\n3\n1\n4\n2\n5\n3\n6\n",
        u"3\n0\n\n1\n2\n4\n-1\n0\n2\n/b\n1\n0\n3\n",
        u"1\n9\n/a.jpg\n0\n",
        u"1\n2\n/abcdef\n0\n",
        u"2\n2\n/a\n2\n1\n101\n5\n4\n2\n/b\n1\n0\n-1\n",
        u"2\n6\n/a.jpg\n0\n6\n",
        u"1\n2000000000\n/a\n0\n",
        u"2147483647\n2\n/a\n0\n",
        u" +1\r\n  2x\n/q\n0\n",
    };
    for (const char16_t* text : texts) {
        FuzzOne(Utf16Le(text));
    }
    FuzzOne(QByteArray("\x31", 1));
    FuzzOne(QByteArray());
    std::puts("repository file fuzz: built-in inputs passed");
    return 0;
}
#endif
