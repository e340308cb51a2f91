#!/usr/bin/env bash
# Installs the build into a scratch prefix and runs the installed programs from there:
#   the layout (programs with their branding, logo and catalogs in one folder, links in
#   bin/, desktop file, metainfo, icons, licence) and the desktop files checked together;
#   tidewell-cli through its link finds a sample system and keeps its settings beside
#   itself while its folder is writable, and in the XDG settings folder once it is not;
#   tidewell through its link (offscreen, /autorun) finds its branding file and logo and
#   completes a run.
#
#   install_smoke.sh BUILD_DIR SOURCE_DIR [LANG EXPECTED]
#
# With LANG and EXPECTED, a preview under that LANG must show the text EXPECTED (a
# translated group name, say), which the installed catalogs alone can give.
# Environment: TW_SMOKE_GUI=1 when the desktop app was built; TW_APP_ID and
# TW_INSTALL_PROGRAMDIR as the build has them.
set -euo pipefail

BUILD=$1
SRC=$2
LANG_WANTED=${3:-}
EXPECTED=${4:-}
APP_ID=${TW_APP_ID:-io.github.tidewell.Tidewell}
PROGDIR_REL=${TW_INSTALL_PROGRAMDIR:-lib/tidewell}
GUI=${TW_SMOKE_GUI:-0}

tmp=$(mktemp -d)
trap 'chmod -R u+w "$tmp" 2>/dev/null; rm -rf "$tmp"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

prefix=$tmp/prefix
prog=$prefix/$PROGDIR_REL
cmake --install "$BUILD" --prefix "$prefix" >"$tmp/install.log" ||
  { cat "$tmp/install.log" >&2; echo "FAIL: cmake --install" >&2; exit 1; }

