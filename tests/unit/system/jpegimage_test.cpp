#include "system/jpegimage.h"

#include "tests/support/testsupport.h"

#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include <jpeglib.h>

#include <gtest/gtest.h>

namespace {

// Encodes a picture with libjpeg: `pixel(x, y)` gives `components` samples.
QByteArray EncodeJpeg(int width, int height, int components, J_COLOR_SPACE space,
                      const std::function<std::vector<JSAMPLE>(int, int)>& pixel) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width * components));
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < width; ++x) {
            const auto p = pixel(x, static_cast<int>(cinfo.next_scanline));
            std::copy(p.begin(), p.end(), row.begin() + x * components);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray out(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return out;
}

// Left half red, right half blue: the logo area's 250 x 50.
QByteArray RedBlue() {
    return EncodeJpeg(250, 50, 3, JCS_RGB, [](int x, int) {
        return x < 125 ? std::vector<JSAMPLE>{255, 0, 0} : std::vector<JSAMPLE>{0, 0, 255};
    });
}

void ExpectNear(QRgb pixel, int r, int g, int b) {
    EXPECT_NEAR(qRed(pixel), r, 12);
    EXPECT_NEAR(qGreen(pixel), g, 12);
    EXPECT_NEAR(qBlue(pixel), b, 12);
}

class JpegImage : public ::testing::Test {
protected:
    TempProgramFolder folder;
    QString logo = folder.File("LOGO.JPG");
};

TEST_F(JpegImage, DecodesColours) {
    WriteBytes(logo, RedBlue());
    QString error = "stale";
    const QImage image = LoadJpegFile(logo, &error);
    ASSERT_FALSE(image.isNull()) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(image.size(), QSize(250, 50));
    ExpectNear(image.pixel(10, 25), 255, 0, 0);
    ExpectNear(image.pixel(240, 25), 0, 0, 255);
}

TEST_F(JpegImage, DecodesGreyAndCmyk) {
    WriteBytes(logo, EncodeJpeg(16, 16, 1, JCS_GRAYSCALE, [](int, int) { return std::vector<JSAMPLE>{128}; }));
    QImage image = LoadJpegFile(logo);
    ASSERT_FALSE(image.isNull());
    ExpectNear(image.pixel(8, 8), 128, 128, 128);

    // CMYK with the Adobe marker, stored inverted as Photoshop writes it: full yellow (no
    // cyan, magenta or black) is red plus green.
    WriteBytes(logo, EncodeJpeg(16, 16, 4, JCS_CMYK, [](int, int) { return std::vector<JSAMPLE>{255, 255, 0, 255}; }));
    image = LoadJpegFile(logo);
    ASSERT_FALSE(image.isNull());
    ExpectNear(image.pixel(8, 8), 255, 255, 0);
}

TEST_F(JpegImage, TruncatedFileIsANullImageWithAReason) {
    const QByteArray whole = RedBlue();
    for (const qsizetype cut : {whole.size() / 2, whole.size() - 2, qsizetype(200), qsizetype(2)}) {
        WriteBytes(logo, whole.left(cut));
        QString error;
        EXPECT_TRUE(LoadJpegFile(logo, &error).isNull()) << cut;
        EXPECT_FALSE(error.isEmpty()) << cut;
    }
}

TEST_F(JpegImage, GarbageMissingAndEmptyFilesAreNullImages) {
    std::mt19937 random(50);
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>(random());
    WriteBytes(logo, garbage);
    QString error;
    EXPECT_TRUE(LoadJpegFile(logo, &error).isNull());
    EXPECT_FALSE(error.isEmpty());

    // A JPEG start followed by noise: the decoder gets further before it gives up.
    WriteBytes(logo, RedBlue().left(300) + garbage);
    EXPECT_TRUE(LoadJpegFile(logo, &error).isNull());

    EXPECT_TRUE(LoadJpegFile(folder.File("MISSING.JPG"), &error).isNull());
    EXPECT_FALSE(error.isEmpty());
    WriteBytes(logo, "");
    EXPECT_TRUE(LoadJpegFile(logo, &error).isNull());
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
