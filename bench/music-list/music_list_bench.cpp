// Lists a music folder of 65,535 empty files with audio names and fills the list grid with it,
// as the refresh of the music list does. Prints name=value lines:
//   list_65535_ms   listing and filling, together
//   list_only_ms    ListAudioFiles
//   fill_only_ms    setting the row count, the header and FillRows
// Runs on the offscreen platform unless another is chosen.
#include "local/listaudiofiles.h"
#include "local/zorvangrid.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr int kFiles = 65535;

bool MakeFolder(const QString& folder) {
    const char* extensions[] = {".mp3", ".WAV", ".Tkm", ".Mp3"};
    const QByteArray base = QDir(folder).absolutePath().toLocal8Bit() + '/';
    for (int i = 0; i < kFiles; ++i) {
        const QByteArray name = base + "Faixa " + QByteArray::number((i * 7919) % kFiles).rightJustified(5, '0') +
                                " - Artista " + QByteArray::number(i % 97) + extensions[i % 4];
        const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0) return false;
        ::close(fd);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    if (!dir.isValid() || !MakeFolder(dir.path())) {
        std::fprintf(stderr, "cannot create the test folder\n");
        return 1;
    }
    TzorvanGrid grid;
    grid.ApplyMusicListLook();
    grid.resize(651, 400);
    grid.show();
    app.processEvents();

    QElapsedTimer total;
    total.start();
    std::vector<AudioFileEntry> list;
    ListAudioFiles(dir.path() + QStringLiteral("/"), QStringLiteral("*.*"), &list);
    const qint64 listMs = total.elapsed();

    grid.SetRowCount(static_cast<int>(list.size()) + 1);
    grid.SetFixedRows(1);
    grid.SetCells(0, 0, QStringLiteral("Descrição das Musicas"));
    grid.FillRows(1, list);
    grid.SetRow(1);
    app.processEvents();  // the one repaint
    const qint64 allMs = total.elapsed();

    if (list.size() != static_cast<std::size_t>(kFiles) || grid.RowCount() != kFiles + 1) {
        std::fprintf(stderr, "listed %zu files, grid has %d rows\n", list.size(), grid.RowCount());
        return 1;
    }
    std::printf("list_65535_ms=%lld\n", static_cast<long long>(allMs));
    std::printf("list_only_ms=%lld\n", static_cast<long long>(listMs));
    std::printf("fill_only_ms=%lld\n", static_cast<long long>(allMs - listMs));
    return 0;
}
