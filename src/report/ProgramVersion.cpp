// The version text comes from the build (the project's version).
#include "report/ProgramVersion.h"

#ifndef KIVO_VERSION_TEXT
#error "KIVO_VERSION_TEXT must be defined by the build"
#endif

namespace kivo {

const char* ProgramVersionText() {
  return KIVO_VERSION_TEXT;
}

}  // namespace kivo
