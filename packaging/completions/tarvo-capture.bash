# bash completion for tarvo-capture: its commands, their sub-commands and options.

_tarvo_capture() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} words=
    # "--surface=RAW" arrives as three words: "--surface", "=" and RAW.
    if [[ $cur == = ]]; then
        cur=
        prev=${COMP_WORDS[COMP_CWORD - 1]}
    elif [[ $prev == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    if ((COMP_CWORD == 1)); then
        words="capture note reflect task open record signin signout token consent status outbox"
        [[ $cur == -* ]] && words="--help --version"
    else
        case ${COMP_WORDS[1]} in
        open)
            if [[ $prev == --surface ]]; then
                words="universalShare rapportShare captureIntent composer rapportNoteIntent
                    reflectIntent quickTaskWidget captureGrab voiceCapture"
            else
                words="--surface --help"
            fi
            ;;
        signin)
            [[ $prev == --email ]] && return # an address, typed by hand
            words="--email --password-stdin --help"
            ;;
        token) ((COMP_CWORD == 2)) && words="set status --help" ;;
        consent) ((COMP_CWORD == 2)) && words="status grant decline reset --help" ;;
        outbox)
            if ((COMP_CWORD == 2)); then
                words="list flush --help"
            elif [[ ${COMP_WORDS[2]} == flush ]]; then
                words="--force"
            fi
            ;;
        *) [[ $cur == -* ]] && words="--help" ;; # the rest take free text or nothing
        esac
    fi
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
}

complete -F _tarvo_capture tarvo-capture
