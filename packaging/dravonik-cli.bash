# bash completion of dravonik-cli: its commands, the options of the command on the line, the
# device type names and ids of the definitions in use, settings files (.zsf), CSV files,
# reports (.pdf), folders for --records and the serial devices for --port. The options are those dravonik-cli --help lists per command.

_dravonik_cli_devices() {
  # The definitions named on the line, else those beside the program.
  local program=$1 devices=$2 field=$3
  local args=(devices)
  [[ -n $devices ]] && args+=(--devices "$devices")
  "$program" "${args[@]}" 2>/dev/null | cut -f "$field"
}

_dravonik_cli() {
  local cur prev words cword
  _init_completion || return

  local commands="read-registers read-coils write-register write-registers write-coil
    devices defaults convert diff report check preset ports read write provision"
  if ((cword == 1)); then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "--help --version" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
    return
  fi

  # The program as typed (a path with ~ too) tells the device types.
  local command=${words[1]} program devices="" i
  program=$(dequote "${words[0]}")
  for ((i = 2; i < cword - 1; i++)); do
    [[ ${words[i]} == --devices ]] && devices=$(dequote "${words[i + 1]}")
  done

  case $prev in
    --port)
      local ports=() port
      for port in /dev/ttyS[0-9]* /dev/ttyUSB* /dev/ttyACM* /dev/serial/by-id/*; do
        [[ -e $port ]] && ports+=("$port")
      done
      COMPREPLY=($(compgen -W "$(echo COM{1..20}) ${ports[*]}" -- "$cur"))
      return
      ;;
    --device)
      # One name a line, and quoted as file names are: the names hold spaces. A name begun
      # with an opening quote is matched without it.
      local IFS=$'\n' name=$cur
      [[ $name == [\"\']* ]] && name=${name:1} || name=$(dequote "$name")
      compopt -o filenames
      COMPREPLY=($(compgen -W "$(_dravonik_cli_devices "$program" "$devices" 3)" \
        -- "$name"))
      return
      ;;
    --device-id)
      COMPREPLY=($(compgen -W "$(_dravonik_cli_devices "$program" "$devices" 2)" -- "$cur"))
      return
      ;;
    --devices)
      _filedir '@(xml|XML)'
      return
      ;;
    --in)
      _filedir '@(zsf|ZSF)'
      return
      ;;
    --out)
      if [[ $command == report ]]; then
        _filedir '@(pdf|PDF)'
      else
        _filedir '@(zsf|ZSF|csv|CSV)'
      fi
      return
      ;;
    --report)
      _filedir '@(pdf|PDF)'
      return
      ;;
    --records)
      _filedir -d
      return
      ;;
    --baud)
      COMPREPLY=($(compgen -W "50 75 110 134 150 200 300 600 1200 1800 2400 4800 9600 19200
        38400 57600 115200 230400 460800 921600" -- "$cur"))
      return
      ;;
    --ref | --count | --value | --slave | --retries | --timeout-ms)
      return
      ;;
  esac

  local link="--port --usb --slave --retries --timeout-ms --baud --ref"
  local options
  case $command in
    read-registers | read-coils) options="$link --count" ;;
    write-register | write-coil) options="$link --value" ;;
    write-registers) options=$link ;;
    devices | check) options="--devices" ;;
    defaults) options="--device --device-id --devices --out" ;;
    convert) options="--device --device-id --devices --in --out --table" ;;
    diff | preset) options="--device --device-id --devices" ;;
    report) options="--device --device-id --devices --out" ;;
    read) options="--port --usb --devices --timeout-ms --out --report" ;;
    write) options="--port --usb --devices --timeout-ms --in --verify --force --report" ;;
    provision) options="--port --usb --devices --timeout-ms --in --records --count --force" ;;
    *) return ;;
  esac
  if [[ ($command == diff || $command == report) && $cur != -* ]]; then
    _filedir '@(zsf|ZSF)'
    return
  fi
  COMPREPLY=($(compgen -W "$options" -- "$cur"))
}
complete -F _dravonik_cli dravonik-cli
