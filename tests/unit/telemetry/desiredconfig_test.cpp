// The office's desired settings as a shop checks and writes them, the record of the versions it
// handled, its answer, and FROTA.INI's REMOTO=.
#include "spots/spotsfile.h"
#include "telemetry/desiredconfig.h"
#include "telemetry/fleetconfig.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {
const QByteArray kWeek =
    R"("horarios": [null, {"inicio": "08:00:00", "fim": "18:30:00"}, {"inicio": "08:00:00", "fim": "18:30:00"},
                    {"inicio": "08:00:00", "fim": "18:30:00"}, {"inicio": "08:00:00", "fim": "18:30:00"},
                    {"inicio": "18:00:00", "fim": "02:00:00"}, {"inicio": "00:00:00", "fim": "06:00:00"}])";
}  // namespace

class DesiredConfigTest : public ::testing::Test {
protected:
    TempProgramFolder folder;
};

TEST_F(DesiredConfigTest, AGoodDocumentIsTakenWhole) {
    const DesiredCheck check = CheckDesiredConfig("{\"versao\": 7, " + kWeek + R"(,
        "estacao": {"url": "https://radio.exemplo.com.br:8443/loja", "nome": "Rádio Centro"},
        "volume": 40, "nivelar": false, "ativado": true, "autor": "Márcia", "motivo": "Sexta fecha às 2h"})");
    ASSERT_TRUE(check.Config) << check.Refusal.toStdString();
    const DesiredConfig& c = *check.Config;
    EXPECT_EQ(c.Version, 7);
    ASSERT_TRUE(c.Schedule);
    EXPECT_FALSE((*c.Schedule)[0]);
    EXPECT_EQ((*c.Schedule)[5]->Start, QTime(18, 0));  // Friday's night
    EXPECT_EQ((*c.Schedule)[5]->Stop, QTime(2, 0));
    EXPECT_EQ(c.Station->Url, "https://radio.exemplo.com.br:8443/loja");
    EXPECT_EQ(c.Station->Label, "Rádio Centro");
    EXPECT_EQ(c.Volume, 40);
    EXPECT_EQ(c.Level, false);
    EXPECT_EQ(c.Activated, true);
    EXPECT_EQ(AppliedHistoryLine(c), QStringLiteral("CONFIGURAÇÃO REMOTA APLICADA - versão 7 - Márcia: Sexta fecha às 2h"));

    // An absent key leaves that setting alone.
    const DesiredCheck volumeOnly = CheckDesiredConfig(R"({"versao": 8, "volume": 0})");
    ASSERT_TRUE(volumeOnly.Config);
    EXPECT_FALSE(volumeOnly.Config->Schedule || volumeOnly.Config->Station || volumeOnly.Config->Level || volumeOnly.Config->Activated);
    const DesiredCheck builtIn = CheckDesiredConfig(R"({"versao": 9, "estacao": null})");
    ASSERT_TRUE(builtIn.Config && builtIn.Config->Station);
    EXPECT_TRUE(builtIn.Config->Station->Url.isEmpty());
}

