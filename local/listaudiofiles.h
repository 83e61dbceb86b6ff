#pragma once
// The listing of the music folder: the audio files lying directly in it, upper-cased for the
// list grid and sorted the way the operator reads them.
#include <QString>

#include <vector>

struct AudioFileEntry {
    QString Display;   // the name in upper case, as the grid shows it
    QString FileName;  // the real name, decoded with DecodeFileName so it round-trips to the same bytes
};

// Appends to *list every entry of the folder (files and sub-folders alike, not recursive)
// whose upper-cased name ends in a text found in ".MP3 .TKM .WAV", then sorts the list by
// its display names, case-insensitively for the user's locale. Pending events are processed
// while a large folder is read. A folder that cannot be read lists nothing, without a message.
// mask is a wildcard on the name ("*.*" and "*" take every entry). A null list is refused
// with a message.
void ListAudioFiles(const QString& folder, const QString& mask, std::vector<AudioFileEntry>* list);

// The acceptance test on an upper-cased name: its last four characters (the whole name when
// shorter) occur in ".MP3 .TKM .WAV".
bool IsAcceptedAudioName(const QString& upperName);
