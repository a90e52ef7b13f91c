# bash completion for tidewell-cli                                     -*- shell-script -*-
#
# The commands and each command's options are those of `tidewell-cli --help` and
# `tidewell-cli COMMAND --help`; the installation test compares them.

_tidewell_cli_calendars()
{
    # Titles may hold spaces: one completion per line, quoted for the command line.
    local IFS=$'\n' title
    for title in $(tidewell-cli calendars 2>/dev/null); do
        [[ $title == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$title")")
    done
}

_tidewell_cli_files()
{
    # Calendar files and directories to descend into; any file when nothing matches.
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -d -- "$cur"))
    local f
    for f in $(compgen -f -- "$cur"); do
        [[ -f $f && ${f,,} == *.@(ics|ical|ifb|vcal|vcs|csv|tsv|tab|txt) ]] && COMPREPLY+=("$f")
    done
    [[ ${#COMPREPLY[@]} -eq 0 ]] && COMPREPLY=($(compgen -f -- "$cur"))
}

_tidewell_cli()
{
    local cur prev command i
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}

    local commands="convert guess invite calendars mail"
    command=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* ]]; then
            command=${COMP_WORDS[i]}
            break
        fi
    done
    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands -h --help -v --version" -- "$cur"))
        return
    fi

    local output="-o --output --to --expand --columns"
    local options
    case $command in
    convert) options="$output --from --columns-in --skip-header --from-calendar --to-calendar" ;;
    guess) options="$output" ;;
    invite) options="-o --output --organizer --attendee --from --mail --add-to-calendar" ;;
    calendars) options="" ;;
    mail) options="--from --columns-in --skip-header" ;;
    *) return ;;
    esac
    options="-h --help $options"

    case $prev in
    -o | --output)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    --to)
        COMPREPLY=($(compgen -W "ics vcal csv tab txt" -- "$cur"))
        return
        ;;
    --from)
        if [[ $command == invite ]]; then
            COMPREPLY=($(compgen -W "ics vcal" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "ics vcal csv tab" -- "$cur"))
        fi
        return
        ;;
    --columns)
        # A comma-separated list: complete the name after the last comma.
        local head=""
        [[ $cur == *,* ]] && head=${cur%,*},
        COMPREPLY=($(compgen -P "$head" -W "startTime startDate endTime endDate theSummary" -- "${cur##*,}"))
        compopt -o nospace 2>/dev/null
        return
        ;;
    --from-calendar | --to-calendar | --add-to-calendar)
        _tidewell_cli_calendars
        return
        ;;
    --columns-in | --organizer | --attendee)
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [[ $command != guess && $command != calendars ]]; then
        _tidewell_cli_files
    fi
}
complete -F _tidewell_cli tidewell-cli