TEST_F(DesiredConfigTest, OneBadValueRefusesTheWholeDocumentAndSaysWhich) {
    auto day = [](const char* tuesday) {
        return QByteArray(R"({"versao": 3, "volume": 50, "horarios": [null, null, )") + tuesday + ", null, null, null, null]}";
    };
    const std::pair<QByteArray, const char*> cases[] = {
        {QByteArray(64 * 1024 + 1, ' '), "documento maior que 64 KB"},
        {"versao=3", "documento não é JSON válido (posição 1)"},
        {R"({"versao": 3} x)", "documento não é JSON válido (posição 14)"},
        {"[3]", "documento não é um objeto JSON"},
        {R"({"volume": 50})", "versão ausente ou inválida"},
        {R"({"versao": 0})", "versão ausente ou inválida"},
        {R"({"versao": 2.5})", "versão ausente ou inválida"},
        {R"({"versao": "3"})", "versão ausente ou inválida"},
        {R"({"versao": 3, "horarios": [null, null, null, null, null, null]})", "horários devem ser 7 dias, de Domingo a Sábado"},
        {day(R"({"inicio": "25:00:00", "fim": "18:00:00"})"), "horário inválido em Terça"},
        {day(R"({"inicio": "8:00:00", "fim": "18:00:00"})"), "horário inválido em Terça"},
        {day(R"({"inicio": "08:00:00"})"), "horário inválido em Terça"},
        {day(R"({"inicio": "08:00:00", "fim": "08:00:00"})"), "horário inválido em Terça"},
        {day(R"({"inicio": "00:00:00", "fim": "00:00:00"})"), "horário inválido em Terça"},
        {day(R"({"inicio": "08:00:00", "fim": "18:00:00", "x": 1})"), "horário inválido em Terça"},
        {day(R"("08:00:00-18:00:00")"), "horário inválido em Terça"},
        {R"({"versao": 3, "estacao": {"url": "ftp://radio.exemplo.com.br/a"}})", "endereço da estação inválido"},
        {R"({"versao": 3, "estacao": {"url": "http://u:p@radio.exemplo.com.br/a"}})", "endereço da estação inválido"},
        {R"({"versao": 3, "estacao": {"nome": "Rádio"}})", "endereço da estação inválido"},
        {R"({"versao": 3, "estacao": {"url": "http://radio/a", "nome": "A\r\nURL=http://outra/"}})", "nome da estação inválido"},
        {R"({"versao": 3, "estacao": "http://radio/a"})", "estação inválida"},
        {R"({"versao": 3, "volume": 101})", "volume fora de 0 a 100"},
        {R"({"versao": 3, "volume": -1})", "volume fora de 0 a 100"},
        {R"({"versao": 3, "volume": 40.5})", "volume fora de 0 a 100"},
        {R"({"versao": 3, "volume": "40"})", "volume não é um número"},
        {R"({"versao": 3, "nivelar": "sim"})", "nivelar deve ser true ou false"},
        {R"({"versao": 3, "ativado": 1})", "ativado deve ser true ou false"},
        {R"({"versao": 3, "autor": "Márcia\nCONFIGURAÇÃO REMOTA APLICADA"})", "autor inválido"},
        {R"({"versao": 3, "motivo": 5})", "motivo inválido"},
        {R"({"versao": 3, "horario": []})", "chave desconhecida: horario"},
        {R"({"versao": 3, "volume_por_hora": [40]})", "volume por hora deve ser um objeto de horas"},
        {R"({"versao": 3, "volume_por_hora": {"8": 40}})", "hora inválida em volume por hora: 8"},
        {R"({"versao": 3, "volume_por_hora": {"24": 40}})", "hora inválida em volume por hora: 24"},
        {R"({"versao": 3, "volume_por_hora": {"08": 40, "12": 101}})", "volume por hora fora de 0 a 100 às 12h"},
        {R"({"versao": 3, "volume_por_hora": {"08": "40"}})", "volume por hora fora de 0 a 100 às 08h"},
        {R"({"versao": 3, "spots": {"hora": "08:00:00"}})", "spots devem ser uma lista"},
        {R"({"versao": 3, "spots": [{"hora": "08:00:00", "dias": "2", "arquivo": "A.MP3"}, 5]})", "spot 2 inválido"},
        {R"({"versao": 3, "spots": [{"hora": "08:00:00", "dias": "2", "arquivo": "A.MP3", "volume": 3}]})", "spot 1 inválido"},
        {R"({"versao": 3, "spots": [{"hora": "8:00", "dias": "2", "arquivo": "A.MP3"}]})", "hora do spot 1 inválida"},
        {R"({"versao": 3, "spots": [{"hora": "*/0", "dias": "2", "arquivo": "A.MP3"}]})", "hora do spot 1 inválida"},
        {R"({"versao": 3, "spots": [{"hora": "*/61", "dias": "2", "arquivo": "A.MP3"}]})", "hora do spot 1 inválida"},
        {R"({"versao": 3, "spots": [{"hora": "08:00:00", "dias": "8", "arquivo": "A.MP3"}]})", "dias do spot 1 inválidos"},
        {R"({"versao": 3, "spots": [{"hora": "08:00:00", "dias": "", "arquivo": "A.MP3"}]})", "dias do spot 1 inválidos"},
        {R"({"versao": 3, "spots": [{"hora": "08:00:00", "dias": "2", "arquivo": "../CFG.ACI"}]})", "arquivo do spot 1 inválido"},
        {R"({"versao": 3, "spots": [{"hora": "08:00:00", "dias": "2", "arquivo": ".."}]})", "arquivo do spot 1 inválido"},
        {R"({"versao": 3, "spots": [{"hora": "08:00:00", "dias": "2", "arquivo": "a\\b.mp3"}]})", "arquivo do spot 1 inválido"},
        {R"({"versao": 3, "spots": [{"hora": "08:00:00", "dias": "2", "arquivo": "niveis.ini"}]})", "arquivo do spot 1 inválido"},
        {R"({"versao": 3, "spots": [{"hora": "08:00:00", "dias": "2", "arquivo": "A.MP3\r\n00:00:00;1;B"}]})", "arquivo do spot 1 inválido"},
        {R"({"versao": 3, "spots": [{"hora": "08:00:00", "dias": "2", "arquivo": "A.MP3", "url": "http://cdn/a.mp3",
             "sha256": "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"}]})", "endereço do spot 1 inválido"},
        {R"({"versao": 3, "spots": [{"hora": "08:00:00", "dias": "2", "arquivo": "A.MP3", "url": "https://cdn/a.mp3"}]})",
         "sha256 do spot 1 inválido"},
        {R"({"versao": 3, "spots": [{"hora": "08:00:00", "dias": "2", "arquivo": "A.MP3", "url": "https://cdn/a.mp3", "sha256": "e3b0"}]})",
         "sha256 do spot 1 inválido"},
        {R"({"versao": 3, "spots": [{"hora": "08:00:00", "dias": "2", "arquivo": "A.MP3", "url": "https://cdn/a.mp3",
             "sha256": "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
            {"hora": "12:00:00", "dias": "2", "arquivo": "A.MP3"}]})", "spot 2: arquivo repetido com outra origem"},
    };
    for (const auto& [payload, reason] : cases) {
        const DesiredCheck check = CheckDesiredConfig(payload);
        EXPECT_FALSE(check.Config) << payload.left(80).toStdString();
        EXPECT_EQ(check.Refusal, QString::fromUtf8(reason)) << payload.left(80).toStdString();
    }
    // The version of a refused document is known for the answer whenever it could be read.
    EXPECT_EQ(CheckDesiredConfig(day(R"({"inicio": "08:00:00", "fim": "08:00:00"})")).Version, 3);
    EXPECT_EQ(RefusedHistoryLine(3, QStringLiteral("horário inválido em Terça")),
              QStringLiteral("CONFIGURAÇÃO REMOTA RECUSADA - versão 3 - horário inválido em Terça"));
}

