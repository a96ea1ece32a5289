// A whole test of a real folder of pictures, timed:
//   vistrel_corpus_run FOLDER [--workers N] [--threshold T] [--shape-only] [--turned]
//                      [--signatures CACHE] [--copies N [--near-copies SHARE]
//                      [--memory-reserve MB]] [--reference] [--check]
// Adds every picture of the enabled formats (hidden names skipped), then compares every pair
// and prints the wall time of both phases, pairs per second, the number of similar pairs, the
// peak memory of the process and the kernels it used (the processor's best, or VISTREL_SIMD's
// choice). The signatures are kept in a store file in FOLDER (the temporary folder unless --store
// says; --in-memory keeps them in memory), as the program does. CACHE keeps the signatures between
// runs (written when missing), so that the comparison can be timed alone. --copies grows the set to
// N entries made from the real signatures (see CorpusGrowth.h): new pictures (crops, blends, colour
// changes, noise) and a share of near-copies of earlier entries (0.1 unless --near-copies says),
// deterministic; the growth stops early, and says so, when the machine would keep less than the
// reserve (3000 MB unless --memory-reserve says) available. --reference also times the plain walk
// (one thread, scalar reference arithmetic, no pruning) and prints the ratio. --turned also finds
// turned and mirrored copies. --check runs the first 300 readable pictures again at thresholds from
// strict to lax, in both modes, at every instruction set the processor has, and checks that the
// links are exactly those of the plain walk (exit status 2 when they are not).

#include "CorpusGrowth.h"
#include "comparison/kernels/BlockedKernel.h"
#include "comparison/kernels/DifferenceFactor.h"
#include "comparison/kernels/DifferenceKernel.h"
#include "comparison/kernels/SimdLevel.h"
#include "repository/PictureRepository.h"
#include "run/ComparisonRun.h"
#include "settings/UserSettings.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

namespace {

using vistrel::CPictureRepository;

long PeakMemoryMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// The process's own memory now (RssAnon), without the pages of mapped files, in MB: the peak
// above counts the store's pages the run has read, which are the system's file cache.
long AnonymousMemoryMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("RssAnon:")) {
            return line.mid(8).trimmed().split(' ').value(0).toLong() / 1024;
        }
    }
    return 0;
}

// The processor time of the whole process so far, user and system, in seconds: on a machine
// shared with other work it varies far less than the wall time.
double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Signatures are made on `workers` threads (0: one per core), the entries appended in the
// listing's order.
void AddFolder(CPictureRepository& repository, const QString& folder, int workers) {
    const QStringList extensions = vistrel::EnabledExtensions(vistrel::UserSettings{});
    QStringList patterns;
    for (const QString& extension : extensions) {
        patterns << QLatin1Char('*') + extension;
    }
    std::vector<QString> paths;
    QDirIterator files(folder, patterns, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (!path.contains(QLatin1String("/."))) {
            paths.push_back(path);
        }
    }
    repository.AddPictures(paths, {workers});
}

// The cache: per entry its path and its signature bytes (empty when unreadable).
bool LoadCache(CPictureRepository& repository, const QString& cache) {
    QFile file(cache);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    QDataStream in(&file);
    while (!in.atEnd()) {
        QString path;
        QByteArray bytes;
        in >> path >> bytes;
        // No such file: the entry is known by its path alone.
        repository.AddSignedPicture(
            QStringLiteral("cached:") + path,
            vistrel::SignatureBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end())));
    }
    return true;
}

void SaveCache(const CPictureRepository& repository, const QString& cache) {
    QFile file(cache);
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    QDataStream out(&file);
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        const auto& entry = repository.GetPicture(i);
        out << entry.path
            << QByteArray(reinterpret_cast<const char*>(entry.signature.data()),
                          static_cast<qsizetype>(entry.signature.size()));
    }
}

