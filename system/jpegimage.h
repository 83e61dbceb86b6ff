#pragma once
// The customer's logo is a JPEG decoded with libjpeg(-turbo) itself. A broken file must
// never end the program: corrupt or truncated data gives a null image and the reason.
#include <QImage>
#include <QString>

QImage LoadJpegFile(const QString& path, QString* error = nullptr);
