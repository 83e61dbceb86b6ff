#pragma once
// A program folder of the fuzz process's own, where a target writes the input as the file
// the reader under test opens: the readers take a folder, as the program gives them.
#include <QByteArray>
#include <QString>

namespace fuzz {

// The folder, with its trailing '/'; made on first use, removed when the process ends.
const QString& TempFolder();
void WriteFile(const QString& name, const QByteArray& bytes);

}  // namespace fuzz
