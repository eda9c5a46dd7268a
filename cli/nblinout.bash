# bash completion of nblinout: commands, each command's options, the values of
# the options that take a fixed set, and file names for the rest.
# Uses only bash's own compgen, so it works with or without bash-completion.

_nblinout() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD-1]}
  local commands="new-db export import info version"

  # The command is the first word after nblinout that is not an option.
  local command="" i
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      -*) ;;
      *) command=${COMP_WORDS[i]}; break ;;
    esac
  done

  case $prev in
    --ui) COMPREPLY=($(compgen -W "auto gui console none" -- "$cur")); return ;;
    --publish) COMPREPLY=($(compgen -W "all public private" -- "$cur")); return ;;
    --date) COMPREPLY=($(compgen -W "day publish" -- "$cur")); return ;;
    --genre | --from | --to | --heading-tags | --lock-wait) COMPREPLY=(); return ;;
  esac

  local options
  case $command in
    "") options="--help --version" ;;
    export) options="--genre --from --to --publish --keep-line-breaks --keep-hyphens --date --overwrite --dialog --ui --lock-wait --help" ;;
    import) options="--heading-tags --dialog --dry-run --skip-existing --ui --lock-wait --help" ;;
    info) options="--lock-wait --help" ;;
    new-db | version) options="--help" ;;
  esac

  if [[ -z $command && $cur != -* ]]; then
    COMPREPLY=($(compgen -W "$commands" -- "$cur"))
  elif [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  elif [[ $command != version ]]; then
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -o filenames -F _nblinout nblinout
