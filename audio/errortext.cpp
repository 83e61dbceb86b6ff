#include "audio/uzorvanbass.h"

#include <cstdint>

namespace {
// Words of each known library code; nullptr for a code without its own text.
const char* CodeWords(int code) {
    switch (code) {
    case 1: return " - Erro de Memória";
    case 2: return " - Erro ao Abrir Arquivo";
    case 3: return " - Não encontrado Driver de Som";
    case 4: return " - Buffer Perdido";
    case 5: return " - Handle inválido";
    case 6: return " - Formato não suportado";
    case 7: return " - Posição de Play inválida";
    case 8: return " - Erro na Inicialização";
    case 9: return " - Erro no Start";
    case 10: return " - Não inicializado CD";
    case 11: return " - CDINIT Não inicializado CD";
    case 12: return " - Não há CD no Drive";
    case 13: return " - Não foi possível encontrar Trilha do CD";
    case 14: return " - Sistema Já inicializado";
    case 15: return " - Não há controle de volume (cd)";
    case 16: return " - Não Pausado";
    case 17: return " - Faixa Sem áudio";
    case 18: return " - Não foi possível descarregar o canal (free)";
    case 19: return " - Tipo especificado Ilegal";
    case 20: return " - Parametro especificado Ilegal";
    case 21: return " - 3D não suportado";
    case 22: return " - EAX não suportado";
    case 23: return " - Número inválido para Device";
    case 24: return " - Não está tocando";
    case 25: return " - Sample Rate inválido";
    case 26: return " - A3D.DLL não intalado";
    case 27: return " - O Stream não é um arquivo Stream (WAV/MP3)";
    case 29: return " - Não há hardware Disponível";
    case 30: return " - Sincronismo desativado";
    case 31: return " - O MOD MUSIC não está com os dados na sequencia";
    case 32: return " - Não foi encontrato conexão de Internet";
    case 33: return " - Não foi possível criar o Arquivo";
    case 34: return " - Efeito não está disponível";
    case 35: return " - Canal está tocando";
    case 37: return " - Dados requeridos não disponíveis";
    case 38: return " - O canal -  DECODIFICANDO CANAL";
    case 39: return " - Versão atual do Directx não suporta";
    case 40: return " - Tempo de conexão espirou";
    case 41: return " - Formato não suportado";
    case 42: return " - SPEAK indisponivel";
    case 1000: return " - Arquivo com Proteção (licença)";
    case 1001: return " - Windows Media 9 ou Superior não instalado";
    case 1002: return " - Acesso não permitido / usuário ou senha inválido";
    default: return nullptr;
    }
}
}  // namespace

QString ErrorText(int code) {
    // The texts were written for a 16-bit code: a wider library code keeps its low half, read
    // as signed, so -1 stays -1 and 65537 reads as 1.
    const int narrowed = static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(code) & 0xFFFFu));
    if (const char* words = CodeWords(narrowed))
        return QStringLiteral("Cod:BS") + QString::number(narrowed) + QString::fromUtf8(words);
    return QStringLiteral("CODIGO: BS(") + QString::number(narrowed) + QStringLiteral(") Erro Indefinido");
}
