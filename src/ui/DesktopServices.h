// DesktopServices: what the shell's windows ask of the desktop (the alarm
// tone, caption flashing, message boxes, starting the editor and browser),
// behind interfaces that tests replace with recorders. Shell code only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <string>

#include "platform/Desktop.h"

namespace kivo {

// Beep(frequency, duration): returns when the tone has ended.
class Beeper {
 public:
  virtual ~Beeper() = default;
  virtual void Beep(unsigned frequencyHz, unsigned durationMs) = 0;
  // False when the tone cannot be heard (no sound device opens): the
  // desktop is then asked to play the alarm's sound.
  virtual bool Audible() { return true; }
};

// FlashWindow(window, invert): invert draws attention to the window, not
// inverting restores it.
class Flasher {
 public:
  virtual ~Flasher() = default;
  virtual void FlashWindow(QWidget& window, bool invert) = 0;
};

// The tone on the sound device through ALSA ($KIVO_SOUND_DEVICE names the
// PCM, "default" when unset; "none" opens none); where no device opens, the
// display's bell (once a device has failed it is not tried again).
class SoundBeeper : public Beeper {
 public:
  void Beep(unsigned frequencyHz, unsigned durationMs) override;
  // Tries the device once, without a sound, when no beep has yet.
  bool Audible() override;

 private:
  bool deviceFailed_ = false;
  bool deviceTried_ = false;
};

// Toggles the window's attention (urgency) state.
class AttentionFlasher : public Flasher {
 public:
  void FlashWindow(QWidget& window, bool invert) override;
};

// QMessageBox with the caption, text, icon and buttons of a MessageBoxA type.
class QtMessageBoxes : public platform::MessageBoxes {
 public:
  explicit QtMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }
  int MessageBoxA(bool owned, const std::string& text, const std::string& caption,
                  platform::UINT type) override;

 private:
  QPointer<QWidget> owner_;
};

// Starts the editor ($KIVO_EDITOR, else xdg-open) or the desktop's URL opener
// without a shell and without waiting.
class QtLauncher : public platform::Launcher {
 public:
  void OpenTextFile(const std::string& path) override;
  void OpenUrl(const std::string& url) override;
};

// Registers the compiled-in images (icons, logo) of the shell; safe to call
// more than once.
void LoadUiResources();

}  // namespace kivo
