#!/bin/sh
# Runs one test apart from the machine's desktop and its user, so that it passes
# whatever else is installed or set up:
#   isolated.sh WORLD TEST [ARGUMENTS...]
# WORLD, emptied first, holds a fresh home with its XDG folders, a private
# runtime folder and empty system XDG folders: no ~/.config, no desktop entries
# from /usr/share/applications for xdg-open to choose from, no icon themes. The
# session bus address leads nowhere (a test that needs a bus starts its own),
# and nothing can start one for the test. Desktop, toolkit and input-method
# settings are dropped, and fontconfig sees only the fonts the test command
# installs (fonts.conf beside this script).
set -eu
world=$1
shift
rm -rf "$world"
mkdir -p "$world/home/.config" "$world/home/.local/share" "$world/home/.local/state" \
    "$world/home/.cache" "$world/runtime" "$world/xdg/config" "$world/xdg/data"
chmod 700 "$world/runtime"

export HOME="$world/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
export XDG_STATE_HOME="$HOME/.local/state" XDG_CACHE_HOME="$HOME/.cache"
export XDG_RUNTIME_DIR="$world/runtime"
export XDG_CONFIG_DIRS="$world/xdg/config" XDG_DATA_DIRS="$world/xdg/data"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$world/runtime/no-bus"
export BROWSER=false
export FONTCONFIG_FILE="$(cd "$(dirname "$0")" && pwd)/fonts.conf"
unset DISPLAY WAYLAND_DISPLAY XAUTHORITY SESSION_MANAGER DESKTOP_SESSION \
    XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP XDG_SESSION_TYPE XDG_SESSION_CLASS \
    XDG_SESSION_ID XDG_SEAT XDG_VTNR XDG_MENU_PREFIX GNOME_DESKTOP_SESSION_ID \
    KDE_FULL_SESSION KDE_SESSION_VERSION QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE \
    QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR \
    QT_ENABLE_HIGHDPI_SCALING QT_SCALE_FACTOR_ROUNDING_POLICY QT_FONT_DPI QT_IM_MODULE \
    QT_ACCESSIBILITY QT_LINUX_ACCESSIBILITY_ALWAYS_ON QT_PLUGIN_PATH QT_WAYLAND_SHELL_INTEGRATION \
    GTK_IM_MODULE GTK_THEME GTK_MODULES GTK2_RC_FILES GTK_RC_FILES GDK_BACKEND GDK_SCALE \
    GDK_DPI_SCALE XMODIFIERS CLUTTER_IM_MODULE XCURSOR_THEME XCURSOR_SIZE \
    QT_LOGGING_RULES QT_MESSAGE_PATTERN QT_FATAL_WARNINGS FONTCONFIG_PATH 2>/dev/null || true
exec "$@"
