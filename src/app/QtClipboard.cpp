// The Qt clipboard behind ClipboardApi. The desktop clipboard has no lock of
// its own, so Open only checks that there is one and that this program does
// not hold it already.
#include "app/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace kivo {

bool QtClipboard::Open() {
  if (open_ || QGuiApplication::clipboard() == nullptr) return false;
  open_ = true;
  return true;
}

bool QtClipboard::Empty() {
  if (!open_) return false;
  QGuiApplication::clipboard()->clear();
  return true;
}

bool QtClipboard::SetText(const std::string& text) {
  if (!open_) return false;
  // Single-byte text: each byte is one character (CR LF kept as they are).
  auto* data = new QMimeData;
  data->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  QGuiApplication::clipboard()->setMimeData(data);
  return true;
}

void QtClipboard::Close() {
  open_ = false;
}

}  // namespace kivo
