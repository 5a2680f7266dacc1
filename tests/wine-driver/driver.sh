# The test driver under Wine, for the scripts that run quorvin.exe against it (the
# test, tests/wine-driver/run, and the benchmarks, bench/run). Sourced, with $out set
# to a folder of the caller's own under build/: installs what is missing from Debian's
# packages, builds quorvin.exe and quorvin-check.exe when missing, the driver and our
# helper programs into $out, and gives the caller the Wine prefix of the test driver,
# build/wine-driver-prefix, for its whole run.
#   wine_driver_prepare     all of the above; the driver installed, not started, and the
#                           tests' cfgmgr32.dll (cfgmgr32_notify.c) in the prefix's
#                           system folder, which no run loads unless asked to
#   wine_driver_start       loads the driver; fails unless it answers
#   ctl ARGS...             the driver's control program (tests/wine-driver/vekdiag_ctl.c)
#   with_notifications COMMAND...
#                           runs COMMAND with the tests' cfgmgr32.dll in place of Wine's,
#                           so that the programs it starts get arrival notifications,
#                           and those for the handles of an adapter that ctl restart
#                           resets
driver_source=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$driver_source/../.." && pwd)
exe=$root/build/windows/quorvin.exe
check_exe=$root/build/windows/checkfile/quorvin-check.exe
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
cc=x86_64-w64-mingw32-gcc-posix

wine_driver_prepare() {
  local missing=()
  command -v $cc >/dev/null || missing+=(gcc-mingw-w64-x86-64-posix)
  [ -f /usr/share/mingw-w64/include/ddk/ntifs.h ] || missing+=(mingw-w64-x86-64-dev)
  [ -x $wine ] || missing+=(wine64)
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}"; } \
      >/dev/null || { echo "cannot install ${missing[*]}" >&2; return 1; }
  fi

  mkdir -p "$out"
  if [ ! -f "$exe" ] || [ ! -f "$check_exe" ]; then
    echo "building quorvin.exe and quorvin-check.exe"
    (cd "$root" && scripts/install-deps windows && cmake --preset windows &&
      cmake --build --preset windows --target quorvin quorvin-check) >"$out/quorvin-build.log" 2>&1 ||
      { tail -n 40 "$out/quorvin-build.log"; return 1; }
  fi
  # The driver takes its clock from hal.dll (KeQueryPerformanceCounter).
  (cd "$driver_source" &&
    $cc -O2 -Wall -Wextra -Werror -I/usr/share/mingw-w64/include/ddk -shared -nostdlib \
      -Wl,--subsystem,native -Wl,--entry,DriverEntry -o "$out/vekdiagtest.sys" vekdiag_test.c \
      -lntoskrnl -lhal &&
    $cc -O2 -Wall -Wextra -Werror -o "$out/vekdiag-ctl.exe" vekdiag_ctl.c &&
    $cc -O2 -Wall -Wextra -Werror -o "$out/interrupt.exe" interrupt.c &&
    $cc -O2 -Wall -Wextra -Werror -shared -static-libgcc -o "$out/cfgmgr32.dll" \
      cfgmgr32_notify.c cfgmgr32_notify.def -lsetupapi &&
    # A configuration manager that has CM_Register_Notification only.
    mkdir -p "$out/register-only" &&
    grep -v '^  CM_Unregister_Notification$' cfgmgr32_notify.def >"$out/register-only/exports.def" &&
    $cc -O2 -Wall -Wextra -Werror -shared -static-libgcc -o "$out/register-only/cfgmgr32.dll" \
      cfgmgr32_notify.c "$out/register-only/exports.def" -lsetupapi) || return 1

  # One prefix, with the test driver installed, for every script that loads it; they
  # take turns, each holding it for its whole run.
  export WINEPREFIX=$root/build/wine-driver-prefix WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
  unset DISPLAY WAYLAND_DISPLAY
  [ -f "$WINEPREFIX/.quorvin-ready" ] || echo "creating the Wine prefix $WINEPREFIX"
  "$root/scripts/wine-prefix" "$WINEPREFIX" || return 1
  exec 8>"$WINEPREFIX.in-use"
  flock -w 900 8 || { echo "the Wine prefix $WINEPREFIX stays in use" >&2; return 1; }
  $wineserver -k 2>/dev/null  # a server left over from an interrupted run
  cp "$out/vekdiagtest.sys" "$WINEPREFIX/drive_c/windows/system32/drivers/"
  # In place of Wine's placeholder; the default load order still takes Wine's own.
  cp "$out/cfgmgr32.dll" "$WINEPREFIX/drive_c/windows/system32/"
  $wine regedit /S "$($wine winepath -w "$driver_source/vekdiag_test.reg")" || return 1
  # The driver lives as long as the server: one that stays up lets each run be a program
  # of its own, with its own output and exit status.
  $wineserver -k 2>/dev/null
  $wineserver -p >/dev/null 2>&1
  trap '$wineserver -k 2>/dev/null' EXIT
}

ctl() { $wine "$out/vekdiag-ctl.exe" "$@" | tr -d '\r'; }
with_notifications() { WINEDLLOVERRIDES="$WINEDLLOVERRIDES;cfgmgr32=n,b" "$@"; }

# What net starts (the service manager, the driver's host) may outlive it holding its
# output: a file, not a pipe, takes that.
wine_driver_start() {
  $wine net start vekdiagtest >"$out/net-start.log" 2>&1
  ctl state 0 >/dev/null ||
    { echo "the test driver did not start: $(tr -d '\r' <"$out/net-start.log")" >&2; return 1; }
}
