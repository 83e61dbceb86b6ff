// fleet-shops --port P --shops N [--folder DIR]: N shops publishing to a broker as the player does,
// from one process. Each shop is its own libmosquitto client with the player's client id,
// last will ({"online":false}, retained, QoS 1) and keep-alive (30 s); it publishes its retained
// state at each change and every 60 s, a history line every 2 to 8 s (uniform), and once its
// retained day's account.
// It also takes the office's settings as the player does: subscribed (QoS 1) to its
// sonaris/<loja>/config/desejada, it checks each document with the player's own
// CheckDesiredConfig, looks only at a version newer than every one it applied or refused, writes
// the player's files with WriteDesiredFiles into its own folder under --folder (a tmpfs; without
// it nothing is written) and answers, retained and QoS 1, on config/aplicada with AppliedPayload.
//
// One thread runs every client through epoll over their sockets (mosquitto_loop_read/_write/
// _misc): libmosquitto's own loop thread per client would mean 5,000 threads, and a poll()
// over 5,000 sockets at every one of the thousand messages a second would cost more than the
// broker we measure. The clients never share a thread, so libmosquitto needs no locking.
//
// Commands on stdin, one a line, each answered by one line on stdout:
//   flip I AGORA  shop I's state changes to AGORA -> "published I EPOCH_MS"
//   cut I         shop I's socket shut without DISCONNECT (its process killed) -> "cut I EPOCH_MS"
//   mute I        shop I never reads, writes or pings again (its line dead) -> "mute I EPOCH_MS"
//   stats         -> "stats PUBLISHED ACKED CONNECTED LOST APPLIED REFUSED"
//   desired       -> "desired COUNT FIRST_EPOCH_MS LAST_EPOCH_MS": the office's documents received
// and "ready N SECONDS" once every shop is connected with its first state sent.
#include "telemetry/desiredconfig.h"

#include <mosquitto.h>

#include <QDateTime>
#include <QDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kKeepAlive = 30;
constexpr long kRepeatMs = 60000;
constexpr int kMostConnecting = 64;  // under the broker's listen backlog

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
double EpochMs() {
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}
std::string Iso(std::time_t t) {
    std::tm tm;
    localtime_r(&t, &tm);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &tm);
    const std::string s = buf;  // +0300 -> +03:00, as the player writes it
    return s.substr(0, s.size() - 2) + ":" + s.substr(s.size() - 2);
}
std::string Clock(std::time_t t) {
    std::tm tm;
    localtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
    return buf;
}

// The player's history, in its own words, in no particular order.
const char* const kLines[] = {"Sonaris", "PLAY MÚSICAS LOCAIS  -  LOCAL.MP3", "DESCONECTADO", "CONECTANDO AO PROXY",
                              "SAÍDA DE ÁUDIO PERDIDA", "SAÍDA DE ÁUDIO RESTABELECIDA: Alto-falantes",
                              "ERRO AO CARREGAR CANAL", "Carregando Sonaris"};

struct Shop {
    int index = 0;
    mosquitto* client = nullptr;
    int fd = -1;
    bool waiting = false, connected = false, gone = false, muted = false, writing = false;  // waiting: for the CONNACK
    std::string topicState, topicHistory, topicSummary, topicDesired, topicApplied;
    QString folder;       // ends with '/'; empty: nothing written
    RemoteRecord record;  // REMOTO.INI's figures, kept in memory too
    std::string agora = "stream";
    std::time_t since = 0;
};

struct Event {
    long long due;
    int shop;
    bool repeat;  // else a history line
    bool operator>(const Event& o) const { return due > o.due; }
};

struct Fleet {
    std::vector<Shop> shops;
    int epoll = -1;
    std::mt19937 random{20261208};
    std::priority_queue<Event, std::vector<Event>, std::greater<>> events;
    long long published = 0, acked = 0, lost = 0, applied = 0, refused = 0, desired = 0;
    double firstDesired = 0, lastDesired = 0;
    int connected = 0, connecting = 0;

