#pragma once

// HEIC and AVIF pictures the tests make themselves, through libheif's encoders.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace vistrel::test {

/// The two codecs a HEIF file may hold pictures in.
enum class HeifCodec { Hevc, Av1 };

/// `picture` (any format; alpha dropped) as a HEIC (HEVC) or AVIF (AV1) file at quality 90.
/// Empty when this system's libheif has no encoder for the codec or encoding fails; `problem`
/// then says why.
QByteArray EncodeHeif(const QImage& picture, HeifCodec codec, QString& problem);

}  // namespace vistrel::test
