#!/usr/bin/env bash
# Fails when a source file includes a header of its own layer's sibling or of
# a layer above it. Each folder of src/ is one library; a folder may include
# its own headers and those of the layers below it, nothing else, and a
# folder's private state headers ("...State.h") only itself.
#
#   L0 platform
#   L1 volume
#   L2 tavi  mfi  mfivolume      (mfivolume may also use mfi)
#   L3 conversion
#   L4 app  batch
#   web/core (the WebAssembly module's entry) uses conversion and below, as L4 does.
set -euo pipefail
cd "$(dirname "$0")/../src"

allowed() {  # folder -> the folders it may include
    case "$1" in
        platform) echo "platform" ;;
        volume) echo "volume platform" ;;
        tavi | mfi) echo "$1 volume platform" ;;
        mfivolume) echo "mfivolume mfi volume platform" ;;
        conversion) echo "conversion tavi mfi mfivolume volume platform" ;;
        app | batch) echo "$1 conversion tavi mfi mfivolume volume platform" ;;
        *) echo "" ;;
    esac
}

status=0
for dir in */; do
    dir=${dir%/}
    ok=" $(allowed "$dir") "
    if [ "$ok" = "  " ]; then
        echo "src/$dir: a folder the layer order does not name"
        status=1
        continue
    fi
    while IFS=: read -r file line target; do
        used=${target%%/*}
        case "$ok" in
            *" $used "*) ;;
            *) echo "src/$file:$line: $dir must not include $target"; status=1 ;;
        esac
        # A folder's private state ("...State.h") is for that folder alone.
        if [[ "$target" == *State.h && "$used" != "$dir" ]]; then
            echo "src/$file:$line: $target is private to $used"
            status=1
        fi
    done < <(grep -rnoE '#include "[a-z]+/[^"]+"' "$dir" | sed -E 's/#include "([^"]+)"/\1/')
done
# The WebAssembly module's entry (web/core) stands on the conversion layer:
# it may use conversion and the layers below it, like a program's front end.
ok=" $(allowed conversion) "
while IFS=: read -r file line target; do
    case "$ok" in
        *" ${target%%/*} "*) ;;
        *) echo "web/core/$file:$line: the web core must not include $target"; status=1 ;;
    esac
    if [[ "$target" == *State.h ]]; then
        echo "web/core/$file:$line: $target is private to ${target%%/*}"
        status=1
    fi
done < <(cd ../web/core && grep -rnoE '#include "[a-z]+/[^"]+"' . | sed -E 's/^\.\///; s/#include "([^"]+)"/\1/')
# The programs' entry points sit beside the folders and may use any layer.
[ "$status" -eq 0 ] && echo "layers: every include runs downward"
exit "$status"
