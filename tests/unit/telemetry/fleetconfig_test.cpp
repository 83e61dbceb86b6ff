// FROTA.INI as a shop's technician writes it, and the values that must leave the fleet off.
#include "telemetry/fleetconfig.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

class FleetConfigTest : public ::testing::Test {
protected:
    FleetConfig Read(const QByteArray& text) {
        WriteBytes(folder.File("FROTA.INI"), text);
        return ReadFleetIni(folder.Path());
    }
    TempProgramFolder folder;
};

TEST_F(FleetConfigTest, AbsentFileMeansNoFleet) {
    const FleetConfig config = ReadFleetIni(folder.Path());
    EXPECT_FALSE(config.Present);
    EXPECT_FALSE(config.Settings);
}

TEST_F(FleetConfigTest, ABrokerOverTlsWithCredentials) {
    WriteBytes(folder.File("rede.pem"), "x");
    const FleetConfig config =
        Read("SERVIDOR=mqtts://frota.exemplo.com.br:8884\r\nLOJA=loja-214_centro\r\nUSUARIO=loja214\r\nSENHA=s3gr=do\r\nCA=rede.pem\r\n");
    ASSERT_TRUE(config.Settings) << config.BadKey.toStdString();
    EXPECT_EQ(config.Settings->Host, "frota.exemplo.com.br");
    EXPECT_EQ(config.Settings->Port, 8884);
    EXPECT_TRUE(config.Settings->Tls);
    EXPECT_EQ(config.Settings->Shop, "loja-214_centro");
    EXPECT_EQ(config.Settings->Password, "s3gr=do");
    EXPECT_EQ(config.Settings->CaFile, folder.File("rede.pem"));

    const FleetConfig plain = Read("SERVIDOR=mqtt://127.0.0.1\r\nLOJA=lab\r\nUSUARIO=a\r\nSENHA=b\r\n");
    ASSERT_TRUE(plain.Settings);
    EXPECT_EQ(plain.Settings->Port, 1883);
    EXPECT_FALSE(plain.Settings->Tls);
}

TEST_F(FleetConfigTest, EachBadValueNamesItsKeyAndLeavesTheFleetOff) {
    const std::pair<const char*, const char*> cases[] = {
        {"SERVIDOR=http://frota:80\r\nLOJA=a\r\n", "SERVIDOR"},
        {"SERVIDOR=mqtts://\r\nLOJA=a\r\n", "SERVIDOR"},
        {"SERVIDOR=mqtts://u:p@frota:8883\r\nLOJA=a\r\n", "SERVIDOR"},
        {"LOJA=a\r\n", "SERVIDOR"},
        {"SERVIDOR=mqtts://frota\r\nLOJA=loja 214\r\n", "LOJA"},
        // Cloned PCs share a host name: a shop that signs in names itself.
        {"SERVIDOR=mqtts://frota\r\nUSUARIO=u\r\nSENHA=x\r\n", "LOJA"},
        {"SERVIDOR=mqtts://frota\r\nLOJA=a\r\nSENHA=x\r\n", "USUARIO"},
        // Credentials never cross a network in clear.
        {"SERVIDOR=mqtt://frota.exemplo.com.br\r\nLOJA=a\r\nUSUARIO=u\r\nSENHA=x\r\n", "SENHA"},
        {"SERVIDOR=mqtts://frota\r\nLOJA=a\r\nCA=nao-existe.pem\r\n", "CA"},
    };
    for (const auto& [text, key] : cases) {
        const FleetConfig config = Read(text);
        EXPECT_TRUE(config.Present);
        EXPECT_FALSE(config.Settings) << text;
        EXPECT_EQ(config.BadKey, key) << text;
    }
}

TEST_F(FleetConfigTest, TheHostNameAsAShopId) {
    EXPECT_EQ(ShopIdFromHostName("caixa-01.loja.local"), "caixa-01");
    EXPECT_EQ(ShopIdFromHostName("PDV Centro"), "PDV_Centro");
    EXPECT_EQ(ShopIdFromHostName(""), "loja");
}
