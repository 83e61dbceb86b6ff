#include "spots/spotplayer.h"

#include "audio/uzorvanbass.h"
#include "loudness/gainrule.h"
#include "loudness/levelsfile.h"
#include "loudness/loudness.h"
#include "system/filenames.h"

#include <algorithm>

TSpotPlayer::TSpotPlayer(soundlib::ISoundLib& lib, int device, QString spotsDir, TLoudness* music, Hooks hooks, QObject* owner)
    : lib_(lib), spotsDir_(std::move(spotsDir)), music_(music), hooks_(std::move(hooks)), player_(new TZorvanBass(lib, owner)) {
    player_->InitDevice(device, nullptr);
    player_->OnStop = [this](TZorvanBass*) {
        if (hooks_.Ended) hooks_.Ended();
    };
    if (music_) levels_ = std::make_unique<TLoudness>(lib_, spotsDir_ + kLevelsIni, spotsDir_);
}

TSpotPlayer::~TSpotPlayer() {
    player_->OnStop = nullptr;
    levels_.reset();
}

void TSpotPlayer::Measure(const QStringList& files) {
    if (levels_) levels_->Queue(files, true);
}

bool TSpotPlayer::Busy() { return player_->IsPlaying(); }

bool TSpotPlayer::OutputLost() { return player_->OutputLost(); }

void TSpotPlayer::Prepare(const QString& file) {
    if (prepared_ == file || Busy() || Awaited(file)) return;
    prepared_ = file;
    const QString path = spotsDir_ + file;
    // A missing file is not handed to the library: its box would say no more than the history.
    preparedOk_ = RegularFileExistsRaw(path);
    if (preparedOk_) {
        player_->Load(path);
        preparedOk_ = player_->Loaded;
    }
}

bool TSpotPlayer::Start(const QString& file) {
    const QString path = spotsDir_ + file;
    const bool prepared = prepared_ == file && !player_->Playing && (!preparedOk_ || (player_->Loaded && player_->Source == path));
    const bool ok = preparedOk_;
    prepared_.clear();
    if (prepared && !ok) return false;
    if (!prepared) {
        if (!RegularFileExistsRaw(path)) return false;
        player_->Load(path);
    }
    if (!player_->Loaded) return false;
    player_->SetVolume(std::uint32_t(std::clamp(hooks_.Volume ? hooks_.Volume() : 100, 0, 100)));
    double gain = 0;
    if (music_ && levels_)
        if (const auto level = levels_->LevelFor(file)) gain = LoudnessGainDb(level->Lufs, level->TruePeakDb, music_->TargetLufs());
    player_->SetLoudnessGain(gain);
    if (!ducked_ && hooks_.Duck) hooks_.Duck(-double(duckDb_), kDownMs);
    ducked_ = true;
    player_->Play();
    return player_->IsPlaying();
}

void TSpotPlayer::Settle() {
    if (!ducked_ || player_->IsPlaying()) return;
    ducked_ = false;
    if (hooks_.Duck) hooks_.Duck(0, kUpMs);
}
