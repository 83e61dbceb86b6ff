// ESTACAO.INI as the window takes it at creation and first activation: the address played,
// the caption, the dead-air settings, and the refusal of an address that cannot be a station's.
#include "windowfixture.h"

#include "app/stationfile.h"
#include "ui_usom.h"

#include <QFile>

namespace {
const QString kRefused = QStringLiteral("ESTACAO.INI: endereço inválido - usando a estação padrão");
const QString kDefaultUrl = QStringLiteral("http://127.0.0.1:9500");
const QString kDefaultLabel = QStringLiteral("SONARIS-V1 DEMONSTRATIVO");
}  // namespace

class StationFileTest : public WindowFixture {
protected:
    struct Seen {
        QString url, label, panel, keyC, reportLast;
        QStringList history;
        int silenceDb = 0, silenceSeconds = 0;
    };
    // A new start with ESTACAO.INI holding `bytes` (nullptr: no file), through the first activation.
    Seen Start(const char* bytes) {
        window.reset();
        PlayerState = TPlayerState{};
        QFile::remove(folder.File("ESTACAO.INI"));
        QFile::remove(folder.File("HISTORICO/20261208.PCS"));
        if (bytes) WriteBytes(folder.File("ESTACAO.INI"), QByteArray(bytes));
        Tfrm_sonarisv1AAC& w = Create();
        w.FormActivate();
        boxes.Clear();
        w.FormKeyPress('C');
        Seen s;
        s.url = PlayerState.StreamUrl;
        s.label = PlayerState.StationLabel;
        s.panel = w.ui->Panel1->text();
        s.keyC = boxes.Texts().value(0);
        s.reportLast = w.DiagnosticsReport().section(QLatin1Char('\r'), -1);
        for (const QString& line : w.ui->Memo1->toPlainText().split('\n', Qt::SkipEmptyParts)) s.history << line.mid(11);
        s.silenceDb = PlayerState.SilenceDb;
        s.silenceSeconds = PlayerState.SilenceSeconds;
        return s;
    }
};

TEST_F(StationFileTest, TheFileNamesTheStationOrIsRefusedWithoutStoppingTheStart) {
    const QStringList started{"** INICIADO O SISTEMA **"};

    // Absent, or present with blank values: everything as built.
    for (const char* file : {static_cast<const char*>(nullptr), "URL=\r\nNOME=   \r\n", ""}) {
        const Seen s = Start(file);
        EXPECT_EQ(s.url, kDefaultUrl) << (file ? file : "(none)");
        EXPECT_EQ(s.label, kDefaultLabel);
        EXPECT_EQ(s.panel, kDefaultLabel);
        EXPECT_EQ(s.keyC, kDefaultUrl);
        EXPECT_TRUE(s.reportLast.startsWith("WMIN_POS: ")) << s.reportLast.toStdString();
        EXPECT_EQ(s.history, started);
        EXPECT_EQ(s.silenceDb, -50);
        EXPECT_EQ(s.silenceSeconds, 30);
    }

    // http with a port and a path, a caption in code page 1252, the dead-air settings.
    {
        const Seen s = Start("NOME=R\xC1""DIO S\xC3O JO\xC3O \x96 LOJA 7\r\n"
                             "  URL=http://radio.example.com.br:8000/live/loja7.aac  \r\n"
                             "SILENCIO_DB=-45\r\nSILENCIO_SEGUNDOS=0\r\n");
        EXPECT_EQ(s.url, "http://radio.example.com.br:8000/live/loja7.aac");
        EXPECT_EQ(s.label, QStringLiteral("RÁDIO SÃO JOÃO – LOJA 7"));
        EXPECT_EQ(s.panel, s.label);
        EXPECT_EQ(s.keyC, s.url);
        EXPECT_EQ(s.reportLast, "ESTACAO.INI URL: " + s.url);
        EXPECT_EQ(s.history, started);
        EXPECT_EQ(s.silenceDb, -45);
        EXPECT_EQ(s.silenceSeconds, 0);
    }
    // https with a query; values that are not numbers in range keep the defaults.
    {
        const Seen s = Start("URL=HTTPS://cdn.example.net/a/b?mount=x\r\nSILENCIO_DB=-5O\r\nSILENCIO_SEGUNDOS=-3\r\n");
        EXPECT_EQ(s.url, "HTTPS://cdn.example.net/a/b?mount=x");
        EXPECT_EQ(s.label, kDefaultLabel);
        EXPECT_EQ(s.silenceDb, -50);
        EXPECT_EQ(s.silenceSeconds, 30);
    }

    // Addresses that no station has: the default station, and the history says why; the
    // caption of the same file still applies.
    const std::string base = "http://radio.example.com/";
    const std::string tooLong = "URL=" + base + std::string(1001 - base.size(), 'a') + "\r\n";
    for (const char* file : {"URL=radio.example.com:8000/live\r\nNOME=LOJA\r\n", "URL=ftp://radio.example.com/live\r\nNOME=LOJA\r\n",
                             "URL=http:///live\r\nNOME=LOJA\r\n", "URL=http://radio example.com/\r\nNOME=LOJA\r\n",
                             "URL=http://user:pw@radio.example.com/\r\nNOME=LOJA\r\n", "URL=http://radio.example.com:99999/\r\nNOME=LOJA\r\n",
                             // Hosts that QUrl takes and the stream's open does not.
                             "URL=http://r\xE1""dio.example.com/\r\nNOME=LOJA\r\n", "URL=http://[::1]:8000/\r\nNOME=LOJA\r\n",
                             "URL=http://radio.example.com:/live\r\nNOME=LOJA\r\n", tooLong.c_str()}) {
        const Seen s = Start(file);
        EXPECT_EQ(s.url, kDefaultUrl) << file;
        EXPECT_EQ(s.keyC, kDefaultUrl) << file;
        EXPECT_EQ(s.history, QStringList({"** INICIADO O SISTEMA **", kRefused})) << file;
        EXPECT_TRUE(s.reportLast.startsWith("WMIN_POS: ")) << file;
    }
    EXPECT_EQ(Start("URL=http://radio.example.com/live\r\nNOME=LOJA\r\n").label, "LOJA");
    // 1000 characters are still an address.
    EXPECT_EQ(Start(("URL=" + base + std::string(1000 - base.size(), 'a') + "\r\n").c_str()).url.size(), 1000);
}
