#pragma once
// One file fetched over HTTPS into memory, the way the station is reached: FFmpeg's avio with
// the certificate checked against the system's authorities (or a PEM file of them) and the
// address's host, nothing but https, tls and tcp underneath (a redirect to a file or to plain
// http goes nowhere), a deadline for the whole and a cap on its size. It blocks: call it off
// the window's thread.
#include <QByteArray>
#include <QString>

#include <atomic>
#include <string>

struct FetchResult {
    bool Ok = false;
    QByteArray Body;
    QString Error;  // short, in Portuguese, when not Ok
};

FetchResult HttpsFetch(const QString& url, const std::string& authorities, int timeoutMs, qint64 largestBytes,
                       const std::atomic<bool>& abort);