void PrintGrowth(const vistrel::bench::GrowthResult& growth,
                 const vistrel::bench::GrowthOptions& options, std::int32_t count) {
    using vistrel::bench::NearCopyKind;
    const auto kind = [&growth](NearCopyKind which) {
        return growth.nearCopies[static_cast<std::size_t>(which)];
    };
    std::printf(
        "grown: %d entries in %.1f s: %d new pictures (%d blending two), %zu near-copies "
        "(%d perturbed, %d trimmed, %d recoloured, %d resized)\n",
        growth.added, growth.seconds, growth.newPictures, growth.mixed, growth.nearCopyOf.size(),
        kind(NearCopyKind::Perturbed), kind(NearCopyKind::Trimmed), kind(NearCopyKind::Recoloured),
        kind(NearCopyKind::Resized));
    if (growth.stoppedForMemory) {
        std::printf(
            "growth stopped at %d of %d entries: one more batch would leave less than %lld MB "
            "available (%lld MB now)\n",
            count, options.total, static_cast<long long>(options.reserveMb),
            static_cast<long long>(growth.availableMb));
    }
}

// How many near-copies the run found similar to the entry they copy, in all and by kind, and
// how many pairs of new pictures it found similar (few: they are meant to be different).
void PrintNearCopiesFound(const CPictureRepository& repository,
                          const vistrel::bench::GrowthResult& growth) {
    std::array<std::size_t, static_cast<std::size_t>(vistrel::bench::NearCopyKind::Count)> found{};
    for (const auto& nearCopy : growth.nearCopyOf) {
        const auto& links = repository.GetPicture(nearCopy.copy).similar;
        if (std::any_of(links.begin(), links.end(), [&nearCopy](const vistrel::CSimilarInfo& link) {
                return link.index == nearCopy.source;
            })) {
            ++found[static_cast<std::size_t>(nearCopy.kind)];
        }
    }
    std::vector<bool> nearCopy(static_cast<std::size_t>(repository.GetCount()));
    for (const auto& entry : growth.nearCopyOf) {
        nearCopy[static_cast<std::size_t>(entry.copy)] = true;
    }
    const auto isNewPicture = [&](std::int32_t index) {
        return index >= growth.firstAdded && !nearCopy[static_cast<std::size_t>(index)];
    };
    std::int64_t betweenNew = 0;
    for (std::int32_t i = growth.firstAdded; i < repository.GetCount(); ++i) {
        for (const vistrel::CSimilarInfo& link : repository.GetPicture(i).similar) {
            betweenNew += link.index > i && isNewPicture(i) && isNewPicture(link.index) ? 1 : 0;
        }
    }
    std::printf("of which between two new pictures: %lld\n", static_cast<long long>(betweenNew));
    std::printf(
        "of which near-copies and the entry they copy: %zu of %zu (perturbed %zu of %d, "
        "trimmed %zu of %d, recoloured %zu of %d, resized %zu of %d)\n",
        found[0] + found[1] + found[2] + found[3], growth.nearCopyOf.size(), found[0],
        growth.nearCopies[0], found[1], growth.nearCopies[1], found[2], growth.nearCopies[2],
        found[3], growth.nearCopies[3]);
}

std::int64_t ReferenceWalk(const CPictureRepository& repository, float threshold, bool shapeOnly,
                           bool turned) {
    std::int64_t similar = 0;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        const std::uint8_t* a = repository.GetPicture(i).signature.data();
        for (std::int32_t j = i + 1; j < repository.GetCount() && a != nullptr; ++j) {
            const std::uint8_t* b = repository.GetPicture(j).signature.data();
            if (b == nullptr) {
                continue;
            }
            vistrel::Orientation orientation = vistrel::Orientation::None;
            const float factor = turned ? vistrel::ComputeTurnedDifferenceReference(
                                              a, b, 100, shapeOnly, orientation)
                                        : vistrel::ComputeDifferenceReference(b, a, 100, shapeOnly);
            if (vistrel::IsSimilarFactor(factor, threshold / 2)) {
                ++similar;
            }
        }
    }
    return similar;
}

