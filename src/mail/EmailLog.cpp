// EmailLog: failure lines go to ReportText first, then to "emaillog.txt".
#include "mail/EmailLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
  bool written = false;
  int fd = ::open(Path().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd >= 0) {
    // The whole entry in one write where the disk allows it.
    const std::string entry = line + "\r\n";
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    std::size_t done = 0;
    while (done < entry.size()) {
      const long n = writer_.Write(fd, entry.data() + done, entry.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    written = done == entry.size();
    // A torn entry goes again, so the next one starts on a line of its own.
    if (!written && done > 0 && sized && ::ftruncate(fd, before.st_size) != 0) {
      // Nothing more can be done about it; the box below still tells.
    }
    if (::close(fd) != 0) written = false;
  }
  if (!written) {
    boxes_.MessageBoxA(false, "Cannot open file emaillog.txt.", "Error",
                       platform::MB_OK | platform::MB_ICONERROR);
  }
}

}  // namespace kivo
