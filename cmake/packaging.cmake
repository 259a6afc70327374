# Man pages (from the programs' own --help, when help2man is there), the bash completion, and the
# Debian package: `cpack -G DEB` in the build folder.
include(GNUInstallDirs)

find_program(RM7_HELP2MAN help2man)
if(RM7_HELP2MAN)
    set(rm7_man_pages)
    foreach(program rm7util rm7-sim)
        if(program STREQUAL "rm7util")
            set(summary "RM7 Utility from the command line")
        else()
            set(summary "a simulated RM7 transceiver on a pseudo-terminal")
        endif()
        set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
        # rm7util's page holds every command's help, not only the program's.
        set(help_option --help)
        if(program STREQUAL "rm7util")
            set(help_option "help --all")
        endif()
        add_custom_command(OUTPUT ${page} ${page}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
            COMMAND ${RM7_HELP2MAN} --no-info --no-discard-stderr --section 1 --name ${summary} --help-option=${help_option}
                    --output ${page} $<TARGET_FILE:${program}>
            COMMAND gzip -9 -n -k -f ${page}
            DEPENDS ${program}
            COMMENT "Man page of ${program}"
            VERBATIM)
        list(APPEND rm7_man_pages ${page}.gz)
    endforeach()
    add_custom_target(man ALL DEPENDS ${rm7_man_pages})
    # OPTIONAL: an install after a build of the programs alone (scripts/run.sh) still installs them.
    install(FILES ${rm7_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 OPTIONAL)
else()
    message(STATUS "help2man not found: no man pages (Debian package help2man)")
endif()

install(FILES resources/completion/rm7util DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
add_test(NAME rm7util_completion_test
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/completion/completion_test.sh
            ${CMAKE_SOURCE_DIR}/resources/completion/rm7util $<TARGET_FILE_DIR:rm7util>)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rm7-utility)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tarnwell)
set(CPACK_PACKAGE_CONTACT "RM7 Utility maintainers <rm7-utility@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware, configuration and serial-port utility for the RM7 HF transceiver")
set(CPACK_PACKAGE_DESCRIPTION
    "The desktop program rm7-utility, the command-line tool rm7util and the simulated radio rm7-sim: find\n the radio on a serial port, load its firmware, save, restore and compare its configuration.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
# The libraries the programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "man-db")
set(CPACK_STRIP_FILES ON)
include(CPack)
