#pragma once
// TSpotDownloads: the spot files the office names with an address (SPOTS_REMOTOS.JSON),
// brought into SPOTS/. Each is fetched over HTTPS (HttpsFetch), checked against its SHA-256 and
// only then written, through a temporary file and a rename: a failed or wrong download leaves
// nothing behind, and a file already there with the right hash is not fetched again. One
// worker thread at a time does a round over the files not yet here, so the window never waits;
// a file that did not come is tried again at the first tick five minutes after the last
// round, and at every start. Until a file is here and checked it is awaited: its spot, when
// due, is missed as "arquivo não recebido". User-interface thread only, but for the worker.
#include "spots/remotespots.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

class TSpotDownloads : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 60000;                   // one file, from asking to its last byte
    static constexpr qint64 kLargestBytes = 64 * 1024 * 1024;  // a spot is a minute of sound, not an album
    static constexpr qint64 kRetryMs = 5 * 60000;

    // `programFolder` with its trailing '/'. Reads the list and starts a round.
    explicit TSpotDownloads(const QString& programFolder, QObject* parent = nullptr);
    ~TSpotDownloads() override;

    // The authorities HTTPS servers are checked against, as a PEM file; empty (the default) for
    // the system's own, as the sound library's SetTrustedAuthorities.
    void SetTrustedAuthorities(const QString& pemFile) { authorities_ = pemFile.toStdString(); }

    // The list read again (the office sent a new one) and a round for what is not here.
    void Reload();
    // From the spots' ticks: a round again once kRetryMs have passed since the last, when a
    // file is still missing.
    void Tick(const QDateTime& now);

    bool Awaited(const QString& file) const;
    // The files named in the list that are not here and checked yet, sorted.
    QStringList Missing() const;
    bool Any() const { return !entries_.empty(); }
    bool Running() const { return running_; }

signals:
    void Received(const QString& file);  // here and checked
    void RoundEnded();

private:
    enum class State { Unknown, Here, Failed };
    struct Entry {
        RemoteSpotFile Spec;
        State Now = State::Unknown;
    };
    struct Shared;
    void StartRound();
    void Done(const RemoteSpotFile& spec, bool here);
    void RoundDone();

    const QString spotsDir_;
    const QString listPath_;
    std::string authorities_;
    std::vector<Entry> entries_;
    std::shared_ptr<Shared> shared_;
    bool running_ = false;
    bool again_ = false;  // the list changed during a round
    QDateTime lastRound_;
};
