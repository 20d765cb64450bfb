# bash completion of tavo-vm: subcommands, their options, and operation names, which the
# tavo-vm being completed lists itself (tavo-vm services --names).

_tavo_vm() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  if ((COMP_CWORD == 1)); then
    mapfile -t COMPREPLY < <(compgen -W "services describe template call serve schema --help" \
      -- "$cur")
    return
  fi
  local sub=${COMP_WORDS[1]} options=""
  case $sub in
    services) options="--json --names --help" ;;
    describe) options="--json --help" ;;
    template) options="--help" ;;
    call) options="--server --token-file --ca-file --timeout --locale --table --help" ;;
    serve) options="--address --port --threads --tls-cert --tls-key --token-file --delivery
                    --state --port-file --max-body --max-connections --request-deadline --grace
                    --help" ;;
    schema) options="--openapi --help" ;;
  esac
  case $prev in
    --token-file | --ca-file | --tls-cert | --tls-key | --state | --port-file)
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return
      ;;
    --delivery)
      mapfile -t COMPREPLY < <(compgen -W "immediate worker" -- "$cur")
      return
      ;;
    --server | --timeout | --locale | --address | --port | --threads | --max-body | \
      --max-connections | --request-deadline | --grace)
      return
      ;;
  esac
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    return
  fi
  if [[ $sub == call && $cur == @* ]]; then
    mapfile -t COMPREPLY < <(compgen -f -P @ -- "${cur#@}")
    return
  fi
  case $sub in
    describe | template | call | schema)
      local names
      names=$("${COMP_WORDS[0]}" services --names 2>/dev/null)
      [[ $sub == describe ]] && names+=$'\n'$(sed 's/\.[^.]*$//' <<<"$names" | sort -u)
      mapfile -t COMPREPLY < <(compgen -W "$names" -- "$cur")
      ;;
  esac
}
complete -F _tavo_vm tavo-vm
