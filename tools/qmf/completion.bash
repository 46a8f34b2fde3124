# bash completion for qmf. Self-contained: works without the bash-completion
# package's helpers, so it can also be sourced by hand.

_qmf_files() {
    # Folders, and files ending in one of the extensions given ("" for any).
    local cur=$1 ext line
    shift
    while IFS= read -r line; do COMPREPLY+=("$line"); done < <(compgen -d -- "$cur")
    for ext in "$@"; do
        if [[ -z $ext ]]; then
            while IFS= read -r line; do [[ -d $line ]] || COMPREPLY+=("$line"); done < <(compgen -f -- "$cur")
        else
            while IFS= read -r line; do [[ -d $line ]] || COMPREPLY+=("$line"); done < <(compgen -f -X "!*.$ext" -- "$cur")
        fi
    done
    compopt -o filenames 2>/dev/null
    return 0
}

_qmf_words() {
    local line
    while IFS= read -r line; do COMPREPLY+=("$line"); done < <(compgen -W "$1" -- "$2")
}

_qmf() {
    COMPREPLY=()
    local cword=$COMP_CWORD cur=${COMP_WORDS[COMP_CWORD]} prev=""
    ((cword > 0)) && prev=${COMP_WORDS[cword - 1]}
    # "--flag=value": bash splits the word at '=' (COMP_WORDBREAKS), so the
    # flag is one or two words back; without that split it is in the word.
    if [[ $cur == "=" ]]; then
        cur=""
    elif [[ $prev == "=" ]] && ((cword >= 2)); then
        prev=${COMP_WORDS[cword - 2]}
    elif [[ $cur == --*=* ]]; then
        prev=${cur%%=*}
        cur=${cur#*=}
    fi

    local commands="export import identify info pack convert view draw plot retarget"
    if ((cword == 1)); then
        _qmf_words "$commands --help --version" "$cur"
        return 0
    fi
    local cmd=${COMP_WORDS[1]}
    if [[ $cmd == help || $cmd == --help || $cmd == -h ]]; then
        ((cword == 2)) && _qmf_words "$commands" "$cur"
        return 0
    fi

    local opts exts out line
    # What the assimp library reads for qmf (the table of formats' rows).
    local scenes3d="fbx glb gltf dae x smd md5mesh ms3d b3d ogex 3ds ase iqm ac irrmesh lwo lws mdl md2 md3"
    case $cmd in
        export) opts="--time --plugin --out-dir --jobs"; exts="ma qmf" ;;
        import) opts="-o --output --replace --map --strip-namespaces --maya-names --start --resample --take --rate --unit --up --plugin"
                exts="qmf ma bvh $scenes3d"; out=ma ;;
        identify) opts="--plugin"; exts="" ;;
        info) opts="--json"; exts="qmf bvh ma $scenes3d" ;;
        pack) opts=""; exts="json qmf" ;;
        convert) opts="--unit --order --frames --step --time --start --root --resample --rig-only --map --strip-namespaces --take --rate --up --volumes --plugin --out-dir --to --jobs"
                 exts="bvh qmf ma $scenes3d" ;;
        view) opts="-o --output --positions --frame --frames --step --unit --up --take --rate --plugin"; exts="qmf ma bvh $scenes3d"; out=html ;;
        draw) opts="-o --output --frame --frames --step --view --unit --up --take --rate --plugin"; exts="qmf ma bvh $scenes3d"; out=svg ;;
        plot) opts="-o --output --joint --frames --step --unit --take --rate --plugin"; exts="qmf ma bvh $scenes3d"; out=svg ;;
        retarget) opts="-o --output --map --scale --frames --step --source-rest --time --unit --up --plugin --dry-run"
                  exts="qmf ma bvh"; out="ma qmf bvh" ;;
        *) return 0 ;;
    esac

    # The value of the option before the cursor.
    case $prev in
        -o | --output) local -a outs; read -ra outs <<<"$out"; ((${#outs[@]})) || outs=("")
                       _qmf_files "$cur" "${outs[@]}"; return 0 ;;
        --plugin) _qmf_files "$cur" so; return 0 ;;
        --map) _qmf_files "$cur" ""; return 0 ;;
        --out-dir) while IFS= read -r line; do COMPREPLY+=("$line"); done < <(compgen -d -- "$cur")
                   compopt -o filenames 2>/dev/null; return 0 ;;
        --unit) _qmf_words "cm mm dm m in ft" "$cur"; return 0 ;;
        --order) _qmf_words "xyz yzx zxy xzy yxz zyx" "$cur"; return 0 ;;
        --view) _qmf_words "front side top" "$cur"; return 0 ;;
        --up) if [[ $cmd == retarget ]]; then _qmf_words "y z" "$cur"; else _qmf_words "auto y z" "$cur"; fi; return 0 ;;
        --scale) _qmf_words "auto" "$cur"; return 0 ;;
        --to) _qmf_words "qmf ma bvh glb" "$cur"; return 0 ;;
        --time | --jobs | --frame | --frames | --step | --start | --root | --joint | --source-rest | --take | --rate) return 0 ;;  # a number or a name: nothing to offer
    esac

    local -a extlist
    read -ra extlist <<<"$exts"
    ((${#extlist[@]})) || extlist=("")  # any file
    # Options until "--", then files only.
    local i
    for ((i = 2; i < cword; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && { _qmf_files "$cur" "${extlist[@]}"; return 0; }
    done
    if [[ $cur == -* ]]; then
        _qmf_words "$opts --help" "$cur"
        return 0
    fi
    _qmf_files "$cur" "${extlist[@]}"
    return 0
}

complete -F _qmf qmf
