#!/bin/sh
# mv32db.exe as a person runs it on Windows, through wine: a table named with umlauts in a
# folder given as a drive path (with "\" and with "/") and as a \\?\ path; the output's bytes
# must be those of the Linux program (UTF-8, LF line ends).
#   WindowsProgram.sh MV32DB.EXE WINE
set -eu
exe=$1
wine=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/mv32wine-XXXXXX")
trap 'rm -rf "$work"' EXIT
# The folder as Windows names it: wine shows the Linux root as drive Z:.
win="Z:$(printf '%s' "$work" | tr / '\\')"
failed=0
: >"$work/in"

# Runs the program; its standard output and exit status land in $out and $status.
run() {
    if "$wine" "$exe" "$@" <"$work/in" >"$work/out" 2>"$work/err"; then status=0; else status=$?; fi
    out=$(cat "$work/out"; printf '.')
    out=${out%.}
}

expect() {  # what, wanted status, wanted output
    if [ "$status" != "$2" ] || [ "$out" != "$3" ]; then
        echo "FEHLER: $1: Status $status, Ausgabe:"
        printf '%s' "$out" | od -c | head -20
        echo "erwartet: Status $2, Ausgabe:"
        printf '%s' "$3" | od -c | head -20
        cat "$work/err"
        failed=1
    fi
}

nl='
'
run create "$win\\Größe" Name:text:40 Nr:int16
expect "create" 0 "Tabelle $win\\Größe.db angelegt.$nl"
[ -f "$work/Größe.db" ] || { echo "FEHLER: Größe.db fehlt unter diesem Namen"; ls "$work"; failed=1; }

printf 'Müller\t1\r\nÄrger\t2\r\n' >"$work/in"
run import "$win\\Größe"
: >"$work/in"
expect "import (CR LF)" 0 "2 Datensätze importiert, 0 übersprungen.$nl"

run dump "$win\\Größe.db"
expect "dump" 0 "Müller	1${nl}Ärger	2$nl"
run dump "$(printf '%s' "$win" | tr '\\' /)/Größe"
expect "dump mit /" 0 "Müller	1${nl}Ärger	2$nl"
run dump "\\\\?\\$win\\Größe"
expect "dump mit \\\\?\\" 0 "Müller	1${nl}Ärger	2$nl"
run check "$win\\Größe.db"
expect "check" 0 "In Ordnung: 2 Datensätze, 2 Seiten.$nl"
run sql "$win" 'SELECT Name FROM "Größe.db" WHERE Nr = 2'
expect "sql" 0 "Name${nl}Ärger$nl"
run dump "$win\\Fehlt"
expect "dump einer fehlenden Tabelle" 1 ""
grep -q "»Fehlt.db« existiert nicht" "$work/err" || { echo "FEHLER: Meldung:"; cat "$work/err"; failed=1; }

# A legacy catalog of an umlaut name becomes a catalog and back (header, then two records).
printf '\003\002\000\001\001\143\000\000\000\000\000\000\000\002\000\000\000\000\000\000\000\000\016' >"$work/Ärger.MV"
printf '\004B\374ro\003   12\000\000\000\000\000\000\000\000D\000\000' >>"$work/Ärger.MV"
printf '\004Zwei\001    1\000\000\000\000\000\000\000\000\000\000\000' >>"$work/Ärger.MV"
run mv2db "$win\\Ärger.MV"
expect "mv2db" 0 "Katalog $win\\Ärger.db angelegt: 2 Datensätze.$nl"
run mv2db "$win\\Ärger.MV"
expect "mv2db ohne --ueberschreiben" 1 ""
run db2mv "$win\\Ärger.db" "$win\\Zurück"
expect "db2mv" 0 "$win\\Zurück.MV geschrieben: 2 Datensätze.$nl"
[ -f "$work/Zurück.MV" ] || { echo "FEHLER: Zurück.MV fehlt"; ls "$work"; failed=1; }

if [ "$failed" = 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit "$failed"
