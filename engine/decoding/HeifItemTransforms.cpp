#include "HeifItemTransforms.h"

#include "HeifBoxes.h"

#include <QtEndian>

namespace vistrel {

namespace {

// The body of the top-level 'meta' box of `file`, found without copying the other boxes (the
// coded data among them); empty without one.
QByteArray MetaBody(const QByteArray& file) {
    qsizetype at = 0;
    while (at + 8 <= file.size()) {
        std::uint64_t size = qFromBigEndian<quint32>(file.constData() + at);
        qsizetype header = 8;
        if (size == 1) {
            if (at + 16 > file.size()) {
                return {};
            }
            size = qFromBigEndian<quint64>(file.constData() + at + 8);
            header = 16;
        } else if (size == 0) {
            size = static_cast<std::uint64_t>(file.size() - at);
        }
        if (size < static_cast<std::uint64_t>(header) ||
            size > static_cast<std::uint64_t>(file.size() - at)) {
            return {};
        }
        if (file.mid(at + 4, 4) == "meta") {
            return file.mid(at + header, static_cast<qsizetype>(size) - header);
        }
        at += static_cast<qsizetype>(size);
    }
    return {};
}

// Reads an unsigned big-endian number of `bytes` bytes (1, 2 or 4) from `box` at `at`.
std::optional<std::uint32_t> Number(const QByteArray& box, qsizetype& at, int bytes) {
    if (at < 0 || at + bytes > box.size()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = (value << 8) | static_cast<unsigned char>(box[at + i]);
    }
    at += bytes;
    return value;
}

// Adds to `indices` the 1-based property indices an 'ipma' box associates with `item`; false
// when the box is damaged.
bool ReadAssociations(const QByteArray& ipma, std::uint32_t item,
                      std::vector<std::uint32_t>& indices) {
    qsizetype at = 0;
    const std::optional<std::uint32_t> versionAndFlags = Number(ipma, at, 4);
    const std::optional<std::uint32_t> entries = Number(ipma, at, 4);
    if (!versionAndFlags || !entries) {
        return false;
    }
    const int idBytes = (*versionAndFlags >> 24) < 1 ? 2 : 4;
    const int indexBytes = (*versionAndFlags & 1) != 0 ? 2 : 1;
    const std::uint32_t indexMask = indexBytes == 2 ? 0x7FFF : 0x7F;
    for (std::uint32_t entry = 0; entry < *entries; ++entry) {
        const std::optional<std::uint32_t> id = Number(ipma, at, idBytes);
        const std::optional<std::uint32_t> count = Number(ipma, at, 1);
        if (!id || !count) {
            return false;
        }
        for (std::uint32_t n = 0; n < *count; ++n) {
            const std::optional<std::uint32_t> association = Number(ipma, at, indexBytes);
            if (!association) {
                return false;
            }
            if (*id == item && (*association & indexMask) != 0) {
                indices.push_back(*association & indexMask);
            }
        }
    }
    return true;
}

}  // namespace

std::optional<std::vector<HeifTransform>> HeifItemTransforms(const QByteArray& file,
                                                             std::uint32_t item) {
    const QByteArray meta = MetaBody(file);
    if (meta.size() < 4) {
        return std::nullopt;
    }
    // 'meta' is a full box: its version and flags come before its children.
    std::vector<QByteArray> types;
    std::vector<QByteArray> properties;
    std::vector<std::uint32_t> indices;
    bool propertiesWhole = true;
    const auto readProperties = [&](const QByteArray& type, const QByteArray& body) {
        if (type == "ipco") {
            propertiesWhole = ForEachBox(body,
                                         [&](const QByteArray& type, const QByteArray& property) {
                                             types.push_back(type);
                                             properties.push_back(property);
                                         }) &&
                              propertiesWhole;
        } else if (type == "ipma") {
            propertiesWhole = ReadAssociations(body, item, indices) && propertiesWhole;
        }
    };
    const bool metaWhole =
        ForEachBox(meta.mid(4), [&](const QByteArray& type, const QByteArray& body) {
            if (type == "iprp") {
                propertiesWhole = ForEachBox(body, readProperties) && propertiesWhole;
            }
        });
    if (!metaWhole || !propertiesWhole) {
        return std::nullopt;
    }
    std::vector<HeifTransform> steps;
    for (const std::uint32_t index : indices) {
        if (index > types.size()) {
            return std::nullopt;
        }
        const QByteArray& type = types[index - 1];
        const QByteArray& property = properties[index - 1];
        if (type == "irot" && !property.isEmpty()) {
            steps.push_back({HeifTransform::Kind::Rotate, property[0] & 3});
        } else if (type == "imir" && !property.isEmpty()) {
            steps.push_back({HeifTransform::Kind::Mirror, property[0] & 1});
        }
    }
    return steps;
}

}  // namespace vistrel
