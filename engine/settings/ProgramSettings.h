#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>

namespace vistrel {

/// Number of entries of the picture format table.
inline constexpr int FORMAT_COUNT = 5;

/// Length in bytes of the stored form of ProgramSettings.
inline constexpr int kStoredSettingsSize = 32;

/// The user's choices for the similarity engine and the folder scan, as the stored 32-byte value
/// holds them (UserSettings::record); its field order is the order of that value.
struct ProgramSettings {
    std::int32_t reserved1 = 100;  ///< kept through load and save; nothing else reads it
    std::int32_t reserved2 = 100;
    std::int32_t reserved3 = 300;
    std::int32_t reserved4 = 300;
    /// Which formats of the picture format table are in use, indexed like the table.
    std::array<bool, FORMAT_COUNT> enabledFormats{true, true, true, true, true};
    float threshold = 4.0f;     ///< similarity threshold in percent
    bool stretchImages = true;  ///< stored and restored; the engine does not read it
    bool shapeOnly = false;     ///< compare channel sums instead of single channels

    friend bool operator==(const ProgramSettings&, const ProgramSettings&) = default;
};

/// The 32-byte little-endian stored form of a record (fillers written as zero).
QByteArray EncodeSettings(const ProgramSettings& settings);

/// Copies all fields from a stored form of exactly 32 bytes into `settings`, without range
/// checks (a flag byte counts as true when non-zero). Any other length leaves `settings` as it
/// was and returns false.
bool DecodeSettings(const QByteArray& stored, ProgramSettings& settings);

}  // namespace vistrel
