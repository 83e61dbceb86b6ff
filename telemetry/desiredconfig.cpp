#include "telemetry/desiredconfig.h"

#include "spots/remotespots.h"
#include "spots/spotsfile.h"
#include "ui/hourlyvolume.h"

#include "system/codepage1252.h"
#include "system/funcoes.h"
#include "system/rawfile.h"
#include "system/stationaddress.h"
#include "ui/volumefile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>

#include <cmath>
#include <map>
#include <vector>

namespace {
// The page's numbers are JavaScript's: integers stay exact up to 2^53 - 1.
constexpr double kLargestVersion = 9007199254740991.0;
constexpr qsizetype kLongestLabel = 200;
constexpr qsizetype kLongestText = 500;

const char* const kDayNames[7] = {"Domingo", "Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado"};

// A text that fits one line of a 1252 file as it is: no control characters, nothing the code
// page would turn into '?'.
bool IsLineText(const QString& text, qsizetype longest) {
    if (text.size() > longest) return false;
    for (const QChar c : text)
        if (c.unicode() < 32 || c.unicode() == 127) return false;
    return FromCp1252(ToCp1252(text)) == text;
}

std::optional<QTime> Time(const QJsonValue& value) {
    static const QRegularExpression shape(QStringLiteral("^[0-9]{2}:[0-9]{2}:[0-9]{2}$"));
    const QString text = value.toString();
    const QTime t = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
    if (!value.isString() || !shape.match(text).hasMatch() || !t.isValid()) return std::nullopt;
    return t;
}

// Each reader returns the reason it refuses, empty when the value is good.
QString ReadDay(const QJsonValue& value, int index, std::optional<DesiredDay>& day) {
    day.reset();
    if (value.isNull()) return {};
    const QString bad = QStringLiteral("horário inválido em ") + QString::fromUtf8(kDayNames[index]);
    const QJsonObject o = value.toObject();
    if (!value.isObject() || o.size() != 2) return bad;
    const auto start = Time(o.value(QStringLiteral("inicio")));
    const auto stop = Time(o.value(QStringLiteral("fim")));
    if (!start || !stop) return bad;
    // A night needs no question here: the office's page asked it.
    const DayTimes check = CheckDayTimes(*start, *stop);
    if (check != DayTimes::Window && check != DayTimes::Night) return bad;
    day = DesiredDay{*start, *stop};
    return {};
}

QString ReadStation(const QJsonValue& value, DesiredStation& station) {
    station = {};
    if (value.isNull()) return {};
    const QJsonObject o = value.toObject();
    if (!value.isObject()) return QStringLiteral("estação inválida");
    for (auto it = o.begin(); it != o.end(); ++it)
        if (it.key() != QLatin1String("url") && it.key() != QLatin1String("nome")) return QStringLiteral("estação inválida");
    const QJsonValue url = o.value(QStringLiteral("url"));
    if (!url.isString() || !IsStationAddress(url.toString()) || !IsLineText(url.toString(), url.toString().size()))
        return QStringLiteral("endereço da estação inválido");
    const QJsonValue label = o.value(QStringLiteral("nome"));
    if (!label.isUndefined() && (!label.isString() || !IsLineText(label.toString(), kLongestLabel)))
        return QStringLiteral("nome da estação inválido");
    station = {url.toString(), label.toString().trimmed()};
    return {};
}

QString ReadBool(const QJsonValue& value, const QString& name, std::optional<bool>& out) {
    if (!value.isBool()) return name + QStringLiteral(" deve ser true ou false");
    out = value.toBool();
    return {};
}

QString ReadText(const QJsonValue& value, const QString& name, QString& out) {
    if (!value.isString() || !IsLineText(value.toString(), kLongestText)) return name + QStringLiteral(" inválido");
    out = value.toString().trimmed();
    return {};
}

// The checks SPOTS.INI's reader makes, kept strict enough that every line written reads back as
// it was sent.
QString ReadSpot(const QJsonValue& value, int number, DesiredSpot& spot) {
    const QString n = QString::number(number);
    const QJsonObject o = value.toObject();
    if (!value.isObject()) return QStringLiteral("spot %1 inválido").arg(n);
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!QStringList{"hora", "dias", "arquivo", "url", "sha256"}.contains(it.key())) return QStringLiteral("spot %1 inválido").arg(n);

    static const QRegularExpression every(QStringLiteral("^\\*/([0-9]{1,2})$"));
    const QJsonValue when = o.value(QStringLiteral("hora"));
    const QRegularExpressionMatch repeat = every.match(when.toString());
    const bool everyOk = repeat.hasMatch() && repeat.captured(1).toInt() >= 1 && repeat.captured(1).toInt() <= 60;
    if (!when.isString() || (!everyOk && !Time(when))) return QStringLiteral("hora do spot %1 inválida").arg(n);

