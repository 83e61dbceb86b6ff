// The stream connection: one attempt to open the station on WebPlayer (through the proxy of
// PROXY.INI when one is set), and webStop, where the controller learns that the stream ended.
#include "app/usom.h"

#include "app/sonarisapplication.h"

#include "audio/uzorvanbass.h"
#include "system/clock.h"
#include "system/filenames.h"
#include "system/funcoes.h"
#include "system/messageboxes.h"
#include "system/programfolder.h"
#include "system/rawfile.h"
#include "ui/thdtimer.h"
#include "ui_usom.h"

#include <QTimer>

#include <algorithm>
#include <cstring>
#include <exception>
#include <stdexcept>

using namespace soundlib;

namespace {
constexpr DWORD kNetTimeoutMs = 20000;


// The proxy mode as a number; a text that is not a decimal integer means no proxy.
int ProxyMode() {
    bool ok = false;
    const int mode = PlayerState.ProxyTypeStream.trimmed().toInt(&ok);
    return ok ? mode : 0;
}


// After a success the server list in use is kept as the last good one, and the marker left
// by the installer goes.
void RecordGoodConnection() {
    RemoveFileRaw(GetWindowsFolder() + QStringLiteral("/qelmo.ini"));
    const QString list = ProgramFolder() + QStringLiteral("sonaris.srv");
    if (!FileExistsRaw(list)) return;
    if (const auto bytes = ReadFileRaw(list)) WriteFileRawAtomic(ProgramFolder() + QStringLiteral("sonaris.ant"), *bytes);
}
}  // namespace

QString Tfrm_sonarisv1AAC::ProxyTextFor() const {
    const auto& S = PlayerState;
    switch (ProxyMode()) {
    case 1:
        return S.ProxyServer.trimmed() + QLatin1Char(':') + S.ProxyPortStream.trimmed();
    case 2:
        return S.ProxyUser.trimmed() + QLatin1Char(':') + S.ProxyPass.trimmed() + QLatin1Char('@') + S.ProxyServer.trimmed() +
               QLatin1Char(':') + S.ProxyPortStream.trimmed();
    default:
        return QString();
    }
}

// The attempt is started here and this returns: the open runs on a thread of its own
// (TStreamAttempt), and what follows it runs as the attempt's completion, from the event loop.
// Until then the operator, the timers and local playback go on, and a box opened meanwhile
// holds nothing: the completion, the next ticks and the close are served inside it.
void Tfrm_sonarisv1AAC::Conecta_Web() {
    auto& S = PlayerState;
    if (!attempt_->Idle()) return;  // one attempt at a time; see Timer_GeralTimer
    const bool activeAtStart = IsActive();
    WebPlayer->UseAac = 1;

    const int mode = ProxyMode();
    if (mode == 1 || mode == 2) {
        const QByteArray text = ProxyTextFor().toUtf8();
        if (text.size() >= qsizetype(S.ProxyText.size())) {
            // The library keeps a pointer into a buffer of 99 characters and a zero: a longer
            // text would be cut into a wrong address, so this attempt goes without a proxy.
            ui->Panel1->setText(QStringLiteral("PROXY INVÁLIDO: texto maior que 99 caracteres - conectando sem proxy"));
            lib_.BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, nullptr);
        } else {
            ui->Panel1->setText(QStringLiteral("CONECTANDO AO PROXY"));
            S.ProxyText.fill('\0');
            std::memcpy(S.ProxyText.data(), text.constData(), std::size_t(text.size()));
            lib_.BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, S.ProxyText.data());
        }
    } else {
        lib_.BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, nullptr);
    }
    lib_.BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, kNetTimeoutMs);

    try {
        ui->Label10->setText(QStringLiteral("CONECTANDO AGUARDE..."));
        if (!WebPlayer->IsPlaying()) WebPlayer->Close();  // a playing stream is released by the open itself
        if (S.StreamUrl.trimmed().isEmpty()) {
            S.WebError = -1;
            Conexao_Concluida(nullptr);
            return;
        }
        Salva_Historico(QStringLiteral("Carregando Sonaris"));
        const QString url = S.StreamUrl;
        auto open = WebPlayer->BeginStream(url);
        attempt_->Start(
            [open] {
                const TZorvanBass::StreamOpened opened = open();
                return TStreamAttempt::Result{opened.channel, opened.code, nullptr};
            },
            [this, url, activeAtStart](const TStreamAttempt::Result& result) { StreamOpened(url, activeAtStart, result); });
    } catch (...) {
        Conexao_Concluida(std::current_exception());
    }
}

