#!/usr/bin/env bash
# The manual page of each program lists the options its --help lists, no more and no fewer,
# and dravonik-cli's page the commands its --help lists.
#   manual_test.sh BIN_DIR SOURCE_DIR
set -euo pipefail
bin="$1"
source="$2"
status=0

# The long options a text names, one a line.
options() { grep -oE -- '--[a-z][a-z0-9-]*' | sort -u; }
# The page as read, on lines too long to be broken or hyphenated, without its examples (which
# also run the other programs).
rendered() {
  groff -man -Tascii -P-cbou -rLL=2000n "$1" | awk '/^[A-Z]/ { examples = $0 == "EXAMPLES" } !examples'
}
compare() {  # what, program, help's list, the page's list
  if ! diff_out="$(diff <(echo "$3") <(echo "$4"))"; then
    echo "FAILED: the $1 of $2 --help (<) and of its manual page (>) differ:" >&2
    echo "$diff_out" >&2
    status=1
  fi
}

for page in app/dravonik-config.1 tools/cli/dravonik-cli.1 tools/sim/dravonik-sim.1; do
  program="$(basename "$page" .1)"
  help="$("$bin/$program" --help)"
  compare options "$program" "$(options <<<"$help")" "$(rendered "$source/$page" | options)"
done

# dravonik-cli's commands: in --help each begins a line indented by two spaces; on the page
# each is the first word of a tagged paragraph.
help_commands="$("$bin/dravonik-cli" --help | sed -nE 's/^  ([a-z][a-z-]+)( .*)?$/\1/p' | sort -u)"
page_commands="$(sed -n '/^\.TP/{n;s/^\.B \([a-z][a-z\\-]*\).*/\1/p}' "$source/tools/cli/dravonik-cli.1" |
  sed 's/\\-/-/g' | sort -u)"
compare commands dravonik-cli "$help_commands" "$page_commands"
[ "$(wc -l <<<"$help_commands")" -ge 14 ] || { echo "FAILED: commands not found in --help" >&2; exit 1; }
exit $status
