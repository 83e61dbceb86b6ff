#include "system/jpegimage.h"

#include "system/rawfile.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace {

// Pictures larger than this are refused before any memory is taken for them.
constexpr long long kMaxPixels = 64LL * 1024 * 1024;

// libjpeg reports fatal errors by calling error_exit, which must not return: it jumps back
// to LoadJpegFile. Warnings about damaged picture data (libjpeg would fill the damage with
// grey or garbage and go on) make the picture unusable too; harmless ones, such as stray
// bytes between markers that many cameras write, are ignored.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool damaged;
};

void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    const int code = cinfo->err->msg_code;
    const bool damage = code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_HUFF_BAD_CODE ||
                        code == JWRN_MUST_RESYNC || code == JWRN_NOT_SEQUENTIAL || code == JWRN_BOGUS_PROGRESSION;
    if (level < 0 && damage && !err->damaged) {
        err->damaged = true;
        (*cinfo->err->format_message)(cinfo, err->message);
    }
}

QImage Fail(QString* error, const QString& why) {
    if (error) *error = why;
    return QImage();
}

// The decoding proper, kept apart so that no object with a destructor lives in the frame
// that longjmp leaves.
bool Decode(const QByteArray& data, QImage* image, ErrorManager* err) {
    jpeg_decompress_struct cinfo;
    cinfo.err = jpeg_std_error(&err->base);
    err->base.error_exit = OnError;
    err->base.emit_message = OnMessage;
    err->damaged = false;
    err->message[0] = '\0';
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (static_cast<long long>(cinfo.output_width) * cinfo.output_height > kMaxPixels) {
        std::snprintf(err->message, sizeof err->message, "picture too large (%ux%u)", cinfo.output_width,
                      cinfo.output_height);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    *image = QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), QImage::Format_RGB888);
    if (image->isNull()) {
        std::snprintf(err->message, sizeof err->message, "out of memory");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // Adobe writes CMYK inverted; plain CMYK is not.
    const bool inverted = cinfo.saw_Adobe_marker;
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                cinfo.output_width * cinfo.output_components, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        jpeg_read_scanlines(&cinfo, row, 1);
        uchar* out = image->scanLine(y);
        const JSAMPLE* in = row[0];
        if (!cmyk) {
            std::copy(in, in + cinfo.output_width * 3, out);
            continue;
        }
        for (JDIMENSION x = 0; x < cinfo.output_width; ++x, in += 4, out += 3) {
            const int c = inverted ? in[0] : 255 - in[0], m = inverted ? in[1] : 255 - in[1];
            const int yy = inverted ? in[2] : 255 - in[2], k = inverted ? in[3] : 255 - in[3];
            out[0] = static_cast<uchar>(c * k / 255);
            out[1] = static_cast<uchar>(m * k / 255);
            out[2] = static_cast<uchar>(yy * k / 255);
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return !err->damaged;
}

}  // namespace

QImage LoadJpegFile(const QString& path, QString* error) {
    const std::optional<QByteArray> data = ReadFileRaw(path);
    if (!data) return Fail(error, QStringLiteral("cannot read ") + path);
    if (data->isEmpty()) return Fail(error, QStringLiteral("empty file: ") + path);
    ErrorManager err;
    QImage image;
    if (!Decode(*data, &image, &err)) return Fail(error, QString::fromLocal8Bit(err.message));
    if (error) error->clear();
    return image;
}
