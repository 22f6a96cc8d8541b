// FormatMessageA: the system's wording of the Win32, RPC and Winsock codes
// the program can meet, as the Windows message table words them.
#include "platform/SystemMessage.h"

#include <cstring>

#include "platform/LastError.h"

namespace kivo::platform {
namespace {

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;

struct SystemMessage {
  DWORD code;
  const char* text;
};

// Sorted by code.
constexpr SystemMessage kMessages[] = {
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough storage is available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {21, "The device is not ready.\r\n"},
    {24, "The program issued a command but the command length is incorrect.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {111, "The file name is too long.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {161, "The specified path is invalid.\r\n"},
    {234, "More data is available.\r\n"},
    {258, "The wait operation timed out.\r\n"},
    {1009, "The configuration registry database is corrupt.\r\n"},
    {1010, "The configuration registry key is invalid.\r\n"},
    {1011, "The configuration registry key could not be opened.\r\n"},
    {1012, "The configuration registry key could not be read.\r\n"},
    {1013, "The configuration registry key could not be written.\r\n"},
    {1015,
     "The registry is corrupted. The structure of one of the files containing registry data is corrupted, or "
     "the "
     "system's memory image of the file is corrupted, or the file could not be recovered because the "
     "alternate copy "
     "or log was absent or corrupted.\r\n"},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1167, "The device is not connected.\r\n"},
    {1460, "This operation returned because the timeout period expired.\r\n"},
    {1702, "The binding handle is invalid.\r\n"},
    {1717, "The interface is unknown.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
    {1723, "The RPC server is too busy to complete this operation.\r\n"},
    {1726, "The remote procedure call failed.\r\n"},
    {1727, "The remote procedure call failed and did not execute.\r\n"},
    {1728, "A remote procedure call (RPC) protocol error occurred.\r\n"},
    {1745, "The procedure number is out of range.\r\n"},
    {10004, "A blocking operation was interrupted by a call to WSACancelBlockingCall.\r\n"},
    {10013, "An attempt was made to access a socket in a way forbidden by its access permissions.\r\n"},
    {10022, "An invalid argument was supplied.\r\n"},
    {10035, "A non-blocking socket operation could not be completed immediately.\r\n"},
    {10038, "An operation was attempted on something that is not a socket.\r\n"},
    {10048,
     "Only one usage of each socket address (protocol/network address/port) is normally permitted.\r\n"},
    {10050, "A socket operation encountered a dead network.\r\n"},
    {10051, "A socket operation was attempted to an unreachable network.\r\n"},
    {10053, "An established connection was aborted by the software in your host machine.\r\n"},
    {10054, "An existing connection was forcibly closed by the remote host.\r\n"},
    {10057,
     "A request to send or receive data was disallowed because the socket is not connected and (when sending "
     "on a "
     "datagram socket using a sendto call) no address was supplied.\r\n"},
    {10060,
     "A connection attempt failed because the connected party did not properly respond after a period of "
     "time, or "
     "established connection failed because connected host has failed to respond.\r\n"},
    {10061, "No connection could be made because the target machine actively refused it.\r\n"},
    {10064, "A socket operation failed because the destination host was down.\r\n"},
    {10065, "A socket operation was attempted to an unreachable host.\r\n"},
    {11001, "No such host is known.\r\n"},
    {11002,
     "This is usually a temporary error during hostname resolution and means that the local server did not "
     "receive "
     "a response from an authoritative server.\r\n"},
    {11004, "The requested name is valid, but no data of the requested type was found.\r\n"},
};

const char* Find(DWORD code) {
  for (const SystemMessage& message : kMessages) {
    if (message.code == code) return message.text;
  }
  return nullptr;
}

}  // namespace

DWORD FormatMessageA(DWORD flags, DWORD messageId, DWORD /*languageId*/, char* buffer, DWORD nSize) {
  // Only the system table into a caller's buffer: no module tables, no
  // buffers allocated here.
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0 ||
      buffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* text = Find(messageId);
  if (text == nullptr) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  std::size_t length = std::strlen(text);
  if (length + 1 > nSize) {
    // Nothing is written: a cut sentence would read as a whole one.
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, text, length + 1);
  return static_cast<DWORD>(length);
}

}  // namespace kivo::platform
