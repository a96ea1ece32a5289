#include "HeifPictures.h"

#include <libheif/heif.h>

#include <cstring>
#include <memory>

namespace vistrel::test {

namespace {

struct ContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct EncoderDeleter {
    void operator()(heif_encoder* encoder) const { heif_encoder_release(encoder); }
};
struct ImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};

// libheif's writer into a QByteArray.
heif_error AppendBytes(heif_context*, const void* data, size_t size, void* bytes) {
    static_cast<QByteArray*>(bytes)->append(static_cast<const char*>(data),
                                            static_cast<qsizetype>(size));
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
}

}  // namespace

QByteArray EncodeHeif(const QImage& picture, HeifCodec codec, QString& problem) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    heif_encoder* encoder = nullptr;
    const heif_compression_format format =
        codec == HeifCodec::Hevc ? heif_compression_HEVC : heif_compression_AV1;
    if (!context || heif_context_get_encoder_for_format(context.get(), format, &encoder).code !=
                        heif_error_Ok) {
        problem = QStringLiteral("this libheif has no %1 encoder")
                      .arg(codec == HeifCodec::Hevc ? "HEVC" : "AV1");
        return {};
    }
    const std::unique_ptr<heif_encoder, EncoderDeleter> ownedEncoder(encoder);
    heif_encoder_set_lossy_quality(encoder, 90);

    heif_image* raw = nullptr;
    if (heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB,
                          heif_chroma_interleaved_RGB, &raw)
            .code != heif_error_Ok) {
        problem = QStringLiteral("heif_image_create failed");
        return {};
    }
    const std::unique_ptr<heif_image, ImageDeleter> image(raw);
    if (heif_image_add_plane(raw, heif_channel_interleaved, rgb.width(), rgb.height(), 8).code !=
        heif_error_Ok) {
        problem = QStringLiteral("heif_image_add_plane failed");
        return {};
    }
    int stride = 0;
    std::uint8_t* const plane = heif_image_get_plane(raw, heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb.height(); ++y) {
        std::memcpy(plane + static_cast<std::ptrdiff_t>(y) * stride, rgb.constScanLine(y),
                    static_cast<std::size_t>(rgb.width()) * 3);
    }
    const heif_error encoded =
        heif_context_encode_image(context.get(), raw, encoder, nullptr, nullptr);
    if (encoded.code != heif_error_Ok) {
        problem = QString::fromUtf8(encoded.message);
        return {};
    }
    QByteArray bytes;
    heif_writer writer{1, &AppendBytes};
    if (heif_context_write(context.get(), &writer, &bytes).code != heif_error_Ok) {
        problem = QStringLiteral("heif_context_write failed");
        return {};
    }
    return bytes;
}

}  // namespace vistrel::test
