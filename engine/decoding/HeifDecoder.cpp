#include "HeifDecoder.h"

#include "HeifCodedSize.h"
#include "HeifItemTransforms.h"

#include <QBuffer>
#include <QTransform>

#include <libheif/heif.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vistrel {

namespace {

// A HEIF file is read whole into memory for libheif; a file above this is not taken for a photo.
constexpr qint64 kMaxHeifFileBytes = 512LL * 1024 * 1024;

// libheif refuses pictures with a side above this before it allocates anything; the pixel budget
// is checked on top of it. No side of a picture within the budget comes near it in practice.
constexpr int kHeifMaxSide = 65536;

// A coded picture may be larger than the one shown: coded sizes are rounded up to whole blocks
// and the file may crop them. Beyond this much larger it is not the picture the file declares.
constexpr std::int64_t kCodedSlack = 2;
constexpr std::int64_t kCodedPaddingPixels = 64 * 64;

struct ContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
using HeifContext = std::unique_ptr<heif_context, ContextDeleter>;
using HeifHandle = std::unique_ptr<heif_image_handle, HandleDeleter>;
using HeifImage = std::unique_ptr<heif_image, ImageDeleter>;
using HeifOptions = std::unique_ptr<heif_decoding_options, OptionsDeleter>;

HeifContext NewContext() {
    HeifContext context(heif_context_alloc());
    if (context) {
        heif_context_set_maximum_image_size_limit(context.get(), kHeifMaxSide);
        // The signature pipeline already decodes one picture per core; tiles are decoded on the
        // calling thread instead of on threads of libheif's own.
        heif_context_set_max_decoding_threads(context.get(), 0);
    }
    return context;
}

HeifHandle PrimaryHandle(heif_context* context) {
    heif_image_handle* handle = nullptr;
    if (heif_context_get_primary_image_handle(context, &handle).code != heif_error_Ok) {
        return {};
    }
    return HeifHandle(handle);
}

// libheif's reader over a QIODevice, so that the boxes can be read without the coded data.
struct DeviceReader {
    static int64_t Position(void* device) { return static_cast<QIODevice*>(device)->pos(); }
    static int Read(void* data, size_t size, void* device) {
        const auto wanted = static_cast<qint64>(size);
        return static_cast<QIODevice*>(device)->read(static_cast<char*>(data), wanted) == wanted
                   ? 0
                   : 1;
    }
    static int Seek(int64_t position, void* device) {
        return static_cast<QIODevice*>(device)->seek(position) ? 0 : 1;
    }
    static heif_reader_grow_status WaitForSize(int64_t size, void* device) {
        return size <= static_cast<QIODevice*>(device)->size()
                   ? heif_reader_grow_status_size_reached
                   : heif_reader_grow_status_size_beyond_eof;
    }
};

constexpr heif_reader kDeviceReader = {1, &DeviceReader::Position, &DeviceReader::Read,
                                       &DeviceReader::Seek, &DeviceReader::WaitForSize};

// Releases the libheif picture a QImage was made over, once the last copy of the QImage is gone.
void ReleaseHeifImage(void* image) {
    heif_image_release(static_cast<heif_image*>(image));
}

// Decodes `handle` into 8-bit RGB; a null image when the codec fails or reports damage, or the
// picture is not `size` as decoded (any size when `size` is invalid). `ignoreTransformations`
// leaves out the item's rotation, mirroring and cropping.
QImage DecodeHandle(const heif_image_handle* handle, const QSize& size,
                    bool ignoreTransformations) {
    const HeifOptions options(heif_decoding_options_alloc());
    if (!options) {
        return {};
    }
    // Damage the codec reports is an error rather than a warning beside a picture with grey or
    // garbled parts; deeper pictures (10-bit AVIF, HDR HEIC) come as 8 bits, like every format.
    options->strict_decoding = 1;
    options->convert_hdr_to_8bit = 1;
    options->ignore_transformations = ignoreTransformations ? 1 : 0;
    heif_image* raw = nullptr;
    const heif_error error = heif_decode_image(handle, &raw, heif_colorspace_RGB,
                                               heif_chroma_interleaved_RGB, options.get());
    HeifImage decoded(raw);
    if (error.code != heif_error_Ok || !decoded) {
        return {};
    }
    int stride = 0;
    const std::uint8_t* const pixels =
        heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    const int decodedWidth = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int decodedHeight = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    // A picture of another size than its file declares is not the picture the file describes.
    if (pixels == nullptr || (size.isValid() && QSize(decodedWidth, decodedHeight) != size) ||
        heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved) != 8) {
        return {};
    }
    // The QImage takes over the libheif picture: no copy of the pixels, released with the last
    // copy of the image.
    return QImage(pixels, decodedWidth, decodedHeight, stride, QImage::Format_RGB888,
                  &ReleaseHeifImage, decoded.release());
}

// `image` turned and mirrored by `steps`, in their order.
QImage Transformed(QImage image, const std::vector<HeifTransform>& steps) {
    for (const HeifTransform& step : steps) {
        if (step.kind == HeifTransform::Kind::Rotate) {
            // Anticlockwise on screen, where y grows downwards.
            image = image.transformed(QTransform().rotate(-90.0 * step.value));
        } else {
            image = step.value == 0 ? image.mirrored(false, true) : image.mirrored(true, false);
        }
    }
    // Qt may widen the format as it turns a picture.
    return image.convertToFormat(QImage::Format_RGB888);
}

