# Fetches the Overpass fonts from their npm packages and lays them out under the archive names the
# editor asks for. Run as a script: cmake -DNPM=... -DWORK_DIR=... -DFONTS_DIR=... -P this-file.
#
# The packages are pinned by version and by the SHA-256 of their tarballs, so a build always
# ships the same font files.
cmake_minimum_required(VERSION 3.22)

set(overpass_version 0.4.2)
set(overpass_sha256 0d4d2f0e02324752129a941f0801cb2cebb71be42d1baa90ac7c9b483ea96c5f)
set(overpass_mono_sha256 9ef3fe3896d43014f2624294e1439e76d83f96f8ffe2933bfab17525bfe51157)

foreach(variable NPM WORK_DIR FONTS_DIR)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "FetchOverpassFonts.cmake needs -D${variable}=...")
    endif()
endforeach()

file(MAKE_DIRECTORY ${WORK_DIR} ${FONTS_DIR})

function(fetch_package package tarball sha256)
    set(path ${WORK_DIR}/${tarball})
    if(EXISTS ${path})
        file(SHA256 ${path} existing)
        if(NOT existing STREQUAL sha256)
            file(REMOVE ${path})
        endif()
    endif()
    if(NOT EXISTS ${path})
        # A cache of our own keeps the build from writing into the user's npm cache.
        execute_process(
            COMMAND ${NPM} pack ${package}@${overpass_version} --silent
                    --cache ${WORK_DIR}/npm-cache --pack-destination ${WORK_DIR}
            RESULT_VARIABLE result
            OUTPUT_QUIET)
        if(NOT result EQUAL 0 OR NOT EXISTS ${path})
            message(FATAL_ERROR "npm pack ${package}@${overpass_version} failed (is the npm registry reachable?)")
        endif()
    endif()
    file(SHA256 ${path} actual)
    if(NOT actual STREQUAL sha256)
        file(REMOVE ${path})
        message(FATAL_ERROR "${tarball} has SHA-256 ${actual}, expected ${sha256}")
    endif()

    set(unpacked ${WORK_DIR}/${package})
    file(REMOVE_RECURSE ${unpacked})
    file(MAKE_DIRECTORY ${unpacked})
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar xzf ${path} WORKING_DIRECTORY ${unpacked} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "cannot unpack ${tarball}")
    endif()
endfunction()

fetch_package(@expo-google-fonts/overpass expo-google-fonts-overpass-${overpass_version}.tgz ${overpass_sha256})
fetch_package(@expo-google-fonts/overpass-mono expo-google-fonts-overpass-mono-${overpass_version}.tgz
              ${overpass_mono_sha256})

set(overpass ${WORK_DIR}/@expo-google-fonts/overpass/package)
set(overpass_mono ${WORK_DIR}/@expo-google-fonts/overpass-mono/package)
file(COPY_FILE ${overpass}/400Regular/Overpass_400Regular.ttf ${FONTS_DIR}/overpass-regular.ttf)
file(COPY_FILE ${overpass}/600SemiBold/Overpass_600SemiBold.ttf ${FONTS_DIR}/overpass-semibold.ttf)
file(COPY_FILE ${overpass_mono}/600SemiBold/OverpassMono_600SemiBold.ttf ${FONTS_DIR}/overpass-mono-semibold.ttf)
# Both families come under the same SIL Open Font License notice; it travels with the fonts.
file(COPY_FILE ${overpass}/LICENSE_FONT ${FONTS_DIR}/Overpass-OFL.txt)
