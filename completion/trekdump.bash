# bash completion for trekdump                              -*- shell-script -*-
# Completes the long options (with "=" where a value follows), the words each
# setting accepts, and file names for the data file and the GPX output file.

# The long options; "=" marks a value that follows, an optional value (read,
# clear-memory) is offered both ways because it must be attached.
_trekdump_long_options="--read --read= --conf --analyze --clear-memory
    --clear-memory= --help --set-log-mode= --log-mode-walk --log-mode-bicycle
    --log-mode-car --log-mode-user --set-device-zone= --set-shake-mode=
    --enable-shake-mode --disable-shake-mode --set-shake-mode-time=
    --set-userdefined-log-mode= --set-contrast= --set-system-unit=
    --set-metric-system --set-imperial-system --set-backlight-time=
    --set-password= --unset-password --set-userdefined-time-interval=
    --set-userdefined-distance-interval= --set-userdefined-heading-change=
    --set-userdefined-highest-speed= --set-userdefined-high-speed=
    --set-userdefined-middle-speed= --set-userdefined-low-speed=
    --set-userdefined-lowest-speed= --set-userdefined-highest-speed-interval=
    --set-userdefined-high-speed-interval=
    --set-userdefined-middle-speed-interval=
    --set-userdefined-low-speed-interval= --set-initial-min-svs=
    --set-fix-mode= --set-2d-fix-altitude= --set-initial-min-strength=
    --set-navigation-min-strength= --set-pdop-mask= --set-tdop-mask=
    --set-p-accuracy-mask= --set-t-accuracy-mask= --set-sbas= --enable-sbas
    --disable-sbas --set-gps-mode="

# Prints the full name of a long option given in full or shortened to a
# prefix that only one option begins with (as the tool itself accepts it).
_trekdump_resolve()
{
    local name=$1 option found=
    for option in $_trekdump_long_options; do
        option=${option#--}
        option=${option%=}
        [[ $option == "$name" ]] && { printf '%s\n' "$option"; return; }
        if [[ $option == "$name"* && $option != "$found" ]]; then
            [[ -n $found ]] && return
            found=$option
        fi
    done
    [[ -n $found ]] && printf '%s\n' "$found"
}

# Prints the words a value of the option may take; "@file" for a file name,
# nothing for a number or free text.
_trekdump_values()
{
    case $1 in
        --read | -R) echo @file ;;
        --clear-memory | -D) echo yes no ;;
        --set-log-mode | -l) echo walk bicycle car user ;;
        --set-shake-mode | -s | --set-sbas) echo on off ;;
        --set-userdefined-log-mode | -v) echo time distance heading speed mixed ;;
        --set-system-unit) echo metric imperial ;;
        --set-fix-mode) echo 2d 2d3d 3d ;;
        --set-gps-mode | -g) echo high middle default low fast user ;;
    esac
}

# Fills COMPREPLY with the values of option that begin with text, each
# preceded by prefix.
_trekdump_complete_value()
{
    local option=$1 text=$2 prefix=$3 words
    words=$(_trekdump_values "$option")
    if [[ $words == @file ]]; then
        compopt -o filenames
        mapfile -t COMPREPLY < <(compgen -f -- "$text")
    else
        mapfile -t COMPREPLY < <(compgen -W "$words" -- "$text")
    fi
    [[ -n $prefix ]] && COMPREPLY=("${COMPREPLY[@]/#/$prefix}")
    return 0
}

_trekdump()
{
    local cword=$COMP_CWORD
    local cur=${COMP_WORDS[cword]} prev=${COMP_WORDS[cword-1]} option i
    COMPREPLY=()

    # After "--" every word is a file name.
    for ((i = 1; i < cword; i++)); do
        if [[ ${COMP_WORDS[i]} == -- ]]; then
            compopt -o filenames
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return 0
        fi
    done

    # A value attached with "=". Where "=" breaks words (bash's default),
    # --name=val arrives as "--name" "=" "val" and only the part after "="
    # is replaced; otherwise the whole word is, so the reply keeps its name.
    if [[ $cur == = && $prev == --* ]]; then
        option=$(_trekdump_resolve "${prev#--}")
        _trekdump_complete_value "--$option" "" ""
        return 0
    fi
    if [[ $prev == = && ${COMP_WORDS[cword-2]} == --* ]]; then
        option=$(_trekdump_resolve "${COMP_WORDS[cword-2]#--}")
        _trekdump_complete_value "--$option" "$cur" ""
        return 0
    fi
    if [[ $cur == --*=* ]]; then
        option=${cur%%=*}
        option=$(_trekdump_resolve "${option#--}")
        _trekdump_complete_value "--$option" "${cur#*=}" "${cur%%=*}="
        return 0
    fi

    # A value attached to a short option: -gfa, -Dy, -Rout.
    if [[ $cur == -[RDlsvg]?* ]]; then
        _trekdump_complete_value "${cur:0:2}" "${cur:2}" "${cur:0:2}"
        return 0
    fi

    # A required value in the next word.
    case $prev in
        -[lsvg])
            _trekdump_complete_value "$prev" "$cur" ""
            return 0
            ;;
        -[zt])
            return 0
            ;;
        --?*)
            option=$(_trekdump_resolve "${prev#--}")
            if [[ -n $option && $_trekdump_long_options == *"--$option="* &&
                $option != read && $option != clear-memory ]]; then
                [[ -n $(_trekdump_values "--$option") ]] &&
                    _trekdump_complete_value "--$option" "$cur" ""
                return 0
            fi
            ;;
    esac

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$_trekdump_long_options" -- "$cur")
        [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace
        return 0
    fi

    # The data file.
    compopt -o filenames
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    return 0
}

complete -F _trekdump trekdump
