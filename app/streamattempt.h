#pragma once
// TStreamAttempt: the open of one connection attempt, run away from the window's thread.
//
// States: Idle (no attempt), Opening (the open runs on a thread of its own) and Done (the open
// has returned and its completion waits in the event loop). The completion always comes
// through the event loop, never inside Start: whoever starts an attempt returns at once, and a
// message box opened meanwhile serves the completion like any other event instead of holding
// it. The attempt is Idle again as its completion starts, so that nothing the completion does
// (a box it shows among them) keeps the next attempt out. An attempt whose thread cannot be
// started completes the same way, as an open the library refused for want of memory.
//
// A quit abandons the attempt: its completion never runs and the open finishes by itself on
// its thread, which nobody waits for. Whatever it opened is left to the library, which must
// then outlive the program's own objects: OpensOut tells the program entry whether one is
// still running.
//
// Threads: the opener thread runs only the open (calls of the library that may come from
// another thread) and queues the completion; `mutex` guards the abandoned flag, so the object
// cannot go between the opener's look at the flag and its posting of the completion.
#include "audio/soundlib/soundlib.h"

#include <QObject>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

class TStreamAttempt : public QObject {
public:
    enum class State { Idle, Opening, Done };
    struct Result {
        soundlib::HSTREAM channel = 0;
        int code = soundlib::BASS_OK;  // the library's code, read on the opener's thread
        std::exception_ptr error;      // the open threw instead
    };

    explicit TStreamAttempt(QObject* owner = nullptr);
    ~TStreamAttempt() override;  // abandons an open still running

    State GetState() const { return state_.load(); }
    bool Idle() const { return state_.load() == State::Idle; }

    // Idle only (false otherwise, nothing started): `open` runs on a thread of its own, then
    // `completed` on this object's thread, from the event loop.
    bool Start(std::function<Result()> open, std::function<void(const Result&)> completed);
    // Nothing of this attempt runs any more here; the open is not waited for.
    void Abandon();

    // Opens still running on their threads, abandoned ones included.
    static int OpensOut();

private:
    struct Shared;
    void Complete(const std::shared_ptr<Shared>& shared, const Result& result);

    std::atomic<State> state_{State::Idle};  // Done is set by the opener's thread
    std::shared_ptr<Shared> shared_;
    std::function<void(const Result&)> completed_;
};
