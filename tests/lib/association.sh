# The .trp association as Trep.exe's "Auto Run" writes it and the installer
# writes it the same way. Sourced; needs WINE_RUN (a command that runs a
# Windows program in the test's Wine prefix).

# association_entries PROG: the eight entries for the program folder PROG
# (with its final backslash), in the order they are written, each as
# "KEY|VALUE|DATA" (VALUE empty: the key's default value).
association_entries() {
  local open="${1}Trep.exe \"%1\"" icon="${1}Trep.exe,2"
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

# registry_read PROG: each entry's data as Wine's "reg query" reads it, one
# a line ("(none)" where there is no such value).
registry_read() {
  local entry key value line
  while IFS= read -r entry; do
    key=${entry%%|*}
    value=${entry#*|}
    value=${value%%|*}
    if [ -z "$value" ]; then
      line=$(timeout 60 "$WINE_RUN" reg query "$key" /ve </dev/null 2>/dev/null | tr -d '\r' |
        grep -m1 'REG_SZ')
    else
      line=$(timeout 60 "$WINE_RUN" reg query "$key" /v "$value" </dev/null 2>/dev/null |
        tr -d '\r' | grep -m1 'REG_SZ')
    fi
    if [ -n "$line" ]; then echo "${line#*REG_SZ    }"; else echo "(none)"; fi
  done < <(association_entries "$1")
}

# The keys that hold the entries, for clearing them before a test.
ASSOCIATION_KEYS=('HKCR\Applications\Trep.exe' 'HKLM\Software\Applications\Trep.exe' 'HKCR\.trp'
  'HKCR\Trep' 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.trp')