    static const QRegularExpression weekdays(QStringLiteral("^[1-7]{1,7}$"));
    const QJsonValue days = o.value(QStringLiteral("dias"));
    if (!days.isString() || !weekdays.match(days.toString()).hasMatch()) return QStringLiteral("dias do spot %1 inválidos").arg(n);

    const QJsonValue file = o.value(QStringLiteral("arquivo"));
    if (!file.isString() || !IsPlainSpotName(file.toString()) || !IsLineText(file.toString(), kLongestLabel))
        return QStringLiteral("arquivo do spot %1 inválido").arg(n);

    const QJsonValue url = o.value(QStringLiteral("url"));
    const QJsonValue sha = o.value(QStringLiteral("sha256"));
    if (!url.isUndefined() && (!url.isString() || !IsSpotAddress(url.toString()) || !IsLineText(url.toString(), 2000)))
        return QStringLiteral("endereço do spot %1 inválido").arg(n);
    const QByteArray hash = sha.toString().toLower().toLatin1();
    if (url.isUndefined() != sha.isUndefined() || (!sha.isUndefined() && (!sha.isString() || !IsSha256Hex(hash))))
        return QStringLiteral("sha256 do spot %1 inválido").arg(n);
    spot = {when.toString(), days.toString(), file.toString(), url.toString(), url.isUndefined() ? QByteArray() : hash};
    return {};
}

QString ReadSpots(const QJsonValue& value, std::vector<DesiredSpot>& spots) {
    if (!value.isArray()) return QStringLiteral("spots devem ser uma lista");
    // One file, one source: two lines naming it with different addresses or hashes could not
    // both be right.
    std::map<QString, std::pair<QString, QByteArray>> sources;
    const QJsonArray list = value.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        DesiredSpot spot;
        if (QString bad = ReadSpot(list[i], int(i + 1), spot); !bad.isEmpty()) return bad;
        const auto [it, fresh] = sources.try_emplace(spot.File, spot.Url, spot.Sha256);
        if (!fresh && it->second != std::pair(spot.Url, spot.Sha256))
            return QStringLiteral("spot %1: arquivo repetido com outra origem").arg(i + 1);
        spots.push_back(spot);
    }
    return {};
}

QString ReadVolumeByHour(const QJsonValue& value, std::array<int, 24>& hours) {
    hours.fill(-1);
    if (value.isNull()) return {};
    if (!value.isObject()) return QStringLiteral("volume por hora deve ser um objeto de horas");
    const QJsonObject o = value.toObject();
    static const QRegularExpression twoDigits(QStringLiteral("^[0-9]{2}$"));
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (!twoDigits.match(it.key()).hasMatch() || it.key().toInt() > 23)
            return IsLineText(it.key(), 40) ? QStringLiteral("hora inválida em volume por hora: ") + it.key()
                                             : QStringLiteral("hora inválida em volume por hora");
        const double v = it.value().toDouble(-1);
        if (!it.value().isDouble() || v != std::floor(v) || v < 0 || v > 100)
            return QStringLiteral("volume por hora fora de 0 a 100 às %1h").arg(it.key());
        hours[std::size_t(it.key().toInt())] = int(v);
    }
    return {};
}

QString ReadSettingValue(const QString& key, const QJsonValue& value, DesiredConfig& c) {
    if (key == QLatin1String("versao")) return {};
    if (key == QLatin1String("horarios")) {
        const QJsonArray days = value.toArray();
        if (!value.isArray() || days.size() != 7) return QStringLiteral("horários devem ser 7 dias, de Domingo a Sábado");
        c.Schedule.emplace();
        for (int i = 0; i < 7; ++i)
            if (QString bad = ReadDay(days[i], i, (*c.Schedule)[i]); !bad.isEmpty()) return bad;
        return {};
    }
    if (key == QLatin1String("estacao")) return ReadStation(value, c.Station.emplace());
    if (key == QLatin1String("volume")) {
        if (!value.isDouble()) return QStringLiteral("volume não é um número");
        const double n = value.toDouble();
        if (n != std::floor(n) || n < 0 || n > 100) return QStringLiteral("volume fora de 0 a 100");
        c.Volume = int(n);
        return {};
    }
    if (key == QLatin1String("volume_por_hora")) return ReadVolumeByHour(value, c.HourlyVolumes.emplace());
    if (key == QLatin1String("spots")) return ReadSpots(value, c.Spots.emplace());
    if (key == QLatin1String("nivelar")) return ReadBool(value, QStringLiteral("nivelar"), c.Level);
    if (key == QLatin1String("ativado")) return ReadBool(value, QStringLiteral("ativado"), c.Activated);
    if (key == QLatin1String("autor")) return ReadText(value, QStringLiteral("autor"), c.Author);
    if (key == QLatin1String("motivo")) return ReadText(value, QStringLiteral("motivo"), c.Reason);
    // A key this shop does not know is a setting it would silently not apply.
    return IsLineText(key, 40) ? QStringLiteral("chave desconhecida: ") + key : QStringLiteral("chave desconhecida");
}