TEST_F(DesiredConfigTest, TheFilesAreTheBytesTheEditorsWrite) {
    WriteBytes(folder.File("ESTACAO.INI"),
               "url=http://antiga/a\r\nSILENCIO_DB=-40\r\nNOME=Antiga\r\n  URL=http://mais-antiga/b\r\nNIVELAR=1\r\n");
    const DesiredCheck check = CheckDesiredConfig("{\"versao\": 7, " + kWeek + R"(,
        "estacao": {"url": "http://radio.exemplo.com.br:8000/loja", "nome": "Rádio Centro"}, "volume": 40, "nivelar": false})");
    ASSERT_TRUE(check.Config);
    EXPECT_EQ(WriteDesiredFiles(*check.Config, folder.Path()), "");
    // A day without a window as F11 leaves a day never saved; the others as F11 saves them.
    EXPECT_EQ(ReadBytes(folder.File("CFG.ACI")),
              "||||\r\n|08:00:00|18:30:00|0|0\r\n|08:00:00|18:30:00|0|0\r\n|08:00:00|18:30:00|0|0\r\n|08:00:00|18:30:00|0|0\r\n"
              "|18:00:00|02:00:00|0|0\r\n|00:00:00|06:00:00|0|0\r\n");
    EXPECT_EQ(ReadBytes(folder.File("VOLUME.INI")), "VOLUME_NORMAL=40\r\n");
    EXPECT_EQ(ReadBytes(folder.File("ESTACAO.INI")),
              "URL=http://radio.exemplo.com.br:8000/loja\r\nSILENCIO_DB=-40\r\nNOME=R\xE1"
              "dio Centro\r\nNIVELAR=0\r\n");

    // Back to the built-in station: its lines go, the others stay; files not named stay as they are.
    const DesiredCheck builtIn = CheckDesiredConfig(R"({"versao": 8, "estacao": null})");
    EXPECT_EQ(WriteDesiredFiles(*builtIn.Config, folder.Path()), "");
    EXPECT_EQ(ReadBytes(folder.File("ESTACAO.INI")), "SILENCIO_DB=-40\r\nNIVELAR=0\r\n");
    EXPECT_EQ(ReadBytes(folder.File("VOLUME.INI")), "VOLUME_NORMAL=40\r\n");
}

