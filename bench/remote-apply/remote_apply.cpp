// remote-apply: how long the user-interface thread spends on one document of the office's
// settings: checking a whole one (every key), checking one of the largest size taken (64 KB,
// mostly blanks), and writing CFG.ACI, VOLUME.INI and ESTACAO.INI, each flushed and renamed,
// into a program folder under TMPDIR. REMOTE_APPLY_RUNS sets the runs (200 by default).
// Prints remote_check_us=, remote_check_64k_us=, remote_write_ms= (medians) and the _max_ of each.
#include "telemetry/desiredconfig.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

const QByteArray kDocument =
    R"({"versao": 7, "horarios": [null, {"inicio": "08:00:00", "fim": "18:30:00"}, {"inicio": "08:00:00", "fim": "18:30:00"},
        {"inicio": "08:00:00", "fim": "18:30:00"}, {"inicio": "08:00:00", "fim": "18:30:00"}, {"inicio": "18:00:00", "fim": "02:00:00"},
        {"inicio": "09:00:00", "fim": "14:00:00"}], "estacao": {"url": "https://radio.example.com.br:8443/loja", "nome": "Rádio Centro"},
        "volume": 40, "nivelar": true, "ativado": true, "autor": "Márcia", "motivo": "Sexta fecha às 2h"})";

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
double Max(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

template <typename F>
double Micros(F f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}
}  // namespace

int main() {
    const char* runsText = std::getenv("REMOTE_APPLY_RUNS");
    const int runs = runsText ? std::max(1, std::atoi(runsText)) : 200;
    QByteArray large = kDocument;
    large.insert(1, QByteArray(kMaxDesiredBytes - large.size(), ' '));

    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    std::vector<double> check, checkLarge, write;
    for (int i = 0; i < runs; ++i) {
        DesiredCheck c;
        check.push_back(Micros([&] { c = CheckDesiredConfig(kDocument); }));
        checkLarge.push_back(Micros([&] {
            if (!CheckDesiredConfig(large).Config) std::abort();
        }));
        if (!c.Config) return 1;
        write.push_back(Micros([&] {
                            if (!WriteDesiredFiles(*c.Config, folder).isEmpty()) std::abort();
                        }) /
                        1000.0);
    }
    std::printf("remote_check_us=%.0f\nremote_check_max_us=%.0f\nremote_check_64k_us=%.0f\nremote_check_64k_max_us=%.0f\n"
                "remote_write_ms=%.2f\nremote_write_max_ms=%.2f\n",
                Median(check), Max(check), Median(checkLarge), Max(checkLarge), Median(write), Max(write));
    return 0;
}
