// The program's version text and the maker's legal notice, printed in the
// first line of the disk information report and in the About box.
#pragma once

namespace kivo {

// Four dot-separated numbers, e.g. "3.1.0.7".
const char* ProgramVersionText();
constexpr char kLegalNotice[] = "Copyright (C) 2026 Zelka Storage Systems. All rights reserved.";

}  // namespace kivo
