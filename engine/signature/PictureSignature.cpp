#include "PictureSignature.h"

#include "AreaResampler.h"

namespace vistrel {

std::vector<std::uint8_t> ComputeSignature(const QString& path, int side,
                                           const DecodeOptions& options) {
    return ResampleToSignature(DecodePicture(path, options), side);
}

}  // namespace vistrel
