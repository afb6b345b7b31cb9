#!/usr/bin/env bash
# The installed program: installs the build into a staging prefix (with --deb: makes the Debian
# package and unpacks it), checks the layout and the desktop entry, and makes the Demo report with
# the installed binary, which must take its data from its own share/quorvel.
# Usage: install_check.sh BUILD_DIR SOURCE_DIR [--deb]
set -euo pipefail

build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
mode=${3:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-install-check.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The icons the window loads from the program folder.
icons=(quorvel new-profile edit-profile copy-profile delete-profile report clear-reports exit help tips
    open-report delete-report filter-on filter-off ftp-on ftp-off profile-row report-row)

# check_layout PREFIX: the program, its whole data folder, the menu entry and its icon.
check_layout() {
    local prefix=$1 program=$1/share/quorvel
    local binary
    for binary in quorvel quorvel-window; do
        [[ -x $prefix/bin/$binary ]] || fail "$prefix/bin/$binary is missing or not executable"
    done
    local folder
    for folder in static templates xsllib lang chartsvg groups samples icons help; do
        [[ $folder == help && ! -d $source/data/help ]] && continue
        diff -rq "$source/data/$folder" "$program/$folder" >&2 || fail "$program/$folder differs from data/$folder"
    done
    cmp "$source/data/cvtips.txt" "$program/cvtips.txt" || fail "cvtips.txt not installed"
    local icon
    for icon in "${icons[@]}"; do
        [[ -s $program/icons/$icon.svg ]] || fail "icon $icon.svg not installed"
    done
    local desktop=$prefix/share/applications/quorvel.desktop
    [[ -f $desktop ]] || fail "$desktop is missing"
    desktop-file-validate "$desktop" || fail "$desktop is not valid"
    local exec iconName
    exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    iconName=$(sed -n 's/^Icon=//p' "$desktop")
    [[ -x $prefix/bin/$exec ]] || fail "the menu entry runs '$exec', which is not installed"
    [[ -f $prefix/share/icons/hicolor/scalable/apps/$iconName.svg ]] || fail "the menu entry's icon '$iconName' is not installed"
    cmp "$source/data/quorvel.1" "$prefix/share/man/man1/quorvel.1" || fail "the manual page is not installed"
    cmp "$source/data/completion/quorvel.bash" "$prefix/share/bash-completion/completions/quorvel" ||
        fail "the bash completion is not installed"
}

# run_demo PREFIX: the Demo report without QUORVEL_HOME or a display, in a sandbox of its own.
# A marker put into the installed language file must reach the report.
run_demo() {
    local prefix=$1 sandbox=$work/run
    local marker="(installed copy)"
    sed -i "2s/\$/ $marker/" "$prefix/share/quorvel/lang/english.lng"
    mkdir -p "$sandbox/home" "$sandbox/tmp"
    local output status=0
    output=$(env -u QUORVEL_HOME -u DISPLAY -u WAYLAND_DISPLAY HOME="$sandbox/home" XDG_DATA_HOME="$sandbox/data" \
        XDG_CONFIG_HOME="$sandbox/config" TMPDIR="$sandbox/tmp" timeout 60 "$prefix/bin/quorvel" Demo 2>&1) || status=$?
    [[ $status == 0 ]] || fail "quorvel Demo ended with status $status: $output"
    grep -q "^Report written: " <<<"$output" || fail "no 'Report written:' in: $output"
    local toc
    toc=$(sed -n 's/^Report written: //p' <<<"$output" | head -n 1)
    [[ $(basename "$toc") == TOC.htm && -f $toc ]] || fail "report start page '$toc' does not exist"
    [[ $toc == "$sandbox/data/"* ]] || fail "report '$toc' is outside the sandbox's data folder"
    grep -rqF -- "$marker" "$(dirname "$toc")" || fail "the report did not use the installed language file"
    grep -qF "$prefix/share/quorvel/samples/" "$sandbox/data/Corvantis/Quorvel/profiles/Demo.xml" ||
        fail "the Demo profile does not read the installed samples"
}

if [[ $mode != --deb ]]; then
    unset DESTDIR
    cmake --install "$build" --prefix "$work/stage" >"$work/install.log" || {
        cat "$work/install.log" >&2
        fail "cmake --install failed"
    }
    check_layout "$work/stage"
    run_demo "$work/stage"
    echo "installed layout and Demo report: ok"
    exit 0
fi

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    fail "cpack -G DEB failed"
}
debs=("$work"/package/*.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || fail "cpack made no single .deb: ${debs[*]}"
deb=${debs[0]}
[[ $(dpkg-deb -f "$deb" Package) == quorvel ]] || fail "package name is not quorvel"
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"

dpkg-deb -x "$deb" "$work/root"
prefix=$work/root/usr
[[ $("$prefix/bin/quorvel" --version) == *" $version" ]] || fail "package version $version is not the program's"

# Every package named, the run-time ones and the owner of each linked library.
has_depend() {
    local entry entries
    IFS=, read -ra entries <<<"$depends"
    for entry in "${entries[@]}"; do
        entry=${entry# }
        [[ ${entry%% *} == "$1" ]] && return 0
    done
    return 1
}
for package in libcurl4 qt6-qpa-plugins libqt6svg6 fonts-liberation xdg-utils; do
    has_depend "$package" || fail "Depends lacks $package"
done
# Each library either program links, its path as the loader finds it and resolved, asked of
# dpkg at once.
needed=$(for binary in quorvel quorvel-window; do
    objdump -p "$prefix/bin/$binary" | awk '$1 == "NEEDED" { print $2 }'
done | sort -u)
# The unattended run starts no window: its program does not load Qt.
if objdump -p "$prefix/bin/quorvel" | awk '$1 == "NEEDED" { print $2 }' | grep -q '^libQt'; then
    fail "quorvel links Qt, which only quorvel-window needs"
fi
declare -A found=()
while read -r library path; do
    found[$library]=$path
done < <(ldd "$prefix/bin/quorvel" "$prefix/bin/quorvel-window" | awk '$2 == "=>" && $3 ~ /^\// { print $1, $3 }')
paths=()
for library in $needed; do
    [[ -n ${found[$library]:-} ]] || fail "$library is not found"
    paths+=("${found[$library]}" "$(readlink -f "${found[$library]}")")
done
owners=$(dpkg -S "${paths[@]}" 2>/dev/null || true)
for library in $needed; do
    path=${found[$library]}
    owner=$(awk -F': ' -v a="$path" -v b="$(readlink -f "$path")" '$2 == a || $2 == b { sub(/:.*/, "", $1); print $1; exit }' <<<"$owners")
    [[ -n $owner ]] || continue # a library no package owns (a local build) cannot be a dependency
    has_depend "$owner" || fail "Depends lacks $owner, the package of $library"
done

check_layout "$prefix"
run_demo "$prefix"

if [[ $(id -u) == 0 ]]; then
    apt-get install --simulate "$deb" >"$work/apt.log" 2>&1 || {
        cat "$work/apt.log" >&2
        fail "apt-get cannot install $deb"
    }
fi
echo "Debian package $(basename "$deb"): ok"
