#include "CorpusGrowth.h"

#include "SignatureEdits.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <thread>

namespace vistrel::bench {

namespace {

// Entries are made in batches on the workers, then appended in order: a batch's near-copies copy
// only entries of earlier batches, so that the result does not depend on the workers.
constexpr std::int32_t kBatch = 2048;
// What an entry of a 100 x 100 signature holds in memory today (3,019 MB for 100,000 entries),
// and what the comparison run adds per entry (its order, sketches and links; 48 MB at 100,000,
// with room for the lax thresholds' links).
constexpr std::int64_t kEntryBytes = 32 * 1024;
constexpr std::int64_t kRunBytesPerEntry = 2 * 1024;

struct MadeEntry {
    SignatureBytes signature;
    std::int32_t copyOf = -1;  // the entry a near-copy copies; -1 for a new picture
    NearCopyKind kind = NearCopyKind::Perturbed;
    bool mixed = false;
};

std::int64_t ReadNumber(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    bool ok = false;
    const std::int64_t value = file.readAll().trimmed().toLongLong(&ok);
    return ok ? value : -1;
}

// A new picture: a random crop of a real picture (mirrored half the time), blended with a crop
// of another one half the time, its colours, contrast and brightness changed, with sensor-like
// noise. Two of them rarely share both their sources and their crops, so they lie far apart.
MadeEntry MakeNewPicture(const CPictureRepository& repository,
                         const std::vector<std::int32_t>& originals, int side, EditRandom& random) {
    const auto crop = [&](std::int32_t entry) {
        const SignatureRect rect =
            RandomRect(side, random.Uniform(0.4, 0.85), random.Uniform(0.4, 0.85), random);
        return ResampleRect(repository.GetPicture(entry).signature.data(), side, rect,
                            random.Chance(0.5), side);
    };
    const auto count = static_cast<std::int32_t>(originals.size());
    const std::int32_t first = originals[static_cast<std::size_t>(random.Below(count))];
    Signature bytes = crop(first);
    MadeEntry made;
    if (random.Chance(0.5)) {
        const std::int32_t second = originals[static_cast<std::size_t>(random.Below(count))];
        Blend(bytes, crop(second), random.Uniform(0.25, 0.45));
        made.mixed = true;
    }
    ColourChange change;
    for (double& gain : change.gain) {
        gain = random.Uniform(0.75, 1.25);
    }
    change.contrast = random.Uniform(0.75, 1.3);
    change.offset = random.Uniform(-25, 25);
    Recolour(bytes, change);
    AddNoise(bytes, random.Uniform(0.5, 3), random);
    made.signature = SignatureBytes(std::move(bytes));
    return made;
}

// A near-copy of `entry`, as a copy saved again, trimmed, touched up or made smaller would be.
MadeEntry MakeNearCopy(const CPictureRepository& repository, std::int32_t entry, int side,
                       EditRandom& random) {
    const std::uint8_t* source = repository.GetPicture(entry).signature.data();
    MadeEntry made;
    made.copyOf = entry;
    made.kind = static_cast<NearCopyKind>(random.Below(static_cast<int>(NearCopyKind::Count)));
    Signature bytes;
    ColourChange change;
    double noise = 0.5;
    switch (made.kind) {
        case NearCopyKind::Perturbed:
            bytes.assign(source, source + 3 * side * side);
            change.contrast = random.Uniform(0.98, 1.02);
            change.offset = random.Uniform(-2.5, 2.5);
            noise = random.Uniform(0.5, 1.5);
            break;
        case NearCopyKind::Trimmed: {
            SignatureRect rect;
            rect.x = random.Below(2);
            rect.y = random.Below(2);
            rect.width = side - rect.x - random.Below(2);
            rect.height = side - rect.y - random.Below(2);
            bytes = ResampleRect(source, side, rect, false, side);
            break;
        }
        case NearCopyKind::Recoloured:
            bytes.assign(source, source + 3 * side * side);
            for (double& gain : change.gain) {
                gain = random.Uniform(0.96, 1.04);
            }
            break;
        case NearCopyKind::Resized:
        case NearCopyKind::Count: {
            const int smaller = 64 + random.Below(32);
            const Signature small = ResampleRect(source, side, {0, 0, side, side}, false, smaller);
            bytes = ResampleRect(small.data(), smaller, {0, 0, smaller, smaller}, false, side);
            break;
        }
    }
    Recolour(bytes, change);
    AddNoise(bytes, noise, random);
    made.signature = SignatureBytes(std::move(bytes));
    return made;
}

}  // namespace

std::int64_t AvailableMemoryMb() {
    std::int64_t availableKb = -1;
    // Read whole: a file of /proc has no size, so QFile::atEnd() holds before the first read.
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : meminfo.readAll().split('\n')) {
            if (line.startsWith("MemAvailable:")) {
                availableKb = line.simplified().split(' ').value(1).toLongLong();
            }
        }
    }
    std::int64_t available = availableKb < 0 ? -1 : availableKb / 1024;
    // A control group's limit, when there is one (version 2, then version 1); "max" or a huge
    // number means none.
    for (const auto& [limitPath, usagePath] :
         {std::pair{QStringLiteral("/sys/fs/cgroup/memory.max"),
                    QStringLiteral("/sys/fs/cgroup/memory.current")},
          std::pair{QStringLiteral("/sys/fs/cgroup/memory/memory.limit_in_bytes"),
                    QStringLiteral("/sys/fs/cgroup/memory/memory.usage_in_bytes")}}) {
        const std::int64_t limit = ReadNumber(limitPath);
        const std::int64_t usage = ReadNumber(usagePath);
        if (limit > 0 && usage >= 0 && limit < (std::int64_t{1} << 60)) {
            const std::int64_t left = std::max<std::int64_t>(0, limit - usage) >> 20;
            available = available < 0 ? left : std::min(available, left);
            break;
        }
    }
    return available;
}

