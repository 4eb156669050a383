# Installs the build tree into a temporary DESTDIR, checks the installed files
# and runs the installed zeltrac-cli on an example: its JSON must equal the
# build tree's byte for byte, its report too except for the date line. Every
# installed example computes under a Russian and a C locale. When lintian and
# appstreamcli are installed, the Debian package and the metainfo pass them.
# Variables: BUILD_DIR CONFIG WORK_DIR BUILT_CLI EXAMPLE WITH_UI APP_ID

function(fail message)
    message(FATAL_ERROR "install_tree: ${message}")
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(root "${WORK_DIR}/root")
set(prefix /usr)
set(install_command ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix ${prefix})
set(config_option "")
if(CONFIG)
    list(APPEND install_command --config "${CONFIG}")
    set(config_option -C "${CONFIG}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env "DESTDIR=${root}" ${install_command}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    fail("cmake --install failed (${result}):\n${output}")
endif()

set(installed "${root}${prefix}")
set(expected
    bin/zeltrac-cli
    share/man/man1/zeltrac-cli.1.gz
    share/doc/zeltrac/copyright
    share/doc/zeltrac/changelog.gz
    share/doc/zeltrac/examples/line8.dat
    share/doc/zeltrac/examples/line8-comma.dat)
if(WITH_UI)
    list(APPEND expected
        bin/zeltrac
        share/man/man1/zeltrac.1.gz
        share/applications/${APP_ID}.desktop
        share/icons/hicolor/scalable/apps/${APP_ID}.svg
        share/metainfo/${APP_ID}.metainfo.xml)
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
    file(READ "${installed}/share/applications/${APP_ID}.desktop" desktop)
    if(NOT desktop MATCHES "\nExec=zeltrac %f\n" OR NOT desktop MATCHES "\nIcon=${APP_ID}\n"
       OR NOT desktop MATCHES "\nKeywords=[^\n]+\n")
        fail("the desktop file does not start zeltrac with its icon and keywords:\n${desktop}")
    endif()
    # The program tells the desktop its id (in Latin-1 in the binary).
    file(STRINGS "${installed}/bin/zeltrac" ids REGEX "^${APP_ID}$")
    if(NOT ids)
        fail("zeltrac does not name its desktop file ${APP_ID}")
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
execute_process(COMMAND gzip -dc "${installed}/share/man/man1/zeltrac-cli.1.gz"
                OUTPUT_VARIABLE manual RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    fail("the manual page of zeltrac-cli is not gzip-compressed")
endif()
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

# Every installed example computes under both locales. One with fractional
# Tек comes as NAME.dat (decimal point) and NAME-comma.dat (decimal comma),
# the same plan in the two forms; one without reads the same under both.
function(run_example locale file out)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH --unset=LANG --unset=LC_NUMERIC
                LC_ALL=${locale} "${installed}/bin/zeltrac-cli" --json "${file}"
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
    if(NOT result EQUAL 0 OR NOT output MATCHES "\"status\": *\"ok\"")
        fail("${file} does not compute under ${locale} (${result}): ${error}")
    endif()
    set(${out} "${output}" PARENT_SCOPE)
endfunction()
set(examples_dir "${installed}/share/doc/zeltrac/examples")
file(GLOB examples "${examples_dir}/*.dat")
foreach(example IN LISTS examples)
    if(example MATCHES "-comma\\.dat$")
        string(REGEX REPLACE "-comma\\.dat$" ".dat" point_form "${example}")
        if(NOT EXISTS "${point_form}")
            fail("${example} has no form with a decimal point")
        endif()
        continue()
    endif()
    string(REGEX REPLACE "\\.dat$" "-comma.dat" comma_form "${example}")
    if(NOT EXISTS "${comma_form}")
        set(comma_form "${example}")
    endif()
    run_example(C.UTF-8 "${example}" point_json)
    run_example(ru_RU.UTF-8 "${comma_form}" comma_json)
    if(NOT point_json STREQUAL comma_json)
        fail("${comma_form} under ru_RU.UTF-8 gives another plan than ${example} under C.UTF-8")
    endif()
endforeach()

# The package as a distribution checks it: the .deb through lintian (every
# tag; only the unchecked string functions of a build without optimisation
# may stay), the metainfo through appstreamcli.
find_program(lintian lintian)
if(lintian)
    execute_process(COMMAND cpack -G DEB --config "${BUILD_DIR}/CPackConfig.cmake"
                            -B "${WORK_DIR}/package" ${config_option}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    file(GLOB deb "${WORK_DIR}/package/zeltrac_*.deb")
    if(NOT result EQUAL 0 OR NOT deb)
        fail("cpack failed (${result}):\n${output}")
    endif()
    execute_process(COMMAND "${lintian}" --info --pedantic "${deb}"
                    OUTPUT_VARIABLE tags ERROR_QUIET)
    if(NOT CONFIG MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
        string(REGEX REPLACE "I: zeltrac: hardening-no-fortify-functions[^\n]*\n?" "" tags "${tags}")
    endif()
    if(NOT tags STREQUAL "")
        fail("lintian:\n${tags}")
    endif()
endif()
find_program(appstreamcli appstreamcli)
if(appstreamcli AND WITH_UI)
    execute_process(COMMAND "${appstreamcli}" validate --no-net
                            "${installed}/share/metainfo/${APP_ID}.metainfo.xml"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0 OR output MATCHES "(^|\n)[EW]: ")
        fail("appstreamcli validate:\n${output}")
    endif()
endif()
message(STATUS "install_tree: installed files, zeltrac-cli output and package as expected")
