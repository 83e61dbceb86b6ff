#include "app/localplay.h"

#include "app/sonarisapplication.h"
#include "app/usom.h"
#include "audio/uzorvanbass.h"
#include "local/listaudiofiles.h"
#include "local/zorvangrid.h"
#include "loudness/loudness.h"
#include "system/clock.h"
#include "system/filenames.h"
#include "system/funcoes.h"
#include "system/messageboxes.h"
#include "system/shellcommand.h"
#include "ui/thdtimer.h"
#include "ui_usom.h"

#include <QTimer>

#include <algorithm>
#include <exception>
#include <stdexcept>

TLocalPlay::TLocalPlay(Tfrm_sonarisv1AAC& window) : QObject(&window), w_(window) {}

namespace {
const QString kStopTag = QStringLiteral("Stop Música 1000");
}  // namespace

void TLocalPlay::BitBtn13Click() {
    TzorvanGrid* grid = w_.ui->Stringgrid3;
    const auto& S = PlayerState;
    for (int row = 1; row < grid->RowCount(); ++row) {
        grid->SetCells(0, row, QString());
        grid->SetRealName(row, QString());
    }
    grid->SetRowCount(2);
    grid->SetFixedRows(1);
    grid->SetRow(1);

    if (!FileExistsRaw(S.MusicDir)) {
        BeepMessage(QStringLiteral("Diretório:") + S.MusicDir + QStringLiteral("  inexistente - Verifique !!"));
        return;
    }
    std::vector<AudioFileEntry> list;
    ListAudioFiles(S.MusicDir, QStringLiteral("*.*"), &list);
    if (list.empty()) return;

    grid->setEnabled(true);
    grid->SetRowCount(int(list.size()) + 1);
    grid->SetCells(0, 0, QStringLiteral("Descrição das Musicas"));
    grid->FillRows(1, list);
    grid->SetRow(1);
    w_.ui->BitBtn14->setEnabled(!w_.LocalPlayer->IsPlaying());
    Nivela_Fila(true);
}

void TLocalPlay::Nivela_Fila(bool wholeFolder) {
    if (!w_.Loudness) return;
    TzorvanGrid* grid = w_.ui->Stringgrid3;
    auto nameOf = [grid](int row) {
        const QString name = grid->RealName(row);
        return name.isEmpty() ? grid->Cells(0, row) : name;
    };
    // After a refresh the selected row plays first; while a track plays, the next one is the
    // shuffle's next draw, which a copy of the draw tells without taking it.
    const int next = wholeFolder ? grid->Row() : int(TRandomDraw(Shuffle).DrawRow(std::uint32_t(grid->RowCount())));
    QStringList names;
    if (next >= 1 && next < grid->RowCount()) names << nameOf(next);
    for (int row = 1; row < grid->RowCount(); ++row)
        if (row != next && !nameOf(row).trimmed().isEmpty()) names << nameOf(row);
    w_.Loudness->Queue(names, wholeFolder);
}

TLocalPlay::AfterStop TLocalPlay::ChooseAfterStop() {
    auto& S = PlayerState;
    TzorvanGrid* grid = w_.ui->Stringgrid3;
    if (grid->RowCount() >= 2) {
        std::uint32_t row = 0;
        while (row == 0) row = Shuffle.Draw(std::uint32_t(grid->RowCount()));  // row 0 is the header
        grid->SetRow(int(row));
    } else {
        BitBtn13Click();
    }
    w_.ui->meter1->SetPosition(0);
    w_.ui->BitBtn14->setEnabled(true);
    w_.ui->BitBtn15->setEnabled(false);

    const bool inside = PlayerState.InsideToday(NowDateTime());
    // A stream that stayed silent all the while it was held is given up, not brought up; its
    // WebError then asks for the next local track below.
    if (inside && S.WebError == 0 && w_.IsActive()) w_.Connection->GiveUpSilentHeldStream();
    if (inside && S.WebError == 0 && w_.IsActive()) {
        w_.Salva_Historico(QStringLiteral("Sonaris - No AR"));
        w_.WebPlayer->SetVolume(0);
        S.StallTicks = 0;
        S.RampVolume = 0;
        w_.timer_aumentarvolume->start();
        w_.timer_meter->SetEnabled(true);
        return AfterStop::Nothing;
    }
    if (inside && S.WebError != 0 && w_.IsActive() && !w_.LocalPlayer->IsPlaying()) return AfterStop::NextLocalTrack;
    return AfterStop::Nothing;
}

void TLocalPlay::StopMusica(TZorvanBass* /*sender*/) {
    if (openingTrack_) return;
    if (ChooseAfterStop() == AfterStop::NextLocalTrack) PlayMusica(kStopTag);
    w_.Run->Olha_Dia(DayEvent::FimDaFaixa);
}

