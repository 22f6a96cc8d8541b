// Standard output as a byte stream: text that carries its own CR LF line
// ends must not have them translated (a Windows console program's standard
// output turns LF into CR LF otherwise).
#pragma once

namespace kivo::platform {

void UseBinaryStandardOutput();

// A reader that goes away (a closed pipe) makes the next write fail with an
// error the program reports, instead of ending the program unannounced.
void ReportLostReaderAsWriteError();

}  // namespace kivo::platform
