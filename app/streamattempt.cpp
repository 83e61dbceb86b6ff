#include "app/streamattempt.h"

#include <QMetaObject>

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>

#include <pthread.h>

namespace {
std::atomic<int> opensOut{0};
}

struct TStreamAttempt::Shared {
    std::mutex mutex;
    bool abandoned = false;
};

TStreamAttempt::TStreamAttempt(QObject* owner) : QObject(owner) {}

TStreamAttempt::~TStreamAttempt() { Abandon(); }

int TStreamAttempt::OpensOut() { return opensOut.load(); }

bool TStreamAttempt::Start(std::function<Result()> open, std::function<void(const Result&)> completed) {
    if (state_ != State::Idle) return false;
    state_ = State::Opening;
    completed_ = std::move(completed);
    auto shared = std::make_shared<Shared>();
    shared_ = shared;
    ++opensOut;
    std::thread opener;
    try {
        opener = std::thread([this, shared, open = std::move(open)] {
            pthread_setname_np(pthread_self(), "stream-attempt");
            Result result;
            try {
                result = open();
            } catch (...) {
                result.error = std::current_exception();
            }
            {
                std::lock_guard lock(shared->mutex);
                // Not abandoned: the object is alive until this lock is let go, and a completion
                // posted to an object that then goes is dropped with it.
                if (!shared->abandoned) {
                    state_ = State::Done;
                    QMetaObject::invokeMethod(this, [this, shared, result] { Complete(shared, result); }, Qt::QueuedConnection);
                }
            }
            --opensOut;
        });
    } catch (...) {
        // No thread to open on (the process at its limit of threads): the attempt fails as an
        // open that could not get what it needed, with the library's own code for that, and
        // its completion comes through the event loop like any other, so that what follows
        // is a failed open's and the next attempt comes on the usual schedule.
        --opensOut;
        state_ = State::Done;
        Result failed;
        failed.code = soundlib::BASS_ERROR_MEM;
        QMetaObject::invokeMethod(this, [this, shared, failed] { Complete(shared, failed); }, Qt::QueuedConnection);
        return true;
    }
    opener.detach();
    return true;
}

void TStreamAttempt::Complete(const std::shared_ptr<Shared>& shared, const Result& result) {
    if (shared != shared_) return;  // an abandoned attempt's, overtaken by a new one
    shared_.reset();
    auto completed = std::move(completed_);
    completed_ = nullptr;
    state_ = State::Idle;
    if (completed) completed(result);
}

void TStreamAttempt::Abandon() {
    if (shared_) {
        std::lock_guard lock(shared_->mutex);
        shared_->abandoned = true;
    }
    shared_.reset();
    completed_ = nullptr;
    state_ = State::Idle;
}
