// The main window's creation in a program folder: folders, settings files, players, logo,
// station, and the first activation with and without the autostart entry.
#include "windowfixture.h"

#include "system/autostart.h"
#include "system/formats.h"
#include "system/userformats.h"
#include "system/funcoes.h"
#include "system/programfolder.h"
#include "ui/thdtimer.h"
#include "ui_usom.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {
// As the tool tip shows it: the hint's carriage returns become line breaks.
const QString kLogoHintStart = QStringLiteral("LOGO DA EMPRESA\nTAMANHO 50X250 PIXELS\nARQUIVO: ");

// The scrambled form of a password, as the shops' PROXY.INI files hold it.
QString Scramble(const QByteArray& plain) {
    QByteArray out;
    for (char c : plain) out += char((static_cast<unsigned char>(c) + 433) % 256);
    return QString::fromLatin1(out);
}
}  // namespace

class StartupTest : public WindowFixture {};

TEST_F(StartupTest, FirstStartInAnEmptyFolderCreatesTheFoldersAndTakesEveryDefault) {
    Tfrm_sonarisv1AAC& w = Create();

    for (const char* dir : {"MUSICAS", "HISTORICO", "LOGO"})
        EXPECT_TRUE(QFileInfo(folder.File(QString::fromLatin1(dir))).isDir()) << dir;
    EXPECT_EQ(PlayerState.HistoryDir, folder.File("HISTORICO/"));
    EXPECT_EQ(PlayerState.MusicDir, folder.File("MUSICAS/"));
    EXPECT_EQ(PlayerState.DeviceIndex, 1);
    EXPECT_EQ(PlayerState.NormalVolume, 100);
    EXPECT_EQ(w.GenreIndex, 0);
    EXPECT_EQ(w.ui->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(w.ui->ComboBox6->currentIndex(), 0);
    EXPECT_EQ(PlayerState.WebError, -1);
    EXPECT_EQ(w.Run->ConnectTicks, 60);
    EXPECT_EQ(w.Local->FlushCount, 0);
    EXPECT_FALSE(PlayerState.CloseArmed);
    EXPECT_EQ(PlayerState.ProxyUser, "");
    EXPECT_EQ(PlayerState.ProxyServer, "");
    EXPECT_EQ(PlayerState.ProxyPortStream, "0");
    EXPECT_EQ(PlayerState.ProxyTypeStream, "0");
    EXPECT_EQ(PlayerState.StreamUrl, DefaultStreamBase() + "9500");
    EXPECT_EQ(PlayerState.StreamUrl, "http://127.0.0.1:9500");  // the demonstration build's station
    EXPECT_EQ(PlayerState.StationLabel, "SONARIS-V1 DEMONSTRATIVO");
    EXPECT_EQ(w.ui->Panel1->text(), "SONARIS-V1 DEMONSTRATIVO");
    EXPECT_EQ(w.ui->Label29->text(), "AAC");
    EXPECT_EQ(w.windowTitle(), "Vendrasil Sonaris-V1-DEMONSTRATIVO");
    EXPECT_EQ(w.ui->Image1->toolTip(), kLogoHintStart + folder.Path() + "LOGO/LOGO.JPG");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(StartupTest, BothPlayersStartOnTheChosenDeviceAndOnlyTheStreamPlayerUsesAac) {
    lib.deviceDescriptions[2] = "Second output";
    WriteFile("SERVER.INI", {"DEVICE=2", "INDEX_SERVER=0", "INDEX_GENERO=0"});
    WriteFile("VOLUME.INI", {"VOLUME_NORMAL=80"});
    Tfrm_sonarisv1AAC& w = Create();

    EXPECT_EQ(PlayerState.DeviceIndex, 2);
    EXPECT_EQ(PlayerState.NormalVolume, 80);
    EXPECT_EQ(lib.CountCalls("BASS_Init 2"), 1);
    EXPECT_EQ(w.WebPlayer->Device, 2);
    EXPECT_EQ(w.LocalPlayer->Device, 2);
    EXPECT_EQ(w.WebPlayer->BufferLength, 3000);
    EXPECT_EQ(w.LocalPlayer->BufferLength, 3000);
    EXPECT_EQ(w.WebPlayer->UseAac, 1);
    EXPECT_EQ(w.LocalPlayer->UseAac, 0);
    EXPECT_TRUE(w.WebPlayer->OnStop);
    EXPECT_TRUE(w.LocalPlayer->OnStop);
}

TEST_F(StartupTest, TimersStartAsDesigned) {
    Tfrm_sonarisv1AAC& w = Create();
    EXPECT_FALSE(w.Timer_Geral->isActive());
    EXPECT_EQ(w.Timer_Geral->interval(), 5000);
    EXPECT_TRUE(w.Timer_sempre->Enabled());
    EXPECT_EQ(w.Timer_sempre->Interval(), 300u);
    EXPECT_FALSE(w.Timer_abertura->Enabled());
    EXPECT_EQ(w.Timer_abertura->Interval(), 3000u);
    EXPECT_FALSE(w.timer_meter->Enabled());
    EXPECT_EQ(w.timer_meter->Interval(), 100u);
    EXPECT_EQ(w.timer_meter->Tag, 1);
    for (QTimer* ramp : {w.timer_DiminuirVolume, w.timer_aumentarvolume}) {
        EXPECT_FALSE(ramp->isActive());
        EXPECT_EQ(ramp->interval(), 100);
    }
}

TEST_F(StartupTest, GenreSelectionOutOfRangeFallsBackToTheFirstItemAndNegativeSelectsNothing) {
    WriteFile("SERVER.INI", {"DEVICE=1", "INDEX_SERVER=0", "INDEX_GENERO=5"});
    EXPECT_EQ(Create().ui->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(window->GenreIndex, 0);

    window.reset();
    WriteFile("SERVER.INI", {"DEVICE=1", "INDEX_SERVER=0", "INDEX_GENERO=-1"});
    EXPECT_EQ(Create().ui->ComboBox1->currentIndex(), -1);
    EXPECT_EQ(window->GenreIndex, -1);
}

TEST_F(StartupTest, ValuesThatAreNotDecimalIntegersTakeTheKeysDefaults) {
    WriteFile("SERVER.INI", {"DEVICE=dois", "INDEX_SERVER=0", "INDEX_GENERO=0x1"});
    WriteFile("VOLUME.INI", {"VOLUME_NORMAL=alto"});
    Tfrm_sonarisv1AAC& w = Create();
    EXPECT_EQ(PlayerState.DeviceIndex, 1);
    EXPECT_EQ(w.GenreIndex, 0);
    EXPECT_EQ(PlayerState.NormalVolume, 100);
}

TEST_F(StartupTest, UnreadableSettingsFilesGiveTheDefaultsAndStartUpGoesOn) {
    // A folder where a file should be cannot be read as one.
    QDir(folder.Path()).mkdir("SERVER.INI");
    QDir(folder.Path()).mkdir("VOLUME.INI");
    QDir(folder.Path()).mkdir("PROXY.INI");
    Tfrm_sonarisv1AAC& w = Create();
    EXPECT_EQ(PlayerState.DeviceIndex, 1);
    EXPECT_EQ(PlayerState.NormalVolume, 100);
    EXPECT_EQ(w.GenreIndex, 0);
    EXPECT_EQ(PlayerState.ProxyTypeStream, "0");
    EXPECT_EQ(PlayerState.StreamUrl, DefaultStreamBase() + "9500");
}

TEST_F(StartupTest, ClienteIniBecomesRadioGnrWithTheSameBytes) {
    const QByteArray content("CLIENTE=Loja \xC9" "den\r\nCODIGO=42\r\n", 30);
    WriteBytes(folder.File("CLIENTE.INI"), content);
    Create();
    EXPECT_FALSE(QFileInfo::exists(folder.File("CLIENTE.INI")));
    EXPECT_EQ(ReadBytes(folder.File("RADIO.GNR")), content);
}

TEST_F(StartupTest, ClienteIniStaysWhenRadioGnrIsAlreadyThere) {
    WriteBytes(folder.File("CLIENTE.INI"), "new\r\n");
    WriteBytes(folder.File("RADIO.GNR"), "old\r\n");
    Create();
    EXPECT_EQ(ReadBytes(folder.File("CLIENTE.INI")), "new\r\n");
    EXPECT_EQ(ReadBytes(folder.File("RADIO.GNR")), "old\r\n");
}

TEST_F(StartupTest, ProxySettingsAreTrimmedWhereTheyShouldBeAndThePasswordDescrambled) {
    WriteFile("PROXY.INI", {"PROXY_USER=  loja01 ", "PROXY_PASS=" + Scramble("s3nha.x"), "PROXY_SERVER=  proxy.loja.local  ",
                            "PROXY_PORTA_FTP=21", "PROXY_PORTA_HTTP=80", "PROXY_PORTA_STRM= 3128", "PROXY_TYPE_DATA=0",
                            "PROXY_TYPE_STRM=2"});
    Create();
    EXPECT_EQ(PlayerState.ProxyUser, "loja01");
    EXPECT_EQ(PlayerState.ProxyPass, "s3nha.x");
    EXPECT_EQ(PlayerState.ProxyServer, "proxy.loja.local");
    EXPECT_EQ(PlayerState.ProxyPortStream, " 3128");  // the connection trims it when it builds the proxy text
    EXPECT_EQ(PlayerState.ProxyTypeStream, "2");
}

TEST_F(StartupTest, AProxyFileWithoutTheKeysGivesTheirDefaults) {
    WriteFile("PROXY.INI", {"QUALQUER=1"});
    Create();
    EXPECT_EQ(PlayerState.ProxyUser, "");
    EXPECT_EQ(PlayerState.ProxyPass, "");
    EXPECT_EQ(PlayerState.ProxyPortStream, "0");
    EXPECT_EQ(PlayerState.ProxyTypeStream, "0");
}

TEST_F(StartupTest, ARealJpegLogoIsShownStretchedInTheLogoArea) {
    QDir(folder.Path()).mkpath("LOGO");
    QImage logo(500, 100, QImage::Format_RGB32);
    logo.fill(QColor(200, 30, 30));
    ASSERT_TRUE(logo.save(folder.File("LOGO/LOGO.JPG"), "JPG"));
    Tfrm_sonarisv1AAC& w = Create();

    const QPixmap shown = w.ui->Image1->pixmap();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.size(), QSize(500, 100));
    const QColor centre = shown.toImage().pixelColor(250, 50);
    EXPECT_NEAR(centre.red(), 200, 8);
    EXPECT_NEAR(centre.green(), 30, 8);
    EXPECT_TRUE(w.ui->Image1->hasScaledContents());
    EXPECT_EQ(w.ui->Image1->size(), QSize(250, 50));
    EXPECT_EQ(w.ui->Image1->toolTip(), "");
}

TEST_F(StartupTest, ACorruptLogoGivesTheHintAndStartUpGoesOn) {
    QDir(folder.Path()).mkpath("LOGO");
    WriteBytes(folder.File("LOGO/LOGO.JPG"), QByteArray("\xFF\xD8\xFF\xE0 not really a picture", 26));
    Tfrm_sonarisv1AAC& w = Create();
    EXPECT_TRUE(w.ui->Image1->pixmap().isNull());
    EXPECT_EQ(w.ui->Image1->toolTip(), kLogoHintStart + folder.Path() + "LOGO/LOGO.JPG");
    EXPECT_EQ(PlayerState.StreamUrl, DefaultStreamBase() + "9500");
}

TEST_F(StartupTest, TodaysWindowFromTheScheduleReachesTheStateAndTheLabels) {
    // 8 December 2026 is a Tuesday: line 3.
    WriteFile("CFG.ACI", {"||||", "||||", "|08:00:00|18:30:00|0|0", "||||", "||||", "||||", "||||"});
    Tfrm_sonarisv1AAC& w = Create();
    EXPECT_EQ(PlayerState.TodayStart, QTime(8, 0));
    EXPECT_EQ(PlayerState.TodayStop, QTime(18, 30));
    EXPECT_EQ(w.ui->Label13->text(), "08:00:00");
    EXPECT_EQ(w.ui->Label15->text(), "18:30:00");
    EXPECT_EQ(w.ui->Label10->text(), "Status");
}

TEST_F(StartupTest, WithDataIniTheProgramWorksWithTheUsersOwnTimeFormat) {
    struct BackToFixed {
        ~BackToFixed() { UseFixedProgramFormats(); }
    } backToFixed;
    WriteBytes(folder.File("DATA.INI"), "");
    QDir().mkpath(QFileInfo(UserFormatsFile()).path());
    WriteBytes(UserFormatsFile(), "TIME_FORMAT=HH.mm.ss\r\nSHORT_DATE_FORMAT=yyyy-MM-dd\r\n");
    WriteFile("CFG.ACI", QStringList(7, "|08.00.00|18.30.00|0|0"));
    Tfrm_sonarisv1AAC& w = Create();
    EXPECT_EQ(PlayerState.TodayStart, QTime(8, 0));
    EXPECT_EQ(w.ui->Label15->text(), "18.30.00");
    EXPECT_EQ(FormatDate(QDate(2026, 12, 8)), "2026-12-08");
}

TEST_F(StartupTest, WithoutAScheduleTheStatusLineSaysSoAndTheTimesStayAtZero) {
    Tfrm_sonarisv1AAC& w = Create();
    EXPECT_EQ(w.ui->Label10->text(), QStringLiteral("PROGRAMAÇÃO DE ACIONAMENTO NÃO DEFINIDA"));
    EXPECT_EQ(w.ui->Label13->text(), "00:00:00");
    EXPECT_EQ(w.ui->Label15->text(), "00:00:00");
    EXPECT_EQ(PlayerState.TodayStart, QTime(0, 0));
    EXPECT_EQ(PlayerState.TodayStop, QTime(0, 0));
}

TEST_F(StartupTest, EveryShowSelectsTheStreamingTab) {
    Tfrm_sonarisv1AAC& w = Create();
    w.ui->PageControl1->setCurrentIndex(2);
    w.show();
    EXPECT_EQ(w.ui->PageControl1->currentIndex(), 0);
    w.hide();
    w.ui->PageControl1->setCurrentIndex(1);
    w.show();
    EXPECT_EQ(w.ui->PageControl1->currentIndex(), 0);
}

// --- the first activation ------------------------------------------------------------------

TEST_F(StartupTest, WithTheAutostartEntryTheFirstActivationSwitchesThePlayerOnAndMinimisesItLater) {
    CreateStartupShortcut(ExecutablePath(), QString(), folder.Path(), StartupLinkName);
    ASSERT_TRUE(StartupShortcutExists(StartupLinkName));
    Tfrm_sonarisv1AAC& w = Create();
    w.show();
    w.FormActivate();

    EXPECT_TRUE(PlayerState.AutoStarted);
    EXPECT_TRUE(w.IsActive());
    EXPECT_TRUE(w.Timer_abertura->Enabled());
    EXPECT_EQ(PlayerState.StreamUrl, DefaultStreamBase() + "9500");
    EXPECT_FALSE(w.isMinimized());

    w.Timer_aberturaTimer();  // three seconds later
    EXPECT_FALSE(w.Timer_abertura->Enabled());
    EXPECT_EQ(w.ui->Label10->text(), "Estabilizando Sistema...Aguarde");
    EXPECT_TRUE(w.Timer_Geral->isActive());
    // No notification area offscreen: an ordinary minimised window.
    EXPECT_TRUE(w.isMinimized() || !w.isVisible());
}

TEST_F(StartupTest, WithoutTheAutostartEntryTheFirstActivationLeavesThePlayerOffAndTheWindowOpen) {
    Tfrm_sonarisv1AAC& w = Create();
    w.show();
    w.FormActivate();
    EXPECT_FALSE(PlayerState.AutoStarted);
    EXPECT_FALSE(w.IsActive());
    EXPECT_FALSE(w.Timer_abertura->Enabled());
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isMinimized());
    EXPECT_EQ(w.ui->Label10->text(), QStringLiteral("PROGRAMAÇÃO DE ACIONAMENTO NÃO DEFINIDA"));
}

TEST_F(StartupTest, OnlyTheFirstActivationRuns) {
    Tfrm_sonarisv1AAC& w = Create();
    w.FormActivate();
    w.FormActivate();
    EXPECT_EQ(w.ui->Memo1->toPlainText(), "10:00:00 - ** INICIADO O SISTEMA **");
}

TEST_F(StartupTest, TheTrayIconAnswersOnlyFromTheFirstActivationOn) {
    Tfrm_sonarisv1AAC& w = Create();
    EXPECT_EQ(w.VrTrayIcon1->toolTip(), "Vendrasil Sonaris");
    EXPECT_FALSE(w.VrTrayIcon1->icon().isNull());
    EXPECT_EQ(w.VrTrayIcon1->contextMenu(), nullptr);
    w.FormActivate();
    EXPECT_EQ(w.VrTrayIcon1->contextMenu(), w.PopupMenu3);
}

TEST_F(StartupTest, ASoundDeviceThatFailsToStartIsReportedAndTheTimersServedInItsBoxDoNotCrash) {
    lib.failInit.insert(1);
    // The device's box is modal: the always-running timer ticks inside it, before the local
    // player exists.
    boxes.whileOpen = [](const RecordingMessageBoxes::Box&) { PumpEvents(700); };
    Tfrm_sonarisv1AAC& w = Create();
    ASSERT_FALSE(boxes.boxes.empty());
    EXPECT_TRUE(boxes.boxes.front().text.startsWith(QStringLiteral("Inicialização da Device com Problemas\r")));
    ASSERT_NE(w.LocalPlayer, nullptr);
    w.Timer_sempreTimer();
    EXPECT_FALSE(w.ui->MMLED1->Lit());
}
