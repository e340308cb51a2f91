#!/usr/bin/env bash
# End-to-end test of tidewell-cli on a sample Windows system made by
# scripts/make-sample-system.sh in a temporary folder:
#   bad usage and a missing system end with a non-zero code and a message;
#   "settings" writes the file; an invalid mask stops the run with its message;
#   "preview" lists every group and deletes nothing;
#   "clean" deletes what was found and leaves read-only, system, excepted and winsxs
#   files, and everything behind links, in place.
#
#   cli_end_to_end.sh PATH/TO/tidewell-cli SOURCE_DIR
set -euo pipefail

CLI=$1
SRC=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect_rc CODE CMD...: runs CMD with stdout in $tmp/out, stderr in $tmp/err.
expect_rc() {
  local want=$1 got=0
  shift
  "$@" >"$tmp/out" 2>"$tmp/err" || got=$?
  if [ "$got" != "$want" ]; then
    fail "exit code $got, wanted $want: $*"
    sed 's/^/  stderr: /' "$tmp/err" >&2
  fi
}

sys=$tmp/sys
bash "$SRC/scripts/make-sample-system.sh" "$sys"
export WINEPREFIX=$sys USER=tester
export HOME=$sys/home
export XDG_DATA_HOME=$sys/home/.local/share
export LANG=C LC_ALL=C
cfg=$tmp/system.dat
# System files need user extended attributes; without them those checks are left out.
TW_E2E_XATTR=0
python3 -c 'import os, sys; os.getxattr(sys.argv[1], "user.DOSATTRIB")' \
  "$sys/drive_c/windows/system32/config.tmp" 2>/dev/null && TW_E2E_XATTR=1
[ "$TW_E2E_XATTR" = 1 ] || echo "note: no extended attributes here; system files not checked" >&2
export TW_E2E_XATTR
# Names on disk are untrusted bytes: an escape sequence and a byte that is not UTF-8.
printf x >"$sys/drive_c/users/tester/Work/"$'esc\x1b[31mred.tmp'
printf x >"$sys/drive_c/users/tester/Work/"$'caf\xe9.tmp'

# Canary trees: everything outside the drive that links lead to.
snapshot() { (cd "$sys" && find home outside -path home/.local -prune -o -printf '%p %y %s %i %m %T@\n' | sort); }
snapshot >"$tmp/canary.before"
(cd "$sys" && find drive_c zroot -printf '%p %y %s %i\n' | sort) >"$tmp/drive.before"

# --- bad usage
expect_rc 2 "$CLI"
grep -q 'usage:' "$tmp/err" || fail "no usage text for a missing command"
expect_rc 2 "$CLI" /f "$cfg" bogus
grep -q "'bogus'" "$tmp/err" || fail "the unknown argument is not named"
expect_rc 2 "$CLI" /F "$cfg" preview
expect_rc 2 "$CLI" /f "$cfg" preview clean
expect_rc 0 "$CLI" --help
grep -q 'preview' "$tmp/out" || fail "--help shows no usage"

# --- no Windows system at the prefix
WINEPREFIX=$tmp/nothing expect_rc 3 "$CLI" /f "$cfg" preview
grep -qi 'no Windows system' "$tmp/err" || fail "missing system not reported"

# --- settings: a default file appears
expect_rc 0 "$CLI" /f "$cfg" settings
grep -q '<TDW' "$cfg" || fail "settings file not written"

# --- settings in a folder that others may write to, like /tmp
mkdir "$tmp/shared" && chmod 1777 "$tmp/shared"
expect_rc 0 "$CLI" /f "$tmp/shared/x.dat" settings
grep -q '<TDW' "$tmp/shared/x.dat" || fail "no settings file in a shared folder"
# --- through a link to its target, which keeps its permissions
mkdir "$tmp/real" && cp "$cfg" "$tmp/real/target.dat" && chmod 600 "$tmp/real/target.dat"
ln -s real/target.dat "$tmp/link.dat"
sed -i 's|<Drive>C</Drive>||' "$tmp/real/target.dat"
expect_rc 0 "$CLI" /f "$tmp/link.dat" settings
[ -L "$tmp/link.dat" ] || fail "the settings link was replaced by a file"
[ "$(stat -c %a "$tmp/real/target.dat")" = 600 ] || fail "the target lost its permissions"
cmp -s "$tmp/real/target.dat" "$cfg" && fail "the link's target was not written"
# --- a refused save with an older file there is a failure, and the old file stays
printf '<TDW Language="C"><Drives/></TDW>' >"$tmp/older.dat"
if [ "$(id -u)" = 0 ]; then
  # Another user's link in a shared folder is not followed.
  ln -s "$tmp/older.dat" "$tmp/shared/planted.dat" && chown -h 54321 "$tmp/shared/planted.dat"
  refused=$tmp/shared/planted.dat
