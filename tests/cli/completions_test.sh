#!/usr/bin/env bash
# The shell completions of tarvo-capture as each shell finds them once installed:
#     completions_test.sh BUILD_DIR
# Installs the app into a scratch prefix, checks that bash, zsh and fish look in the folders the
# completions go to (under /usr), then has each shell load them from the prefix and complete
# command lines. The commands offered are the ones `tarvo-capture --help` lists.
set -euo pipefail
build=$(realpath "$1")
work=$(mktemp -d -t tarvo-completions-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

cmake --install "$build" --component app --prefix "$work/root" >/dev/null
export PATH="$work/root/bin:$PATH" HOME="$work/home" XDG_DATA_DIRS="$work/root/share:/usr/share"
mkdir -p "$HOME"

# Where each shell looks on this system, and where the package puts each file under /usr.
bash_folder=$(pkg-config --variable=completionsdir bash-completion)
[ "$bash_folder" = /usr/share/bash-completion/completions ] ||
    fail "bash looks for completions in $bash_folder"
zsh -fc 'print -l $fpath' | grep -qx /usr/share/zsh/vendor-completions ||
    fail "zsh does not look in /usr/share/zsh/vendor-completions"
fish -c 'string join \n $__fish_vendor_completionsdirs' |
    grep -qx /usr/share/fish/vendor_completions.d ||
    fail "fish does not look in /usr/share/fish/vendor_completions.d"

# Each prints the candidates for a command line, one a line.
complete_bash() {
    bash --norc --noprofile -c '
        source /usr/share/bash-completion/bash_completion
        __load_completion tarvo-capture || exit 1
        read -ra COMP_WORDS <<<"$1"
        [[ $1 == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$1 COMP_POINT=${#1}
        function=$(complete -p tarvo-capture | sed -n "s/.* -F \([^ ]*\) .*/\1/p")
        "$function" tarvo-capture "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}"' bash "$1"
}

# zsh completes only in its line editor: an interactive zsh on a pseudo-terminal is sent the
# line and a Tab, and records every candidate its completion functions add.
cat >"$work/record.zsh" <<'EOF'
PS1='' RPS1=''
autoload -U compinit && compinit -u -D
compadd() {
    if [[ ${@[1,(i)(-|--)]} == *-[OAD]* ]]; then
        builtin compadd "$@"
        return
    fi
    local -a found
    builtin compadd -O found "$@"
    (( $#found )) && print -rl -- $found >>$RECORD
    builtin compadd "$@"
}
recorded() { print -r -- '-- done --' >>$RECORD }
comppostfuncs=(recorded)
EOF
cat >"$work/complete.zsh" <<'EOF'
zmodload zsh/zpty
export RECORD=$1
zpty shell zsh -f -i
zpty -w shell "fpath=($2 \$fpath); source ${0:A:h}/record.zsh"
zpty -w -n shell "$3"$'\t'
for attempt in {1..600}; do
    grep -q -- '-- done --' $RECORD 2>/dev/null && break
    sleep 0.05
done
zpty -d shell
grep -v -- '-- done --' $RECORD || true
EOF
complete_zsh() {
    rm -f "$work/record"
    zsh -f "$work/complete.zsh" "$work/record" "$work/root/share/zsh/vendor-completions" "$1"
}

complete_fish() {
    fish -c 'complete -C $argv[1]' "$1" | cut -f1
}

# The sorted candidates, options left out unless the word being completed is one.
candidates() { # SHELL LINE
    local word=${2##* }
    "complete_$1" "$2" | { if [[ $word == -* ]]; then cat; else grep -v '^-' || true; fi; } |
        sort -u | tr '\n' ' ' | sed 's/ $//'
}

commands=$(tarvo-capture --help | sed -n 's/^  \([a-z]\+\)  .*/\1/p' | sort | tr '\n' ' ' |
    sed 's/ $//')
[ -n "$commands" ] || fail "tarvo-capture --help lists no commands"
surfaces="captureGrab captureIntent composer quickTaskWidget rapportNoteIntent rapportShare"
surfaces+=" reflectIntent universalShare voiceCapture"

cases=(
    "tarvo-capture |$commands"
    "tarvo-capture --|--help --version"
    "tarvo-capture st|status"
    "tarvo-capture task |"
    "tarvo-capture task --|--help"
    "tarvo-capture open --surface |$surfaces"
    "tarvo-capture signin --|--email --help --password-stdin"
    "tarvo-capture token |set status"
    "tarvo-capture consent |decline grant reset status"
    "tarvo-capture outbox |flush list"
    "tarvo-capture outbox flush --f|--force"
)
for shell in bash zsh fish; do
    for entry in "${cases[@]}"; do
        line=${entry%%|*} expected=${entry#*|}
        actual=$(candidates "$shell" "$line")
        [ "$actual" = "$expected" ] ||
            fail "$shell completes \"$line\" with \"$actual\", not \"$expected\""
    done
done

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "1 passed, 0 failed"
