#include "telemetry/fleetpublisher.h"

#include "telemetry/desiredconfig.h"

#include <mosquitto.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include <pthread.h>

namespace {
struct Library {
    Library() { mosquitto_lib_init(); }
};
void UseLibrary() { static Library library; }

QJsonValue Iso(const QDateTime& t) {
    if (!t.isValid()) return QJsonValue::Null;
    return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate);
}

struct Message {
    QByteArray topic, payload;
    bool retain = false;
};
}  // namespace

struct TFleetPublisher::Link {
    std::mutex lock;
    std::condition_variable wake;
    mosquitto* client = nullptr;
    TFleetPublisher* owner = nullptr;  // null once the publisher has gone
    std::deque<Message> queue;
    std::uint64_t dropped = 0;
    bool connected = false;
    bool everConnected = false;
    bool lossTold = false;
    bool stopping = false;
    bool finished = false;  // the network thread has left
    QByteArray topicState, topicHistory, topicSummary, topicDesired, topicApplied;
    bool remote = false;  // REMOTO=1: config/desejada is subscribed to at every connection
    QByteArray statePayload;  // the last state, sent again at each connection

    ~Link() {
        if (client) mosquitto_destroy(client);
    }

    // lock held. A message the client does not take stays first in the queue.
    void Drain() {
        if (!connected) return;
        if (dropped > 0) {
            const QByteArray note = "FROTA: " + QByteArray::number(qulonglong(dropped)) + " LINHAS NÃO ENVIADAS";
            if (mosquitto_publish(client, nullptr, topicHistory.constData(), int(note.size()), note.constData(), 1, false) !=
                MOSQ_ERR_SUCCESS)
                return;
            dropped = 0;
        }
        while (!queue.empty()) {
            const Message& m = queue.front();
            if (mosquitto_publish(client, nullptr, m.topic.constData(), int(m.payload.size()), m.payload.constData(), 1,
                                  m.retain) != MOSQ_ERR_SUCCESS)
                return;
            queue.pop_front();
        }
    }
    void Enqueue(Message message) {
        queue.push_back(std::move(message));
        while (queue.size() > kMaxQueued) {
            queue.pop_front();
            ++dropped;
        }
        Drain();
    }
    // lock held: the owner cannot go while the call is posted.
    void Tell(const QString& line) {
        if (!owner) return;
        QMetaObject::invokeMethod(
            owner, [o = owner, line] { if (o->history_) o->history_(line); }, Qt::QueuedConnection);
    }
    void Lost() {
        connected = false;
        if (!lossTold && !stopping) {
            lossTold = true;
            Tell(QStringLiteral("FROTA: SEM CONEXÃO"));
        }
    }

    static void OnConnect(mosquitto*, void* obj, int rc) {
        auto* link = static_cast<Link*>(obj);
        std::lock_guard guard(link->lock);
        if (rc != 0) {  // refused: a wrong password, an unknown user
            link->Lost();
            return;
        }
        link->connected = true;
        const bool tell = !link->everConnected || link->lossTold;
        link->everConnected = true;
        link->lossTold = false;
        if (!link->statePayload.isEmpty())
            mosquitto_publish(link->client, nullptr, link->topicState.constData(), int(link->statePayload.size()),
                              link->statePayload.constData(), 1, true);
        // The session is clean: the subscription is made again at every connection, and the
        // broker then hands the retained document over again (the version tells it is known).
        if (link->remote) mosquitto_subscribe(link->client, nullptr, link->topicDesired.constData(), 1);
        link->Drain();
        if (tell) link->Tell(QStringLiteral("FROTA: CONECTADO"));
    }
    static void OnMessage(mosquitto*, void* obj, const mosquitto_message* message) {
        auto* link = static_cast<Link*>(obj);
        if (!message || message->topic == nullptr || link->topicDesired != message->topic) return;
        // An empty retained message is the office taking its document back: nothing to apply.
        if (message->payloadlen <= 0) return;
        const QByteArray payload(static_cast<const char*>(message->payload),
                                 std::min<int>(message->payloadlen, int(kMaxDesiredBytes) + 1));
        std::lock_guard guard(link->lock);
        if (!link->owner) return;
        QMetaObject::invokeMethod(
            link->owner, [o = link->owner, payload] { if (o->desired) o->desired(payload); }, Qt::QueuedConnection);
    }
    static void OnDisconnect(mosquitto*, void* obj, int) {
        auto* link = static_cast<Link*>(obj);
        std::lock_guard guard(link->lock);
        link->Lost();
    }
};

