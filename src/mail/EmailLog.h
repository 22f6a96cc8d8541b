// EmailLog: the append-only diagnostic file "emaillog.txt" and the failure
// logger of the SMTP sender, which also appends each line to ReportText.
// User-interface thread only.
#pragma once

#include <string>

#include "platform/Desktop.h"
#include "platform/FileWriter.h"

namespace kivo {

class EmailLog {
 public:
  // The longest failure line, CR LF included.
  static constexpr std::size_t kMaxLineLength = 255;

  // The log lives in `directory` (the current directory by default); its
  // failures are shown through `boxes`. `writer` writes the file (tests play
  // a full disk with it).
  explicit EmailLog(platform::MessageBoxes& boxes, std::string directory = ".",
                    platform::FileWriter& writer = platform::SystemFileWriter());

  // Formats "%s %s Error: %d \r\n" with message, detail and the last socket
  // error, cut to 255 characters that still end in CR LF, and appends it to
  // ReportText and to the file. Returns 0.
  int LogEmailFailure(const std::string& message, const std::string& detail);

  // Appends the line and "\r\n" to "emaillog.txt" (created when missing),
  // whole or not at all: a write that fails part-way is cut off again, so the
  // next entry never continues a torn one. A file that cannot be opened or
  // written shows "Cannot open file emaillog.txt." in an unowned error box
  // captioned "Error".
  void AppendEmailLog(const std::string& line);

  std::string Path() const;

 private:
  platform::MessageBoxes& boxes_;
  std::string directory_;
  platform::FileWriter& writer_;
};

// "%s %s Error: %d \r\n" with the 255-character bound, without side effects.
std::string FormatEmailFailure(const std::string& message, const std::string& detail, int errorCode);

}  // namespace kivo
