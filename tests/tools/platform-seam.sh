#!/usr/bin/env bash
# The platform seam stays sealed: below src/, a system header (<name.h>) is
# included only by src/platform, the Win32 shell (src/win32ui) and the Qt
# shell's socket watchers, elsewhere only the libraries' own headers named
# here; and platform/posix/ and platform/win32/ headers only inside
# src/platform. Usage: platform-seam.sh SOURCE_DIR; lists what breaks it.
set -euo pipefail
cd "$1/src"
include='^[[:space:]]*#[[:space:]]*include[[:space:]]*'
found=$(
  grep -rnE "$include<[^>]+\.h>" --include='*.cpp' --include='*.h' . |
    grep -vE '^\./(platform|win32ui)/|^\./ui/QtSocketWatcher\.cpp:|^\./ui/QtSocketWait\.cpp:' |
    grep -vE '<(xcb/xcb|alsa/asoundlib|wayland-client)\.h>' || true
  grep -rnE "$include\"platform/(posix|win32)/" --include='*.cpp' --include='*.h' . | grep -vE '^\./platform/' || true
)
if [ -n "$found" ]; then
  echo "outside the platform seam:"
  echo "$found"
  exit 1
fi