TFleetPublisher::TFleetPublisher(FleetSettings settings, std::function<void(const QString&)> history, QObject* owner)
    : QObject(owner), settings_(std::move(settings)), history_(std::move(history)), link_(std::make_shared<Link>()) {
    const QByteArray base = "sonaris/" + settings_.Shop.toUtf8() + "/";
    link_->topicState = base + "estado";
    link_->topicHistory = base + "historico";
    link_->topicSummary = base + "resumo";
    link_->topicDesired = base + "config/desejada";
    link_->topicApplied = base + "config/aplicada";
    link_->remote = settings_.Remote;
    link_->owner = this;
}

TFleetPublisher::~TFleetPublisher() {
    Stop();
    std::lock_guard guard(link_->lock);
    link_->owner = nullptr;
}

bool TFleetPublisher::Start() {
    if (network_.joinable() || link_->client) return true;
    if (refused_) return false;
    UseLibrary();
    mosquitto* client = mosquitto_new(("sonaris-" + settings_.Shop).toUtf8().constData(), true, link_.get());
    if (!client) return Refuse(QStringLiteral("LOJA"));
    link_->client = client;
    auto ok = [](int rc) { return rc == MOSQ_ERR_SUCCESS; };
    // Publishing happens on the window's thread while the loop runs on the network thread:
    // only in threaded mode does the library leave every write on the socket to its loop.
    if (!ok(mosquitto_threaded_set(client, true)) || !ok(mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311)) ||
        !ok(mosquitto_reconnect_delay_set(client, 1, kLongestRetrySeconds, true)))
        return Refuse(QStringLiteral("SERVIDOR"));
    const QByteArray offline = StatePayload(false);
    if (!ok(mosquitto_will_set(client, link_->topicState.constData(), int(offline.size()), offline.constData(), 1, true)))
        return Refuse(QStringLiteral("LOJA"));
    if (!settings_.User.isEmpty() &&
        !ok(mosquitto_username_pw_set(client, settings_.User.toUtf8().constData(),
                                      settings_.Password.isEmpty() ? nullptr : settings_.Password.toUtf8().constData())))
        return Refuse(QStringLiteral("USUARIO"));
    if (settings_.Tls) {
        // The broker's certificate and name are verified against the shop's CA file or the
        // system's authorities. Without them the client would connect in clear, credentials
        // and all: a CA that cannot be set is a refusal.
        const QByteArray ca = settings_.CaFile.toLocal8Bit();
        if (!ok(mosquitto_tls_set(client, ca.isEmpty() ? nullptr : ca.constData(), ca.isEmpty() ? "/etc/ssl/certs" : nullptr,
                                  nullptr, nullptr, nullptr)))
            return Refuse(QStringLiteral("CA"));
    }
    mosquitto_connect_callback_set(client, &Link::OnConnect);
    mosquitto_disconnect_callback_set(client, &Link::OnDisconnect);
    if (settings_.Remote) mosquitto_message_callback_set(client, &Link::OnMessage);

    // The name look-up of the first connection happens on this thread too, never on the
    // window's. The library's own loop reconnects after a drop; a failure it gives up on (a
    // look-up that failed, a handshake refused) is retried here with the same growing delays.
    network_ = std::thread([link = link_, host = settings_.Host.toUtf8(), port = settings_.Port] {
        pthread_setname_np(pthread_self(), "fleet-mqtt");
        int delay = 1;
        bool first = true;
        for (;;) {
            {
                std::lock_guard guard(link->lock);
                if (link->stopping) break;
            }
            const int rc = first ? mosquitto_connect_async(link->client, host.constData(), port, kKeepAliveSeconds)
                                 : mosquitto_reconnect_async(link->client);
            first = false;
            if (rc == MOSQ_ERR_SUCCESS) mosquitto_loop_forever(link->client, 1000, 1);
            std::unique_lock guard(link->lock);
            if (link->stopping) break;
            if (link->everConnected && !link->lossTold) delay = 1;
            link->Lost();
            link->wake.wait_for(guard, std::chrono::seconds(delay), [&] { return link->stopping; });
            delay = std::min(delay * 2, kLongestRetrySeconds);
        }
        std::lock_guard guard(link->lock);
        link->finished = true;
        link->wake.notify_all();
    });
    return true;
}

