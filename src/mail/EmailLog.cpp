// EmailLog: failure lines go to ReportText first, then to "emaillog.txt".
#include "mail/EmailLog.h"

#include <cstdio>

#include "platform/TcpSocket.h"
#include "report/ReportText.h"

namespace kivo {

std::string FormatEmailFailure(const std::string& message, const std::string& detail, int errorCode) {
  char code[16];
  std::snprintf(code, sizeof code, "%d", errorCode);
  std::string line = message + " " + detail + " Error: " + code + " \r\n";
  if (line.size() > EmailLog::kMaxLineLength) {
    // A long host or address must not lose the line's end: keep CR LF.
    line.resize(EmailLog::kMaxLineLength - 2);
    line += "\r\n";
  }
  return line;
}

EmailLog::EmailLog(platform::MessageBoxes& boxes, std::string directory, platform::FileWriter& writer)
    : boxes_(boxes),
      directory_(directory.empty() ? std::string(".") : std::move(directory)),
      writer_(writer) {}

std::string EmailLog::Path() const {
  return directory_ + "/emaillog.txt";
}

int EmailLog::LogEmailFailure(const std::string& message, const std::string& detail) {
  // The code first: nothing below may change it.
  int code = platform::WSAGetLastError();
  std::string line = FormatEmailFailure(message, detail, code);
  ReportText().Append(line.c_str());
  AppendEmailLog(line);
  return 0;
}

void EmailLog::AppendEmailLog(const std::string& line) {
  // The whole entry in one piece: a full disk leaves no torn line behind.
  const std::string entry = line + "\r\n";
  const bool written = platform::AppendWhole(writer_, Path(), entry.data(), entry.size());
  if (!written) {
    boxes_.MessageBoxA(false, "Cannot open file emaillog.txt.", "Error",
                       platform::MB_OK | platform::MB_ICONERROR);
  }
}

}  // namespace kivo