// The smallest thumbnail of `primary` whose sides are both at least `minSide`, turned and
// mirrored as the primary picture is, whose shape is that of the primary picture as shown
// (`shown`); a null image when there is none. Writers differ in whether a thumbnail carries the
// primary's rotation (phones often leave it out), but its pixels are coded the way the
// primary's are: it is decoded as coded and given the primary's own steps.
QImage DecodeThumbnail(heif_context* context, const heif_image_handle* primary,
                       const QByteArray& bytes, const QSize& shown, int minSide) {
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0) {
        return {};
    }
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    HeifHandle chosen;
    std::int64_t chosenPixels = 0;
    for (const heif_item_id id : ids) {
        heif_image_handle* raw = nullptr;
        if (heif_image_handle_get_thumbnail(primary, id, &raw).code != heif_error_Ok) {
            continue;
        }
        HeifHandle thumbnail(raw);
        // Its own turns, if any, change which side is which, not their lengths.
        const int width = heif_image_handle_get_width(thumbnail.get());
        const int height = heif_image_handle_get_height(thumbnail.get());
        const std::int64_t pixels = std::int64_t{width} * height;
        if (std::min(width, height) >= minSide && (!chosen || pixels < chosenPixels)) {
            chosen = std::move(thumbnail);
            chosenPixels = pixels;
        }
    }
    heif_item_id primaryId = 0;
    if (!chosen || heif_context_get_primary_image_ID(context, &primaryId).code != heif_error_Ok) {
        return {};
    }
    const std::optional<std::vector<HeifTransform>> steps = HeifItemTransforms(bytes, primaryId);
    if (!steps) {
        return {};
    }
    // Its size as coded is not told reliably for a turned item; the shape is checked below, and
    // the budget held for every coded picture of the file.
    const QImage thumbnail = Transformed(DecodeHandle(chosen.get(), QSize(), true), *steps);
    // Of another shape (beyond a crop's few pixels of rounding) it is not the primary as shown.
    const std::int64_t across = std::int64_t{thumbnail.width()} * shown.height();
    const std::int64_t down = std::int64_t{thumbnail.height()} * shown.width();
    constexpr std::int64_t kShapeTolerance = 50;  // 2 %
    if (thumbnail.isNull() || std::abs(across - down) * kShapeTolerance > std::max(across, down)) {
        return {};
    }
    return thumbnail;
}

}  // namespace

bool StartsLikeHeif(QIODevice& file) {
    // heif_check_filetype reads the 'ftyp' box's size, type and major brand. It is unsure of the
    // generic brand "mif1", which some cameras write with "heic" among the compatible brands
    // only; such a file is given to libheif as well, which tells by the whole box.
    constexpr int kBrandEnd = 12;
    const QByteArray head = file.peek(kBrandEnd);
    if (head.size() < kBrandEnd) {
        return false;
    }
    const heif_filetype_result type =
        heif_check_filetype(reinterpret_cast<const std::uint8_t*>(head.constData()), kBrandEnd);
    return type != heif_filetype_no;
}

QImage DecodeHeif(QIODevice& file, std::int64_t budgetPixels, QSize* fullSize,
                  int thumbnailMinSide) {
    if (file.size() > kMaxHeifFileBytes) {
        return {};
    }
    // libheif reads from these bytes without copying them; they outlive the context.
    const QByteArray bytes = file.readAll();
    const HeifContext context = NewContext();
    if (!context ||
        heif_context_read_from_memory_without_copy(context.get(), bytes.constData(),
                                                   static_cast<size_t>(bytes.size()), nullptr)
                .code != heif_error_Ok) {
        return {};
    }
    const HeifHandle handle = PrimaryHandle(context.get());
    if (!handle) {
        return {};
    }
    // The size with the file's rotation and cropping applied, as the picture will be decoded.
    const std::int64_t width = heif_image_handle_get_width(handle.get());
    const std::int64_t height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0 || width * height > budgetPixels) {
        return {};
    }
    if (fullSize != nullptr) {
        *fullSize = QSize(static_cast<int>(width), static_cast<int>(height));
    }
    // libheif decodes the size the coded data says, whatever the boxes declare: a small file can
    // code a picture of gigabytes under a small 'ispe'. One coded far larger than declared would
    // be refused once decoded, so it is refused before.
    QBuffer boxes;
    boxes.setData(bytes);
    if (!boxes.open(QIODevice::ReadOnly)) {
        return {};
    }
    const std::int64_t coded = HeifLargestCodedPixels(boxes);
    if (coded > budgetPixels || coded > kCodedSlack * width * height + kCodedPaddingPixels) {
        return {};
    }
    const QSize shown(static_cast<int>(width), static_cast<int>(height));
    if (thumbnailMinSide > 0) {
        if (QImage thumbnail =
                DecodeThumbnail(context.get(), handle.get(), bytes, shown, thumbnailMinSide);
            !thumbnail.isNull()) {
            return thumbnail;
        }
    }
    return DecodeHandle(handle.get(), shown, false);
}

QSize HeifPictureSize(QIODevice& file) {
    const HeifContext context = NewContext();
    if (!context ||
        heif_context_read_from_reader(context.get(), &kDeviceReader, &file, nullptr).code !=
            heif_error_Ok) {
        return {};
    }
    const HeifHandle handle = PrimaryHandle(context.get());
    if (!handle) {
        return {};
    }
    return {heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get())};
}

}  // namespace vistrel
