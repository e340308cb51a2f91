#!/usr/bin/env bash
# Lays out a sample Windows system as a Wine-style prefix in DIR, for trying the program
# and for end-to-end tests. It holds junk that a run must collect and things that it must
# leave alone: read-only and system files, a "winsxs" folder, file exceptions, and links
# that lead out of the drive to a "home" and an "outside" folder with canary files.
#
#   scripts/make-sample-system.sh DIR
#
# DIR must be empty, missing, or an earlier sample (it is then laid out again). Prints
# nothing but errors. The user is "tester": run the program with USER=tester.
set -euo pipefail

if [ $# -ne 1 ] || [ -z "$1" ]; then
  echo "usage: $0 DIR" >&2
  exit 2
fi
mkdir -p "$1"
P=$(cd "$1" && pwd -P)
if [ -n "$(ls -A "$P")" ] && [ ! -f "$P/.tidewell-sample" ]; then
  echo "$0: $P is not empty and not a sample system; refusing to write into it" >&2
  exit 1
fi
: >"$P/.tidewell-sample"

C=$P/drive_c
U=$C/users/tester
ROAM=$U/AppData/Roaming
LOCAL=$U/AppData/Local

# file PATH [SIZE]: a regular file of SIZE bytes (default: a short text), written anew.
# Builtins only: the sample has a few hundred objects and process start-ups add up.
file() {
  local path=$1 size=${2:-} dir=${1%/*} text
  [ -d "$dir" ] || mkdir -p "$dir"
  if [ -e "$path" ] || [ -L "$path" ]; then rm -f "$path"; fi
  if [ -n "$size" ]; then
    text=x
    while [ ${#text} -lt "$size" ]; do text+=$text; done
    text=${text:0:size}
  else
    text="sample ${path##*/}"$'\n'
  fi
  printf '%s' "$text" >"$path"
}

# dosattrib PATH VALUE: the hidden/system bits as Wine stores them. Without user
# extended attributes on this file system the file stays an ordinary one (said on stderr).
dosattrib() {
  if ! python3 -c 'import os, sys; os.setxattr(sys.argv[1], "user.DOSATTRIB", sys.argv[2].encode())' \
    "$1" "$2" 2>/dev/null; then
    echo "$0: cannot set user.DOSATTRIB on $1 (no extended attributes here)" >&2
  fi
}

# link TARGET NAME: a symbolic link, replaced when it exists.
link() {
  [ -d "${2%/*}" ] || mkdir -p "${2%/*}"
  if [ -e "$2" ] || [ -L "$2" ]; then rm -rf "$2"; fi
  ln -s "$1" "$2"
}

# --- prefix frame, drives and registry
mkdir -p "$P/dosdevices" "$P/cdrom" "$P/zroot" "$C/windows/system32" "$C/windows/syswow64" \
  "$C/windows/temp" "$C/ProgramData" "$C/users/Public"
printf 'disable\n' >"$P/.update-timestamp"
link ../drive_c "$P/dosdevices/c:"
link ../cdrom "$P/dosdevices/d:"
link /dev/null "$P/dosdevices/d::"
# A real prefix maps z: to /; the sample keeps it inside itself.
link "$P/zroot" "$P/dosdevices/z:"

cat >"$P/system.reg" <<'EOF'
WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win64

[Software\\Clients\\StartMenuInternet\\FIREFOX.EXE] 1700000000
#time=1da1b2c3d4e5f60
@="Mozilla Firefox"

[Software\\Clients\\StartMenuInternet\\Google Chrome] 1700000000
#time=1da1b2c3d4e5f60
@="Google Chrome"

[Software\\Clients\\StartMenuInternet\\Opera.exe] 1700000000
#time=1da1b2c3d4e5f60
@="Opera"

[Software\\Clients\\StartMenuInternet\\Safari.exe] 1700000000
#time=1da1b2c3d4e5f60
@="Safari"

[Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList] 1700000000
#time=1da1b2c3d4e5f60
"ProfilesDirectory"=str(2):"C:\\users"
"ProgramData"=str(2):"C:\\ProgramData"
"Public"=str(2):"C:\\users\\Public"

[Software\\Wine\\Drives] 1700000000
#time=1da1b2c3d4e5f60
"d:"="cdrom"

[System\\CurrentControlSet\\Control\\Session Manager\\Environment] 1700000000
#time=1da1b2c3d4e5f60
"TEMP"=str(2):"%SystemRoot%\\temp"
"TMP"=str(2):"%SystemRoot%\\temp"
"windir"=str(2):"%SystemRoot%"
EOF

cat >"$P/user.reg" <<'EOF'
WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\User\\S-1-5-21-0-0-0-1000

#arch=win64

[Environment] 1700000000
#time=1da1b2c3d4e5f60
"TEMP"="C:\\users\\tester\\Temp"
"TMP"="C:\\users\\tester\\Temp"

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders] 1700000000
#time=1da1b2c3d4e5f60
"AppData"=str(2):"%USERPROFILE%\\AppData\\Roaming"
"Cache"=str(2):"%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\INetCache"
"Cookies"=str(2):"%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\INetCookies"
"History"=str(2):"%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\History"
"Local AppData"=str(2):"%USERPROFILE%\\AppData\\Local"
"Recent"=str(2):"%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Recent"
EOF

