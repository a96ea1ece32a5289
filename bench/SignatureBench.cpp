// AddPicture on large pictures: a 12-megapixel JPEG (reduced in the DCT, and at full size for
// comparison) and a 12-megapixel PNG. Set VISTREL_BENCH_PHOTO to a JPEG of your own to use it
// instead of the generated photo-like picture.

#include "TestPictures.h"
#include "repository/PictureRepository.h"
#include "signature/PictureSignature.h"

#include <QImageWriter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <turbojpeg.h>

#include <cstdlib>

namespace {

using vistrel::test::PictureFormat;

// The pictures are made once per run, in a folder that lives as long as the process.
class BenchPictures {
public:
    static BenchPictures& Get() {
        static BenchPictures pictures;
        return pictures;
    }
    QString jpeg;
    QString png;

private:
    BenchPictures() {
        const QImage photo = vistrel::test::MakePhotoLike(4000, 3000, 7);
        if (const char* own = std::getenv("VISTREL_BENCH_PHOTO")) {
            jpeg = QString::fromLocal8Bit(own);
        } else {
            jpeg = folder.filePath(QStringLiteral("photo.jpg"));
            // Cameras halve the colour resolution, as TJSAMP_420 does.
            vistrel::test::WriteJpeg(photo, jpeg, TJSAMP_420);
        }
        png = folder.filePath(QStringLiteral("photo.png"));
        vistrel::test::WritePicture(photo, PictureFormat::Png, png);
    }
    QTemporaryDir folder;
};

void AddPicture(benchmark::State& state, const QString& path) {
    for (auto _ : state) {
        vistrel::CPictureRepository repository;
        repository.AddPicture(path);
        if (repository.GetPicture(0).loadError) {
            state.SkipWithError("the picture could not be read");
            break;
        }
    }
}

void AddPictureJpeg12MP(benchmark::State& state) {
    AddPicture(state, BenchPictures::Get().jpeg);
}
BENCHMARK(AddPictureJpeg12MP)->Unit(benchmark::kMillisecond);

void AddPicturePng12MP(benchmark::State& state) {
    AddPicture(state, BenchPictures::Get().png);
}
BENCHMARK(AddPicturePng12MP)->Unit(benchmark::kMillisecond);

// The same JPEG decoded at full size: what the DCT reduction saves.
void SignatureJpeg12MPFullDecode(benchmark::State& state) {
    const QString path = BenchPictures::Get().jpeg;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vistrel::ComputeSignature(path, 100, vistrel::DecodeOptions{0}));
    }
}
BENCHMARK(SignatureJpeg12MPFullDecode)->Unit(benchmark::kMillisecond);

}  // namespace
