// SmtpSession: one plain-text message delivered with a minimal SMTP dialogue
// (greeting, HELO, MAIL FROM, RCPT TO per recipient, DATA, message, QUIT),
// advanced one server reply per read notification on the user-interface
// thread; a multi-line reply ("250-..." lines, then "250 ...") counts as one.
// Each reply has a time limit. Owned by MailSender; progress goes to a
// MailOwner.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/SocketWait.h"
#include "platform/SocketWatcher.h"
#include "platform/TcpSocket.h"

namespace kivo {

class EmailLog;

// Window message 1225 and its wParam values.
inline constexpr unsigned kMailStatusMessage = 1225;
inline constexpr int kMailFailed = 8;
inline constexpr int kMailDone = 7;

// The receiver of MailStatusMessage: the main window.
class MailOwner {
 public:
  virtual ~MailOwner() = default;
  // Delivered before the call returns. The session that sends it may be
  // deleted inside this call (and it expects to be).
  virtual void SendMailStatus(int wParam, long lParam) = 0;
  // Queued, handled later on the same thread; never inside this call.
  virtual void PostMailStatus(int wParam, long lParam) = 0;
};

enum SessionState : std::int32_t {
  Idle = 0,
  AwaitGreeting = 1,
  AwaitHelo = 2,
  AwaitMailFrom = 3,
  AwaitRcptTo = 4,
  AwaitData = 5,
  AwaitDataEnd = 6,
  AwaitQuit = 7,
};

class SmtpSession {
 public:
  static constexpr unsigned kSmtpPort = 25;
  static constexpr int kReadSize = 512;
  // The most received text held without a CR LF line being taken out: a
  // server that never ends its line fails the session like a failed read.
  static constexpr std::size_t kMaxReceiveBuffer = 64 * 1024;
  // How long the server may take over each reply: past it the session fails
  // as a read that timed out (WSAETIMEDOUT).
  static constexpr std::uint32_t kReplyTimeLimitMs = 60000;

  // The program always uses port 25; tests pass their server's port. `wait`
  // is how the connect and the sends wait (nullptr: they poll).
  SmtpSession(MailOwner& owner, platform::SocketWatcher& watcher, EmailLog& log, unsigned port = kSmtpPort,
              platform::SocketWait* wait = nullptr);
  ~SmtpSession();
  SmtpSession(const SmtpSession&) = delete;
  SmtpSession& operator=(const SmtpSession&) = delete;

  // Takes the texts and splits the recipients at ";" and ",", trimming white
  // space and dropping empty pieces. The state, reply queue and receive
  // buffer are left alone.
  void PrepareMessage(const std::string& server, const std::string& senderName,
                      const std::string& senderAddress, const std::string& recipientText,
                      const std::string& body);
  // Connects to Host at the session's port and starts watching for replies;
  // 1 with the state AwaitGreeting, or 0 after logging why. A session still
  // in a dialogue first closes that connection and forgets its unread text.
  int OpenConnection();
  // The read notification: errorCode is the socket's pending error, or 0
  // (WSAETIMEDOUT when the reply's time limit passed). One that arrives while
  // the session itself sends is held back until the send is done. May delete
  // this session (through the owner) before it returns.
  void OnReceive(int errorCode);
  // Handles the first queued reply line, if any. May delete this session
  // (through the owner) before it returns.
  void HandleReply();
  // Sends the header block, the body and the end-of-data mark; 1 or 0.
  int WriteMessage();
  // Stops watching and closes the connection; the state is the caller's.
  void Close();

  SessionState State() const { return static_cast<SessionState>(sessionState_); }
  void SetState(SessionState state) { sessionState_ = state; }
  const std::string& Host() const { return host_; }
  const std::vector<std::string>& Recipients() const { return recipients_; }
  const std::deque<std::string>& ReplyQueue() const { return replyQueue_; }
  const std::string& CurrentReply() const { return currentReply_; }
  const std::string& ReceiveBuffer() const { return receiveBuffer_; }
  std::int32_t SendBufferSize() const { return sendBufferSize_; }
  std::int32_t ReceiveBufferSize() const { return receiveBufferSize_; }
  std::int32_t MailFromRetry() const { return mailFromRetry_; }
  std::int32_t RecipientIndex() const { return recipientIndex_; }
  int Descriptor() const { return socket_.Descriptor(); }
  platform::TcpSocket& Socket() { return socket_; }

 private:
  void SendCommand(const std::string& command);
  // Send through the socket with read notifications held back meanwhile.
  int SendHeld(const void* data, int len);
  void StartWatching();
  // The reply now awaited gets the whole time limit.
  void AwaitReply();
  // Logs, then tells the owner synchronously; the session may be gone after.
  void Fail(const std::string& message, const std::string& detail);
  // Read-side failure: logs, stops watching and posts MailFailed with code.
  void FailRead(int code);
  void StopWatching();

  MailOwner& owner_;
  platform::SocketWatcher& watcher_;
  EmailLog& log_;
  unsigned port_;
  platform::TcpSocket socket_;
  int watchedFd_ = platform::INVALID_SOCKET;
  bool sending_ = false;
  bool heldBack_ = false;  // a read notification came while sending

  std::string host_;
  std::int32_t sendBufferSize_ = 0;
  std::int32_t receiveBufferSize_ = 0;
  std::int32_t sessionState_ = Idle;
  std::vector<std::string> recipients_;
  std::string senderName_;
  std::string senderAddress_;
  std::string recipientText_;
  const std::string domainText_ = "Unknown user";
  std::string body_;
  std::int32_t mailFromRetry_ = 0;
  std::deque<std::string> replyQueue_;
  std::string currentReply_;
  std::string receiveBuffer_;
  std::array<char, kReadSize> readArea_{};
  std::int32_t recipientIndex_ = 0;
};

// The recipients of a recipient text, as PrepareMessage splits them.
std::vector<std::string> SplitRecipients(const std::string& recipientText);

// The length of the first whole reply at the start of `received`: its lines
// up to and including the first that does not continue it (three digits and
// "-" continue a reply). 0 while the reply is incomplete.
std::size_t WholeReplyLength(const std::string& received);

}  // namespace kivo
