#pragma once
// TLocalPlay: local music. The grid Stringgrid3 is the play queue: a track's row goes when the
// track starts, the next row is drawn at random among those left, and the grid is filled again
// from the music folder once it is used up. Also the refresh of the list, the loudness
// measurement's queue and "Atualizar Servidores".
#include "local/shuffle.h"

#include <QObject>
#include <QString>

#include <cstdint>

class TZorvanBass;
class Tfrm_sonarisv1AAC;

class TLocalPlay : public QObject {
public:
    explicit TLocalPlay(Tfrm_sonarisv1AAC& window);

    TRandomDraw Shuffle;  // the local shuffle's draw, never seeded
    std::int32_t FlushCount = 0;

    void BitBtn13Click();
    void PlayMusica(const QString& tag);
    void StopMusica(TZorvanBass* sender);
    void BitBtn14Click();
    void BitBtn15Click();
    void Atualiza_Servidores();
    // Atualiza_Servidores' refusal while the stream plays: one box at a time, opened from the
    // event loop rather than inside the handler that asked for it.
    void ShowServersRefusal();
    // The loudness measurement's queue: the rows in the order they will play, the next first.
    // After a refresh of the list (`wholeFolder`) files no longer there are forgotten.
    void Nivela_Fila(bool wholeFolder);

private:
    enum class AfterStop { Nothing, NextLocalTrack };
    // StopMusica without its last step: chooses the next row, resets the buttons and, when the
    // stream is back, brings it up. Tells whether another local track should follow.
    AfterStop ChooseAfterStop();

    Tfrm_sonarisv1AAC& w_;
    // PlayMusica is choosing, opening and starting a track: the local player's stop events of
    // that moment (the previous channel's close, a failed open, a reopen) are no end of a track.
    bool openingTrack_ = false;
    bool serversRefusalWaiting_ = false;  // a refusal box is queued or open
};
