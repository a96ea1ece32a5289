#include "CodecSequenceHeaders.h"

#include <optional>
#include <utility>

namespace vistrel {

namespace {

// No coded side is taken above this; a larger one is garbage, and makes the size unknown.
constexpr std::uint64_t kMaxCodedSide = std::uint64_t{1} << 20;

// Reads bits most significant first; reading past the end gives nothing.
class BitReader {
public:
    explicit BitReader(QByteArray bytes) : bytes(std::move(bytes)) {}

    std::optional<std::uint64_t> Bits(int count) {
        std::uint64_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (position >= static_cast<std::uint64_t>(bytes.size()) * 8) {
                return std::nullopt;
            }
            const auto byte =
                static_cast<unsigned char>(bytes[static_cast<qsizetype>(position / 8)]);
            value = (value << 1) | ((byte >> (7 - position % 8)) & 1u);
            ++position;
        }
        return value;
    }
    bool Skip(int count) {
        position += static_cast<std::uint64_t>(count);
        return position <= static_cast<std::uint64_t>(bytes.size()) * 8;
    }
    // HEVC's ue(v): leading zeros, a one, as many more bits.
    std::optional<std::uint64_t> ExpGolomb() {
        int zeros = 0;
        for (;;) {
            const std::optional<std::uint64_t> bit = Bits(1);
            if (!bit) {
                return std::nullopt;
            }
            if (*bit == 1) {
                break;
            }
            if (++zeros > 31) {
                return std::nullopt;
            }
        }
        const std::optional<std::uint64_t> rest = Bits(zeros);
        return rest ? std::optional((std::uint64_t{1} << zeros) - 1 + *rest) : std::nullopt;
    }
    // AV1's uvlc(): the same code, saturating.
    std::optional<std::uint64_t> Uvlc() { return ExpGolomb(); }

private:
    QByteArray bytes;
    std::uint64_t position = 0;
};

std::int64_t Area(std::optional<std::uint64_t> width, std::optional<std::uint64_t> height) {
    if (!width || !height || *width == 0 || *height == 0 || *width > kMaxCodedSide ||
        *height > kMaxCodedSide) {
        return -1;
    }
    return static_cast<std::int64_t>(*width * *height);
}

// The picture size in an HEVC sequence parameter set (the NAL unit, header included).
std::int64_t HevcSpsPixels(const QByteArray& nal) {
    // Emulation prevention: 00 00 03 stands for 00 00.
    QByteArray payload;
    int zeros = 0;
    for (qsizetype i = 2; i < nal.size(); ++i) {
        const char byte = nal[i];
        if (zeros >= 2 && byte == 3) {
            zeros = 0;
            continue;
        }
        zeros = byte == 0 ? zeros + 1 : 0;
        payload.append(byte);
    }
    BitReader bits(payload);
    bits.Skip(4);  // sps_video_parameter_set_id
    const std::optional<std::uint64_t> subLayers = bits.Bits(3);
    if (!subLayers || !bits.Skip(1 + 88 + 8)) {  // temporal nesting, general profile and level
        return -1;
    }
    bool profilePresent[8] = {};
    bool levelPresent[8] = {};
    for (std::uint64_t i = 0; i < *subLayers; ++i) {
        const std::optional<std::uint64_t> profile = bits.Bits(1);
        const std::optional<std::uint64_t> level = bits.Bits(1);
        if (!profile || !level) {
            return -1;
        }
        profilePresent[i] = *profile == 1;
        levelPresent[i] = *level == 1;
    }
    if (*subLayers > 0 && !bits.Skip(2 * static_cast<int>(8 - *subLayers))) {
        return -1;
    }
    for (std::uint64_t i = 0; i < *subLayers; ++i) {
        if (!bits.Skip((profilePresent[i] ? 88 : 0) + (levelPresent[i] ? 8 : 0))) {
            return -1;
        }
    }
    if (!bits.ExpGolomb()) {  // sps_seq_parameter_set_id
        return -1;
    }
    const std::optional<std::uint64_t> chroma = bits.ExpGolomb();
    if (!chroma || (*chroma == 3 && !bits.Skip(1))) {  // separate_colour_plane_flag
        return -1;
    }
    const std::optional<std::uint64_t> width = bits.ExpGolomb();
    const std::optional<std::uint64_t> height = bits.ExpGolomb();
    return Area(width, height);
}

}  // namespace

std::int64_t HevcNalPixels(const QByteArray& nal) {
    constexpr int kSpsType = 33;
    if (nal.size() < 2 || ((static_cast<unsigned char>(nal[0]) >> 1) & 0x3F) != kSpsType) {
        return 0;
    }
    return HevcSpsPixels(nal);
}

std::int64_t Av1SequenceHeaderPixels(const QByteArray& payload) {
    BitReader bits(payload);
    bits.Skip(4);  // seq_profile, still_picture
    const std::optional<std::uint64_t> reduced = bits.Bits(1);
    if (!reduced) {
        return -1;
    }
    if (*reduced == 1) {
        bits.Skip(5);  // seq_level_idx[0]
    } else {
        bool decoderModel = false;
        int bufferDelayBits = 0;
        const std::optional<std::uint64_t> timing = bits.Bits(1);
        if (!timing) {
            return -1;
        }
        if (*timing == 1) {
            bits.Skip(64);  // num_units_in_display_tick, time_scale
            const std::optional<std::uint64_t> equal = bits.Bits(1);
            if (!equal || (*equal == 1 && !bits.Uvlc())) {
                return -1;
            }
            const std::optional<std::uint64_t> model = bits.Bits(1);
            if (!model) {
                return -1;
            }
            decoderModel = *model == 1;
            if (decoderModel) {
                const std::optional<std::uint64_t> delayLength = bits.Bits(5);
                if (!delayLength) {
                    return -1;
                }
                bufferDelayBits = static_cast<int>(*delayLength) + 1;
                bits.Skip(32 + 5 + 5);
            }
        }
        const std::optional<std::uint64_t> displayDelay = bits.Bits(1);
        const std::optional<std::uint64_t> points = bits.Bits(5);
        if (!displayDelay || !points) {
            return -1;
        }
        for (std::uint64_t i = 0; i <= *points; ++i) {
            bits.Skip(12);  // operating_point_idc
            const std::optional<std::uint64_t> level = bits.Bits(5);
            if (!level || (*level > 7 && !bits.Skip(1))) {
                return -1;
            }
            if (decoderModel) {
                const std::optional<std::uint64_t> present = bits.Bits(1);
                if (!present || (*present == 1 && !bits.Skip(2 * bufferDelayBits + 1))) {
                    return -1;
                }
            }
            if (*displayDelay == 1) {
                const std::optional<std::uint64_t> present = bits.Bits(1);
                if (!present || (*present == 1 && !bits.Skip(4))) {
                    return -1;
                }
            }
        }
    }
    const std::optional<std::uint64_t> widthBits = bits.Bits(4);
    const std::optional<std::uint64_t> heightBits = bits.Bits(4);
    if (!widthBits || !heightBits) {
        return -1;
    }
    const std::optional<std::uint64_t> width = bits.Bits(static_cast<int>(*widthBits) + 1);
    const std::optional<std::uint64_t> height = bits.Bits(static_cast<int>(*heightBits) + 1);
    return Area(width ? std::optional(*width + 1) : std::nullopt,
                height ? std::optional(*height + 1) : std::nullopt);
}

}  // namespace vistrel
