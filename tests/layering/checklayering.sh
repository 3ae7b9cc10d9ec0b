#!/usr/bin/env bash
# Fails when a folder includes from a folder it may not use, or an engine folder includes a Qt
# Widgets or Qt Gui header; prints every offending include.
#   checklayering.sh SOURCE_DIR QT_INCLUDE_DIRS [PROGRAM]
# QT_INCLUDE_DIRS: the include folders of Qt Widgets (';'-separated, as CMake lists them); their
# QtWidgets and QtGui folders name the forbidden headers. PROGRAM, when given, is a program
# linked from the engine libraries alone: it must not load Qt Widgets or Qt Gui.
set -euo pipefail
source_dir=$1
qt_dirs=$2
program=${3:-}

# Who may include whom: the folder itself and the ones listed. The folders read top-down.
declare -A allowed=(
    [core]="core"
    [httpserver]="httpserver"
    [discovery]="discovery core"
    [transfer]="transfer core"
    [web]="web httpserver core"
    [cli]="cli discovery transfer web httpserver core"
    [gui]="gui discovery transfer web httpserver core"
    [app]="app cli gui discovery transfer web httpserver core"
)
engines=(core httpserver discovery transfer web cli)
project_folders="${!allowed[*]} tests fuzz bench"

declare -A windowing=()
IFS=';' read -ra dirs <<<"$qt_dirs"
for dir in "${dirs[@]}"; do
    case $dir in
    */QtWidgets | */QtGui)
        for header in "$dir"/*; do
            windowing[$(basename "$header")]=1
        done
        ;;
    esac
done
if [ ${#windowing[@]} -eq 0 ]; then
    echo "no Qt Widgets or Qt Gui headers found in: $qt_dirs" >&2
    exit 2
fi

failures=0
report()
{
    echo "$1: $2" >&2
    failures=$((failures + 1))
}

cd "$source_dir"
for folder in "${!allowed[@]}"; do
    [ -d "$folder" ] || continue
    is_engine=0
    for engine in "${engines[@]}"; do
        [ "$engine" = "$folder" ] && is_engine=1
    done
    while IFS= read -r match; do
        file=${match%%:*}
        rest=${match#*:}
        line=${rest%%:*}
        include=${rest#*:}
        if [[ $include =~ \#include[[:space:]]*\"([a-z]+)/ ]]; then
            target=${BASH_REMATCH[1]}
            case " $project_folders " in *" $target "*) ;; *) continue ;; esac
            case " ${allowed[$folder]} " in
            *" $target "*) ;;
            *) report "$file:$line" "$folder may not include from $target: $include" ;;
            esac
        elif [ $is_engine = 1 ] && [[ $include =~ \#include[[:space:]]*\<(QtWidgets/|QtGui/)?([A-Za-z0-9_]+)\> ]]; then
            header=${BASH_REMATCH[2]}
            if [ -n "${BASH_REMATCH[1]}" ] || [ -n "${windowing[$header]:-}" ]; then
                report "$file:$line" "engine folder $folder may not use Qt Widgets or Qt Gui: $include"
            fi
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include' --include='*.h' --include='*.cpp' "$folder" || true)
done

if [ -n "$program" ]; then
    if ldd "$program" | grep -E 'libQt[56](Widgets|Gui)' >&2; then
        report "$program" "a program of the engine libraries loads Qt Widgets or Qt Gui"
    fi
fi

if [ $failures -gt 0 ]; then
    echo "$failures layering violation(s)" >&2
    exit 1
fi
echo "layering holds"