    std::string State(const Shop& s) const {
        return "{\"online\":true,\"ativado\":true,\"agora\":\"" + s.agora +
               "\",\"inicio\":\"08:00:00\",\"fim\":\"22:00:00\",\"estacao\":\"https://radio.example.com.br:8443/loja\","
               "\"ultima_queda\":null,\"versao\":\"1.0.0\",\"config_versao\":" +
               std::to_string(s.record.Applied) + ",\"desde\":\"" + Iso(s.since) + "\"}";
    }
    void Publish(Shop& s, const std::string& topic, const std::string& payload, bool retain) {
        if (mosquitto_publish(s.client, nullptr, topic.c_str(), int(payload.size()), payload.data(), 1, retain) ==
            MOSQ_ERR_SUCCESS)
            ++published;
    }
    // The socket is watched for writing only while libmosquitto has something left to send.
    void Sync(Shop& s) {
        if (s.gone || s.muted) return;
        const bool want = mosquitto_want_write(s.client);
        if (want == s.writing) return;
        s.writing = want;
        epoll_event e{};
        e.events = want ? EPOLLIN | EPOLLOUT : EPOLLIN;
        e.data.u32 = std::uint32_t(s.index);
        epoll_ctl(epoll, EPOLL_CTL_MOD, s.fd, &e);
    }
    void Forget(Shop& s) {
        if (s.fd >= 0) epoll_ctl(epoll, EPOLL_CTL_DEL, s.fd, nullptr);
        if (s.waiting) --connecting;
        s.waiting = false;
        if (s.connected) --connected;
        s.connected = false;
        s.gone = true;
    }
    void Lost(Shop& s) {
        if (s.gone) return;
        ++lost;
        Forget(s);
    }

    void Connect(Shop& s) {
        if (mosquitto_connect(s.client, "127.0.0.1", port, kKeepAlive) != MOSQ_ERR_SUCCESS) {
            std::fprintf(stderr, "shop %d: no connection\n", s.index);
            s.gone = true;
            ++lost;
            return;
        }
        ++connecting;
        s.waiting = true;
        s.fd = mosquitto_socket(s.client);
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.u32 = std::uint32_t(s.index);
        epoll_ctl(epoll, EPOLL_CTL_ADD, s.fd, &e);
        Sync(s);
    }
    void OnConnected(Shop& s, int rc) {
        if (s.waiting) --connecting;
        s.waiting = false;
        if (rc != 0) {
            std::fprintf(stderr, "shop %d: refused (%d)\n", s.index, rc);
            Lost(s);
            return;
        }
        s.connected = true;
        ++connected;
        s.since = std::time(nullptr);
        Publish(s, s.topicState, State(s), true);
        const std::string summary = "{\"data\":\"2026-12-07\",\"linha\":\"22:00:00 - RESUMO DO DIA - Streaming: 13:12:40  "
                                    "Músicas Locais: 00:46:07  Silêncio: 00:01:13  Quedas: 3\"}";
        Publish(s, s.topicSummary, summary, true);
        mosquitto_subscribe(s.client, nullptr, s.topicDesired.c_str(), 1);
        // Players start at any moment: their 60 s repeats are spread over the minute.
        events.push({NowMs() + std::uniform_int_distribution<long>(0, kRepeatMs)(random), s.index, true});
        events.push({NowMs() + std::uniform_int_distribution<long>(2000, 8000)(random), s.index, false});
    }

