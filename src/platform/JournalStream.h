// JournalStream: whether standard output or standard error is connected to
// the system journal (a service's output stream), so that programs may mark
// each line with its syslog priority. Any program; read once at start.
#pragma once

namespace kivo::platform {

bool StandardOutputIsJournal();
bool StandardErrorIsJournal();

}  // namespace kivo::platform
