#!/usr/bin/env bash
# The installed module tree: `cmake --install` into a temporary prefix, the
# tree moved elsewhere, and the moved command run on the installed example.
# Its outputs must be byte for byte those of the build tree's command, and it
# must load the translator and libraries from the moved tree only.
# Usage: install_test.sh BUILD_DIR BUILD_QMF VERSION [CMAKE]
set -euo pipefail
build=$(realpath "$1") built_qmf=$(realpath "$2") version=$3 cmake=${4:-cmake}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qmf-install-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

install_into() {  # PREFIX [ENV=VALUE...]
    local prefix=$1
    shift
    env "$@" "$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1
}

install_into "$tmp/first" || { cat "$tmp/install.log" >&2; fail "cmake --install"; }
mv "$tmp/first" "$tmp/moved"
root=$tmp/moved

for f in qmf.mod bin/qmf plug-ins/qmfTranslator.so lib/libKell.so share/bash-completion/completions/qmf \
    share/doc/qmf/README.md share/doc/qmf/docs/cli.md share/doc/qmf/examples/rig.ma share/doc/qmf/examples/walk.json; do
    [[ -f $root/$f ]] || fail "not installed: $f"
done

# Maya's module line: "+ [CONDITION:value...] NAME VERSION PATH", PATH
# relative to the folder of the .mod file.
read -r -a mod <"$root/qmf.mod"
n=${#mod[@]}
[[ $n -ge 4 && ${mod[0]} == + ]] || fail "qmf.mod: not a module line: ${mod[*]}"
[[ ${mod[n - 3]} == qmf && ${mod[n - 2]} == "$version" ]] || fail "qmf.mod: name and version: ${mod[*]}"
[[ ${mod[n - 1]} != /* ]] || fail "qmf.mod: absolute module path ${mod[n - 1]}"
[[ -f $root/${mod[n - 1]}/plug-ins/qmfTranslator.so ]] || fail "qmf.mod: ${mod[n - 1]} holds no plug-ins/qmfTranslator.so"

# Library search paths relative to each binary, never into the build.
for f in "$root"/bin/qmf "$root"/plug-ins/*.so "$root"/lib/*.so*; do
    [[ -L $f ]] && continue
    while read -r entry; do
        # shellcheck disable=SC2016  # the literal $ORIGIN the loader expands
        [[ $entry == '$ORIGIN'* ]] || fail "$f: search path $entry is not relative to the binary"
    done < <(readelf -d "$f" | sed -n 's/.*(R[UN]*PATH).*\[\(.*\)\]/\1/p' | tr ':' '\n')
done

q=$root/bin/qmf
[[ $("$q" --version) == "qmf $version" ]] || fail "installed qmf --version: $("$q" --version)"

# The example, by the moved command and by the build's, in two folders.
ex=$root/share/doc/qmf/examples
for who in installed built; do
    qmf=$q
    [[ $who == built ]] && qmf=$built_qmf
    mkdir "$tmp/$who"
    (
        cd "$tmp/$who"
        "$qmf" export "$ex/rig.ma" rig.qmf
        "$qmf" pack "$ex/walk.json" walk.qmf
        "$qmf" import walk.qmf "$ex/rig.ma" -o rig_walk.ma
        "$qmf" info rig.qmf --json >rig.json
    ) >"$tmp/$who.log" 2>&1 || { cat "$tmp/$who.log" >&2; fail "$who qmf on the example"; }
done
for f in rig.qmf walk.qmf rig_walk.ma rig.json; do
    cmp -s "$tmp/installed/$f" "$tmp/built/$f" || fail "$f differs between the installed and the built qmf"
done
grep -q 'animCurveTA' "$tmp/installed/rig_walk.ma" || fail "the imported scene has no rotation curves"
grep -q '"joints"' "$tmp/installed/rig.json" || fail "info --json of the export shows no joints"

# Everything the command loads comes from the moved tree.
loaded=$(LD_DEBUG=libs "$q" identify "$tmp/installed/rig.qmf" 2>&1 >/dev/null |
    sed -n 's/.*calling init: \(.*\(qmfTranslator\|libKell\|libmayahost\).*\)/\1/p' | sort -u)
[[ -n $loaded ]] || fail "LD_DEBUG shows no project library loaded"
while read -r lib; do
    [[ $(readlink -f "$lib") == "$root"/* ]] || fail "loaded from outside the installed tree: $lib"
done <<<"$loaded"
grep -q qmfTranslator <<<"$loaded" || fail "the translator module was not loaded: $loaded"

# The packaged layout: the module in a folder of its own and PREFIX/bin/qmf a
# link to its command, which still finds the translator beside itself.
install_into "$tmp/sys" QMF_INSTALL_MODULE_DIR=lib/qmf || { cat "$tmp/install.log" >&2; fail "install with QMF_INSTALL_MODULE_DIR"; }
for f in lib/qmf/qmf.mod lib/qmf/plug-ins/qmfTranslator.so lib/qmf/lib/libKell.so share/doc/qmf/README.md \
    share/bash-completion/completions/qmf; do
    [[ -f $tmp/sys/$f ]] || fail "module dir layout: not installed: $f"
done
[[ -L $tmp/sys/bin/qmf && $(readlink "$tmp/sys/bin/qmf") == ../lib/qmf/bin/qmf ]] ||
    fail "module dir layout: bin/qmf is not a relative link to the module's command"
[[ $("$tmp/sys/bin/qmf" identify "$tmp/installed/rig.qmf") == *"(is mine)" ]] ||
    fail "module dir layout: bin/qmf does not reach the translator"

# A module folder outside the prefix is refused before anything is written.
for bad in /opt/qmf ../qmf lib/../../qmf; do
    if install_into "$tmp/bad" QMF_INSTALL_MODULE_DIR="$bad"; then fail "QMF_INSTALL_MODULE_DIR=$bad was accepted"; fi
    grep -q "QMF_INSTALL_MODULE_DIR must be a folder inside the prefix" "$tmp/install.log" ||
        fail "QMF_INSTALL_MODULE_DIR=$bad: $(cat "$tmp/install.log")"
    [[ ! -e $tmp/bad ]] || fail "QMF_INSTALL_MODULE_DIR=$bad: files were written"
done
echo "installed tree at a moved prefix: layout, module file, search paths and example all good"
