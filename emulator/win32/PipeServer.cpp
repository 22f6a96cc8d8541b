// PipeServer with CreateNamedPipeA, ConnectNamedPipe and overlapped reads and
// writes that also wait on the server's stop event.
#include "emulator/win32/PipeServer.h"

#include <windows.h>

#include <atomic>
#include <list>

namespace kivo::emulator {

struct PipeServer::State {
  struct Session {
    std::thread thread;
    std::atomic<bool> done{false};
  };
  HANDLE stop = nullptr;
  std::mutex mutex;  // guards sessions
  std::list<Session> sessions;

  // Joins the sessions that have ended, so a long run keeps no dead threads.
  void Reap() {
    std::lock_guard lock(mutex);
    for (auto it = sessions.begin(); it != sessions.end();) {
      if (it->done) {
        it->thread.join();
        it = sessions.erase(it);
      } else {
        ++it;
      }
    }
  }
};

namespace {

constexpr DWORD kBufferSize = 64 * 1024;

// Waits for an overlapped operation or the stop event; the byte count, or
// false when the operation failed or the server stops (the operation is then
// cancelled).
bool Finish(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, HANDLE stop, DWORD* bytes) {
  if (!started && GetLastError() != ERROR_IO_PENDING) return false;
  HANDLE waits[] = {overlapped.hEvent, stop};
  if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
    CancelIo(pipe);
    GetOverlappedResult(pipe, &overlapped, bytes, TRUE);
    return false;
  }
  return GetOverlappedResult(pipe, &overlapped, bytes, FALSE) != 0;
}

class Connection : public PipeConnection {
 public:
  Connection(HANDLE pipe, HANDLE stop)
      : pipe_(pipe), stop_(stop), event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Connection() override {
    FlushFileBuffers(pipe_);
    DisconnectNamedPipe(pipe_);
    CloseHandle(pipe_);
    CloseHandle(event_);
  }

  std::size_t ReadSome(void* data, std::size_t size) override {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_;
    DWORD got = 0;
    const BOOL started = ReadFile(pipe_, data, static_cast<DWORD>(size), &got, &overlapped);
    if (!Finish(pipe_, overlapped, started, stop_, &got)) return 0;
    return got;
  }

  bool ReadExactly(void* data, std::size_t size) override {
    auto* at = static_cast<char*>(data);
    while (size > 0) {
      const std::size_t got = ReadSome(at, size);
      if (got == 0) return false;
      at += got;
      size -= got;
    }
    return true;
  }

  bool WriteAll(const void* data, std::size_t size) override {
    const auto* at = static_cast<const char*>(data);
    while (size > 0) {
      OVERLAPPED overlapped{};
      overlapped.hEvent = event_;
      DWORD written = 0;
      const BOOL started = WriteFile(pipe_, at, static_cast<DWORD>(size), &written, &overlapped);
      if (!Finish(pipe_, overlapped, started, stop_, &written) || written == 0) return false;
      at += written;
      size -= written;
    }
    return true;
  }

 private:
  HANDLE pipe_;
  HANDLE stop_;
  HANDLE event_;
};

// A security descriptor whose empty access list lets nobody open the pipe.
struct DenyAll {
  SECURITY_DESCRIPTOR descriptor;
  ACL acl;
  SECURITY_ATTRIBUTES attributes;
  DenyAll() {
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&acl, sizeof(acl), ACL_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, &acl, FALSE);
    attributes = {sizeof(attributes), &descriptor, FALSE};
  }
};

HANDLE NewInstance(const std::string& path, bool first, bool refuse) {
  static DenyAll denyAll;
  DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
  if (first) openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
  return CreateNamedPipeA(path.c_str(), openMode, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                          PIPE_UNLIMITED_INSTANCES, kBufferSize, kBufferSize, 0,
                          refuse ? &denyAll.attributes : nullptr);
}

}  // namespace

PipeServer::PipeServer(std::string path, Session session, bool refuse)
    : path_(std::move(path)), session_(std::move(session)), refuse_(refuse) {}

PipeServer::~PipeServer() {
  Stop();
}

bool PipeServer::Start(std::string* error) {
  if (state_) return true;
  HANDLE first = NewInstance(path_, true, refuse_);
  if (first == INVALID_HANDLE_VALUE) {
    if (error) *error = "cannot create the pipe " + path_ + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  state_ = std::make_shared<State>();
  state_->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  acceptThread_ = std::thread([this, first] { AcceptLoop(first); });
  return true;
}

void PipeServer::AcceptLoop(void* firstInstance) {
  HANDLE pipe = static_cast<HANDLE>(firstInstance);
  HANDLE connected = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  while (pipe != INVALID_HANDLE_VALUE) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = connected;
    ResetEvent(connected);
    DWORD ignored = 0;
    const BOOL started = ConnectNamedPipe(pipe, &overlapped);
    const bool ready = (!started && GetLastError() == ERROR_PIPE_CONNECTED) ||
                       Finish(pipe, overlapped, started, state_->stop, &ignored);
    if (!ready) {
      CloseHandle(pipe);
      if (WaitForSingleObject(state_->stop, 0) == WAIT_OBJECT_0) break;
      pipe = NewInstance(path_, false, refuse_);
      continue;
    }
    // The next instance exists before the client can be answered: a client
    // that closes and opens again at once must never find the name gone.
    HANDLE next = NewInstance(path_, false, refuse_);
    state_->Reap();
    {
      std::lock_guard lock(state_->mutex);
      State::Session& session = state_->sessions.emplace_back();
      session.thread = std::thread([this, pipe, &session] {
        {
          Connection connection(pipe, state_->stop);
          session_(connection);
        }
        session.done = true;
      });
    }
    pipe = next;
  }
  CloseHandle(connected);
}

void PipeServer::Stop() {
  if (!state_) return;
  SetEvent(state_->stop);
  if (acceptThread_.joinable()) acceptThread_.join();
  std::list<State::Session> sessions;
  {
    std::lock_guard lock(state_->mutex);
    sessions.swap(state_->sessions);
  }
  for (State::Session& session : sessions) session.thread.join();
  CloseHandle(state_->stop);
  state_.reset();
}

}  // namespace kivo::emulator
