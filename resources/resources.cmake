# The embedded resource list: icons under :/icons/ and licence texts under
# :/licenses/LICENSES/. Stored uncompressed so they are read straight from
# the binary.
set(CORVEL_ICONS
    arrow-down arrow-right arrow-right-to-line arrow-up arrow-up-from-line
    fast-forward filled-circle folder heart heart-plus list-music list-plus
    list-start log-out palette pause play repeat repeat-1 rewind rotate-ccw
    scaling search shuffle stop trash-2 volume volume-1 volume-2 volume-x x)
list(TRANSFORM CORVEL_ICONS PREPEND "${CMAKE_CURRENT_LIST_DIR}/icons/")
list(TRANSFORM CORVEL_ICONS APPEND ".svg")

qt_add_resources(corvel "corvel_icons"
    PREFIX "/icons"
    BASE "${CMAKE_CURRENT_LIST_DIR}/icons"
    FILES ${CORVEL_ICONS}
    OPTIONS -no-compress)

qt_add_resources(corvel "corvel_licenses"
    PREFIX "/licenses"
    BASE "${CMAKE_CURRENT_LIST_DIR}"
    FILES
        "${CMAKE_CURRENT_LIST_DIR}/LICENSES/LGPL-3.0.txt"
        "${CMAKE_CURRENT_LIST_DIR}/LICENSES/ISC.txt"
        "${CMAKE_CURRENT_LIST_DIR}/LICENSES/MIT.txt"
    OPTIONS -no-compress)
