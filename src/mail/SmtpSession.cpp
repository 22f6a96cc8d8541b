// SmtpSession: the reply table of the dialogue, the wire format of the
// message and the failure lines. A refused reply ends with a synchronous
// MailFailed to the owner, which deletes the session: nothing of the session
// is touched after that call.
#include "mail/SmtpSession.h"

#include <algorithm>
#include <new>

#include "mail/EmailLog.h"

namespace kivo {

using platform::SOCKET_ERROR;

namespace {
constexpr char kBlanks[] = " \t\r\n\v\f";
}

std::vector<std::string> SplitRecipients(const std::string& recipientText) {
  std::vector<std::string> recipients;
  std::size_t start = 0;
  while (start <= recipientText.size()) {
    std::size_t end = recipientText.find_first_of(";,", start);
    if (end == std::string::npos) end = recipientText.size();
    std::string piece = recipientText.substr(start, end - start);
    std::size_t first = piece.find_first_not_of(kBlanks);
    if (first != std::string::npos) {
      std::size_t last = piece.find_last_not_of(kBlanks);
      recipients.push_back(piece.substr(first, last - first + 1));
    }
    start = end + 1;
  }
  return recipients;
}

std::size_t WholeReplyLength(const std::string& received) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = received.find("\r\n", start);
    if (end == std::string::npos) return 0;
    const bool continues = end - start >= 4 && received[start + 3] == '-' &&
                           std::all_of(received.begin() + static_cast<std::ptrdiff_t>(start),
                                       received.begin() + static_cast<std::ptrdiff_t>(start + 3),
                                       [](char c) { return c >= '0' && c <= '9'; });
    start = end + 2;
    if (!continues) return start;
  }
}

SmtpSession::SmtpSession(MailOwner& owner, platform::SocketWatcher& watcher, EmailLog& log, unsigned port,
                         platform::SocketWait* wait)
    : owner_(owner), watcher_(watcher), log_(log), port_(port) {
  socket_.SetWait(wait);
  // A server that stops taking the message is as silent as one that stops
  // answering.
  socket_.SetSendTimeout(static_cast<int>(kReplyTimeLimitMs));
}

SmtpSession::~SmtpSession() {
  Close();
}

void SmtpSession::PrepareMessage(const std::string& server, const std::string& senderName,
                                 const std::string& senderAddress, const std::string& recipientText,
                                 const std::string& body) {
  host_ = server;
  senderName_ = senderName;
  senderAddress_ = senderAddress;
  recipientText_ = recipientText;
  body_ = body;
  recipients_ = SplitRecipients(recipientText_);
  mailFromRetry_ = 1;
}

int SmtpSession::OpenConnection() {
  // A session reused in mid-dialogue: the old server must not feed replies
  // into the new dialogue.
  Close();
  replyQueue_.clear();
  receiveBuffer_.clear();

  if (!socket_.Create(0)) return log_.LogEmailFailure("Email: Creating Socket failed.", "");
  if (!socket_.Connect(host_, port_)) return log_.LogEmailFailure("Email: Attempting to connect failed.", "");
  int length = 4;
  if (!socket_.GetSockOpt(platform::KIVO_SO_SNDBUF, &sendBufferSize_, &length, platform::KIVO_SOL_SOCKET)) {
    return log_.LogEmailFailure("Email: GetSockOpt failed.", "");
  }
  length = 4;
  if (!socket_.GetSockOpt(platform::KIVO_SO_RCVBUF, &receiveBufferSize_, &length,
                          platform::KIVO_SOL_SOCKET)) {
    return log_.LogEmailFailure("Email: GetSockOpt failed.", "");
  }
  sessionState_ = AwaitGreeting;
  StartWatching();
  AwaitReply();
  return 1;
}

void SmtpSession::StartWatching() {
  watchedFd_ = socket_.Descriptor();
  watcher_.Watch(watchedFd_, [this](int errorCode) { OnReceive(errorCode); });
}

void SmtpSession::AwaitReply() {
  if (watchedFd_ != platform::INVALID_SOCKET) watcher_.SetTimeLimit(watchedFd_, kReplyTimeLimitMs);
}

void SmtpSession::OnReceive(int errorCode) {
  if (sending_) {
    // A send of this session waits in the message loop: the reply is taken
    // once the send is done, never in the middle of it.
    heldBack_ = true;
    StopWatching();
    return;
  }
  if (errorCode != 0) {
    platform::WSASetLastError(errorCode);  // so the line names this error
    FailRead(errorCode);
    return;
  }
  int n = socket_.Receive(readArea_.data(), kReadSize);
  if (n == SOCKET_ERROR) {
    FailRead(platform::WSAGetLastError());
    return;
  }
  if (n == 0) {
    // The server closed: nothing more will come, and a level-triggered
    // watcher would report the end again and again. The close is otherwise
    // ignored: the session stays in its state until dropped or reused.
    StopWatching();
  }
  receiveBuffer_.append(readArea_.data(), static_cast<std::size_t>(n));
  // At most one reply moves per notification; one of several lines moves
  // only when its last line is in.
  std::size_t end = WholeReplyLength(receiveBuffer_);
  if (end != 0) {
    replyQueue_.push_back(receiveBuffer_.substr(0, end));
    receiveBuffer_.erase(0, end);
  }
  if (receiveBuffer_.size() > kMaxReceiveBuffer) {
    platform::WSASetLastError(platform::WSAEMSGSIZE);
    FailRead(platform::WSAEMSGSIZE);
    return;
  }
  HandleReply();  // last: it may delete this session
}