    // As the player: a retained document comes again at every connection, and only a version
    // newer than every one handled before is looked at; the answer goes out either way.
    void OnDesired(Shop& s, const QByteArray& payload) {
        if (payload.isEmpty()) return;  // the office cleared its wish
        lastDesired = EpochMs();
        if (desired++ == 0) firstDesired = lastDesired;
        const DesiredCheck check = CheckDesiredConfig(payload);
        if (check.Version > 0 && !IsNewVersion(check.Version, s.record)) return;
        QString reason = check.Refusal;
        if (check.Config && !s.folder.isEmpty()) reason = WriteDesiredFiles(*check.Config, s.folder);
        const bool ok = reason.isEmpty();
        if (ok) s.record.Applied = check.Version;
        else if (check.Version > 0) s.record.Refused = check.Version;
        if (!s.folder.isEmpty()) WriteRemoteIni(s.folder, s.record);
        ++(ok ? applied : refused);
        const QByteArray answer = AppliedPayload(check.Version, ok, reason, QDateTime::currentDateTime());
        Publish(s, s.topicApplied, answer.toStdString(), true);
    }

    void Run(int count, int listenPort, const QString& folder);
    void Command(const char* line);
    int port = 0;
};

Fleet* theFleet = nullptr;

void Fleet::Command(const char* line) {
    char verb[16] = {0}, word[32] = {0};
    int i = -1;
    const int n = std::sscanf(line, "%15s %d %31s", verb, &i, word);
    if (n >= 1 && std::strcmp(verb, "desired") == 0) {
        std::printf("desired %lld %.1f %.1f\n", desired, firstDesired, lastDesired);
    } else if (n >= 1 && std::strcmp(verb, "stats") == 0) {
        std::printf("stats %lld %lld %d %lld %lld %lld\n", published, acked, connected, lost, applied, refused);
    } else if (n >= 2 && i >= 0 && i < int(shops.size())) {
        Shop& s = shops[std::size_t(i)];
        if (std::strcmp(verb, "flip") == 0 && n == 3) {
            s.agora = word;
            s.since = std::time(nullptr);
            const double at = EpochMs();
            Publish(s, s.topicState, State(s), true);
            Sync(s);
            std::printf("published %d %.1f\n", i, at);
        } else if (std::strcmp(verb, "cut") == 0) {
            const double at = EpochMs();
            ::shutdown(s.fd, SHUT_RDWR);
            Forget(s);
            std::printf("cut %d %.1f\n", i, at);
        } else if (std::strcmp(verb, "mute") == 0) {
            const double at = EpochMs();
            if (s.fd >= 0) epoll_ctl(epoll, EPOLL_CTL_DEL, s.fd, nullptr);
            s.muted = true;
            std::printf("mute %d %.1f\n", i, at);
        } else {
            std::printf("error %s\n", line);
        }
    } else {
        std::printf("error %s\n", line);
    }
    std::fflush(stdout);
}

