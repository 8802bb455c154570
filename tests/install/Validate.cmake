# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the freedesktop validator for the installed desktop entry (CHECK=desktop) or
# metainfo (CHECK=metainfo) in STAGE. Exit 77 (skipped) when the validator is missing;
# scripts/setup installs both.
if(CHECK STREQUAL "desktop")
    find_program(tool desktop-file-validate)
    set(args ${STAGE}/usr/share/applications/${APP_ID}.desktop)
    set(package desktop-file-utils)
else()
    find_program(tool appstreamcli)
    set(args validate --no-net ${STAGE}/usr/share/metainfo/${APP_ID}.metainfo.xml)
    set(package appstream)
endif()
if(NOT tool)
    message("SKIP: the validator is not installed (Debian package ${package})")
    cmake_language(EXIT 77)
endif()
execute_process(COMMAND ${tool} ${args} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${tool} failed (${rc})")
endif()
