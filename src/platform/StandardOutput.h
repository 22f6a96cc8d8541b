// Standard output as a byte stream: text that carries its own CR LF line
// ends must not have them translated (a Windows console program's standard
// output turns LF into CR LF otherwise).
#pragma once

namespace kivo::platform {

void UseBinaryStandardOutput();

}  // namespace kivo::platform
