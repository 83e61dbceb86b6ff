// The customer's logo: the bytes as the JPEG file the About box and the main window load.
#include "fuzz/targets.h"
#include "fuzz/tempfolder.h"
#include "system/jpegimage.h"

namespace fuzz {

int JpegLogo(const std::uint8_t* data, std::size_t size) {
    WriteFile(QStringLiteral("LOGO.JPG"), QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    QString error;
    const QImage image = LoadJpegFile(TempFolder() + QStringLiteral("LOGO.JPG"), &error);
    Require(image.isNull() != error.isEmpty(), "a logo that is neither an image nor a reason");
    return 0;
}

}  // namespace fuzz