void SmtpSession::HandleReply() {
  if (replyQueue_.empty()) return;
  currentReply_ = replyQueue_.front();
  replyQueue_.pop_front();
  // Exactly the first three characters; a shorter line matches nothing.
  const std::string code = currentReply_.size() >= 3 ? currentReply_.substr(0, 3) : std::string();

  switch (sessionState_) {
    case AwaitGreeting:
      if (code != "220") return Fail("Email: Failed to connect to ", host_);
      sessionState_ = AwaitHelo;
      SendCommand("HELO " + senderName_ + "\r\n");
      return;
    case AwaitHelo:
      if (code != "250") return Fail("Email: Unknown domain - ", domainText_);
      sessionState_ = AwaitMailFrom;
      SendCommand("MAIL FROM:<" + senderAddress_ + ">\r\n");
      return;
    case AwaitMailFrom:
      if (code != "250") {
        if (mailFromRetry_ != 1) return Fail("Email: Invalid Sender ID - ", senderAddress_);
        mailFromRetry_ = 0;
        SendCommand("MAIL FROM:<" + senderAddress_ + ">\r\n");
        return;
      }
      recipientIndex_ = 0;
      // A recipient text of separators only names nobody to send to.
      if (recipients_.empty()) return Fail("Email: Invalid Receiver ID - ", "");
      recipientIndex_ = 1;
      sessionState_ = AwaitRcptTo;
      SendCommand("RCPT TO:<" + recipients_[0] + ">\r\n");
      return;
    case AwaitRcptTo:
      if (code != "250" && code != "251") {
        std::size_t refused = static_cast<std::size_t>(recipientIndex_ - 1);
        return Fail("Email: Invalid Receiver ID - ", recipientIndex_ >= 1 && refused < recipients_.size()
                                                         ? recipients_[refused]
                                                         : std::string());
      }
      if (recipientIndex_ >= 0 && static_cast<std::size_t>(recipientIndex_) < recipients_.size()) {
        std::string command = "RCPT TO:<" + recipients_[static_cast<std::size_t>(recipientIndex_)] + ">\r\n";
        ++recipientIndex_;
        SendCommand(command);
      } else {
        sessionState_ = AwaitData;
        SendCommand("DATA\r\n");
      }
      return;
    case AwaitData:
      if (code != "354" || WriteMessage() != 1) return Fail("Email: Unable to send data: ", "");
      sessionState_ = AwaitDataEnd;
      return;
    case AwaitDataEnd:
      sessionState_ = AwaitQuit;
      SendCommand("QUIT\r\n");
      return;
    case AwaitQuit:
      owner_.PostMailStatus(kMailDone, kMailDone);
      sessionState_ = Idle;
      return;
    default:  // Idle: the line is dropped
      return;
  }
}

int SmtpSession::WriteMessage() {
  std::string header;
  try {
    // Built whole, however long the header block grows.
    header = "From:\"" + senderName_ + "\"<" + senderAddress_ + ">\r\nTo: ";
    for (std::size_t i = 0; i < recipients_.size(); ++i) {
      if (i > 0) header += ",";
      header += recipients_[i];
    }
    header += "\r\nSubject: Kivo Email Test\r\n";
  } catch (const std::bad_alloc&) {
    log_.LogEmailFailure("Email: Insufficient memory available.", "");
    return 0;
  }
  const std::string* pieces[] = {&header, nullptr, &body_, nullptr};
  static const std::string kEmptyLine = "\r\n";
  static const std::string kEndOfData = "\r\n.\r\n";
  pieces[1] = &kEmptyLine;
  pieces[3] = &kEndOfData;
  for (const std::string* piece : pieces) {
    if (SendHeld(piece->data(), static_cast<int>(piece->size())) == SOCKET_ERROR) {
      log_.LogEmailFailure("Email: Socket Error:", "");
      return 0;
    }
  }
  AwaitReply();
  return 1;
}

void SmtpSession::Close() {
  StopWatching();
  socket_.Close();
}

void SmtpSession::SendCommand(const std::string& command) {
  // The state has advanced already; a failed command leaves the session
  // waiting in it and the owner is not told.
  if (SendHeld(command.data(), static_cast<int>(command.size())) == SOCKET_ERROR) {
    log_.LogEmailFailure("Email: Socket error:", "");
    return;
  }
  AwaitReply();
}

int SmtpSession::SendHeld(const void* data, int len) {
  sending_ = true;
  const int sent = socket_.Send(data, len);
  sending_ = false;
  if (heldBack_) {
    heldBack_ = false;
    // The descriptor is still readable: the watcher reports it again.
    StartWatching();
  }
  return sent;
}

void SmtpSession::Fail(const std::string& message, const std::string& detail) {
  log_.LogEmailFailure(message, detail);
  long state = sessionState_;
  MailOwner& owner = owner_;
  owner.SendMailStatus(kMailFailed, state);
  // The owner has deleted this session: touch nothing.
}

void SmtpSession::FailRead(int code) {
  log_.LogEmailFailure("Email: Socket Error", "");
  // One failure line per failure: the watcher would report it again.
  StopWatching();
  owner_.PostMailStatus(kMailFailed, code);
}

void SmtpSession::StopWatching() {
  if (watchedFd_ == platform::INVALID_SOCKET) return;
  watcher_.Unwatch(watchedFd_);
  watchedFd_ = platform::INVALID_SOCKET;
}

}  // namespace kivo
