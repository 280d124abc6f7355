#include "picture/jpeg_encoder.h"

#include <QImage>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#ifdef _MSC_VER
// setjmp here skips no C++ destructors: only libjpeg's C frames lie between it and longjmp.
#pragma warning(disable : 4611)
#endif

namespace picture::jpeg {
namespace {

struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jumpBack(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorJump *>(cinfo->err)->jump, 1);
}

void stayQuiet(j_common_ptr) {}

// Plain data only between setjmp and a libjpeg error: the rows are prepared by the caller.
bool compress(jpeg_compress_struct &info, ErrorJump &errors, const EncodeOptions &options,
              const QImage &image, JSAMPROW *rows, unsigned char **data, unsigned long *size) {
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, data, size);
    info.image_width = JDIMENSION(image.width());
    info.image_height = JDIMENSION(image.height());
    switch (options.model) {
    case ColourModel::YCbCr:
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        break;
    case ColourModel::Greyscale:
        info.input_components = 1;
        info.in_color_space = JCS_GRAYSCALE;
        break;
    case ColourModel::Cmyk:
    case ColourModel::Ycck:
        info.input_components = 4;
        info.in_color_space = JCS_CMYK;
        break;
    }
    jpeg_set_defaults(&info);
    if (options.model == ColourModel::Ycck)
        jpeg_set_colorspace(&info, JCS_YCCK);
    jpeg_set_quality(&info, options.quality, TRUE);
    if (options.model == ColourModel::YCbCr || options.model == ColourModel::Ycck) {
        info.comp_info[0].h_samp_factor = options.chromaDivisorX;
        info.comp_info[0].v_samp_factor = options.chromaDivisorY;
        for (int c = 1; c < info.num_components; ++c) {
            info.comp_info[c].h_samp_factor = 1;
            info.comp_info[c].v_samp_factor = 1;
        }
        if (options.model == ColourModel::Ycck) {
            info.comp_info[3].h_samp_factor = options.chromaDivisorX;
            info.comp_info[3].v_samp_factor = options.chromaDivisorY;
        }
    }
    if (options.progressive)
        jpeg_simple_progression(&info);
    info.restart_in_rows = options.restartRows;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height)
        jpeg_write_scanlines(&info, rows + info.next_scanline,
                             info.image_height - info.next_scanline);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

QByteArray encode(const QImage &image, const EncodeOptions &options) {
    if (image.isNull())
        return {};
    const int components = options.model == ColourModel::Greyscale ? 1
                           : options.model == ColourModel::YCbCr   ? 3
                                                                   : 4;
    const QImage source = image.convertToFormat(QImage::Format_RGB32);
    std::vector<JSAMPLE> samples(size_t(source.width()) * size_t(source.height()) *
                                 size_t(components));
    std::vector<JSAMPROW> rows(size_t(source.height()));
    for (int y = 0; y < source.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        JSAMPLE *out = &samples[size_t(y) * size_t(source.width()) * size_t(components)];
        rows[size_t(y)] = out;
        for (int x = 0; x < source.width(); ++x) {
            const int r = qRed(in[x]), g = qGreen(in[x]), b = qBlue(in[x]);
            if (components == 1) {
                *out++ = JSAMPLE(qGray(in[x]));
                continue;
            }
            *out++ = JSAMPLE(r);
            *out++ = JSAMPLE(g);
            *out++ = JSAMPLE(b);
            if (components == 4)
                *out++ = JSAMPLE((r + g + b) / 3);
        }
    }

    jpeg_compress_struct info{};
    ErrorJump errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = &jumpBack;
    errors.manager.output_message = &stayQuiet;
    unsigned char *data = nullptr;
    unsigned long size = 0;
    const bool done = compress(info, errors, options, source, rows.data(), &data, &size);
    QByteArray file;
    if (done)
        file = QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
    std::free(data);
    return file;
}

} // namespace picture::jpeg
