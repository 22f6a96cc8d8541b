# Waits of the scripts that drive other processes (sourced by the Wine and
# desktop stages, the package tests and the README's run command). A wait
# lasts until its condition holds or a time limit on the clock has passed,
# however slowly each look runs on a loaded machine; a look is never counted.
# Conditions that note what they looked at in $seen let the caller's failure
# say what it saw.

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# poll MS COMMAND...: runs COMMAND until it succeeds (status 0) or MS
# milliseconds have passed; status 1 when the time ran out. COMMAND runs once
# more after the limit, so a slow last look still counts.
poll() {
  local end=$(($(now_ms) + $1))
  shift
  until "$@"; do
    [ "$(now_ms)" -lt "$end" ] || { "$@"; return; }
    sleep 0.05
  done
}

# holds MS COMMAND...: COMMAND keeps succeeding for MS milliseconds (status
# 1 at its first failure): that nothing happens within a stretch of time.
holds() {
  local end=$(($(now_ms) + $1))
  shift
  while [ "$(now_ms)" -lt "$end" ]; do
    "$@" || return 1
    sleep 0.05
  done
}

# ended PID: the process PID has ended (or was never there).
ended() { ! kill -0 "$1" 2>/dev/null; }

# file_has FILE PATTERN: FILE holds a line matching the extended regular
# expression PATTERN; $seen is its last 2000 bytes.
file_has() {
  seen=$(tail -c 2000 "$1" 2>/dev/null || echo "(no file $1)")
  grep -qE -- "$2" "$1" 2>/dev/null
}

# reg_look KEY VALUE PATTERN: one `wine reg query KEY /v VALUE` prints a
# line matching PATTERN (extended); $seen is what it printed and its status.
reg_look() {
  local status=0
  seen=$(wine reg query "$1" /v "$2" 2>&1 | tr -d '\r') || status=$?
  seen="$seen"$'\n'"(reg query status $status)"
  [ "$status" = 0 ] && grep -qE -- "$3" <<<"$seen"
}

# reg_has KEY VALUE PATTERN: the value is there as PATTERN says. On a loaded
# machine a `wine reg query` of a value that is there can now and then come
# back with "not found" (status 1); a value that is there shows in the next
# look, so the answer is the looks' for 10 s, and $seen the last look's.
reg_has() {
  poll 10000 reg_look "$@"
}
