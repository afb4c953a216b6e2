#!/usr/bin/env bash
# Builds the Debian package, installs it through apt exactly as an
# administrator would, and starts the generator for the current user:
# installs the missing build packages, builds in build/, makes
# build/morvanta_<version>_amd64.deb, installs it with apt-get (which brings
# the runtime packages it depends on), puts the sample data in
# ~/Morvanta/下载数据/ when no data file is waiting there, then starts
# Morvanta, or, without a display, the console front end over that data.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build"

say() { printf '%s\n' "$@"; }

bash "$repo/scripts/install-deps.sh"

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/morvanta_*_amd64.deb
cmake --build "$build" --target package
package=$(ls "$build"/morvanta_*_amd64.deb)

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
# --reinstall: a rebuilt package of the same version replaces the installed one.
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --reinstall "$package"
say "已安装软件包 / Package installed: $(basename "$package")"

# The sample data goes where the generator reads, unless data is waiting there.
# The first start makes the rest of ~/Morvanta and copies the templates.
data="$HOME/Morvanta/下载数据/down.xls"
if [ ! -e "$data" ] && [ ! -L "$data" ]; then
    mkdir -p "$(dirname "$data")"
    cp /usr/share/morvanta/down.xls "$data.part"
    mv -n "$data.part" "$data"
    rm -f "$data.part"
    say "已放入样例数据 / Sample data placed at $data"
else
    say "保留待处理的数据文件 / Keeping the waiting data file $data"
fi

display_available() {
    if [ -n "${WAYLAND_DISPLAY:-}" ]; then
        return 0
    fi
    [ -n "${DISPLAY:-}" ] || return 1
    # A DISPLAY that names no reachable X server is no display.
    if command -v xdpyinfo >/dev/null 2>&1; then
        xdpyinfo >/dev/null 2>&1
    fi
}

if display_available; then
    say "正在启动 Morvanta / Starting Morvanta"
    setsid -f morvanta </dev/null >/dev/null 2>&1
    exit 0
fi

say "没有可用的显示器，无法打开窗口。 / No display is available, so no window can be opened."
say "改用控制台生成：morvanta-console / Generating on the console instead: morvanta-console"
exec morvanta-console
