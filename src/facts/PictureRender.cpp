#include "facts/PictureRender.h"

#include "facts/ImageHeader.h"

#include <QRgb>
#include <QSize>
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <vector>

namespace PictureRender {

namespace {

constexpr int kLargest = 4096;
// A photo of more pixels is not decoded: its planes would not fit the memory the app gives us.
constexpr qint64 kMostPixels = 64LL * 1000 * 1000;

uint32_t rounded(uint64_t sum, uint64_t count) {
    return uint32_t((sum + count / 2) / count);
}

} // namespace

bool run(int fd, int width, int height) {
    if (width < 1 || height < 1 || width > kLargest || height > kLargest) return false;
    const std::unique_ptr<HeifFile> file = openHeif(fd);
    if (!file) return false;
    heif_image_handle *handle = file->image.get();
    if (qint64(heif_image_handle_get_width(handle)) * heif_image_handle_get_height(handle) > kMostPixels)
        return false;
    const bool alpha = heif_image_handle_has_alpha_channel(handle);
    const std::unique_ptr<heif_decoding_options, decltype(&heif_decoding_options_free)> options(
        heif_decoding_options_alloc(), heif_decoding_options_free);
    if (!options) return false;
    options->convert_hdr_to_8bit = 1;
    heif_image *raw = nullptr;
    if (heif_decode_image(handle, &raw, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get())
                .code != heif_error_Ok ||
        !raw)
        return false;
    const std::unique_ptr<heif_image, decltype(&heif_image_release)> image(raw, heif_image_release);
    const int channels = alpha ? 4 : 3;
    const int iw = heif_image_get_width(raw, heif_channel_interleaved),
              ih = heif_image_get_height(raw, heif_channel_interleaved);
    int stride = 0;
    const uint8_t *pixels = heif_image_get_plane_readonly(raw, heif_channel_interleaved, &stride);
    if (!pixels || iw < 1 || ih < 1 || stride < iw * channels) return false;
    const bool premultiplied = alpha && heif_image_is_premultiplied_alpha(raw);

    const QSize box(width, height);
    const QSize out =
        (iw <= width && ih <= height ? QSize(iw, ih) : QSize(iw, ih).scaled(box, Qt::KeepAspectRatio))
            .expandedTo(QSize(1, 1))
            .boundedTo(QSize(iw, ih));
    const int ow = out.width(), oh = out.height();
    const QByteArray head = "KIMG " + QByteArray::number(ow) + ' ' + QByteArray::number(oh) + '\n';
    if (std::fwrite(head.constData(), 1, size_t(head.size()), stdout) != size_t(head.size())) return false;

    // Each pixel drawn is the mean of the pixels it covers, by hand on this thread: Qt's smooth scaling
    // splits large pictures over a pool of threads, which under our address-space limit may never start.
    std::vector<int> column(static_cast<size_t>(iw));
    for (int x = 0; x < iw; ++x)
        column[size_t(x)] = int(qint64(x) * ow / iw);
    std::vector<uint64_t> sums(size_t(ow) * 4);
    std::vector<uint32_t> counts(static_cast<size_t>(ow));
    std::vector<QRgb> line(static_cast<size_t>(ow));
    int y = 0;
    for (int oy = 0; oy < oh; ++oy) {
        std::fill(sums.begin(), sums.end(), 0);
        std::fill(counts.begin(), counts.end(), 0);
        for (const int end = int(qint64(oy + 1) * ih / oh); y < end; ++y) {
            const uint8_t *p = pixels + ptrdiff_t(y) * stride;
            for (int x = 0; x < iw; ++x, p += channels) {
                const uint32_t a = alpha ? p[3] : 255;
                // Weighed by their alpha: a transparent pixel's colour does not bleed into its neighbours.
                const uint32_t weight = premultiplied ? 255 : a;
                uint64_t *s = &sums[size_t(column[size_t(x)]) * 4];
                s[0] += p[0] * weight;
                s[1] += p[1] * weight;
                s[2] += p[2] * weight;
                s[3] += a;
                ++counts[size_t(column[size_t(x)])];
            }
        }
        for (int ox = 0; ox < ow; ++ox) {
            const uint64_t n = counts[size_t(ox)];
            const uint64_t *s = &sums[size_t(ox) * 4];
            const uint32_t a = rounded(s[3], n);
            const auto c = [&](int i) { return std::min(a, rounded(s[i], n * 255)); };
            line[size_t(ox)] = qRgba(int(c(0)), int(c(1)), int(c(2)), int(a));
        }
        if (std::fwrite(line.data(), sizeof(QRgb), line.size(), stdout) != line.size()) return false;
    }
    return std::fflush(stdout) == 0;
}

} // namespace PictureRender
