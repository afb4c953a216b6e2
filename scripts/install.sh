#!/usr/bin/env bash
# Installs Morvanta and Tolberin for the current user and starts the generator:
# installs the missing Debian packages, builds in build/, installs into
# ~/Morvanta/ (templates already there are kept), registers the desktop
# entries, puts the sample data in place when no data file is waiting, then
# starts Morvanta, or, without a display, runs MorvantaConsole over that data.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build"
prefix="$HOME/Morvanta"

say() { printf '%s\n' "$@"; }

bash "$repo/scripts/install-deps.sh"

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"
cmake --install "$build" --prefix "$prefix"

# Desktop entries name the installed programs by absolute path; the desktop
# finds them in the user's applications folder.
shopt -s nullglob
entries=("$prefix"/share/applications/*.desktop)
shopt -u nullglob
if [ ${#entries[@]} -gt 0 ]; then
    applications="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
    mkdir -p "$applications"
    cp -f "${entries[@]}" "$applications/"
    if command -v update-desktop-database >/dev/null 2>&1; then
        update-desktop-database "$applications" >/dev/null 2>&1 || true
    fi
    say "已登记桌面菜单项 / Desktop entries registered in $applications"
fi

# Templates and documents ask for 宋体 (SimSun) by name. Without it, Linux
# falls back to a sans-serif face; point the name at the Song-style Noto Serif
# CJK SC for this user, so certificates show and print in a Song face.
fontconfig="${XDG_CONFIG_HOME:-$HOME/.config}/fontconfig/conf.d"
mkdir -p "$fontconfig"
cat >"$fontconfig/60-morvanta-songti.conf" <<'EOF'
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<!-- Written by the Morvanta install: 宋体 / SimSun shown with Noto Serif CJK SC. -->
<fontconfig>
  <alias binding="same">
    <family>宋体</family>
    <prefer><family>Noto Serif CJK SC</family></prefer>
  </alias>
  <alias binding="same">
    <family>SimSun</family>
    <prefer><family>Noto Serif CJK SC</family></prefer>
  </alias>
</fontconfig>
EOF

# The sample data goes where the generator reads, unless data is waiting there.
data="$prefix/下载数据/down.xls"
sample="$prefix/share/down.xls"
if [ -f "$sample" ] && [ ! -e "$data" ] && [ ! -L "$data" ]; then
    cp "$sample" "$data.part"
    mv -n "$data.part" "$data"
    rm -f "$data.part"
    say "已放入样例数据 / Sample data placed at $data"
elif [ -e "$data" ]; then
    say "保留待处理的数据文件 / Keeping the waiting data file $data"
fi

say "已安装到 $prefix / Installed into $prefix"

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

if display_available && [ -x "$prefix/Morvanta" ]; then
    say "正在启动 Morvanta / Starting Morvanta"
    cd "$prefix"
    setsid -f "$prefix/Morvanta" </dev/null >/dev/null 2>&1
    exit 0
fi

if ! display_available; then
    say "没有可用的显示器，无法打开窗口。 / No display is available, so no window can be opened."
fi
if [ -x "$prefix/MorvantaConsole" ]; then
    say "改用控制台生成：$prefix/MorvantaConsole / Generating on the console instead: $prefix/MorvantaConsole"
    cd "$prefix"
    exec "$prefix/MorvantaConsole"
fi
say "生成程序尚未构建，安装到此结束。 / The generator is not built yet; installing ends here."
