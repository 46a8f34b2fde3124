#!/usr/bin/env bash
# The bash completion script, run by bash as a shell runs it: COMP_WORDS and
# COMP_CWORD set, the function called, COMPREPLY read back. Also that it
# offers every subcommand `qmf --help` lists and every option each
# subcommand's --help lists, and the extensions, --to targets and units of
# the table of formats (printed by FORMAT_TABLE), so it cannot fall behind
# the command unnoticed.
# Usage: completion_test.sh COMPLETION_SCRIPT QMF [FORMAT_TABLE]
set -uo pipefail
script=$(realpath "$1") qmf=$(realpath "$2") table=${3:+$(realpath "$3")}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qmf-completion-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# shellcheck source=/dev/null
source "$script" || { echo "FAIL: cannot source $script" >&2; exit 1; }
complete -p qmf >/dev/null 2>&1 || fail "the script registers no completion for qmf"

# Completes the words given (the last one is the word under the cursor) and
# prints COMPREPLY sorted, one per line.
completions() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _qmf qmf "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | LC_ALL=C sort
}

cd "$tmp" || exit 1
mkdir clips
touch rig.ma walk.qmf run.bvh walk.json 'two words.ma' page.html notes.txt qmfTranslator.so

# EXPECTED words...: EXPECTED lists the completions separated by '|'.
check() {
    local expected=$1
    shift
    local got want
    got=$(completions "$@" | paste -sd'|')
    want=$(tr '|' '\n' <<<"$expected" | sed '/^$/d' | LC_ALL=C sort | paste -sd'|')
    [[ $got == "$want" ]] || fail "qmf ${*:2}<TAB>: got [$got], want [$want]"
}

check "export"                              qmf ex
check "identify|import|info"                qmf i
check "--help|--version"                    qmf --
check "draw"                                qmf help d
check "--json"                              qmf info --j
check "--rate|--replace|--resample"         qmf import --r
check "--rate|--resample|--rig-only|--root" qmf convert --r
check "--jobs"                              qmf export a.ma --j
check "--joint"                             qmf plot walk.qmf --jo
check "--plugin|--positions"               qmf view --p
check "cm|mm|dm|m|in|ft"                     qmf convert --unit ''
check "mm|m"                                qmf convert --unit m
check "mm|m"                                qmf convert --unit = m
check "cm|mm|dm|m|in|ft"                     qmf convert --unit =
check "xyz|xzy"                             qmf convert x.qmf y.bvh --order x
check "front|side|top"                      qmf draw x.qmf --view ''
check "qmf|ma|bvh|glb"                      qmf convert a.bvh b.bvh --out-dir d --to ''
check "cm|mm|dm|m|in|ft"                     qmf view run.bvh -o p.html --unit ''
check "side"                                qmf draw x.qmf --view s
check "clips"                               qmf convert run.bvh --out-dir ''
check "rig.ma|run.bvh"                      qmf convert r
check ""                                    qmf convert x.bvh --jobs ''
check ""                                    qmf view x.qmf --frame ''
check "clips|page.html"                     qmf view walk.qmf -o ''
check "clips|page.html"                     qmf view walk.qmf --output ''
check "clips|qmfTranslator.so"              qmf export rig.ma out.qmf --plugin ''
check "walk.json|walk.qmf"                  qmf pack w
check "two words.ma"                        qmf import walk.qmf t
check "clips|notes.txt|page.html|qmfTranslator.so|rig.ma|run.bvh|two words.ma|walk.json|walk.qmf" qmf identify ''
check ""                                    qmf frobnicate ''
check ""                                    qmf import -- --r

# Every subcommand of `qmf --help` and every option of its own --help (the
# option lines and the [--flag] of the usage) is offered.
commands=$("$qmf" --help | sed -n '/^Commands:/,/^$/p' | sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p')
[[ -n $commands ]] || fail "no commands found in qmf --help"
offered=$(completions qmf '' | paste -sd' ')
for c in $commands; do
    [[ " $offered " == *" $c "* ]] || fail "subcommand '$c' of qmf --help is not completed"
    help=$("$qmf" "$c" --help) || { fail "qmf $c --help failed"; continue; }
    options=$( {
        sed -n 's/^ \{1,\}\(-[a-zA-Z]\), \(--[a-z][a-z-]*\).*/\1 \2/p; s/^ \{1,\}\(--[a-z][a-z-]*\).*/\1/p' <<<"$help"
        grep -oE '\[--?[a-zA-Z][a-z-]*' <<<"$help" | tr -d '['
    } | tr ' ' '\n' | sed '/^$/d' | sort -u)
    [[ -n $options || $c == pack ]] || fail "no options found in qmf $c --help"
    have=$(completions qmf "$c" - | paste -sd' ')
    for o in $options; do
        [[ " $have " == *" $o "* ]] || fail "option $o of qmf $c --help is not completed"
    done
done

# The table of formats: what each command reads is what it completes.
if [[ -n $table ]]; then
    list() { "$table" | sed -n "s/^$1 //p" | tr ' ' '\n' | sed '/^$/d' | LC_ALL=C sort | paste -sd'|'; }
    [[ -n $(list view) ]] || fail "the format table printed nothing"
    # A folder with one file per extension of the table, and no other.
    mkdir "$tmp/table" && cd "$tmp/table" || exit 1
    for e in $("$table" | sed -n 's/^\(convert-from\|convert-to\|view\) //p'); do touch "f.$e"; done
    for c in view draw plot; do
        check "$(list view | sed 's/[^|]*/f.&/g')" qmf "$c" f
    done
    check "$( (list convert-from; list convert-to) | tr '|' '\n' | LC_ALL=C sort -u | sed 's/.*/f.&/' | paste -sd'|')" qmf convert f
    check "$(list to-keys)" qmf convert a.bvh --out-dir d --to ''
    check "$(list units)" qmf convert --unit ''
    help=$("$qmf" convert --help)
    for e in $(list convert-from | tr '|' ' '); do
        grep -q "\.$e" <<<"$help" || fail "qmf convert --help does not name .$e"
    done
fi

((failures == 0)) || { echo "$failures completion check(s) failed" >&2; exit 1; }
echo "completion: every case and every command and option of qmf --help offered"