// The line that ESTACAO.INI's reader takes for KEY= is the first that starts with it, blanks
// and case aside: that one is set, any later ones dropped so that none can come back.
void SetKey(QStringList& lines, const QString& key, const std::optional<QString>& value) {
    const QString needle = key + QLatin1Char('=');
    bool done = !value;
    for (qsizetype i = 0; i < lines.size();) {
        if (!lines[i].trimmed().startsWith(needle, Qt::CaseInsensitive)) {
            ++i;
        } else if (!done) {
            lines[i] = needle + *value;
            done = true;
            ++i;
        } else {
            lines.removeAt(i);
        }
    }
    if (!done) lines << needle + *value;
}

struct Planned {
    QString path;
    QStringList lines;
    std::optional<QByteArray> raw = std::nullopt;  // a file of ours that is not 1252 lines
};
}  // namespace

DesiredCheck CheckDesiredConfig(const QByteArray& payload) {
    DesiredCheck check;
    auto refuse = [&](const QString& reason) {
        check.Refusal = reason;
        return check;
    };
    if (payload.size() > kMaxDesiredBytes) return refuse(QStringLiteral("documento maior que 64 KB"));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError)
        return refuse(QStringLiteral("documento não é JSON válido (posição %1)").arg(error.offset));
    if (!document.isObject()) return refuse(QStringLiteral("documento não é um objeto JSON"));
    const QJsonObject o = document.object();

    DesiredConfig c;
    const QJsonValue v = o.value(QStringLiteral("versao"));
    const double d = v.toDouble();
    if (!v.isDouble() || d != std::floor(d) || d < 1 || d > kLargestVersion) return refuse(QStringLiteral("versão ausente ou inválida"));
    c.Version = check.Version = std::int64_t(d);
    // The keys come in their sorted order, so the same document always names the same value.
    for (auto it = o.begin(); it != o.end(); ++it)
        if (QString bad = ReadSettingValue(it.key(), it.value(), c); !bad.isEmpty()) return refuse(bad);
    check.Config = c;
    return check;
}

RemoteRecord ReadRemoteIni(const QString& programFolder) {
    const QStringList lines = ReadLines1252(programFolder + kRemoteIni);
    auto number = [&](const QString& key) {
        bool ok = false;
        const qint64 n = ReadSetting(lines, key, QString()).trimmed().toLongLong(&ok);
        return ok && n > 0 ? std::int64_t(n) : std::int64_t(0);
    };
    return {number(QStringLiteral("VERSAO")), number(QStringLiteral("RECUSADA")),
            ReadSetting(lines, QStringLiteral("ALTERADA_NA_LOJA"), QString()).trimmed() == QLatin1String("1")};
}

bool WriteRemoteIni(const QString& programFolder, const RemoteRecord& record) {
    return WriteLines1252Atomic(programFolder + kRemoteIni,
                                {QStringLiteral("VERSAO=") + QString::number(record.Applied),
                                 QStringLiteral("RECUSADA=") + QString::number(record.Refused),
                                 QStringLiteral("ALTERADA_NA_LOJA=") + QLatin1String(record.ChangedAtShop ? "1" : "0")});
}

bool IsNewVersion(std::int64_t version, const RemoteRecord& record) {
    return version > record.Applied && version > record.Refused;
}

