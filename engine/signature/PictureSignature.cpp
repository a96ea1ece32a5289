#include "PictureSignature.h"

#include "AreaResampler.h"

namespace vistrel {

std::vector<std::uint8_t> ComputeSignature(const QString& path, int side,
                                           const DecodeOptions& options) {
    // The resampler reads Qt's 32-bit pixels as they come, with the same result as their copy.
    DecodeOptions decoding = options;
    decoding.allowRgb32 = true;
    return ResampleToSignature(DecodePicture(path, decoding), side);
}

std::vector<std::uint8_t> ComputeSignatureOfData(const QByteArray& fileBytes, int side,
                                                 const DecodeOptions& options) {
    DecodeOptions decoding = options;
    decoding.allowRgb32 = true;
    return ResampleToSignature(DecodePictureData(fileBytes, decoding), side);
}

}  // namespace vistrel
