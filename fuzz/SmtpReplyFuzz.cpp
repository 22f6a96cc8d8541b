// Fuzz target of the SMTP reply stream: a loopback server sends the input as
// its whole side of the dialogue and closes; the sender reads it reply by
// reply as the utility's event loop would. Any stream ends the session (done
// or failed, with its log line) without a crash or a hang.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <utility>

#include "mail/EmailLog.h"
#include "mail/MailSender.h"
#include "mail/SettingsStore.h"
#include "platform/Desktop.h"
#include "platform/PollSocketWatcher.h"

namespace {

using namespace kivo;

class NoBoxes : public platform::MessageBoxes {
 public:
  int MessageBoxA(bool, const std::string&, const std::string&, platform::UINT) override { return 1; }
};

// The main window's part: a sent status is handled at once, a posted one
// after the current round of notifications.
class Owner : public MailOwner {
 public:
  MailSender* sender = nullptr;
  std::deque<std::pair<int, long>> posted;
  void SendMailStatus(int wParam, long lParam) override { sender->HandleMailStatus(wParam, lParam); }
  void PostMailStatus(int wParam, long lParam) override { posted.emplace_back(wParam, lParam); }
};

struct Loopback {
  int listener = -1;
  unsigned port = 0;
  std::string logDirectory;
};

const Loopback& Server() {
  static Loopback* server = [] {
    signal(SIGPIPE, SIG_IGN);
    auto* made = new Loopback;
    made->listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(made->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(made->listener, 16) != 0 ||
        getsockname(made->listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::abort();
    }
    made->port = ntohs(address.sin_port);
    char pattern[] = "/tmp/kivo-smtp-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    made->logDirectory = pattern;
    return made;
  }();
  return *server;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Loopback& server = Server();
  NoBoxes boxes;
  EmailLog log(boxes, server.logDirectory);
  Owner owner;
  platform::PollSocketWatcher watcher;
  MailSender sender(owner, watcher, log, server.port);
  owner.sender = &sender;

  EmailSettings settings;
  settings.Host = "127.0.0.1";
  settings.FromName = "Kivo";
  settings.FromID = "kivo@example.test";
  settings.ToID = "ops@example.test; admin@example.test";
  settings.SendEmail = 1;
  if (sender.SendEmailMessage(settings, "Controller 0: unit 1 degraded\r\n.\r\nend\r\n") != 1) return 0;

  const int peer = accept4(server.listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (peer < 0) std::abort();
  int buffer = 1 << 20;
  setsockopt(peer, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = send(peer, data + sent, size - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  shutdown(peer, SHUT_WR);

  // Each round reads what is there. The end of the stream is readable, so
  // the session meets it; once it watches nothing more, nothing more can
  // happen but the statuses it posted.
  for (int round = 0; round < 100000 && sender.Session() != nullptr; ++round) {
    const bool watching = watcher.Watched() > 0;
    if ((!watching || watcher.RunOnce(2000) == 0) && owner.posted.empty()) break;
    while (!owner.posted.empty()) {
      const auto [wParam, lParam] = owner.posted.front();
      owner.posted.pop_front();
      sender.HandleMailStatus(wParam, lParam);
    }
  }
  sender.DropSession();
  close(peer);
  std::remove(log.Path().c_str());
  return 0;
}
