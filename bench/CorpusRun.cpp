// A whole test of a real folder of pictures, timed: vistrel_corpus_run FOLDER [WORKERS]
// Adds every picture of the enabled formats (hidden names skipped), then compares every pair
// at the default threshold and prints the wall time of both phases, pairs per second, the
// number of similar pairs and the peak memory of the process.

#include "ComparisonCollector.h"
#include "PictureFormats.h"
#include "PictureRepository.h"
#include "ProgramSettings.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

namespace {

long PeakMemoryMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [WORKERS]\n", argv[0]);
        return 1;
    }
    const int workers = argc > 2 ? std::atoi(argv[2]) : 0;
    QStringList extensions;
    vistrel::GetEnabledExtensions(vistrel::TheProgramSettings().enabledFormats, extensions);
    QStringList patterns;
    for (const QString& extension : extensions) {
        patterns << QLatin1Char('*') + extension;
    }

    vistrel::CPictureRepository repository;
    QElapsedTimer clock;
    clock.start();
    QDirIterator files(QString::fromLocal8Bit(argv[1]), patterns, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (!path.contains(QLatin1String("/."))) {
            repository.AddPicture(path);
        }
    }
    const double addSeconds = clock.elapsed() / 1000.0;
    const long memoryAfterAdding = PeakMemoryMb();

    auto notices = std::make_shared<vistrel::NoticeQueue>();
    vistrel::ComparisonCollector collector(repository, notices);
    std::int32_t started = 0;
    std::uint64_t pairs = 0;
    clock.restart();
    repository.StartComparison(notices, vistrel::kComparisonNoticeMessage,
                               vistrel::TheProgramSettings().threshold, &started, -1, &pairs,
                               workers);
    while (!collector.Collect(started)) {
        notices->WaitForNotice(std::chrono::milliseconds(100));
    }
    repository.StopComparison();
    collector.Close();
    const double compareSeconds = clock.elapsed() / 1000.0;

    std::int64_t links = 0;
    std::int32_t unreadable = 0;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        links += static_cast<std::int64_t>(repository.GetPicture(i).similar.size());
        unreadable += repository.GetPicture(i).loadError ? 1 : 0;
    }
    std::printf("pictures %d (unreadable %d), workers %d\n", repository.GetCount(), unreadable,
                started);
    std::printf("adding: %.1f s, peak memory %ld MB\n", addSeconds, memoryAfterAdding);
    std::printf("comparing: %llu pairs in %.2f s, %.0f pairs/s, %lld similar pairs\n",
                static_cast<unsigned long long>(pairs), compareSeconds,
                compareSeconds > 0 ? pairs / compareSeconds : 0.0,
                static_cast<long long>(links / 2));
    std::printf("peak memory %ld MB\n", PeakMemoryMb());
    return 0;
}
