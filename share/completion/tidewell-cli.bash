# bash completion for tidewell-cli                                     -*- shell-script -*-
#
# The commands and each command's options are those of `tidewell-cli --help` and
# `tidewell-cli COMMAND --help`; the installation test compares them.

# The program being completed (a build folder's copy too), else the one on the PATH.
_tidewell_cli_program()
{
    local program=${COMP_WORDS[0]/#\~/$HOME}
    type -P "$program" >/dev/null 2>&1 || program=tidewell-cli
    printf '%s' "$program"
}

# Adds each line of standard input that begins with $cur, quoted for the command line.
_tidewell_cli_add_matching()
{
    local IFS=$'\n' line
    while read -r line; do
        [[ -n $line && $line == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$line")")
    done
}

_tidewell_cli_calendars()
{
    # Titles may hold spaces: one completion per line.
    _tidewell_cli_add_matching < <("$(_tidewell_cli_program)" calendars 2>/dev/null)
}

_tidewell_cli_groups()
{
    # The groups of the address book the command line names (else the user's), from the
    # "Groups:" part of `tidewell-cli contacts`: "  NAME (N people)".
    local books=() i
    for ((i = 1; i < COMP_CWORD - 1; i++)); do
        [[ ${COMP_WORDS[i]} == --address-book ]] && books+=(--address-book "${COMP_WORDS[i + 1]/#\~/$HOME}")
    done
    _tidewell_cli_add_matching < <(
        printf 'All\n'
        "$(_tidewell_cli_program)" contacts "${books[@]}" 2>/dev/null |
            awk '/^Groups:$/ { g = 1; next } /^People:$/ { exit }
                 g && /^  / { sub(/^  /, ""); sub(/ \([0-9]+ (person|people)\)$/, ""); print }'
    )
}

_tidewell_cli_zones()
{
    # Zone names of the zone database: its zones and their links.
    local dir=${TZDIR:-/usr/share/zoneinfo}
    if [[ -r $dir/tzdata.zi ]]; then
        COMPREPLY=($(compgen -W "$(awk '$1 == "Z" { print $2 } $1 == "L" { print $3 }' "$dir/tzdata.zi")" -- "$cur"))
    elif [[ -r $dir/zone1970.tab ]]; then
        COMPREPLY=($(compgen -W "UTC $(awk '!/^#/ { print $3 }' "$dir/zone1970.tab")" -- "$cur"))
    fi
}

# A comma-separated list of the given words: completes the word after the last comma.
_tidewell_cli_list()
{
    local head=""
    [[ $cur == *,* ]] && head=${cur%,*},
    COMPREPLY=($(compgen -P "$head" -W "$*" -- "${cur##*,}"))
    compopt -o nospace 2>/dev/null
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
    # --option=value: bash splits at the "=".
    if [[ $cur == = ]]; then
        cur=""
    elif [[ $prev == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    local commands="convert guess invite calendars mail info contacts account"
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
    local input="--from --columns-in --header --delimiter --date-order"
    local options
    case $command in
    convert) options="$output $input --since --until --sort --tz --from-calendar --to-calendar --skip-invalid --password-stdin" ;;
    guess) options="$output --tz" ;;
    invite)
        options="-o --output --organizer --attendee --from --group --all-addresses --from-me --address-book --mail"
        options+=" --add-to-calendar --password-stdin"
        ;;
    calendars) options="--password-stdin" ;;
    mail) options="--from --columns-in --skip-header" ;;
    info) options="$input --tz" ;;
    contacts) options="--address-book --group" ;;
    account)
        options="--caldav --user --no-check --password-stdin"
        # account add|list|remove NAME
        if [[ $cur != -* ]]; then
            local j words=()
            for ((j = i + 1; j < COMP_CWORD; j++)); do
                [[ ${COMP_WORDS[j]} != -* && ${COMP_WORDS[j - 1]} != --caldav && ${COMP_WORDS[j - 1]} != --user ]] &&
                    words+=("${COMP_WORDS[j]}")
            done
            if [[ ${#words[@]} -eq 0 && $prev != --caldav && $prev != --user ]]; then
                COMPREPLY=($(compgen -W "add list remove" -- "$cur"))
                return
            fi
            if [[ ${words[0]} == remove && ${#words[@]} -eq 1 ]]; then
                _tidewell_cli_add_matching < <("$(_tidewell_cli_program)" account list 2>/dev/null | awk '{ print $1 }')
                return
            fi
        fi
        ;;
    help)
        # help COMMAND
        ((COMP_CWORD == i + 1)) && COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
        ;;
    *) return ;;
    esac
    options="-h --help $options"

    case $prev in
    -o | --output)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    --address-book)
        # Folders of vCard files, .vcf files and Evolution's contacts.db.
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
        _tidewell_cli_list startTime startDate endTime endDate theSummary
        return
        ;;
    --columns-in)
        # Titles are matched without their spaces; - skips a column.
        _tidewell_cli_list StartTime StartDate EndTime EndDate Summary Subject Description Location -
        return
        ;;
    --delimiter)
        _tidewell_cli_add_matching < <(printf '%s\n' tab ';' '|' ',')
        return
        ;;
    --date-order)
        COMPREPLY=($(compgen -W "dmy mdy ymd" -- "$cur"))
        return
        ;;
    --sort)
        COMPREPLY=($(compgen -W "start end summary" -- "$cur"))
        return
        ;;
    --tz)
        _tidewell_cli_zones
        return
        ;;
    --group)
        _tidewell_cli_groups
        return
        ;;
    --from-calendar | --to-calendar | --add-to-calendar)
        _tidewell_cli_calendars
        return
        ;;
    --since | --until | --organizer | --attendee | --caldav | --user)
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [[ $command != guess && $command != calendars && $command != contacts && $command != account ]]; then
        _tidewell_cli_files
    fi
}
complete -F _tidewell_cli tidewell-cli
