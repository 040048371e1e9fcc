# A Wine prefix of its own for one run of NIMBO.exe (the demo, the
# whole-program tests), made in about a second: a copy of a template prefix
# that is booted once per user (wineboot takes some 20 s), with the large
# system32 folder of read-only DLLs hard-linked instead of copied. The
# template uses the null graphics driver: windows and message boxes exist,
# nothing is drawn. Sourced, not run.
#
#   wine_prefix_make DIR   makes the prefix DIR (the template first, when
#                          missing, under a lock); non-zero on failure.
#
# NIMBO_WINE_TEMPLATE overrides the template's place (default
# /tmp/nimbo-wine-template-UID).

WINE_TEMPLATE=${NIMBO_WINE_TEMPLATE:-/tmp/nimbo-wine-template-$(id -u)}

wine_template() {
    (
        flock 9
        [ -f "$WINE_TEMPLATE/.nimbo-ready" ] && exit 0
        rm -rf "$WINE_TEMPLATE.new"
        mkdir -p "$WINE_TEMPLATE.new"
        export WINEPREFIX=$WINE_TEMPLATE.new WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
        wineboot -i >/dev/null 2>&1 || true
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 || exit 1
        wineserver -w
        touch "$WINE_TEMPLATE.new/.nimbo-ready"
        rm -rf "$WINE_TEMPLATE"
        mv "$WINE_TEMPLATE.new" "$WINE_TEMPLATE"
    ) 9>"$WINE_TEMPLATE.lock"
}

wine_prefix_make() {
    local target=$1
    wine_template || return 1
    mkdir -p "$target" || return 1
    tar -C "$WINE_TEMPLATE" --exclude=./drive_c/windows/system32 -cf - . | tar -C "$target" -xf - || return 1
    cp -al "$WINE_TEMPLATE/drive_c/windows/system32" "$target/drive_c/windows/"
}
