#include "audio/uzorvanbass.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

TEST(ErrorText, KnownCodesCarryTheirWords) {
    EXPECT_EQ(ErrorText(2), QStringLiteral("Cod:BS2 - Erro ao Abrir Arquivo"));
    EXPECT_EQ(ErrorText(5), QStringLiteral("Cod:BS5 - Handle inválido"));
    EXPECT_EQ(ErrorText(32), QStringLiteral("Cod:BS32 - Não foi encontrato conexão de Internet"));
    EXPECT_EQ(ErrorText(40), QStringLiteral("Cod:BS40 - Tempo de conexão espirou"));
    EXPECT_EQ(ErrorText(1002), QStringLiteral("Cod:BS1002 - Acesso não permitido / usuário ou senha inválido"));
}

TEST(ErrorText, SpacingIsKeptLetterForLetter) {
    EXPECT_EQ(ErrorText(38), QStringLiteral("Cod:BS38 - O canal -  DECODIFICANDO CANAL"));
    EXPECT_EQ(ErrorText(26), QStringLiteral("Cod:BS26 - A3D.DLL não intalado"));
}

TEST(ErrorText, FormatAndFileFormatShareTheirWords) {
    EXPECT_EQ(ErrorText(41), QStringLiteral("Cod:BS41 - Formato não suportado"));
    EXPECT_EQ(ErrorText(6), QStringLiteral("Cod:BS6 - Formato não suportado"));
}

TEST(ErrorText, CodesWithoutWordsAreUndefined) {
    for (int code : {0, 28, 36, 43, 999, 1003, -1, -5})
        EXPECT_EQ(ErrorText(code), QStringLiteral("CODIGO: BS(%1) Erro Indefinido").arg(code)) << code;
}

TEST(ErrorText, WideCodesAreNarrowedToTheirSignedLowHalf) {
    EXPECT_EQ(ErrorText(65537), QStringLiteral("Cod:BS1 - Erro de Memória"));
    EXPECT_EQ(ErrorText(0xFFFF), QStringLiteral("CODIGO: BS(-1) Erro Indefinido"));
    EXPECT_EQ(ErrorText(65536 + 1000), QStringLiteral("Cod:BS1000 - Arquivo com Proteção (licença)"));
    EXPECT_EQ(ErrorText(32768), QStringLiteral("CODIGO: BS(-32768) Erro Indefinido"));
}