void Fleet::Run(int count, int listenPort, const QString& folder) {
    port = listenPort;
    epoll = epoll_create1(0);
    shops.resize(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        Shop& s = shops[std::size_t(i)];
        s.index = i;
        char id[32];
        std::snprintf(id, sizeof id, "loja-%05d", i);
        const std::string base = std::string("sonaris/") + id + "/";
        s.topicState = base + "estado";
        s.topicHistory = base + "historico";
        s.topicSummary = base + "resumo";
        s.topicDesired = base + "config/desejada";
        s.topicApplied = base + "config/aplicada";
        if (!folder.isEmpty()) {
            s.folder = folder + QLatin1Char('/') + QString::fromLatin1(id) + QLatin1Char('/');
            QDir().mkpath(s.folder);
        }
        s.client = mosquitto_new((std::string("sonaris-") + id).c_str(), true, &s);
        mosquitto_int_option(s.client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        const std::string offline = "{\"online\":false}";
        mosquitto_will_set(s.client, s.topicState.c_str(), int(offline.size()), offline.data(), 1, true);
        mosquitto_connect_callback_set(s.client, [](mosquitto*, void* shop, int rc) {
            theFleet->OnConnected(*static_cast<Shop*>(shop), rc);
        });
        mosquitto_publish_callback_set(s.client, [](mosquitto*, void*, int) { ++theFleet->acked; });
        mosquitto_message_callback_set(s.client, [](mosquitto*, void* shop, const mosquitto_message* m) {
            theFleet->OnDesired(*static_cast<Shop*>(shop),
                                QByteArray(static_cast<const char*>(m->payload), m->payloadlen));
        });
    }
    epoll_event in{};
    in.events = EPOLLIN;
    in.data.u32 = UINT32_MAX;
    epoll_ctl(epoll, EPOLL_CTL_ADD, STDIN_FILENO, &in);

    const long long start = NowMs();
    int next = 0;
    bool ready = false;
    long long lastMisc = NowMs();
    std::string pending;
    std::vector<epoll_event> fired(256);
    for (;;) {
        while (next < count && connecting < kMostConnecting) Connect(shops[std::size_t(next++)]);
        if (!ready && next == count && connecting == 0) {
            ready = true;
            std::printf("ready %d %.2f\n", connected, double(NowMs() - start) / 1e3);
            std::fflush(stdout);
        }
        long long wait = 1000;
        if (!events.empty()) wait = std::clamp(events.top().due - NowMs(), 0LL, 1000LL);
        const int n = epoll_wait(epoll, fired.data(), int(fired.size()), int(wait));
        for (int k = 0; k < n; ++k) {
            const std::uint32_t who = fired[std::size_t(k)].data.u32;
            if (who == UINT32_MAX) {
                char buf[4096];
                const ssize_t got = ::read(STDIN_FILENO, buf, sizeof buf);
                if (got <= 0) return;  // the bench has gone
                pending.append(buf, std::size_t(got));
                for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
                    Command(pending.substr(0, nl).c_str());
                    pending.erase(0, nl + 1);
                }
                continue;
            }
            Shop& s = shops[who];
            if (s.gone || s.muted) continue;
            int rc = MOSQ_ERR_SUCCESS;
            if (fired[std::size_t(k)].events & (EPOLLIN | EPOLLERR | EPOLLHUP)) rc = mosquitto_loop_read(s.client, 1);
            if (rc == MOSQ_ERR_SUCCESS && (fired[std::size_t(k)].events & EPOLLOUT)) rc = mosquitto_loop_write(s.client, 1);
            if (rc != MOSQ_ERR_SUCCESS) {
                Lost(s);
                continue;
            }
            Sync(s);
        }
        const long long now = NowMs();
        while (!events.empty() && events.top().due <= now) {
            Event e = events.top();
            events.pop();
            Shop& s = shops[std::size_t(e.shop)];
            if (s.gone || s.muted) continue;
            if (e.repeat) {
                Publish(s, s.topicState, State(s), true);
                events.push({e.due + kRepeatMs, e.shop, true});
            } else {
                std::uniform_int_distribution<std::size_t> pick(0, std::size(kLines) - 1);
                Publish(s, s.topicHistory, Clock(std::time(nullptr)) + " - " + kLines[pick(random)], false);
                events.push({now + std::uniform_int_distribution<long>(2000, 8000)(random), e.shop, false});
            }
            Sync(s);
        }
        if (now - lastMisc >= 1000) {  // keep-alive pings, for a shop with nothing to say
            lastMisc = now;
            for (Shop& s : shops) {
                if (!s.connected || s.gone || s.muted) continue;
                if (mosquitto_loop_misc(s.client) != MOSQ_ERR_SUCCESS) Lost(s);
                else Sync(s);
            }
        }
    }
}
}  // namespace

int main(int argc, char** argv) {
    int port = 1883, count = 1000;
    QString folder;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--port") == 0) port = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--shops") == 0) count = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--folder") == 0) folder = QString::fromLocal8Bit(argv[i + 1]);
    }
    // Every client holds a socket, and libmosquitto may hold a pair more for waking its loop.
    rlimit files;
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    mosquitto_lib_init();
    Fleet fleet;
    theFleet = &fleet;
    fleet.Run(count, port, folder);
    return 0;
}