// The links of every entry as the plain walk leaves them: every pair in order, no pruning, the
// scalar reference arithmetic.
std::vector<std::vector<vistrel::CSimilarInfo>> ReferenceLinks(const CPictureRepository& repository,
                                                               float threshold, bool shapeOnly) {
    std::vector<std::vector<vistrel::CSimilarInfo>> links(
        static_cast<std::size_t>(repository.GetCount()));
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        for (std::int32_t j = i + 1; j < repository.GetCount(); ++j) {
            const float factor = vistrel::ComputeDifferenceReference(
                repository.GetPicture(i).signature.data(),
                repository.GetPicture(j).signature.data(), 100, shapeOnly);
            if (vistrel::IsSimilarFactor(factor, threshold / 2)) {
                const auto truncated = static_cast<std::int32_t>(factor);
                links[static_cast<std::size_t>(j)].push_back({i, truncated});
                links[static_cast<std::size_t>(i)].push_back({j, truncated});
            }
        }
    }
    return links;
}

// Whatever the bounds skip, the links, their factors and their order must be those of the plain
// walk: checked on the first 300 readable entries in both modes, from strict to lax thresholds,
// at every instruction set level this processor has. Prints a line per case; true when all agree.
// Whether `rows` entries spread evenly over the repository have exactly the links a plain walk
// gives them: every other entry compared in full, in one pass over the entries (the store is read
// in order, once) on two threads. Prints what it finds; false on the first difference.
bool CheckSampleRows(const CPictureRepository& repository, float threshold, bool shapeOnly,
                     std::int32_t rows) {
    const std::int32_t count = repository.GetCount();
    // Half the rows spread over every entry, half over the entries the run linked: a row
    // without links shows no link lost by the run unless the walk finds one.
    std::vector<std::int32_t> linked;
    for (std::int32_t i = 0; i < count; ++i) {
        if (!repository.GetPicture(i).similar.empty()) {
            linked.push_back(i);
        }
    }
    std::vector<std::int32_t> sample;
    for (std::int32_t k = 0; k < rows; ++k) {
        const bool fromLinked = k % 2 == 1 && !linked.empty();
        const std::int64_t among = fromLinked ? static_cast<std::int64_t>(linked.size()) : count;
        const auto at = static_cast<std::size_t>(
            among * k / rows + (k * 7919) % std::max<std::int64_t>(1, among / rows));
        const std::int32_t row = fromLinked ? linked[at] : static_cast<std::int32_t>(at);
        if (!repository.GetPicture(row).loadError &&
            std::find(sample.begin(), sample.end(), row) == sample.end()) {
            sample.push_back(row);
        }
    }
    std::vector<std::vector<std::int32_t>> found(sample.size());
    const auto walk = [&](std::int32_t from, std::int32_t to,
                          std::vector<std::vector<std::int32_t>>& into) {
        for (std::int32_t j = from; j < to; ++j) {
            const std::uint8_t* b = repository.GetPicture(j).signature.data();
            if (b == nullptr || repository.GetPicture(j).loadError) {
                continue;
            }
            for (std::size_t k = 0; k < sample.size(); ++k) {
                const std::int32_t i = sample[k];
                if (i == j) {
                    continue;
                }
                const std::uint8_t* a = repository.GetPicture(i).signature.data();
                // As the run orders a pair: the later entry's signature first.
                const float factor = j > i ? vistrel::ComputeDifference(b, a, 100, shapeOnly)
                                           : vistrel::ComputeDifference(a, b, 100, shapeOnly);
                if (vistrel::IsSimilarFactor(factor, threshold / 2)) {
                    into[k].push_back(j);
                }
            }
        }
    };
    std::vector<std::vector<std::int32_t>> secondHalf(sample.size());
    std::thread second([&] { walk(count / 2, count, secondHalf); });
    walk(0, count / 2, found);
    second.join();
    std::int64_t linkCount = 0;
    for (std::size_t k = 0; k < sample.size(); ++k) {
        found[k].insert(found[k].end(), secondHalf[k].begin(), secondHalf[k].end());
        std::vector<std::int32_t> links;
        for (const vistrel::CSimilarInfo& link : repository.GetPicture(sample[k]).similar) {
            links.push_back(link.index);
        }
        std::sort(links.begin(), links.end());
        linkCount += static_cast<std::int64_t>(links.size());
        if (links != found[k]) {
            std::printf("sample: entry %d has %zu links, the plain walk finds %zu\n", sample[k],
                        links.size(), found[k].size());
            return false;
        }
    }
    std::printf("sample: %zu rows (%lld links) agree with the plain walk over all %d entries\n",
                sample.size(), static_cast<long long>(linkCount), count);
    return true;
}

