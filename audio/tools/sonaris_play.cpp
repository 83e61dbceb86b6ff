// sonaris-play: plays one file or stream address through the program's audio player on the
// real sound library and prints, once a second, what the player reports. A tool for trying
// a station, a proxy-free network path or a sound device by hand, and the subject of the
// playback benchmarks.
//
//   sonaris-play [--device N] [--seconds S] [--fade-ms F] [--aac] [--volume V] SOURCE
//
// Each second: t=SECONDS err=CODE len_ms=.. pos_ms=.. decode=.. download=.. buffer_pct=..
// level_r=.. level_l=.. playing=0|1 output_lost=0|1, where err is the library's code left by
// the calls made since the previous line. Without --seconds it plays until the player stops
// by itself (end of the file, a stream that ends or stalls); with it, it stops after S
// seconds, fading out over F ms first when --fade-ms is given. Exit status: 0 after a normal end, 1 for bad
// arguments, 2 when the source could not be loaded (load_error=CODE TEXT on stdout).
#include "audio/soundlib/realsoundlib.h"
#include "audio/uzorvanbass.h"
#include "system/filenames.h"
#include "system/messageboxes.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {
constexpr soundlib::DWORD kNetTimeoutMs = 20000;
constexpr int kFadeGraceMs = 5000;  // a fade that never reports its end is cut after this

// Message boxes of a command-line tool: the text on stderr, line breaks as the terminal wants.
class StderrMessageBoxes : public IMessageBoxes {
public:
    void Message(const QString& text, const QString& caption) override { Print(caption, text); }
    bool Confirm(const QString& text, const QString& caption) override {
        Print(caption, text);
        return true;
    }
    void Error(const QString& text, const QString& caption) override { Print(caption, text); }
    void Notice(const QString&, const QString& text, const QString& caption) override { Print(caption, text); }
    void Beep() override {}

private:
    static void Print(const QString& caption, QString text) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        std::fprintf(stderr, "[%s] %s\n", caption.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    }
};

bool ReadNumber(const QCommandLineParser& parser, const QString& name, long long min, long long max, long long& out) {
    if (!parser.isSet(name)) return true;
    bool ok = false;
    const long long v = parser.value(name).toLongLong(&ok);
    if (!ok || v < min || v > max) {
        std::fprintf(stderr, "sonaris-play: --%s must be a whole number from %lld to %lld\n", name.toUtf8().constData(), min, max);
        return false;
    }
    out = v;
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sonaris-play"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays a file or stream address through the Sonaris-V1 audio player."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("device"), QStringLiteral("Sound device number (1 = first)."), QStringLiteral("N"), QStringLiteral("1")});
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("Stop after S seconds (default: play to the end)."), QStringLiteral("S")});
    parser.addOption({QStringLiteral("fade-ms"), QStringLiteral("Fade out over F ms before stopping."), QStringLiteral("F")});
    parser.addOption({QStringLiteral("aac"), QStringLiteral("Open a stream address through the AAC decoder.")});
    parser.addOption({QStringLiteral("volume"), QStringLiteral("Volume 0 to 100 (default: the channel's own)."), QStringLiteral("V")});
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("File path or stream address."));
    parser.process(app);

    long long device = 1, seconds = 0, fadeMs = 0, volume = -1;
    if (!ReadNumber(parser, QStringLiteral("device"), 1, 10, device) || !ReadNumber(parser, QStringLiteral("seconds"), 1, 86400 * 7, seconds) ||
        !ReadNumber(parser, QStringLiteral("fade-ms"), 1, 65535, fadeMs) || !ReadNumber(parser, QStringLiteral("volume"), 0, 100, volume))
        return 1;
    if (parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "sonaris-play: give exactly one SOURCE (see --help)\n");
        return 1;
    }
    // The source as the shell gave it: a file name that is not UTF-8 keeps its bytes.
    QString source = parser.positionalArguments().constFirst();
    for (int i = argc - 1; i > 0; --i)
        if (QString::fromLocal8Bit(argv[i]) == source) {
            source = DecodeFileName(QByteArray(argv[i]));
            break;
        }

    StderrMessageBoxes boxes;
    SetMessageBoxes(&boxes);

    soundlib::RealSoundLib lib;
    lib.BASS_SetConfig(soundlib::BASS_CONFIG_NET_TIMEOUT, kNetTimeoutMs);
    lib.BASS_SetConfigPtr(soundlib::BASS_CONFIG_NET_PROXY, nullptr);

    {
        TZorvanBass player(lib, nullptr);
        player.UseAac = parser.isSet(QStringLiteral("aac")) ? 1 : 0;
        player.InitDevice(int(device), nullptr);
        player.Load(source);
        const int loadError = lib.BASS_ErrorGetCode();
        if (loadError != soundlib::BASS_OK || !player.Loaded) {
            std::printf("load_error=%d %s\n", loadError, ErrorText(loadError).toUtf8().constData());
            std::fflush(stdout);
            SetMessageBoxes(nullptr);
            return 2;
        }
        if (volume >= 0) player.SetVolume(std::uint32_t(volume));

        bool ended = false;
        player.OnStop = [&](TZorvanBass*) {
            if (ended) return;  // one poll tick may raise it more than once
            ended = true;
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
        };

        int t = 0;
        bool fading = false;
        QTimer report;
        report.setInterval(1000);
        QObject::connect(&report, &QTimer::timeout, &app, [&] {
            ++t;
            const int err = lib.BASS_ErrorGetCode();
            int right = 0, left = 0;
            const std::uint32_t len = player.GetLength();
            const std::int32_t pos = player.GetPosition();
            const long long decode = player.GetDecodePosition();
            const long long download = player.GetDownloadPosition();
            const long long buffer = player.GetBufferPercent();
            player.GetLevels(right, left);
            std::printf("t=%d err=%d len_ms=%u pos_ms=%d decode=%lld download=%lld buffer_pct=%lld level_r=%d level_l=%d playing=%d output_lost=%d\n",
                        t, err, len, pos, decode, download, buffer, right, left, player.IsPlaying() ? 1 : 0,
                        player.OutputLost() ? 1 : 0);
            std::fflush(stdout);
            if (!player.Loaded && !ended) {
                // The channel was lost and could not be opened again: nothing will stop it.
                ended = true;
                app.quit();
                return;
            }
            if (seconds > 0 && t >= seconds && !fading && !ended) {
                if (fadeMs > 0 && player.IsPlaying()) {
                    fading = true;
                    player.FadeOut(std::uint16_t(fadeMs));
                    // The player's poll stops it when the fade is over; make sure we end anyway.
                    QTimer::singleShot(int(fadeMs) + kFadeGraceMs, &app, [&] {
                        if (!ended) player.Stop();
                    });
                } else {
                    player.Stop();
                }
            }
        });

        player.Play();
        report.start();
        app.exec();
        player.OnStop = nullptr;
        player.Close();
    }
    SetMessageBoxes(nullptr);
    return 0;
}
