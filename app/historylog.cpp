#include "app/historylog.h"

#include "system/codepage1252.h"
#include "system/formats.h"

#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace {
QStringList MemoLines(const QPlainTextEdit& memo) {
    QStringList lines;
    const QTextDocument* doc = memo.document();
    if (doc->isEmpty()) return lines;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) lines << block.text();
    return lines;
}

QString LateLine(std::int64_t late, std::int64_t lost) {
    QString text = late == 1 ? QStringLiteral("HISTÓRICO: 1 linha gravada com atraso")
                             : QStringLiteral("HISTÓRICO: %1 linhas gravadas com atraso").arg(late);
    if (lost > 0) text += lost == 1 ? QStringLiteral(", 1 perdida") : QStringLiteral(", %1 perdidas").arg(lost);
    return text;
}
}  // namespace

QStringList THistoryLog::Add(QPlainTextEdit& memo, const QDate& day, const QTime& time, const QString& message) {
    const QString stamp = FormatTime(time) + QStringLiteral(" - ");
    const QString line = stamp + message;
    if (day != memoDay_) {
        // The memo's day is over: its refused lines that no longer fitted go with it.
        const auto kept = std::count_if(waiting_.begin(), waiting_.end(), [&](const Refused& r) { return r.day == memoDay_; });
        lost_ += memoRefused_ - std::int64_t(kept);
        memoRefused_ = 0;
        memoDay_ = day;
    }
    WriteOtherDays(day);

    const QString path = dayFile_(day);
    // No file for today yet: a new day (or a removed file) starts with an empty memo.
    if (memoRefused_ == 0 && !QFileInfo::exists(path)) memo.clear();
    QStringList added;
    const std::int64_t late = late_ + memoRefused_;
    if (late > 0 || lost_ > 0) added << stamp + LateLine(late, lost_);
    added << line;
    if (WriteLines1252Atomic(path, MemoLines(memo) + added)) {
        waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(), [&](const Refused& r) { return r.day == day; }),
                       waiting_.end());
        memoRefused_ = late_ = lost_ = 0;
    } else {
        added = QStringList{line};
        ++memoRefused_;
        waiting_.push_back({day, line});
        if (waiting_.size() > kWaitingMax) {
            // Today's oldest is still in the memo; another day's has nowhere else to be.
            if (waiting_.front().day != memoDay_) ++lost_;
            waiting_.pop_front();
        }
    }
    for (const QString& l : added) memo.appendPlainText(l);
    return added;
}

// Another day's refused lines go after what its file already holds; the first day that
// cannot be written stops the rest, which keeps each day's lines in order.
void THistoryLog::WriteOtherDays(const QDate& today) {
    for (;;) {
        const auto first = std::find_if(waiting_.begin(), waiting_.end(), [&](const Refused& r) { return r.day != today; });
        if (first == waiting_.end()) return;
        const QDate day = first->day;
        const auto ofDay = [&](const Refused& r) { return r.day == day; };
        QStringList refused;
        for (const Refused& r : waiting_)
            if (ofDay(r)) refused << r.line;
        const QString path = dayFile_(day);
        QStringList lines;
        if (QFileInfo::exists(path)) {
            bool ok = false;
            lines = ReadLines1252(path, &ok);
            if (!ok) return;
        }
        if (!WriteLines1252Atomic(path, lines + refused)) return;
        late_ += refused.size();
        waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(), ofDay), waiting_.end());
    }
}