bool CheckAgainstPlainWalk(const CPictureRepository& source) {
    CPictureRepository repository;
    for (std::int32_t i = 0; i < source.GetCount() && repository.GetCount() < 300; ++i) {
        if (!source.GetPicture(i).loadError) {
            repository.AddSignedPicture(source.GetPicture(i).path, source.GetPicture(i).signature);
        }
    }
    std::printf("check: %d readable pictures against the plain walk\n", repository.GetCount());
    for (std::size_t i = 0; i < vistrel::kSimdLevels; ++i) {
        if (const auto level = static_cast<vistrel::SimdLevel>(i); !vistrel::ProcessorHas(level)) {
            std::printf("check: %s not checked: this processor lacks it\n",
                        vistrel::SimdLevelName(level));
        }
    }
    bool allAgree = true;
    for (const bool shapeOnly : {false, true}) {
        for (const float threshold : {1.0f, 4.0f, 10.0f, 50.0f, 99.0f}) {
            const auto expected = ReferenceLinks(repository, threshold, shapeOnly);
            std::size_t links = 0;
            for (const auto& list : expected) {
                links += list.size();
            }
            std::printf("check: threshold %.0f%s, %zu similar pairs:", threshold,
                        shapeOnly ? ", shape only" : "", links / 2);
            for (const vistrel::SimdLevel level : vistrel::AvailableSimdLevels()) {
                const vistrel::ScopedSimdLevel forced(level);
                vistrel::ComparisonRun run(repository, {threshold, shapeOnly, false, -1, 2});
                run.Run();
                bool same = true;
                for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
                    same = same && repository.GetPicture(i).similar ==
                                       expected[static_cast<std::size_t>(i)];
                }
                std::printf(" %s %s", vistrel::SimdLevelName(level), same ? "agrees" : "DIFFERS");
                allAgree = allAgree && same;
            }
            std::printf("\n");
        }
    }
    return allAgree;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it comes, also into a file
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr,
                     "usage: %s FOLDER [--workers N] [--threshold T] [--shape-only] [--turned] "
                     "[--signatures CACHE] [--copies N [--near-copies SHARE] "
                     "[--memory-reserve MB]] [--store FOLDER | --in-memory] [--reference] "
                     "[--sample ROWS] [--check]\n",
                     argv[0]);
        return 1;
    }
    const auto option = [&arguments](const char* name) {
        const qsizetype at = arguments.indexOf(QString::fromLatin1(name));
        return at > 0 && at + 1 < arguments.size() ? arguments[at + 1] : QString();
    };
    const int workers = option("--workers").toInt();
    float threshold = vistrel::ComparisonOptions{}.threshold;
    if (!option("--threshold").isEmpty()) {
        threshold = option("--threshold").toFloat();
    }
    const bool shapeOnly = arguments.contains(QStringLiteral("--shape-only"));
    const bool turned = arguments.contains(QStringLiteral("--turned"));
    const QString cache = option("--signatures");

    CPictureRepository repository;
    if (!arguments.contains(QStringLiteral("--in-memory"))) {
        const QString store = option("--store");
        repository.UseSignatureStore(
            std::make_shared<vistrel::SignatureStore>(store.isEmpty() ? QDir::tempPath() : store));
    }
    QElapsedTimer clock;
    clock.start();
    if (cache.isEmpty() || !LoadCache(repository, cache)) {
        AddFolder(repository, arguments[1], workers);
        if (!cache.isEmpty()) {
            SaveCache(repository, cache);
        }
    }
    std::optional<vistrel::bench::GrowthResult> growth;
    if (!option("--copies").isEmpty()) {
        vistrel::bench::GrowthOptions growing;
        growing.total = option("--copies").toInt();
        growing.workers = workers;
        if (!option("--near-copies").isEmpty()) {
            growing.nearCopyShare = option("--near-copies").toDouble();
        }
        if (!option("--memory-reserve").isEmpty()) {
            growing.reserveMb = option("--memory-reserve").toLongLong();
        }
        growth = vistrel::bench::GrowCorpus(repository, growing);
        PrintGrowth(*growth, growing, repository.GetCount());
    }
    const double addSeconds = clock.elapsed() / 1000.0;
    const long memoryAfterAdding = PeakMemoryMb();
    long anonymousPeak = AnonymousMemoryMb();
    if (const vistrel::SignatureStore* store = repository.Store()) {
        if (!store->Warning().isEmpty()) {
            std::printf("%s\n", qPrintable(store->Warning()));
        }
        std::printf("signature store: %.1f GB in its file\n", store->FileBytes() / 1e9);
    }

    vistrel::ComparisonRun run(repository, {threshold, shapeOnly, turned, -1, workers});
    clock.restart();
    const double processorBefore = ProcessorSeconds();
    run.StartComparison();
    const double startSeconds = clock.nsecsElapsed() / 1e9;
    while (!run.WaitAndCollect(std::chrono::milliseconds(20))) {
        anonymousPeak = std::max(anonymousPeak, AnonymousMemoryMb());
    }
    const double compareSeconds = clock.nsecsElapsed() / 1e9;
    const double compareProcessor = ProcessorSeconds() - processorBefore;
    anonymousPeak = std::max(anonymousPeak, AnonymousMemoryMb());
    if (!run.Fault().isEmpty()) {
        std::printf("%s\n", qPrintable(run.Fault()));
    }
    const std::int32_t started = run.Workers();
    const std::uint64_t pairs = run.Pairs();

    std::int64_t links = 0;
    std::int64_t turnedLinks = 0;
    std::int32_t unreadable = 0;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        links += static_cast<std::int64_t>(repository.GetPicture(i).similar.size());
        for (const vistrel::CSimilarInfo& link : repository.GetPicture(i).similar) {
            turnedLinks += link.orientation != vistrel::Orientation::None ? 1 : 0;
        }
        unreadable += repository.GetPicture(i).loadError ? 1 : 0;
    }
    std::printf("pictures %d (unreadable %d), workers %d, threshold %.1f%s%s\n",
                repository.GetCount(), unreadable, started, threshold,
                shapeOnly ? ", shape only" : "", turned ? ", turned copies too" : "");
    std::printf("adding: %.1f s, peak memory %ld MB\n", addSeconds, memoryAfterAdding);
    std::printf("comparing: %llu pairs in %.3f s, %.0f pairs/s, %lld similar pairs\n",
                static_cast<unsigned long long>(pairs), compareSeconds,
                compareSeconds > 0 ? pairs / compareSeconds : 0.0,
                static_cast<long long>(links / 2));
    std::printf("comparing took %.3f s of processor time, all threads\n", compareProcessor);
    if (turned) {
        std::printf("of which turned or mirrored: %lld\n", static_cast<long long>(turnedLinks / 2));
    }
    if (growth) {
        PrintNearCopiesFound(repository, *growth);
    }
    std::printf("of which preparing the run (sketches, order): %.3f s\n", startSeconds);
    const vistrel::BlockedKernel* blockedKernel = vistrel::ActiveBlockedKernel();
    std::printf("kernels: difference %s, blocked %s\n", vistrel::ActiveKernel().name,
                blockedKernel != nullptr ? blockedKernel->name : "none");
    std::printf("peak memory %ld MB (the store's pages read included), own (anonymous) %ld MB\n",
                PeakMemoryMb(), anonymousPeak);
    if (arguments.contains(QStringLiteral("--reference"))) {
        clock.restart();
        const std::int64_t similar = ReferenceWalk(repository, threshold, shapeOnly, turned);
        const double referenceSeconds = clock.nsecsElapsed() / 1e9;
        std::printf("plain reference walk: %.1f s, %lld similar pairs, %.0f x slower\n",
                    referenceSeconds, static_cast<long long>(similar),
                    referenceSeconds / compareSeconds);
    }
    if (!option("--sample").isEmpty() && !turned) {
        clock.restart();
        const bool agrees =
            CheckSampleRows(repository, threshold, shapeOnly, option("--sample").toInt());
        std::printf("sample checked in %.1f s\n", clock.nsecsElapsed() / 1e9);
        if (!agrees) {
            return 2;
        }
    }
    if (arguments.contains(QStringLiteral("--check")) && !CheckAgainstPlainWalk(repository)) {
        return 2;
    }
    return 0;
}