# --- the layout
expect_file() { [ -f "$1" ] || fail "not installed: ${1#"$prefix"/}"; }
expect_link() {  # LINK TARGET: a relative link that leads to TARGET
  [ -L "$1" ] || { fail "no link: ${1#"$prefix"/}"; return; }
  case $(readlink "$1") in /*) fail "absolute link: ${1#"$prefix"/}" ;; esac
  [ "$(readlink -f "$1")" = "$(readlink -f "$2")" ] || fail "${1#"$prefix"/} leads elsewhere"
}
programs=(tidewell-cli)
[ "$GUI" = 1 ] && programs+=(tidewell)
for p in "${programs[@]}"; do
  [ -x "$prog/$p" ] || fail "not installed: $PROGDIR_REL/$p"
  expect_link "$prefix/bin/$p" "$prog/$p"
done
expect_file "$prog/lamecore.dll"
expect_file "$prog/logo.png"
expect_file "$prefix/share/doc/tidewell/LICENSE"
# Every catalog the build made, and nothing else.
if [ -d "$BUILD/bin/locale" ]; then
  diff <(cd "$BUILD/bin/locale" && find . -name '*.mo' | sort) \
    <(cd "$prog/locale" 2>/dev/null && find . -name '*.mo' | sort) >/dev/null ||
    fail "the installed catalogs differ from the built ones"
fi
if [ "$GUI" = 1 ]; then
  expect_file "$prefix/share/applications/$APP_ID.desktop"
  expect_file "$prefix/share/metainfo/$APP_ID.metainfo.xml"
  expect_file "$prefix/share/icons/hicolor/scalable/apps/$APP_ID.svg"
  for size in 16 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x$size/apps/$APP_ID.png
    expect_file "$png"
    [ -f "$png" ] && ! file "$png" | grep -q "$size x $size" && fail "$png is not $size x $size"
  done
  # The desktop file, metainfo and icons as one component.
  appstreamcli validate-tree --no-net "$prefix" >"$tmp/tree.log" 2>&1 ||
    { sed 's/^/  /' "$tmp/tree.log" >&2; fail "appstreamcli validate-tree"; }
  exec_line=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$prefix/share/applications/$APP_ID.desktop")
  [ -x "$prefix/bin/$exec_line" ] || fail "the desktop file starts '$exec_line', not installed in bin/"
fi

# --- a sample system and a scratch session
sys=$tmp/sys
bash "$SRC/scripts/make-sample-system.sh" "$sys"
home=$tmp/home
mkdir -p "$home" "$tmp/run"
chmod 700 "$tmp/run"
export WINEPREFIX=$sys USER=tester HOME=$home XDG_DATA_HOME=$home/.local/share
export XDG_RUNTIME_DIR=$tmp/run
export LANG=C LC_ALL=C
unset XDG_CONFIG_HOME
cli=$prefix/bin/tidewell-cli

# --- a writable program folder: the settings beside the program
out=$("$cli" settings) || fail "installed tidewell-cli settings: exit $?"
[ "$out" = "Settings written to $prog/system.dat" ] || fail "settings went elsewhere: $out"
grep -q '<TDW' "$prog/system.dat" 2>/dev/null || fail "no settings beside the program"
[ ! -e "$home/.config" ] || fail "a writable install made ~/.config"
"$cli" preview >"$tmp/preview.txt" || fail "installed tidewell-cli preview: exit $?"
grep -q 'entries, ' "$tmp/preview.txt" || fail "the preview shows no summary"

# --- the catalogs, once there are some to look for (before a run empties the sample)
if [ -n "$LANG_WANTED" ]; then
  LANG=$LANG_WANTED LC_ALL= LC_MESSAGES= "$cli" /f "$tmp/lang.dat" preview >"$tmp/lang.txt" ||
    fail "preview under LANG=$LANG_WANTED: exit $?"
  if ! grep -qF -- "$EXPECTED" "$tmp/lang.txt"; then
    fail "no \"$EXPECTED\" in the preview under LANG=$LANG_WANTED:"
    head -5 "$tmp/lang.txt" | sed 's/^/  /' >&2
  fi
fi

# --- the desktop app: branding, logo and a whole run, offscreen
if [ "$GUI" = 1 ]; then
  # The settings the cli wrote, with the review off so that the run needs no one.
  sed -i 's/ConformationDialog="1"/ConformationDialog="0"/' "$prog/system.dat"
  before=$(cd "$sys" && find drive_c -type f | wc -l)
  rc=0
  QT_QPA_PLATFORM=offscreen timeout 120 "$prefix/bin/tidewell" /autorun \
    >"$tmp/gui.out" 2>"$tmp/gui.err" || rc=$?
  after=$(cd "$sys" && find drive_c -type f | wc -l)
  if grep -q 'Cannot open file' "$tmp/gui.err"; then
    fail "the desktop app did not find its files:"
    grep 'Cannot open file' "$tmp/gui.err" | sed 's/^/  /' >&2
  fi
  if [ "$rc" != 0 ]; then
    fail "installed tidewell /autorun: exit $rc (124: it waited, for a message box?)"
    sed 's/^/  stderr: /' "$tmp/gui.err" >&2
  fi
  [ "$after" -lt "$before" ] || fail "the desktop app's run deleted nothing ($before files before and after)"
  grep -q 'ConformationDialog="0"' "$prog/system.dat" || fail "the desktop app lost its settings"
fi

# --- an installed copy, whose folder the user cannot write: the XDG settings folder
rm -f "$prog/system.dat"
chmod -R a-w "$prog"
chmod 755 "$tmp"
as_user=()
if [ "$(id -u)" = 0 ]; then
  # Root writes anywhere; an ordinary user is what an installed program meets.
  if command -v setpriv >/dev/null; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chown -R 65534:65534 "$home"
  else
    echo "note: running as root without setpriv; the read-only install is not checked" >&2
    as_user=(skip)
  fi
fi
if [ "${as_user[0]:-}" != skip ]; then
  settings_in() {  # WANT [VAR=VALUE...] [-- ARG...]: "settings" so started writes WANT
    local want=$1 got vars=() args=()
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do vars+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    args=("$@")
    got=$(env "${vars[@]}" "${as_user[@]}" "$cli" "${args[@]}" settings 2>&1) ||
      { fail "settings (${vars[*]} ${args[*]}): $got"; return; }
    [ "$got" = "Settings written to $want" ] || fail "settings (${vars[*]} ${args[*]}) went elsewhere: $got"
    grep -q '<TDW' "$want" 2>/dev/null || fail "no settings file at $want"
  }
  settings_in "$home/.config/tidewell/system.dat"
  [ "$(stat -c %a "$home/.config/tidewell")" = 700 ] || fail "the settings folder is not private"
  settings_in "$home/xdg/tidewell/system.dat" XDG_CONFIG_HOME="$home/xdg"
  rm -rf "$home/.config"
  settings_in "$home/.config/tidewell/system.dat" XDG_CONFIG_HOME=relative/xdg
  settings_in "$home/named.dat" XDG_CONFIG_HOME="$home/xdg" -- /f "$home/named.dat"
  [ ! -e "$prog/system.dat" ] || fail "settings written into the read-only program folder"
fi
chmod -R u+w "$prog"

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "install smoke test passed"
