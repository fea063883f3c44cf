# bash completion for kelvane: its commands, each command's options, --format's values, and
# map files where a command takes a map.
_kelvane() {
  local cur prev words cword
  _init_completion || return
  local cmd="" i
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
    -*) ;;
    *) cmd=${words[i]} && break ;;
    esac
  done
  if [[ -z $cmd ]]; then
    mapfile -t COMPREPLY < <(compgen -W "info render export thumbnail demo make-map --help --version" -- "$cur")
    return
  fi
  case $prev in
  --format)
    mapfile -t COMPREPLY < <(compgen -W "obj glb gltf" -- "$cur")
    return
    ;;
  -o | --output)
    case $cmd in
    render) _filedir png ;;
    export) _filedir '@(obj|glb|gltf)' ;;
    *) _filedir map ;;
    esac
    return
    ;;
  --size | --camera | --select | --hide | --fps | -s) return ;;
  --path)
    _filedir
    return
    ;;
  esac
  local opts
  case $cmd in
  info) opts="--json --strict --help" ;;
  render) opts="-o --output --size --camera --fit --axes --select --hide --grid --path --fps --force --strict --help" ;;
  export) opts="-o --output --format --strict --help" ;;
  thumbnail) opts="-s --size --help" ;;
  demo | make-map) opts="-o --output --help" ;;
  esac
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$opts" -- "$cur")
    return
  fi
  case $cmd in
  make-map) _filedir json ;;
  demo) ;;
  *) _filedir map ;;
  esac
}
complete -F _kelvane kelvane