else
  mkdir "$tmp/readonly" && mv "$tmp/older.dat" "$tmp/readonly/older.dat"
  chmod 555 "$tmp/readonly"
  refused=$tmp/readonly/older.dat
fi
cp "$refused" "$tmp/older.before"
expect_rc 1 "$CLI" /f "$refused" settings
grep -q 'could not be written' "$tmp/err" || fail "a refused save was not reported"
grep -q 'Settings written' "$tmp/out" && fail "a refused save was reported as written"
cmp -s "$refused" "$tmp/older.before" || fail "the older file changed"
[ -d "$tmp/readonly" ] && chmod 755 "$tmp/readonly"
# --- the start-up language comes from the locale when LANG is unset
env -u LANG -u LC_MESSAGES LC_ALL=fr_FR.UTF-8 "$CLI" /f "$tmp/lang.dat" settings >/dev/null 2>&1 ||
  fail "settings with LC_ALL only"
grep -q 'Language="fr_FR"' "$tmp/lang.dat" || fail "LC_ALL not used: $(grep -o 'Language="[^"]*"' "$tmp/lang.dat")"

# --- reading that stops early is named in one warning line, for settings and preview
awk '{ sub(/<DeleteFiles /, "<DeleteFiles Aardvark=\"1\" MoveToRecycleBin=\"1\" "); print }' \
  "$cfg" >"$tmp/stop.dat"
stopline=$(grep -n '<DeleteFiles' "$tmp/stop.dat" | cut -d: -f1)
for cmd in preview settings; do
  cp "$tmp/stop.dat" "$tmp/stop-$cmd.dat"
  expect_rc 0 "$CLI" /f "$tmp/stop-$cmd.dat" $cmd
  [ "$(grep -c 'warning' "$tmp/err")" = 1 ] || fail "$cmd: not one warning line: $(cat "$tmp/err")"
  grep -qF "stopped at line $stopline: attribute \"Aardvark\" of \"DeleteFiles\" is not known" \
    "$tmp/err" || fail "$cmd: warning text: $(cat "$tmp/err")"
done
expect_rc 0 "$CLI" /f "$cfg" settings
[ ! -s "$tmp/err" ] || fail "a whole file gave a warning: $(cat "$tmp/err")"

# --- an invalid mask stops the run before anything happens
sed 's|<FileMask>\*\.---</FileMask>|<FileMask>[abc</FileMask>|' "$cfg" >"$tmp/bad.dat"
expect_rc 4 "$CLI" /f "$tmp/bad.dat" clean
grep -qF "'[abc' is an invalid mask at (5)" "$tmp/err" || fail "mask error text: $(cat "$tmp/err")"
# A mask from the file never sends an escape sequence to the terminal.
sed 's|<FileMask>\*\.---</FileMask>|<FileMask>[\x1b[2J\x07</FileMask>|' "$cfg" >"$tmp/esc.dat"
expect_rc 4 "$CLI" /f "$tmp/esc.dat" preview
if grep -q $'[\x1b\x07]' "$tmp/err"; then fail "a mask sent control characters to the terminal"; fi
grep -qF '[\x1b[2J\x07' "$tmp/err" || fail "escaped mask not shown: $(cat "$tmp/err")"

# --- preview
expect_rc 0 "$CLI" /f "$cfg" preview --json
cp "$tmp/out" "$tmp/preview.json"
[ ! -s "$tmp/err" ] || fail "progress written although stderr is not a terminal"
expect_rc 0 "$CLI" /f "$cfg" preview
grep -q 'entries' "$tmp/out" || fail "readable preview has no total"
# On a terminal a progress line appears on stderr and is cleared at the end.
if command -v script >/dev/null; then
  script -qec "$(printf '%q ' "$CLI" /f "$cfg" preview) >/dev/null" /dev/null >"$tmp/tty" 2>&1 || true
  grep -qF $'\r\033[KFind Files: C:\\' "$tmp/tty" || fail "no progress line on a terminal"
fi
if grep -q $'\x1b' "$tmp/out"; then fail "a name sent an escape sequence to the terminal"; fi
grep -qF 'esc\x1b[31mred.tmp' "$tmp/out" || fail "escape byte not shown as \\x1b"
(cd "$sys" && find drive_c zroot -printf '%p %y %s %i\n' | sort) >"$tmp/drive.after"
cmp -s "$tmp/drive.before" "$tmp/drive.after" || fail "preview changed the drive"

python3 - "$tmp/preview.json" preview <<'EOF' || fail "preview output"
import json, os, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
rows = [json.loads(l) for l in lines]          # every line must be JSON
summary, entries = rows[-1], rows[:-1]
assert summary.get("summary") is True and summary["entries"] == len(entries), summary
paths = {e["path"]: e for e in entries}
groups = {e["group"] for e in entries}
want_groups = ["Search masks"] + [b + "/" + k for b in ("IE", "Firefox", "Opera", "Safari", "Chrome")
                                  for k in ("Cookies", "Cache", "History")] + [
    "Temporary directory", "Recently used documents", "Recycle Bin", "Old Update files", "System log"]
bad = []
for g in want_groups:
    if g not in groups: bad.append("group missing: " + g)
for e in entries:
    if e["kind"] not in ("File", "Directory") or "deleted" in e: bad.append("bad entry: %r" % e)
E = "C:\\Program Files\\Editor\\"
present = {
    E + "install.tmp": "Search masks", E + "REPORT.TMP": "Search masks", E + "notes.do~": "Search masks",
    E + "cache.$$$": "Search masks", E + "trace.---": "Search masks", E + "sub\\dir\\deep.tmp": "Search masks",
    "C:\\users\\tester\\Work\\~$report.docx": "Search masks",
    "C:\\users\\tester\\Work\\.hidden.tmp": "Search masks",
    "C:\\users\\tester\\Work\\attrhidden.bak": "Search masks",
    "C:\\users\\Public\\Pictures\\Thumbs.db": "Search masks",
    "C:\\windows\\01234567.nch": "Search masks", "C:\\file0001.chk": "Search masks",
    "C:\\users\\tester\\Temp\\installer": "Temporary directory",
    "C:\\users\\tester\\Temp\\setup.log": "Temporary directory",
    "C:\\windows\\Temp\\wer1234.tmp": "Temporary directory",
    "C:\\windows\\temp\\wer1234.tmp": "Search masks",
    "C:\\FirefoxProfiles\\work\\cookies.txt": "Firefox/Cookies",
    "C:\\users\\tester\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\abc123.default\\OfflineCache\\index.sqlite": "Firefox/Cache",
    "C:\\users\\tester\\AppData\\Roaming\\Opera\\Opera\\profile\\global.dat": "Opera/History",
    "C:\\users\\tester\\AppData\\Local\\Google\\Chrome\\User Data\\Default\\History-journal": "Chrome/History",
    "C:\\Recycled\\Dc1.txt": "Recycle Bin",
    "C:\\$Recycle.Bin\\S-1-5-21-1-2-3-1000\\$RAB12CD.docx": "Recycle Bin",
    "C:\\windows\\$NtUninstallKB123456$": "Old Update files",
    "C:\\windows\\system32\\WBEM\\Logs\\wbemcore.log": "System log",
    # JSON gives back the control character, and the stray byte as U+00E9.
    "C:\\users\\tester\\Work\\esc\x1b[31mred.tmp": "Search masks",
    "C:\\users\\tester\\Work\\caf\u00e9.tmp": "Search masks",
}
for p, g in present.items():
    got = [e["group"] for e in entries if e["path"] == p]
    if g not in got: bad.append("not found: %s (%s), got %r" % (p, g, got))
if paths.get("C:\\windows\\$NtUninstallKB123456$", {}).get("kind") != "Directory":
    bad.append("update folder is not a directory entry")
if paths.get(E + "install.tmp", {}).get("size") != 1234: bad.append("size of install.tmp")
never = [E + n for n in ("tmp.txt", "my.tmpl", "backup.bakx", "notes.d~", "thumbs.db.txt",
                         "oldthumbs.db", "0123456.nch", "afile1.chk", "x.logx", "DATA.BAK")] + [
    "C:\\readonly.tmp", "C:\\windows\\system32\\config.tmp", "C:\\windows\\system32\\hidsys.bak",
    "C:\\windows\\System.old", "C:\\Recycled\\INFO2", "C:\\users\\tester\\Temp\\readonly.dat",
    "C:\\users\\tester\\Temp\\system.dat", "C:\\windows\\system32\\WBEM\\Logs\\WBEMESS.log"]
xattr = os.environ.get("TW_E2E_XATTR") == "1"
for p in never:
    if p.endswith(("config.tmp", "hidsys.bak", "Temp\\system.dat")) and not xattr:
        continue
    if p in paths: bad.append("collected: " + p)
for p in paths:
    low = p.lower()
    for part in ("\\winsxs", "$hf_mig$", "s-1-5-18", "z:\\", "\\documents\\", "\\desktop\\",
                 "\\templates\\", "\\outside-link\\", "prefs.js", "bookmarks"):
        if part in low: bad.append("collected: " + p)
if bad:
    print("\n".join(bad), file=sys.stderr)
    sys.exit(1)
EOF

# --- clean
expect_rc 0 "$CLI" /f "$cfg" clean --json
cp "$tmp/out" "$tmp/clean.json"
python3 - "$tmp/clean.json" "$sys" <<'EOF' || fail "clean output"
import json, os, sys
rows = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8").read().splitlines()]
summary, entries = rows[-1], rows[:-1]
root = sys.argv[2]
xattr = os.environ.get("TW_E2E_XATTR") == "1"
bad = []
def host(p):
    assert p[:3].upper() == "C:\\", p
    return os.path.join(root, "drive_c", *p[3:].split("\\"))
done = set()
for e in entries:
    if "deleted" not in e: bad.append("no outcome: %r" % e)
    if e["deleted"]: done.add(e["path"])
for p in done:
    if os.path.lexists(host(p)): bad.append("reported deleted but still there: " + p)
# A file can be listed twice (found by two steps, maybe in another letter case); then
# only one of its deletions succeeds. Either way it must be gone.
for e in entries:
    p = e["path"]
    if e["group"] == "Search masks" and os.path.lexists(host(p)): bad.append("not deleted: " + p)
if summary["deleted"] != sum(1 for e in entries if e["deleted"]): bad.append("summary count")
if summary["freed"] != sum(e["size"] for e in entries if e["deleted"]): bad.append("summary freed")
if summary["freed"] <= 0: bad.append("nothing freed")
kept = ["readonly.tmp", "windows/system32/config.tmp", "windows/system32/hidsys.bak",
        "windows/winsxs/manifest.tmp", "windows/winsxs/Temp/pending.tmp",
        "windows/winsxs/x86_backup/old.bak", "windows/$hf_mig$/KB123456/update.cat",
        "windows/System.old", "Program Files/Editor/DATA.BAK", "Program Files/Editor/tmp.txt",
        "Recycled/INFO2", "$Recycle.Bin/S-1-5-18/$RSYSTEM.txt",
        "windows/system32/WBEM/Logs/WBEMESS.log", "users/tester/Temp/readonly.dat",
        "users/tester/Temp/system.dat", "users/tester/AppData/Roaming/Mozilla/Firefox/profiles.ini",
        "users/tester/AppData/Local/Google/Chrome/User Data/Default/Bookmarks"]
for k in kept:
    if k.endswith(("config.tmp", "hidsys.bak", "Temp/system.dat")) and not xattr:
        continue
    if not os.path.lexists(os.path.join(root, "drive_c", k)): bad.append("removed: " + k)
if not os.path.exists(os.path.join(root, "zroot", "not-ticked.tmp")): bad.append("removed: Z: file")
gone = ["Program Files/Editor/install.tmp", "users/tester/Temp/installer",
        "windows/$NtUninstallKB123456$", "users/tester/AppData/Local/Microsoft/Windows/INetCache/IE",
        "windows/SoftwareDistribution/Download/5f3a"]
for g in gone:
    if os.path.lexists(os.path.join(root, "drive_c", g)): bad.append("still there: " + g)
if bad:
    print("\n".join(bad), file=sys.stderr)
    sys.exit(1)
EOF
for n in $'esc\x1b[31mred.tmp' $'caf\xe9.tmp'; do
  [ ! -e "$sys/drive_c/users/tester/Work/$n" ] || fail "not deleted: Work/$(printf %q "$n")"
done
snapshot >"$tmp/canary.after"
if ! cmp -s "$tmp/canary.before" "$tmp/canary.after"; then
  fail "something behind a link changed"
  diff "$tmp/canary.before" "$tmp/canary.after" >&2 || true
fi

# A second clean finds nothing more of the search masks, in readable form.
expect_rc 0 "$CLI" /f "$cfg" clean
grep -q 'entries deleted' "$tmp/out" || fail "readable clean has no total"
if grep -q 'Search masks' "$tmp/out"; then fail "search-mask junk left after a clean"; fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "cli end-to-end: all checks passed"