void TLocalPlay::PlayMusica(const QString& tag) {
    auto& S = PlayerState;
    if (openingTrack_) return;
    TzorvanGrid* grid = w_.ui->Stringgrid3;
    QString origin = tag;
    std::exception_ptr error;
    {
        // The local player's stop events of this start (the previous channel's close, a
        // failed open) are no end of a track: what follows is chosen here.
        struct Opening {
            bool& flag;
            explicit Opening(bool& f) : flag(f) { flag = true; }
            ~Opening() { flag = false; }
        } opening{openingTrack_};

        // A file that is gone, or that the library cannot open, hands over to the stop's choice
        // of another row, which may fail too. That hand-over runs here as a loop, not as calls
        // back and forth, and it is bounded: after as many misses in a row as the grid has rows
        // the list is read again from the folder, and after as many misses again it gives up
        // until the next start by another part of the program. A file that cannot be opened
        // leaves the list like a track that played, so the draw does not find it again.
        // The rows of the list when the hand-over starts: rows passed over leave it meanwhile.
        QString playing;
        int misses = 0;
        int limit = std::max(1, grid->RowCount() - 1);
        bool reread = false;
        for (;;) {
            const int row = grid->Row();
            if (row < 1 || grid->Cells(0, row).trimmed().isEmpty()) return;
            const QString shown = grid->Cells(0, row);
            QString name = grid->RealName(row);
            if (name.isEmpty()) name = shown;
            const QString path = S.MusicDir + name;
            // A folder named like a track is no track either.
            if (RegularFileExistsRaw(path)) {
                grid->Delete_linhagrid(row);
                try {
                    w_.LocalPlayer->Close();
                    w_.LocalPlayer->Load(path);
                } catch (...) {
                    error = std::current_exception();
                }
                playing = name;
                if (error || w_.LocalPlayer->Loaded) break;
                w_.Salva_Historico(QStringLiteral("ARQUIVO DE ÁUDIO INVÁLIDO - ") + shown);
            }

            if (misses >= limit) {
                if (reread) return;
                reread = true;
                misses = 0;
                BitBtn13Click();
                limit = std::max(1, grid->RowCount() - 1);
                continue;  // row 1 of the new list, still on behalf of the same start
            }
            ++misses;
            if (ChooseAfterStop() != AfterStop::NextLocalTrack) return;
            origin = kStopTag;
        }

        w_.LocalPlayer->SetVolume(std::uint32_t(std::clamp(S.NormalVolume, 0, 100)));
        if (w_.Loudness && !error) w_.LocalPlayer->SetLoudnessGain(w_.Loudness->GainFor(playing));
        w_.Salva_Historico(QStringLiteral("PLAY MÚSICAS LOCAIS  -  ") + origin);
        S.CloseArmed = true;  // the scheduled close ends local music too
        w_.LocalPlayer->Play();
    }
    w_.Run->Olha_Dia(DayEvent::FaixaLocal);
    w_.ui->meter2->SetPosition(int(w_.LocalPlayer->GetVolume()));
    w_.timer_meter->SetEnabled(true);
    w_.ui->BitBtn14->setEnabled(false);
    w_.ui->BitBtn15->setEnabled(true);
    S.StallTicks = 0;

    if (error) {
        ShowStandardErrorBox(error);
        return;
    }
    if (grid->RowCount() < 2) BitBtn13Click();
    Nivela_Fila(false);
    Atualiza_Servidores();
}

void TLocalPlay::BitBtn14Click() {
    if (!w_.LocalPlayer->IsPlaying()) PlayMusica(QStringLiteral("botão 1008"));
}

void TLocalPlay::BitBtn15Click() { w_.LocalPlayer->Stop(); }

void TLocalPlay::Atualiza_Servidores() {
    if (FlushCount > 10) return;
    if (w_.WebPlayer->IsPlaying()) {
        ShowServersRefusal();
        return;
    }
    ++FlushCount;
    FlushDnsCache();
}

// Every fall-back that starts a local track while the stream still fades out asks for this
// box, and on an unattended player nobody answers it. It is opened from the event loop itself,
// after the handler that started the track has returned: a box opened inside a threaded
// timer's tick holds that timer until it is answered (its worker waits for the tick), and the
// connection monitor or the stream player's poll would stop watching the stream for as long.
// While one box waits, the next refusals are not shown: they would only pile up.
void TLocalPlay::ShowServersRefusal() {
    if (serversRefusalWaiting_) return;
    serversRefusalWaiting_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            struct Answered {
                bool& waiting;
                ~Answered() { waiting = false; }
            } answered{serversRefusalWaiting_};
            MessageBoxes().Message(QStringLiteral("Para atualizar os Servidores será necessário desativar o player"),
                                   ApplicationTitle());
        },
        Qt::QueuedConnection);
}