QString WriteDesiredFiles(const DesiredConfig& config, const QString& programFolder) {
    std::vector<Planned> plan;
    if (config.Schedule) {
        WeekSchedule week;
        for (std::size_t i = 0; i < week.size(); ++i) {
            const auto& day = (*config.Schedule)[i];
            week[i] = day ? SavedDay(day->Start, day->Stop) : DaySchedule{};
        }
        plan.push_back({CfgFilePath(programFolder), FormatSchedule(week)});
    }
    // Without volume_por_hora the hourly volumes stay as they were, as F10's Salvar keeps them;
    // without volume, VOLUME_NORMAL does.
    if (config.Volume || config.HourlyVolumes) {
        QStringList existing = ReadLines1252(programFolder + VolumeIniName);
        const int normal = config.Volume ? *config.Volume : ReadHourlyVolumes(existing).Normal;
        if (config.HourlyVolumes) {
            existing.clear();
            for (int hour = 0; hour < 24; ++hour)
                if (const int v = (*config.HourlyVolumes)[std::size_t(hour)]; v >= 0)
                    existing << QStringLiteral("VOLUME_%1=%2").arg(hour, 2, 10, QLatin1Char('0')).arg(v);
        }
        plan.push_back({programFolder + VolumeIniName, VolumeIniLines(existing, normal)});
    }
    if (config.Spots) {
        // ABAIXAR_DB= is the shop's: the office does not send it.
        QStringList lines, before;
        if (QFileInfo::exists(programFolder + kSpotsIni)) {
            bool ok = false;
            before = ReadLines1252(programFolder + kSpotsIni, &ok);
            if (!ok) return QStringLiteral("não foi possível ler ") + kSpotsIni;
        }
        for (const QString& line : before) {
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (equals > 0 && !line.contains(QLatin1Char(';')) && line.left(equals).trimmed().compare(kDuckKey, Qt::CaseInsensitive) == 0)
                lines << line.trimmed();
        }
        std::vector<RemoteSpotFile> remote;
        for (const DesiredSpot& spot : *config.Spots) {
            lines << spot.When + QLatin1Char(';') + spot.Days + QLatin1Char(';') + spot.File;
            const RemoteSpotFile file{spot.File, spot.Url, spot.Sha256};
            if (!spot.Url.isEmpty() && std::find(remote.begin(), remote.end(), file) == remote.end()) remote.push_back(file);
        }
        // The list of files to fetch before the lines that name them: the spots' reader, woken
        // by the new SPOTS.INI, finds what it waits for.
        plan.push_back({programFolder + kRemoteSpotsFile, {}, FormatRemoteSpots(remote)});
        plan.push_back({programFolder + kSpotsIni, lines});
    }
    if (config.Station || config.Level) {
        const QString path = programFolder + kStationIni;
        QStringList lines;
        if (QFileInfo::exists(path)) {
            bool ok = false;
            lines = ReadLines1252(path, &ok);
            // Its other keys would be lost.
            if (!ok) return QStringLiteral("não foi possível ler ") + kStationIni;
        }
        if (config.Station) {
            const bool builtIn = config.Station->Url.isEmpty();
            SetKey(lines, QStringLiteral("URL"), builtIn ? std::nullopt : std::optional(config.Station->Url));
            SetKey(lines, QStringLiteral("NOME"), builtIn ? std::nullopt : std::optional(config.Station->Label));
        }
        if (config.Level) SetKey(lines, QStringLiteral("NIVELAR"), QString::fromLatin1(*config.Level ? "1" : "0"));
        plan.push_back({path, lines});
    }

    // What each file held, to put it back if a later one cannot be written.
    std::vector<std::optional<QByteArray>> before;
    for (const Planned& p : plan) before.push_back(ReadFileRaw(p.path));
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (plan[i].raw ? WriteFileRawAtomic(plan[i].path, *plan[i].raw) : WriteLines1252Atomic(plan[i].path, plan[i].lines)) continue;
        for (std::size_t j = 0; j < i; ++j) {
            if (before[j]) WriteFileRawAtomic(plan[j].path, *before[j]);
            else RemoveFileRaw(plan[j].path);
        }
        return QStringLiteral("não foi possível gravar ") + QFileInfo(plan[i].path).fileName();
    }
    return {};
}

QByteArray AppliedPayload(std::int64_t version, bool applied, const QString& reason, const QDateTime& at,
                          const QStringList& missing) {
    QJsonObject o;
    o.insert(QStringLiteral("versao"), version > 0 ? QJsonValue(qint64(version)) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("resultado"), applied ? QStringLiteral("aplicada") : QStringLiteral("recusada"));
    o.insert(QStringLiteral("motivo"), reason);
    o.insert(QStringLiteral("em"), at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODate));
    if (applied) o.insert(QStringLiteral("faltando"), QJsonArray::fromStringList(missing));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString AppliedHistoryLine(const DesiredConfig& config) {
    QString line = QStringLiteral("CONFIGURAÇÃO REMOTA APLICADA - versão ") + QString::number(config.Version);
    if (!config.Author.isEmpty() || !config.Reason.isEmpty()) line += QStringLiteral(" - ") + config.Author;
    if (!config.Reason.isEmpty()) line += (config.Author.isEmpty() ? QString() : QStringLiteral(": ")) + config.Reason;
    return line;
}

QString RefusedHistoryLine(std::int64_t version, const QString& reason) {
    return QStringLiteral("CONFIGURAÇÃO REMOTA RECUSADA - versão ") + (version > 0 ? QString::number(version) : QStringLiteral("?")) +
           QStringLiteral(" - ") + reason;
}
