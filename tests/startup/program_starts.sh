#!/usr/bin/env bash
# The program starts and keeps running whatever its command line says, and
# where no Simplified Chinese font, or no translation of Qt's own texts, is
# installed it still starts and says so once on standard error.
#   program_starts.sh <path to quimbel> <scratch dir>
set -uo pipefail
program=$1
scratch=$2
mkdir -p "$scratch"
export QT_QPA_PLATFORM=offscreen
unset QT_SCALE_FACTOR QT_FONT_DPI

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Starts the program with the given arguments and environment, lets it run for
# two seconds, and leaves its standard error in $scratch/<name>.err.
# Returns 0 when it was still running (then it is stopped).
run_for_a_while() {
  local name=$1; shift
  env "$@" > "$scratch/$name.out" 2> "$scratch/$name.err" &
  local pid=$!
  sleep 2
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"; wait "$pid" 2>/dev/null
    return 0
  fi
  wait "$pid"; echo "  exited early with status $?"
  return 1
}

# Toolkit options on the command line change nothing: no other platform, no
# style sheet read from disk, no mirrored layout.
if run_for_a_while arguments "$program" -platform nonexistent -stylesheet /nonexistent.qss \
     -reverse --anything 17; then
  echo "ok: arguments ignored"
else
  fail "the program did not keep running with arguments"; cat "$scratch/arguments.err"
fi
if grep -q -i -E 'nonexistent|quimbel:' "$scratch/arguments.err"; then
  fail "arguments were looked at:"; cat "$scratch/arguments.err"
fi

# No fonts at all: an empty font directory is all fontconfig may use.
mkdir -p "$scratch/no-fonts" "$scratch/font-cache"
cat > "$scratch/fonts.conf" <<CONF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <dir>$scratch/no-fonts</dir>
  <cachedir>$scratch/font-cache</cachedir>
</fontconfig>
CONF
if run_for_a_while no-font FONTCONFIG_FILE="$scratch/fonts.conf" "$program"; then
  echo "ok: starts without a Chinese font"
else
  fail "the program did not keep running without a Chinese font"; cat "$scratch/no-font.err"
fi
said=$(grep -c 'quimbel: no Simplified Chinese font found' "$scratch/no-font.err")
if [ "$said" -eq 1 ]; then
  echo "ok: said so once"
else
  fail "expected the missing-font line once on standard error, found it $said times:"
  cat "$scratch/no-font.err"
fi

# No Qt translations: a copy of the program with a qt.conf beside it that
# sends Qt to an empty directory for them (and to the real plugins, which a
# qt.conf would otherwise look for beside the copy).
qtpaths=$(command -v qtpaths6 || echo /usr/lib/qt6/bin/qtpaths6)
mkdir -p "$scratch/relocated" "$scratch/no-translations"
cp "$program" "$scratch/relocated/quimbel"
cat > "$scratch/relocated/qt.conf" <<CONF
[Paths]
Prefix=$("$qtpaths" --query QT_INSTALL_PREFIX)
Plugins=$("$qtpaths" --query QT_INSTALL_PLUGINS)
Translations=$scratch/no-translations
CONF
if run_for_a_while no-translations "$scratch/relocated/quimbel"; then
  echo "ok: starts without Qt's translations"
else
  fail "the program did not keep running without Qt's translations"
  cat "$scratch/no-translations.err"
fi
said=$(grep -c "quimbel: Qt's Simplified Chinese translations (qtbase_zh_CN.qm) are not in $scratch/no-translations" \
         "$scratch/no-translations.err")
if [ "$said" -eq 1 ]; then
  echo "ok: said so once"
else
  fail "expected the missing-translations line once on standard error, found it $said times:"
  cat "$scratch/no-translations.err"
fi

# With the fonts and translations the setup installs, nothing is said.
if run_for_a_while with-fonts "$program" && ! grep -q 'quimbel:' "$scratch/with-fonts.err"; then
  echo "ok: quiet with the installed fonts"
else
  fail "unexpected output with the installed fonts:"; cat "$scratch/with-fonts.err"
fi

echo "$(( 5 - failures )) passed, $failures failed"
[ "$failures" -eq 0 ]