bool TFleetPublisher::Refuse(const QString& key) {
    // No network thread exists yet: the client is the window thread's alone.
    mosquitto_destroy(link_->client);
    link_->client = nullptr;
    refused_ = true;
    if (history_) history_(QStringLiteral("FROTA.INI: configuração inválida - ") + key);
    return false;
}

void TFleetPublisher::Stop() {
    if (!network_.joinable()) return;
    {
        std::lock_guard guard(link_->lock);
        link_->stopping = true;
        link_->statePayload = StatePayload(false);
        if (link_->connected)
            mosquitto_publish(link_->client, nullptr, link_->topicState.constData(), int(link_->statePayload.size()),
                              link_->statePayload.constData(), 1, true);
        link_->wake.notify_all();
    }
    mosquitto_disconnect(link_->client);
    std::unique_lock guard(link_->lock);
    if (link_->wake.wait_for(guard, std::chrono::milliseconds(1200), [&] { return link_->finished; })) {
        guard.unlock();
        network_.join();
    } else {
        // Stuck in a name look-up: the thread keeps the link and ends with the process.
        guard.unlock();
        network_.detach();
    }
}

QByteArray TFleetPublisher::StatePayload(bool online) const {
    QJsonObject o;
    o.insert(QStringLiteral("online"), online);
    if (online && haveLast_) {
        o.insert(QStringLiteral("ativado"), last_.Activated);
        o.insert(QStringLiteral("agora"), last_.Now);
        o.insert(QStringLiteral("inicio"), last_.WindowStart.isEmpty() ? QJsonValue::Null : QJsonValue(last_.WindowStart));
        o.insert(QStringLiteral("fim"), last_.WindowStop.isEmpty() ? QJsonValue::Null : QJsonValue(last_.WindowStop));
        o.insert(QStringLiteral("estacao"), last_.Station);
        o.insert(QStringLiteral("ultima_queda"), Iso(last_.LastDrop));
        o.insert(QStringLiteral("versao"), QStringLiteral(SONARIS_VERSION));
        o.insert(QStringLiteral("desde"), Iso(since_));
        if (settings_.Remote) {
            o.insert(QStringLiteral("config_versao"), last_.ConfigVersion > 0 ? QJsonValue(qint64(last_.ConfigVersion)) : QJsonValue::Null);
            o.insert(QStringLiteral("alterada_na_loja"), last_.ChangedAtShop);
        }
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

void TFleetPublisher::State(const FleetState& state, const QDateTime& now) {
    const bool changed = !haveLast_ || !(state == last_);
    if (changed) {
        if (state.Since.isValid()) since_ = state.Since;
        else if (!haveLast_ || state.Now != last_.Now) since_ = now;
        last_ = state;
        haveLast_ = true;
    } else if (lastSent_.isValid() && std::abs(lastSent_.msecsTo(now)) < kRepeatStateMs) {
        return;
    }
    lastSent_ = now;
    const QByteArray payload = StatePayload(true);
    std::lock_guard guard(link_->lock);
    link_->statePayload = payload;
    if (link_->connected)
        mosquitto_publish(link_->client, nullptr, link_->topicState.constData(), int(payload.size()), payload.constData(), 1, true);
}

void TFleetPublisher::HistoryLine(const QString& line, const QDate& date) {
    std::lock_guard guard(link_->lock);
    if (!link_->client) return;
    link_->Enqueue({link_->topicHistory, line.toUtf8(), false});
    if (line.contains(QStringLiteral(" - RESUMO DO DIA - "))) {
        QJsonObject o;
        o.insert(QStringLiteral("data"), date.toString(Qt::ISODate));
        o.insert(QStringLiteral("linha"), line);
        link_->Enqueue({link_->topicSummary, QJsonDocument(o).toJson(QJsonDocument::Compact), true});
    }
}

void TFleetPublisher::Applied(const QByteArray& payload) {
    std::lock_guard guard(link_->lock);
    if (!link_->client) return;
    link_->Enqueue({link_->topicApplied, payload, true});
}

bool TFleetPublisher::Connected() const {
    std::lock_guard guard(link_->lock);
    return link_->connected;
}

std::size_t TFleetPublisher::Queued() const {
    std::lock_guard guard(link_->lock);
    return link_->queue.size();
}
