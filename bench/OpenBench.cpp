// How long Open takes without the window: the repository file read and every signature taken
// from the user's signature cache into a store beside it, by the engine call the window's
// "Opening Repository" dialog makes (LoadRepositoryThread).
//
//   vistrel_open_bench FILE.qrx [--repeat N]
//
// Prints, for each load, the wall time, the entries and the store's bytes.

#include "repository/PictureRepository.h"
#include "repository/RepositoryLoader.h"
#include "signature/SignatureCache.h"
#include "signature/SignatureStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: vistrel_open_bench FILE.qrx [--repeat N]\n");
        return 2;
    }
    int repeat = 1;
    if (arguments.size() >= 4 && arguments[2] == QLatin1String("--repeat")) {
        repeat = arguments[3].toInt();
    }
    auto cache = std::make_shared<vistrel::SignatureCache>(vistrel::SignatureCache::DefaultPath());
    for (int i = 0; i < repeat; ++i) {
        vistrel::CPictureRepository repository;
        repository.UseSignatureStore(std::make_shared<vistrel::SignatureStore>(
            vistrel::SignatureStore::FolderFor(cache.get())));
        vistrel::LoadParams params;
        params.repository = &repository;
        params.path = arguments[1];
        params.cache = cache;
        QElapsedTimer timer;
        timer.start();
        const int ok = vistrel::LoadRepositoryThread(&params);
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        std::printf("open %s: %.3f s, %d entries, store %.2f GB%s\n", ok ? "ok" : "FAILED", seconds,
                    repository.GetCount(),
                    static_cast<double>(repository.Store()->FileBytes()) / 1e9,
                    repository.Store()->Warning().isEmpty() ? "" : " (in memory)");
        std::fflush(stdout);
    }
    return 0;
}
