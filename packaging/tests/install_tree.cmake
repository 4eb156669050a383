# Installs the build tree into a temporary DESTDIR, checks the installed files
# and runs the installed zeltrac-cli on an example: its JSON must equal the
# build tree's byte for byte, its report too except for the date line.
# Variables: BUILD_DIR CONFIG WORK_DIR BUILT_CLI EXAMPLE WITH_UI

function(fail message)
    message(FATAL_ERROR "install_tree: ${message}")
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(root "${WORK_DIR}/root")
set(prefix /usr)
set(install_command ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix ${prefix})
if(CONFIG)
    list(APPEND install_command --config "${CONFIG}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env "DESTDIR=${root}" ${install_command}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    fail("cmake --install failed (${result}):\n${output}")
endif()

set(installed "${root}${prefix}")
set(expected
    bin/zeltrac-cli
    share/man/man1/zeltrac-cli.1
    share/doc/zeltrac/examples/line8.dat)
if(WITH_UI)
    list(APPEND expected
        bin/zeltrac
        share/applications/zeltrac.desktop
        share/icons/hicolor/scalable/apps/zeltrac.svg)
endif()
foreach(file IN LISTS expected)
    if(NOT EXISTS "${installed}/${file}")
        fail("${prefix}/${file} was not installed")
    endif()
endforeach()
foreach(program zeltrac-cli zeltrac)
    if(EXISTS "${installed}/bin/${program}" AND NOT IS_DIRECTORY "${installed}/bin/${program}")
        execute_process(COMMAND readelf -d "${installed}/bin/${program}"
                        OUTPUT_VARIABLE dynamic RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            fail("readelf could not read ${program}")
        endif()
        string(FIND "${dynamic}" "${BUILD_DIR}" at)
        if(NOT at EQUAL -1)
            fail("the installed ${program} still looks for libraries in the build tree:\n${dynamic}")
        endif()
    endif()
endforeach()
if(WITH_UI)
    file(READ "${installed}/share/applications/zeltrac.desktop" desktop)
    if(NOT desktop MATCHES "\nExec=zeltrac %f\n" OR NOT desktop MATCHES "\nIcon=zeltrac\n")
        fail("the desktop file does not start zeltrac with its icon:\n${desktop}")
    endif()
endif()

# Both programs run from elsewhere, with nothing pointing at the build tree.
function(run_cli program out)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH LC_ALL=C.UTF-8
                "${program}" --decimal-separator . ${ARGN} "${EXAMPLE}"
        WORKING_DIRECTORY "${WORK_DIR}"
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
        fail("${program} ${ARGN} failed (${result}): ${error}")
    endif()
    set(${out} "${output}" PARENT_SCOPE)
endfunction()

run_cli("${BUILT_CLI}" built_json --json)
run_cli("${installed}/bin/zeltrac-cli" installed_json --json)
if(NOT built_json STREQUAL installed_json)
    fail("JSON differs:\n--- build tree\n${built_json}\n--- installed\n${installed_json}")
endif()
if(NOT built_json MATCHES "\"status\": *\"ok\"")
    fail("the example gave no plan:\n${built_json}")
endif()

# The manual page describes every option the tool's own help lists.
execute_process(COMMAND "${installed}/bin/zeltrac-cli" --help
                RESULT_VARIABLE result OUTPUT_VARIABLE help)
if(NOT result EQUAL 0)
    fail("zeltrac-cli --help failed (${result})")
endif()
file(READ "${installed}/share/man/man1/zeltrac-cli.1" manual)
string(REPLACE "\\-" "-" manual "${manual}")
string(REGEX MATCHALL "--[a-z-]+" options "${help}")
if(NOT options)
    fail("zeltrac-cli --help lists no options:\n${help}")
endif()
foreach(option IN LISTS options)
    if(NOT manual MATCHES "${option}[^a-z-]")
        fail("the manual page does not describe ${option}")
    endif()
endforeach()

set(date_line "\nС ПРИЛОЖЕНИЕМ РАБОТАЕТ:[^\n]*")
run_cli("${BUILT_CLI}" built_report)
run_cli("${installed}/bin/zeltrac-cli" installed_report)
foreach(report built_report installed_report)
    string(REGEX REPLACE "${date_line}" "\n(date)" ${report} "${${report}}")
endforeach()
if(NOT built_report MATCHES "\n\\(date\\)\n")
    fail("the report has no date line:\n${built_report}")
endif()
if(NOT built_report STREQUAL installed_report)
    fail("report differs:\n--- build tree\n${built_report}\n--- installed\n${installed_report}")
endif()
message(STATUS "install_tree: installed files and zeltrac-cli output as expected")
