# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into STAGE as a package would (prefix /usr, DESTDIR) and checks that
# every file is where the desktop looks for it. Inputs: BUILD, STAGE, UI, APP_ID, VERSION,
# ICON_SIZES.
file(REMOVE_RECURSE ${STAGE})
set(ENV{DESTDIR} ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix /usr
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${err}")
endif()
set(root ${STAGE}/usr)

set(expected
    bin/vorlane-gif-cli
    share/man/man1/vorlane-gif-cli.1.gz
    share/licenses/vorlane-gif/LICENSE
    share/doc/vorlane-gif/copyright)
if(UI)
    list(APPEND expected
        bin/vorlane-gif
        share/applications/${APP_ID}.desktop
        share/metainfo/${APP_ID}.metainfo.xml
        share/icons/hicolor/scalable/apps/${APP_ID}.svg
        share/man/man1/vorlane-gif.1.gz
        share/vorlane-gif/help/index.html
        share/vorlane-gif/help/style.css
        share/vorlane-gif/help/images/main-window.png)
    foreach(size IN LISTS ICON_SIZES)
        list(APPEND expected share/icons/hicolor/${size}x${size}/apps/${APP_ID}.png)
    endforeach()
endif()
set(missing)
foreach(f IN LISTS expected)
    if(NOT EXISTS ${root}/${f})
        list(APPEND missing ${f})
    endif()
endforeach()
if(missing)
    message(FATAL_ERROR "not installed: ${missing}")
endif()

# Nothing beside the prefix, and no build or test leftovers inside it.
file(GLOB_RECURSE all RELATIVE ${STAGE} ${STAGE}/*)
foreach(f IN LISTS all)
    if(NOT f MATCHES "^usr/(bin|share)/" OR f MATCHES "(test_|\\.a$|/include/)")
        message(FATAL_ERROR "unexpected file installed: ${f}")
    endif()
endforeach()

if(UI)
    # The PNG icons have the size their folder says.
    foreach(size IN LISTS ICON_SIZES)
        file(READ ${root}/share/icons/hicolor/${size}x${size}/apps/${APP_ID}.png header
             LIMIT 24 HEX)
        string(SUBSTRING "${header}" 32 8 width_hex)
        math(EXPR width "0x${width_hex}")
        if(NOT width EQUAL size)
            message(FATAL_ERROR "${size}x${size} icon is ${width} pixels wide")
        endif()
    endforeach()
    # The installed editor finds nothing amiss without a display.
    execute_process(COMMAND ${root}/bin/vorlane-gif --version
                    OUTPUT_VARIABLE out RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR NOT out STREQUAL "vorlane-gif ${VERSION}\n")
        message(FATAL_ERROR "vorlane-gif --version gave ${rc}: '${out}'")
    endif()
endif()
message(STATUS "installed under ${root}: all in place")
