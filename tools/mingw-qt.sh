# Sourced by the scripts that cross-build for Windows. Sets qt_prefix to a Qt 6 for x86_64 MinGW-w64
# given as a folder holding lib/cmake/Qt6, or as a .tar.xz of one, which is unpacked into BUILD/qt
# when it is newer than what is there:
#   use_mingw_qt QT-FOR-MINGW BUILD
use_mingw_qt() {
    case "$1" in
    *.tar.xz | *.tar.gz | *.tar)
        [ -f "$1" ] || { echo "no Qt for MinGW at $1" >&2; exit 1; }
        if [ ! -f "$2/qt/.unpacked" ] || [ "$1" -nt "$2/qt/.unpacked" ]; then
            rm -rf "$2/qt"
            mkdir -p "$2/qt"
            tar -xf "$1" -C "$2/qt"
            touch "$2/qt/.unpacked"
        fi
        qt_prefix=$(dirname "$(find "$2/qt" -path '*/lib/cmake/Qt6/Qt6Config.cmake' | head -1)")
        qt_prefix=${qt_prefix%/lib/cmake/Qt6}
        ;;
    *)
        qt_prefix=$(cd "$1" && pwd)
        ;;
    esac
    [ -f "$qt_prefix/lib/cmake/Qt6/Qt6Config.cmake" ] || { echo "no Qt 6 in $1" >&2; exit 1; }
}

# The static Qt kept beside the project's clone, as CI has it.
default_mingw_qt=../shared/toolchains/qt6.4.2-mingw-w64-static.tar.xz
