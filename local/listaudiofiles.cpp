#include "local/listaudiofiles.h"

#include "system/filenames.h"
#include "system/messageboxes.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>

#include <dirent.h>

#include <algorithm>
#include <cstring>

namespace {

// Events are let through once per this many entries: often enough that a folder of tens of
// thousands of files keeps the window alive, seldom enough to cost nothing measurable.
constexpr int kEntriesPerEventPass = 256;

const QString kAcceptedExtensions = QStringLiteral(".MP3 .TKM .WAV");

// Windows' "*.*" takes every name, with or without a dot; other masks are ordinary wildcards
// on the name, without regard to case.
class NameMask {
public:
    explicit NameMask(const QString& mask) {
        const QString m = mask.trimmed();
        all_ = m.isEmpty() || m == QLatin1String("*") || m == QLatin1String("*.*");
        if (!all_)
            re_ = QRegularExpression(QRegularExpression::wildcardToRegularExpression(m, QRegularExpression::DefaultWildcardConversion),
                                     QRegularExpression::CaseInsensitiveOption);
    }
    bool Matches(const QString& name) const { return all_ || re_.match(name).hasMatch(); }

private:
    bool all_ = true;
    QRegularExpression re_;
};

// Reads the names of the folder's entries as the file system holds them (bytes), so that a
// name not valid in the user's encoding is still found. "." and ".." are left out.
template <typename Visit>
void ForEachEntry(const QString& folder, Visit visit) {
    DIR* dir = opendir(EncodeFileName(folder).constData());
    if (!dir) return;  // a folder that cannot be searched simply holds nothing
    int seen = 0;
    while (const dirent* entry = readdir(dir)) {
        if (++seen % kEntriesPerEventPass == 0 && QCoreApplication::instance())
            QCoreApplication::processEvents();
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        visit(QByteArray(entry->d_name));
    }
    closedir(dir);
}

void SortByDisplay(std::vector<AudioFileEntry>* list) {
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    struct Keyed {
        QCollatorSortKey key;
        AudioFileEntry entry;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(list->size());
    for (auto& e : *list) keyed.push_back({collator.sortKey(e.Display), std::move(e)});
    // Names that differ only in case collate equal; their real names order them, so the list
    // is the same whatever order the file system returned.
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        const int c = a.key.compare(b.key);
        return c != 0 ? c < 0 : a.entry.FileName < b.entry.FileName;
    });
    for (std::size_t i = 0; i < keyed.size(); ++i) (*list)[i] = std::move(keyed[i].entry);
}

}  // namespace

bool IsAcceptedAudioName(const QString& upperName) {
    return kAcceptedExtensions.contains(upperName.right(4));
}

void ListAudioFiles(const QString& folder, const QString& mask, std::vector<AudioFileEntry>* list) {
    if (!list) {
        MessageBoxes().Message(QStringLiteral("Lista de arquivos não foi criada"), ApplicationTitle());
        return;
    }
    const QString dir = folder.trimmed();
    if (dir.isEmpty()) return;
    const NameMask nameMask(mask);
    const QLocale locale;  // the user's locale, unless the program chose another
    ForEachEntry(dir, [&](const QByteArray& bytes) {
        QString name = DecodeFileName(bytes);
        if (!nameMask.Matches(name)) return;
        QString upper = locale.toUpper(name);
        if (IsAcceptedAudioName(upper)) list->push_back({std::move(upper), std::move(name)});
    });
    SortByDisplay(list);
}
