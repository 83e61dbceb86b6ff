#pragma once
// TFleetPublisher: a shop's state, history and day's account on a chain's MQTT broker.
//
// Topics, with <loja> the shop's id: sonaris/<loja>/estado (retained, QoS 1: the state as a
// small JSON object, at every change and at least every 60 s; the last will, retained, is
// {"online": false}), sonaris/<loja>/historico (QoS 1: every history line) and
// sonaris/<loja>/resumo (retained, QoS 1: the last day's account line with its date). Only
// with REMOTO=1 does it subscribe, to sonaris/<loja>/config/desejada (the office's settings,
// handed to `desired` on the user-interface thread), and answer on sonaris/<loja>/config/aplicada
// (retained, QoS 1); otherwise the player acts on nothing it could receive.
//
// Threads: libmosquitto's network thread connects, reconnects (growing delays up to 5
// minutes), sends, and calls the connect and disconnect callbacks; everything else runs on the
// user-interface thread, which only hands messages over and never waits for the network. The
// client is in libmosquitto's threaded mode, so a publish from the user-interface thread only
// queues its packet and the network thread alone touches the socket and its TLS session.
// Link::lock guards the outgoing queue, the connection flags, the drop count and the last
// state's payload, which the network thread sends again after a reconnection. News of the
// connection reaches the user-interface thread as queued calls of `history`.
#include "telemetry/fleetconfig.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

// What the player is doing, as the fleet's page shows it.
struct FleetState {
    bool Activated = false;
    // "desativado", "fora_do_horario", "conectando", "stream", "local", "silencio", "saida_perdida"
    QString Now;
    QDateTime Since;  // when Now began; invalid: from the first look that saw it
    QString WindowStart, WindowStop;  // HH:MM:SS, empty when today has no window
    QString Station;                  // the station's address, without credentials
    QDateTime LastDrop;               // invalid: none yet
    std::int64_t ConfigVersion = 0;   // the office's last version applied; 0: none
    bool ChangedAtShop = false;       // F11 or F10 changed a setting since that version
    bool operator==(const FleetState&) const = default;
};

class TFleetPublisher : public QObject {
public:
    static constexpr std::size_t kMaxQueued = 2000;  // lines kept while the broker is away
    static constexpr int kKeepAliveSeconds = 30;
    static constexpr int kRepeatStateMs = 60000;
    static constexpr int kLongestRetrySeconds = 300;

    // `history` writes a line of the player's history (on the user-interface thread).
    TFleetPublisher(FleetSettings settings, std::function<void(const QString&)> history, QObject* owner = nullptr);
    ~TFleetPublisher() override;  // Stop

    // With REMOTO=1: what arrives on config/desejada (at most 64 KB and a byte, so that a longer
    // document is still refused as too long), on the user-interface thread. Set before Start.
    std::function<void(const QByteArray&)> desired;
    // The answer to the office, retained on config/aplicada; queued like a history line.
    void Applied(const QByteArray& payload);

    // Starts the network thread. A client that cannot be set up as FROTA.INI says (a CA file
    // that cannot be read, for example) is refused, never started in a weaker form: the
    // history gets "FROTA.INI: configuração inválida - " and the key, and false is returned.
    bool Start();
    // The offline state published, then the connection closed; waits at most about a second.
    void Stop();

    // A look at the player: published when it differs from the last one, and at least every
    // 60 s. `now` is the wall clock of that look.
    void State(const FleetState& state, const QDateTime& now);
    // A history line as written to the day file ("HH:MM:SS - message"), on `date`.
    void HistoryLine(const QString& line, const QDate& date);

    bool Connected() const;
    std::size_t Queued() const;

    // The link to the broker, shared with the network thread, which may outlive this object
    // when it is stuck in a name look-up at the end.
    struct Link;

private:
    QByteArray StatePayload(bool online) const;
    bool Refuse(const QString& key);

    FleetSettings settings_;
    std::function<void(const QString&)> history_;
    std::shared_ptr<Link> link_;
    std::thread network_;

    // User-interface thread only.
    FleetState last_;
    bool haveLast_ = false;
    QDateTime since_, lastSent_;
    bool refused_ = false;
};
