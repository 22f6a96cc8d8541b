// Desktop services of the shell: ALSA tone with the display bell as fallback,
// attention flashing, Qt message boxes and detached program starts.
#include "ui/DesktopServices.h"

#include "ui/DialogUnits.h"

#include <alsa/asoundlib.h>

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdarg>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

static void InitUiResourceFile() {
  Q_INIT_RESOURCE(ui);
}

namespace kivo {

void LoadUiResources() {
  static const bool loaded = [] {
    InitUiResourceFile();
    return true;
  }();
  (void)loaded;
}

namespace {

// libasound prints to stderr on every failed open; the program has its own
// fallback, so the library stays quiet.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

// The PCM the tone plays on; nothing when told there is none.
std::optional<std::string> SoundDevice() {
  const char* name = std::getenv("KIVO_SOUND_DEVICE");
  if (name == nullptr || *name == '\0') return std::string("default");
  if (std::string(name) == "none") return std::nullopt;
  return std::string(name);
}

snd_pcm_t* OpenSoundDevice() {
  static const bool quiet = [] {
    snd_lib_error_set_handler(&QuietAlsaErrors);
    return true;
  }();
  (void)quiet;
  const std::optional<std::string> device = SoundDevice();
  snd_pcm_t* pcm = nullptr;
  if (!device || snd_pcm_open(&pcm, device->c_str(), SND_PCM_STREAM_PLAYBACK, 0) < 0) return nullptr;
  return pcm;
}

bool PlayTone(unsigned frequencyHz, unsigned durationMs) {
  constexpr unsigned kRate = 8000;
  snd_pcm_t* pcm = OpenSoundDevice();
  if (pcm == nullptr) return false;
  bool played = false;
  if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1, 200000) ==
      0) {
    const unsigned frames = kRate * durationMs / 1000;
    const unsigned halfPeriod = frequencyHz > 0 ? kRate / (2 * frequencyHz) : frames;
    std::vector<short> samples(frames);
    for (unsigned i = 0; i < frames; ++i)
      samples[i] = ((i / (halfPeriod ? halfPeriod : 1)) % 2) ? -8000 : 8000;
    const snd_pcm_sframes_t written = snd_pcm_writei(pcm, samples.data(), frames);
    played = written >= 0;
    if (played) snd_pcm_drain(pcm);
  }
  snd_pcm_close(pcm);
  return played;
}

}  // namespace

void SoundBeeper::Beep(unsigned frequencyHz, unsigned durationMs) {
  deviceTried_ = true;
  if (!deviceFailed_ && PlayTone(frequencyHz, durationMs)) return;
  deviceFailed_ = true;
  // The display's bell: X11 rings it; a Wayland session has none, and hears
  // the alarm through the notification's sound.
  QApplication::beep();
}

bool SoundBeeper::Audible() {
  if (!deviceTried_) {
    deviceTried_ = true;
    if (snd_pcm_t* pcm = OpenSoundDevice()) {
      snd_pcm_close(pcm);
    } else {
      deviceFailed_ = true;
    }
  }
  return !deviceFailed_;
}

void AttentionFlasher::FlashWindow(QWidget& window, bool invert) {
  // The attention state lasts one flash period, so the next tick (which does
  // not invert) finds it restored.
  if (invert) QApplication::alert(&window, 500);
}

int QtMessageBoxes::MessageBoxA(bool owned, const std::string& text, const std::string& caption,
                                platform::UINT type) {
  QMessageBox box(owned ? owner_.data() : nullptr);
  // A box holds up its owner only (none when it has no owner); the alert
  // window stays usable, so an alarm can be acknowledged while a box is open.
  box.setWindowModality(Qt::WindowModal);
  // The alert window is kept above all others; a box in the same layer,
  // shown after it, comes out on top of it instead of taking the keyboard
  // unseen beneath it.
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.setFont(DialogFont());
  box.setWindowTitle(QString::fromLatin1(caption.c_str()));
  box.setText(QString::fromLatin1(text.c_str()));
  switch (type & 0xF0u) {
    case 0x10:
      box.setIcon(QMessageBox::Critical);
      break;
    case 0x20:
      box.setIcon(QMessageBox::Question);
      break;
    case 0x30:
      box.setIcon(QMessageBox::Warning);
      break;
    case 0x40:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      box.setIcon(QMessageBox::NoIcon);
      break;
  }
  if ((type & 0x0Fu) == platform::MB_YESNO) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? platform::IDYES : platform::IDNO;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return platform::IDOK;
}

void QtLauncher::OpenTextFile(const std::string& path) {
  const char* editor = std::getenv("KIVO_EDITOR");
  const QString program =
      (editor != nullptr && *editor != '\0') ? QString::fromLocal8Bit(editor) : QStringLiteral("xdg-open");
  QProcess::startDetached(program, QStringList{QString::fromLocal8Bit(path.c_str())});
}

void QtLauncher::OpenUrl(const std::string& url) {
  QProcess::startDetached(QStringLiteral("xdg-open"), QStringList{QString::fromLatin1(url.c_str())});
}

}  // namespace kivo