cat >"$P/userdef.reg" <<'EOF'
WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\User\\.Default

#arch=win64
EOF

# --- outside the drive: the user's Unix home and another folder. Nothing here may change.
file "$P/home/canary.txt"
file "$P/home/canary.tmp"
file "$P/home/Documents/thesis.bak"
file "$P/home/Desktop/todo.old"
file "$P/home/Templates/~letter.doc"
file "$P/outside/canary.txt"
file "$P/outside/canary.tmp"
file "$P/outside/inner/keep.bak"
file "$P/zroot/not-ticked.tmp"  # z: is listed but not ticked by default

# Wine links the profile's shell folders to $HOME.
link "$P/home" "$U/Documents"
link "$P/home/Desktop" "$U/Desktop"
link "$P/home/Templates" "$ROAM/Microsoft/Windows/Templates"

# --- temporary folders (user and Windows), with things that must stay
file "$U/Temp/setup.log" 2048
file "$U/Temp/~DF1234.tmp" 4096
file "$U/Temp/installer/package.msi" 8192
file "$U/Temp/installer/extract/data.cab" 1000
file "$U/Temp/.hidden-state"
file "$U/Temp/readonly.dat"
chmod 0444 "$U/Temp/readonly.dat"
file "$U/Temp/system.dat"
dosattrib "$U/Temp/system.dat" 0x4
link "$P/outside" "$U/Temp/outside-link"
link "$P/outside/canary.txt" "$U/Temp/canary-link.tmp"
file "$C/windows/temp/wer1234.tmp" 512
file "$C/windows/temp/logs/cbs.log" 1024

# --- recently used documents
file "$ROAM/Microsoft/Windows/Recent/report.docx.lnk"
file "$ROAM/Microsoft/Windows/Recent/notes.txt.lnk"

# --- Internet Explorer
file "$LOCAL/Microsoft/Windows/INetCookies/tester@example[1].txt"
file "$LOCAL/Microsoft/Windows/INetCookies/Low/tester@ads[2].txt"
file "$LOCAL/Microsoft/Windows/INetCache/IE/ABCD1234/page[1].htm" 3000
file "$LOCAL/Microsoft/Windows/INetCache/IE/ABCD1234/logo[1].png" 5000
file "$LOCAL/Microsoft/Windows/History/History.IE5/index.dat" 16384

# --- Firefox: one relative and one absolute profile
mkdir -p "$ROAM/Mozilla/Firefox"
cat >"$ROAM/Mozilla/Firefox/profiles.ini" <<'EOF'
[General]
StartWithLastProfile=1

[Profile0]
Name=default
IsRelative=1
Path=Profiles/abc123.default
Default=1

[Profile1]
Name=work
IsRelative=0
Path=C:/FirefoxProfiles/work
EOF
FF=$ROAM/Mozilla/Firefox/Profiles/abc123.default
file "$FF/cookies.sqlite" 4096
file "$FF/places.sqlite" 8192
file "$FF/formhistory.sqlite" 2048
file "$FF/prefs.js"
FFL=$LOCAL/Mozilla/Firefox/Profiles/abc123.default
file "$FFL/Cache/_CACHE_MAP_" 1024
file "$FFL/Cache/0/1A/2B3C4Dd01" 700
file "$FFL/OfflineCache/index.sqlite" 512
FFW=$C/FirefoxProfiles/work
file "$FFW/cookies.txt"
file "$FFW/history.dat"
file "$FFW/prefs.js"
file "$FFW/Cache/entries/ABCDEF" 300
file "$FFW/OfflineCache/manifest" 100

# --- Opera: the "Opera\Opera" and the "Opera\Opera\profile" layouts
file "$ROAM/Opera/Opera/cookies4.dat"
file "$ROAM/Opera/Opera/global_history.dat"
file "$ROAM/Opera/Opera/operaprefs.ini"
file "$LOCAL/Opera/Opera/cache4/opr0001A" 900
file "$LOCAL/Opera/Opera/cache/dcache4.url"
file "$ROAM/Opera/Opera/profile/cookies4.dat"
file "$ROAM/Opera/Opera/profile/global.dat"
file "$LOCAL/Opera/Opera/profile/cache4/g_0000/opr00002" 600

