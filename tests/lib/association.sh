# The .trp association as Trep.exe's "Auto Run" writes it and the installer
# writes it the same way. Sourced; needs WINE_RUN (a command that runs a
# Windows program in the test's Wine prefix) and WORK (a folder of the run).

# association_entries PROG [unquoted]: the eight entries for the program
# folder PROG (with its final backslash), in the order they are written, each
# as "KEY|VALUE|DATA" (VALUE empty: the key's default value). The open
# command quotes the program's path, as Windows needs for a path with blanks
# in it; "unquoted" gives the form earlier versions wrote, without them.
association_entries() {
  local open="\"${1}Trep.exe\" \"%1\"" icon="${1}Trep.exe,2"
  [ "${2:-}" = unquoted ] && open="${1}Trep.exe \"%1\""
  printf '%s\n' \
    "HKCR\\Applications\\Trep.exe\\shell||UnTrep" \
    "HKLM\\Software\\Applications\\Trep.exe\\shell\\UnTrep\\Command||$open" \
    "HKCR\\Applications\\Trep.exe\\shell\\UnTrep\\Command||$open" \
    "HKCR\\.trp||Trep" \
    "HKCR\\Trep\\shell\\UnTrep\\Command||$open" \
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.trp|Application|Trep.exe" \
    "HKCR\\Trep\\DefaultIcon||$icon" \
    "HKCR\\Applications\\Trep.exe\\DefaultIcon||$icon"
}

# registry_read PROG [unquoted]: each entry's data, one a line ("(none)" where there is
# no such value). Read through "reg export", whose file is UTF-16: "reg
# query" prints in the console's code page and would lose a program folder
# named beyond it. A value that is not a string (REG_SZ) shows as exported.
registry_read() {
  local entry key value name line data export=$WORK/registry-export.reg
  while IFS= read -r entry; do
    key=${entry%%|*}
    value=${entry#*|}
    value=${value%%|*}
    name=@  # the key's default value
    [ -n "$value" ] && name="\"$value\""
    line=
    rm -f "$export"
    if timeout 60 "$WINE_RUN" reg export "$key" "Z:${export//\//\\}" /y </dev/null >/dev/null 2>&1; then
      # The key's own values: the first section, before any subkey's.
      line=$(iconv -f UTF-16LE -t UTF-8 "$export" | tr -d '\r' |
        awk -v start="$name=" '/^\[/ { n++; next } n == 1 && index($0, start) == 1 { print; exit }')
    fi
    if [ -z "$line" ]; then
      echo "(none)"
      continue
    fi
    data=${line#*=}
    if [[ $data == \"*\" ]]; then
      data=${data#\"}
      data=${data%\"}
      data=$(sed 's/\\\\/\x01/g; s/\\"/"/g; s/\x01/\\/g' <<<"$data")
    fi
    echo "$data"
  done < <(association_entries "$1" "${2:-}")
}

# The keys that hold the entries, for clearing them before a test.
ASSOCIATION_KEYS=('HKCR\Applications\Trep.exe' 'HKLM\Software\Applications\Trep.exe' 'HKCR\.trp'
  'HKCR\Trep' 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.trp')
