# The skin's asset archive: the art in skin/ plus the Overpass fonts fetched at build time, packed
# into build/assets/Assets.mba. scripts/build-and-install.sh installs it to the shared data folder.
find_program(ORVELUND_NPM npm REQUIRED)

set(ORVELUND_ASSETS_DIR ${CMAKE_BINARY_DIR}/assets)
set(ORVELUND_ASSET_ARCHIVE ${ORVELUND_ASSETS_DIR}/Assets.mba)
set(fonts_tree ${ORVELUND_ASSETS_DIR}/fonts-tree)
set(ORVELUND_FONT_FILES
    ${fonts_tree}/fonts/overpass-regular.ttf
    ${fonts_tree}/fonts/overpass-semibold.ttf
    ${fonts_tree}/fonts/overpass-mono-semibold.ttf
    ${fonts_tree}/fonts/Overpass-OFL.txt
)

add_custom_command(
    OUTPUT ${ORVELUND_FONT_FILES}
    COMMAND ${CMAKE_COMMAND} -DNPM=${ORVELUND_NPM} -DWORK_DIR=${ORVELUND_ASSETS_DIR}/npm
            -DFONTS_DIR=${fonts_tree}/fonts -P ${PROJECT_SOURCE_DIR}/cmake/FetchOverpassFonts.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/FetchOverpassFonts.cmake
    COMMENT "Fetching the Overpass fonts from npm"
    VERBATIM
)

file(GLOB_RECURSE skin_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/skin/*)
add_custom_command(
    OUTPUT ${ORVELUND_ASSET_ARCHIVE}
    COMMAND orvelund-pack-assets ${ORVELUND_ASSET_ARCHIVE} ${PROJECT_SOURCE_DIR}/skin ${fonts_tree}
    DEPENDS orvelund-pack-assets ${ORVELUND_FONT_FILES} ${skin_files}
    COMMENT "Packing Assets.mba"
    VERBATIM
)
add_custom_target(orvelund_assets ALL DEPENDS ${ORVELUND_ASSET_ARCHIVE})
