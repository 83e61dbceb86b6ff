#pragma once
// The settings a chain's office wants for one shop, and what the shop did with them.
//
// The office publishes them retained on sonaris/<loja>/config/desejada: a JSON object of at
// most 64 KB with `versao` (a positive integer) and any of `horarios`, `estacao`, `volume`,
// `volume_por_hora`, `nivelar`, `ativado`, `spots`, `autor`, `motivo`; an absent key leaves that
// setting as it is. The
// shop takes the whole document or none of it: one value it cannot use refuses all, with a
// reason in Portuguese that names it. The checks are the ones the shop's own editors make
// (F11 for the schedule, nights included; ESTACAO.INI's for the station), so an office can
// send nothing that the shop could not have entered itself.
//
// A version is handled once: REMOTO.INI keeps the last one applied and the last one refused,
// and only a greater one is looked at, so the retained document that comes again at every
// connection changes nothing twice. The shop answers, retained, on
// sonaris/<loja>/config/aplicada.
//
// Nothing here waits for the network or a person; everything runs on the caller's thread.
#include "schedule/cfgfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

inline constexpr qsizetype kMaxDesiredBytes = 64 * 1024;

struct DesiredDay {
    QTime Start, Stop;  // a Stop earlier than Start is a night
};

struct DesiredStation {
    QString Url;    // empty: back to the built-in station (`null` in the document)
    QString Label;  // NOME=; empty: the built-in caption
};

// One line of SPOTS.INI; with an address, a file the shop downloads into SPOTS/.
struct DesiredSpot {
    QString When;  // "HH:MM:SS" or "*/MM", as SPOTS.INI writes it
    QString Days;  // weekday digits, 1 Sunday .. 7 Saturday
    QString File;  // a plain name in SPOTS/
    QString Url;   // https; empty: a file the shop already has
    QByteArray Sha256;  // 64 lowercase hex digits, with Url
};

struct DesiredConfig {
    std::int64_t Version = 0;
    // Sunday first; an empty day has no window (`null`), as a day never saved with F11.
    std::optional<std::array<std::optional<DesiredDay>, 7>> Schedule;
    std::optional<DesiredStation> Station;
    std::optional<int> Volume;  // 0 to 100
    // VOLUME.INI's VOLUME_HH= lines, all of them: hour -> 0..100, -1 for none (`null` or `{}`
    // clears them).
    std::optional<std::array<int, 24>> HourlyVolumes;
    std::optional<std::vector<DesiredSpot>> Spots;  // all of SPOTS.INI's spots
    std::optional<bool> Level;
    std::optional<bool> Activated;
    QString Author, Reason;  // free texts for the history line, one line each
};

struct DesiredCheck {
    std::int64_t Version = 0;             // as read; 0 when the document has no usable one
    std::optional<DesiredConfig> Config;  // every value good
    QString Refusal;                      // otherwise why, for the history and the answer
};

// An empty payload is no document: it is how an office clears its retained one, and the
// caller ignores it rather than refusing it.
DesiredCheck CheckDesiredConfig(const QByteArray& payload);

// REMOTO.INI, in the program folder, written by the player only (code page 1252, CR LF,
// replaced through a temporary file): VERSAO= the last version applied, RECUSADA= the last one
// refused, ALTERADA_NA_LOJA=1 once F11 or F10 changed a setting after the last version applied.
// A missing or damaged file reads as nothing handled yet.
inline const QString kRemoteIni = QStringLiteral("REMOTO.INI");
struct RemoteRecord {
    std::int64_t Applied = 0;
    std::int64_t Refused = 0;
    bool ChangedAtShop = false;
    bool operator==(const RemoteRecord&) const = default;
};
RemoteRecord ReadRemoteIni(const QString& programFolder);
bool WriteRemoteIni(const QString& programFolder, const RemoteRecord& record);
// Only a version greater than every one applied or refused before is looked at.
bool IsNewVersion(std::int64_t version, const RemoteRecord& record);

// Writes what the document sets, in the bytes F11 and F10 write for the same values: CFG.ACI
// (all seven days), VOLUME.INI (VOLUME_NORMAL= first, then the hourly lines in the hourly
// volume's own form), and ESTACAO.INI's URL=, NOME= and NIVELAR= with its other lines kept (a
// `null` station removes URL= and NOME=); with `spots`, SPOTS.INI (its ABAIXAR_DB= kept) and
// SPOTS_REMOTOS.JSON, the files to download. Each file is replaced through a temporary
// file and a rename; a file that cannot be written puts back the ones already replaced. Empty
// when done, else the reason. Files the document does not touch are left alone.
QString WriteDesiredFiles(const DesiredConfig& config, const QString& programFolder);

// The retained answer on config/aplicada: {"versao", "resultado": "aplicada"|"recusada",
// "motivo", "em": the moment in ISO 8601 with its offset}; `versao` null when the document had
// none usable.
// `missing`: spot files of an applied version not received yet, as `faltando`.
QByteArray AppliedPayload(std::int64_t version, bool applied, const QString& reason, const QDateTime& at,
                          const QStringList& missing = {});

// "CONFIGURAÇÃO REMOTA APLICADA - versão N - <autor>: <motivo>" and
// "CONFIGURAÇÃO REMOTA RECUSADA - versão N - <motivo>".
QString AppliedHistoryLine(const DesiredConfig& config);
QString RefusedHistoryLine(std::int64_t version, const QString& reason);