GrowthResult GrowCorpus(CPictureRepository& repository, const GrowthOptions& options) {
    QElapsedTimer clock;
    clock.start();
    GrowthResult result;
    result.firstAdded = repository.GetCount();
    std::vector<std::int32_t> originals;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        if (!repository.GetPicture(i).loadError) {
            originals.push_back(i);
        }
    }
    if (originals.empty()) {
        return result;
    }
    const int side = static_cast<int>(
        std::lround(std::sqrt(repository.GetPicture(originals.front()).signature.size() / 3.0)));
    std::vector<std::int32_t> readable = originals;
    const int workers =
        std::max(1, options.workers > 0 ? options.workers
                                        : static_cast<int>(std::thread::hardware_concurrency()));

    // Entries are named and seeded by their number among those made, which is their index
    // unless a name was refused.
    std::int32_t next = repository.GetCount();
    while (repository.GetCount() < options.total) {
        const std::int32_t begin = next;
        const std::int32_t end = begin + std::min(kBatch, options.total - repository.GetCount());
        next = end;
        result.availableMb = AvailableMemoryMb();
        const std::int64_t batchMb = (end - begin) * kEntryBytes >> 20;
        const std::int64_t runMb =
            (repository.GetCount() + std::int64_t{end} - begin) * kRunBytesPerEntry >> 20;
        if (result.availableMb >= 0 && result.availableMb - batchMb - runMb < options.reserveMb) {
            result.stoppedForMemory = true;
            break;
        }
        std::vector<MadeEntry> made(static_cast<std::size_t>(end - begin));
        const auto sources = static_cast<std::int32_t>(readable.size());
        const auto make = [&](int worker) {
            for (std::int32_t i = begin + worker; i < end; i += workers) {
                // Every entry has its own generator, seeded by its index alone.
                EditRandom random(
                    EditRandom(options.seed ^ (static_cast<std::uint64_t>(i) << 20)).Next());
                made[static_cast<std::size_t>(i - begin)] =
                    random.Chance(options.nearCopyShare)
                        ? MakeNearCopy(repository,
                                       readable[static_cast<std::size_t>(random.Below(sources))],
                                       side, random)
                        : MakeNewPicture(repository, originals, side, random);
            }
        };
        std::vector<std::jthread> threads;
        for (int worker = 1; worker < workers; ++worker) {
            threads.emplace_back(make, worker);
        }
        make(0);
        threads.clear();  // joins

        const std::int32_t addedBefore = result.added;
        for (std::int32_t i = begin; i < end; ++i) {
            MadeEntry& entry = made[static_cast<std::size_t>(i - begin)];
            const bool nearCopy = entry.copyOf >= 0;
            const std::int32_t index = repository.GetCount();
            repository.AddSignedPicture(
                (nearCopy ? QStringLiteral("near:%1") : QStringLiteral("new:%1")).arg(i),
                std::move(entry.signature));
            if (repository.GetCount() == index) {
                continue;  // the name or the file was taken by an entry of the corpus itself
            }
            ++result.added;
            readable.push_back(index);
            if (nearCopy) {
                ++result.nearCopies[static_cast<std::size_t>(entry.kind)];
                result.nearCopyOf.push_back({index, entry.copyOf, entry.kind});
            } else {
                ++result.newPictures;
                result.mixed += entry.mixed ? 1 : 0;
            }
        }
        if (result.added == addedBefore) {
            break;  // every name refused: more batches would not fare better
        }
    }
    if (!result.stoppedForMemory) {
        result.availableMb = AvailableMemoryMb();
    }
    result.seconds = clock.nsecsElapsed() / 1e9;
    return result;
}

}  // namespace vistrel::bench