# --- Safari
file "$ROAM/Apple Computer/Safari/Cookies/Cookies.plist"
file "$ROAM/Apple Computer/Safari/History.plist"
file "$ROAM/Apple Computer/Safari/Bookmarks.plist"
file "$LOCAL/Apple Computer/Safari/Cache.db" 6000

# --- Chrome
CH="$LOCAL/Google/Chrome/User Data/Default"
file "$CH/Cookies" 2048
file "$CH/History" 4096
file "$CH/History-journal"
file "$CH/Bookmarks"
file "$CH/Preferences"
file "$CH/Cache/index" 256
file "$CH/Cache/data_0" 8192
file "$CH/Cache/f_000001" 1500

# --- Recycle Bins: the old INFO2 kind, a per-user Recycler and $Recycle.Bin
file "$C/Recycled/INFO2" 800
file "$C/Recycled/Dc1.txt"
file "$C/Recycler/S-1-5-21-1-2-3-1000/Dc2.doc"
file "$C/\$Recycle.Bin/S-1-5-21-1-2-3-1000/\$RAB12CD.docx" 3000
file "$C/\$Recycle.Bin/S-1-5-21-1-2-3-1000/\$IAB12CD.docx"
file "$C/\$Recycle.Bin/S-1-5-18/\$RSYSTEM.txt"  # not a user's: stays

# --- old update files and the system log
file "$C/windows/\$NtUninstallKB123456\$/spuninst/spuninst.exe" 2000
file "$C/windows/\$NtUninstallKB123456\$/update.inf"
file "$C/windows/\$hf_mig\$/KB123456/update.cat"  # directory exception: stays
file "$C/windows/SoftwareDistribution/Download/5f3a/windows-kb123456.cab" 4000
file "$C/windows/system32/WBEM/Logs/wbemcore.log" 1200
file "$C/windows/system32/WBEM/Logs/wmiprov.log" 800
file "$C/windows/system32/WBEM/Logs/WBEMESS.log"  # file exception: stays

# --- junk across the drive that the default masks match
file "$C/Program Files/Editor/install.tmp" 1234
file "$C/Program Files/Editor/REPORT.TMP"
file "$C/Program Files/Editor/settings.bak"
file "$C/Program Files/Editor/settings.old"
file "$C/Program Files/Editor/notes.do~"
file "$C/Program Files/Editor/cache.\$\$\$"
file "$C/Program Files/Editor/trace.---"
file "$C/Program Files/Editor/sub/dir/deep.tmp" 100
file "$C/users/tester/Work/~\$report.docx"
file "$C/users/tester/Work/report.docx~.tmp"
file "$C/users/tester/Work/.hidden.tmp"
file "$C/users/tester/Work/attrhidden.bak"
dosattrib "$C/users/tester/Work/attrhidden.bak" 0x2
file "$C/users/Public/Pictures/Thumbs.db" 2000
file "$C/windows/memory.dmp" 65536
file "$C/windows/bootlog.txt"
file "$C/windows/01234567.nch"
file "$C/chkdsk.chk"
file "$C/file0001.chk"
file "$C/ProgramData/Vendor/update.\$\$\$"

# --- near misses and exceptions: none of these is collected
file "$C/Program Files/Editor/tmp.txt"
file "$C/Program Files/Editor/my.tmpl"
file "$C/Program Files/Editor/backup.bakx"
file "$C/Program Files/Editor/notes.d~"
file "$C/Program Files/Editor/thumbs.db.txt"
file "$C/Program Files/Editor/oldthumbs.db"
file "$C/Program Files/Editor/0123456.nch"
file "$C/Program Files/Editor/afile1.chk"
file "$C/Program Files/Editor/x.logx"
file "$C/Program Files/Editor/DATA.BAK"  # file exception
file "$C/windows/System.old"             # file exception
file "$C/readonly.tmp"
chmod 0444 "$C/readonly.tmp"
file "$C/windows/system32/config.tmp"
dosattrib "$C/windows/system32/config.tmp" 0x4
file "$C/windows/system32/hidsys.bak"
dosattrib "$C/windows/system32/hidsys.bak" 0x6
file "$C/windows/winsxs/x86_backup/old.bak"  # directory exception
file "$C/windows/winsxs/Temp/pending.tmp"
file "$C/windows/winsxs/manifest.tmp"
