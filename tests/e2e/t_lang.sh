#!/bin/bash
# LANG picks the language of the installer's messages, seen through message 3 for a work
# base that cannot be made: the exact bytes of each table (ISO 8859-1), a codeset after "."
# ignored, and every other value, near misses included, giving English.
. "$SOURCE_DIR/tests/e2e/sandbox.sh"
sb_start
sb_put "$SETUP_BIN" /medium/setup 755

# Message 3 of each table, as printf formats (octal escapes for the Latin-1 bytes).
EN='ERROR: couldn'"'"'t open %s'
ES='ERROR: no se ha podido abrir %s'
IT='ERRORE: impossibile aprire %s'
FR='ERREUR : impossible d'"'"'ouvrir %s'
DE='FEHLER: %s konnte nicht ge\366ffnet werden'
PT='ERRO: n\343o foi poss\355vel abrir %s'

# expect LABEL FORMAT [VAR=VALUE]: runs setup with an uncreatable work base and compares
# standard output with ".", message 3 in FORMAT and "\n\n".
expect() {
  local label=$1 format=$2
  shift 2
  local -a env=()
  [ $# -gt 0 ] && env=(-e "$1")
  sb_run "${env[@]}" -- /medium/setup /etc/passwd/w
  printf ".$format\n\n" /etc/passwd/w >"$SB/exp"
  check_eq "${1:-LANG unset}: status 2" 2 "$SB_RC"
  if ! cmp -s "$SB/exp" "$SB/out"; then
    echo "  expected: $(od -An -c "$SB/exp" | tr -s ' ' | tr -d '\n')"
    echo "  actual:   $(od -An -c "$SB/out" | tr -s ' ' | tr -d '\n')"
  fi
  check "${1:-LANG unset}: message 3 in $label" cmp -s "$SB/exp" "$SB/out"
}

expect English "$EN"
expect English "$EN" LANG=en_US
expect Spanish "$ES" LANG=es_ES
expect Italian "$IT" LANG=it_IT
expect French "$FR" LANG=fr_FR
expect German "$DE" LANG=ge_GE
expect Portuguese "$PT" LANG=pr_BR

# A codeset after the first "." is cut off.
expect French "$FR" LANG=fr_FR.ISO8859-1
expect Spanish "$ES" LANG=es_ES.UTF-8
expect German "$DE" LANG=ge_GE.
expect English "$EN" LANG=en_US.UTF-8

# Near misses stay English: the keys are compared whole and exactly.
expect English "$EN" LANG=de_DE
expect English "$EN" LANG=fr_FR@euro
expect English "$EN" LANG=es_ES@x.UTF-8
expect English "$EN" LANG=pt_BR
expect English "$EN" LANG=en_GB
expect English "$EN" LANG=FR_FR
expect English "$EN" LANG=fr
expect English "$EN" LANG=C
expect English "$EN" LANG=

sb_finish
