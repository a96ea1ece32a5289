#include "ProgramSettings.h"

#include <QtEndian>

#include <cstring>

namespace vistrel {

namespace {

// Offsets of the stored value; the gaps at 21..23 and 30..31 are filler.
constexpr int kReservedOffset = 0;
constexpr int kFormatsOffset = 16;
constexpr int kThresholdOffset = 24;
constexpr int kStretchOffset = 28;
constexpr int kShapeOnlyOffset = 29;

}  // namespace

QByteArray EncodeSettings(const ProgramSettings& settings) {
    QByteArray stored(kStoredSettingsSize, '\0');
    auto* bytes = reinterpret_cast<uchar*>(stored.data());
    const std::int32_t reserved[] = {settings.reserved1, settings.reserved2, settings.reserved3,
                                     settings.reserved4};
    for (int i = 0; i < 4; ++i) {
        qToLittleEndian<std::int32_t>(reserved[i], bytes + kReservedOffset + 4 * i);
    }
    for (int i = 0; i < FORMAT_COUNT; ++i) {
        bytes[kFormatsOffset + i] = settings.enabledFormats[i] ? 1 : 0;
    }
    std::uint32_t thresholdBits = 0;
    std::memcpy(&thresholdBits, &settings.threshold, sizeof thresholdBits);
    qToLittleEndian<std::uint32_t>(thresholdBits, bytes + kThresholdOffset);
    bytes[kStretchOffset] = settings.stretchImages ? 1 : 0;
    bytes[kShapeOnlyOffset] = settings.shapeOnly ? 1 : 0;
    return stored;
}

bool DecodeSettings(const QByteArray& stored, ProgramSettings& settings) {
    if (stored.size() != kStoredSettingsSize) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const uchar*>(stored.constData());
    std::int32_t* reserved[] = {&settings.reserved1, &settings.reserved2, &settings.reserved3,
                                &settings.reserved4};
    for (int i = 0; i < 4; ++i) {
        *reserved[i] = qFromLittleEndian<std::int32_t>(bytes + kReservedOffset + 4 * i);
    }
    for (int i = 0; i < FORMAT_COUNT; ++i) {
        settings.enabledFormats[i] = bytes[kFormatsOffset + i] != 0;
    }
    const auto thresholdBits = qFromLittleEndian<std::uint32_t>(bytes + kThresholdOffset);
    std::memcpy(&settings.threshold, &thresholdBits, sizeof thresholdBits);
    settings.stretchImages = bytes[kStretchOffset] != 0;
    settings.shapeOnly = bytes[kShapeOnlyOffset] != 0;
    return true;
}

}  // namespace vistrel