void Tfrm_sonarisv1AAC::StreamOpened(const QString& url, bool activeAtStart, const TStreamAttempt::Result& result) {
    auto& S = PlayerState;
    std::exception_ptr error = result.error;
    try {
        if (!error) {
            WebPlayer->EndStream(url, {result.channel, result.code});
            // Meanwhile the run may have been switched off (which has set everything already),
            // or today's window may have closed (and its close faded what played then): a
            // stream opened now must not start behind either.
            if ((activeAtStart && !IsActive()) || (result.code == BASS_OK && !PlayerState.InsideToday(NowDateTime()))) {
                WebPlayer->Close();
                return;
            }
            S.WebError = result.code;
        }
    } catch (...) {
        error = std::current_exception();
    }
    Conexao_Concluida(error);
}

void Tfrm_sonarisv1AAC::Conexao_Concluida(std::exception_ptr error) {
    auto& S = PlayerState;
    if (!error) {
        try {
            if (S.WebError != 0) {
                ui->Label10->setText(QStringLiteral("Erro ao Carregar WEB -  Erro:") + QString::number(S.WebError));
                Salva_Historico(QStringLiteral("Erro ao Carregar Sonaris"));
                WebPlayer->Close();
            } else {
                WebPlayer->SetPosition(0);
                WebPlayer->SetVolume(LocalPlayer->IsPlaying() ? 0u : std::uint32_t(std::max(0, S.NormalVolume)));
                WebPlayer->Play();
                timer_meter->SetEnabled(true);
                ui->meter2->SetPosition(int(WebPlayer->GetVolume()));
                Salva_Historico(QStringLiteral("Sonaris"));
            }
        } catch (...) {
            error = std::current_exception();
        }
    }

    // This part runs whatever happened above, with WebError as it stands.
    if (S.WebError == 0) {
        S.StallTicks = 0;
        ConnectTicks = 0;
        ui->Label10->setText(QStringLiteral("Conexão Estabilizada..."));
        ui->Panel1->setText(S.StationLabel);
        DeadAir.Connected(NowDateTime().toMSecsSinceEpoch(), S.SilenceDb, S.SilenceSeconds);
        timer_aumentarvolume->start();
        RecordGoodConnection();
    } else {
        S.CloseArmed = false;
        if (!LocalPlayer->IsPlaying()) {
            if (PlayerState.InsideToday(NowDateTime()) && !LocalPlayer->IsPlaying()) PlayMusica(QStringLiteral("Sonaris 802"));
            ui->Label10->setText(QStringLiteral("Erro WEB -  Erro:") + QString::number(S.WebError) +
                                 QStringLiteral(" ACIONADO ÁUDIO LOCAL"));
        }
    }

    if (error) ShowStandardErrorBox(error);
}

void Tfrm_sonarisv1AAC::webStop(TZorvanBass* /*sender*/) {
    auto& S = PlayerState;
    // A stream given up, closed or switched off was no longer wanted playing: only a stream
    // that still counted as playing is lost here.
    if (S.WebError == 0) Conta_Queda();
    timer_meter->SetEnabled(false);
    ui->meter1->SetPosition(0);
    Salva_Historico(QStringLiteral("STOP -  Sonaris"));
    ui->Label10->setText(QStringLiteral("DESCONECTADO"));
    ui->ProgressBar1->setValue(0);
    S.CloseArmed = false;
    if (PlayerState.InsideToday(NowDateTime()) && IsActive()) {
        if (!LocalPlayer->IsPlaying()) PlayMusica(QStringLiteral("WebStop 685"));
        S.WebError = -1;
        S.StallTicks = 0;
    }
}