// SPOTS.INI as its reader takes it, the shop's ABAIXAR_DB= kept; the files to fetch beside it;
// VOLUME.INI's hourly lines in the hourly volume's form, VOLUME_NORMAL= kept, and cleared again.
TEST_F(DesiredConfigTest, SpotsAndVolumesByTheHourAreWrittenInTheShopsOwnForms) {
    WriteBytes(folder.File("SPOTS.INI"), "abaixar_db = 20\r\n10:00:00;1;VELHO.MP3\r\n");
    WriteBytes(folder.File("VOLUME.INI"), "VOLUME_NORMAL=70\r\nVOLUME_22=5\r\n");
    const char* sha = "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855";
    const DesiredCheck check = CheckDesiredConfig(QByteArray(R"({"versao": 5, "volume_por_hora": {"12": 80, "08": 40},
        "spots": [{"hora": "*/30", "dias": "234567", "arquivo": "Promoção; carnes.mp3", "url": "https://cdn.exemplo.com.br/p.mp3",
                   "sha256": ")") + sha + R"("}, {"hora": "21:50:00", "dias": "1", "arquivo": "FECHAMENTO.MP3"}]})");
    ASSERT_TRUE(check.Config) << check.Refusal.toStdString();
    EXPECT_EQ(WriteDesiredFiles(*check.Config, folder.Path()), "");
    EXPECT_EQ(ReadBytes(folder.File("SPOTS.INI")), "abaixar_db = 20\r\n*/30;234567;Promo\xE7\xE3o; carnes.mp3\r\n21:50:00;1;FECHAMENTO.MP3\r\n");
    const SpotsSettings spots = ReadSpotsIni(folder.File("SPOTS.INI"));
    EXPECT_TRUE(spots.BadLines.empty());
    EXPECT_EQ(spots.DuckDb, 20);
    ASSERT_EQ(spots.Spots.size(), 2u);
    EXPECT_EQ(spots.Spots[0].File, QStringLiteral("Promoção; carnes.mp3"));
    EXPECT_EQ(spots.Spots[0].EveryMinutes, 30);
    const QJsonArray remote = QJsonDocument::fromJson(ReadBytes(folder.File("SPOTS_REMOTOS.JSON"))).array();
    ASSERT_EQ(remote.size(), 1);
    EXPECT_EQ(remote[0].toObject().value("sha256").toString(), QString::fromLatin1(sha).toLower());
    EXPECT_EQ(ReadBytes(folder.File("VOLUME.INI")), "VOLUME_NORMAL=70\r\nVOLUME_08=40\r\nVOLUME_12=80\r\n");

    const DesiredCheck cleared = CheckDesiredConfig(R"({"versao": 6, "volume_por_hora": null, "volume": 30, "spots": []})");
    ASSERT_TRUE(cleared.Config) << cleared.Refusal.toStdString();
    EXPECT_EQ(WriteDesiredFiles(*cleared.Config, folder.Path()), "");
    EXPECT_EQ(ReadBytes(folder.File("VOLUME.INI")), "VOLUME_NORMAL=30\r\n");
    EXPECT_EQ(ReadBytes(folder.File("SPOTS.INI")), "abaixar_db = 20\r\n");

    // The answer of an applied version lists what is missing; a refusal has no such list.
    const QDateTime at(QDate(2026, 12, 8), QTime(10, 0, 5), Qt::OffsetFromUTC, -3 * 3600);
    EXPECT_EQ(QJsonDocument::fromJson(AppliedPayload(5, true, QString(), at, {"B.MP3"})).object().value("faltando").toArray(),
              QJsonArray{"B.MP3"});
    EXPECT_FALSE(QJsonDocument::fromJson(AppliedPayload(5, false, "x", at)).object().contains("faltando"));
}

TEST_F(DesiredConfigTest, AFileThatCannotBeWrittenPutsBackTheOnesAlreadyWritten) {
    WriteBytes(folder.File("CFG.ACI"), "|09:00:00|17:00:00|0|0\r\n");
    ASSERT_TRUE(QDir(folder.Path()).mkdir(QStringLiteral("VOLUME.INI")));
    const DesiredCheck check = CheckDesiredConfig("{\"versao\": 4, \"volume\": 10, " + kWeek + "}");
    ASSERT_TRUE(check.Config);
    EXPECT_EQ(WriteDesiredFiles(*check.Config, folder.Path()), "não foi possível gravar VOLUME.INI");
    EXPECT_EQ(ReadBytes(folder.File("CFG.ACI")), "|09:00:00|17:00:00|0|0\r\n");
}

