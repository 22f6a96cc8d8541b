// On Linux standard output is a byte stream already.
#include "platform/StandardOutput.h"

namespace kivo::platform {

void UseBinaryStandardOutput() {}

}  // namespace kivo::platform
