#pragma once

#include "decoding/PictureDecoder.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace vistrel {

/// The signature of a picture file: the whole picture area-averaged onto side x side pixels,
/// 3 x side x side bytes in signature order. Empty when the file cannot be decoded. Any thread.
std::vector<std::uint8_t> ComputeSignature(const QString& path, int side,
                                           const DecodeOptions& options = {});

/// The same signature made from `fileBytes`, the whole content of a picture file. Any thread.
std::vector<std::uint8_t> ComputeSignatureOfData(const QByteArray& fileBytes, int side,
                                                 const DecodeOptions& options = {});

}  // namespace vistrel