TEST_F(DesiredConfigTest, EachVersionIsHandledOnceAcrossRestarts) {
    EXPECT_EQ(ReadRemoteIni(folder.Path()), RemoteRecord{});
    const RemoteRecord record{12, 13, true};
    ASSERT_TRUE(WriteRemoteIni(folder.Path(), record));
    EXPECT_EQ(ReadBytes(folder.File("REMOTO.INI")), "VERSAO=12\r\nRECUSADA=13\r\nALTERADA_NA_LOJA=1\r\n");
    EXPECT_EQ(ReadRemoteIni(folder.Path()), record);
    // The retained document again, an older one, or the refused one again: nothing to do.
    EXPECT_FALSE(IsNewVersion(12, record));
    EXPECT_FALSE(IsNewVersion(5, record));
    EXPECT_FALSE(IsNewVersion(13, record));
    EXPECT_TRUE(IsNewVersion(14, record));

    WriteBytes(folder.File("REMOTO.INI"), "VERSAO=x\r\n");
    EXPECT_EQ(ReadRemoteIni(folder.Path()), RemoteRecord{});
}

TEST_F(DesiredConfigTest, TheAnswerCarriesTheVersionTheResultAndTheMomentWithItsOffset) {
    const QDateTime at(QDate(2026, 12, 8), QTime(10, 0, 5), Qt::OffsetFromUTC, -3 * 3600);
    const QJsonObject applied = QJsonDocument::fromJson(AppliedPayload(7, true, QString(), at)).object();
    EXPECT_EQ(applied.value("versao").toInteger(), 7);
    EXPECT_EQ(applied.value("resultado").toString(), "aplicada");
    EXPECT_EQ(applied.value("em").toString(), "2026-12-08T10:00:05-03:00");
    const QJsonObject refused = QJsonDocument::fromJson(AppliedPayload(0, false, QStringLiteral("documento não é um objeto JSON"), at)).object();
    EXPECT_TRUE(refused.value("versao").isNull());
    EXPECT_EQ(refused.value("resultado").toString(), "recusada");
    EXPECT_EQ(refused.value("motivo").toString(), "documento não é um objeto JSON");
}

TEST_F(DesiredConfigTest, FrotaIniTakesRemoteOnlyFromABrokerThatKnowsTheShop) {
    auto read = [&](const QByteArray& text) {
        WriteBytes(folder.File("FROTA.INI"), text);
        return ReadFleetIni(folder.Path());
    };
    const FleetConfig tls = read("SERVIDOR=mqtts://frota.exemplo.com.br\r\nLOJA=a\r\nUSUARIO=a\r\nSENHA=s\r\nREMOTO=1\r\n");
    ASSERT_TRUE(tls.Settings) << tls.BadKey.toStdString();
    EXPECT_TRUE(tls.Settings->Remote);
    const FleetConfig local = read("SERVIDOR=mqtt://127.0.0.1\r\nLOJA=a\r\nREMOTO=1\r\n");
    ASSERT_TRUE(local.Settings);
    EXPECT_TRUE(local.Settings->Remote);
    const FleetConfig off = read("SERVIDOR=mqtts://frota.exemplo.com.br\r\nLOJA=a\r\n");
    ASSERT_TRUE(off.Settings);
    EXPECT_FALSE(off.Settings->Remote);
    for (const char* text : {"SERVIDOR=mqtts://frota.exemplo.com.br\r\nLOJA=a\r\nREMOTO=1\r\n",
                             "SERVIDOR=mqtts://frota.exemplo.com.br\r\nLOJA=a\r\nUSUARIO=a\r\nREMOTO=1\r\n",
                             "SERVIDOR=mqtt://10.0.0.5\r\nLOJA=a\r\nREMOTO=1\r\n",
                             "SERVIDOR=mqtt://127.0.0.1\r\nLOJA=a\r\nREMOTO=sim\r\n"}) {
        const FleetConfig refused = read(text);
        EXPECT_FALSE(refused.Settings) << text;
        EXPECT_EQ(refused.BadKey, "REMOTO") << text;
    }
}
