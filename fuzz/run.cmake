# Builds the fuzz targets with clang in BUILD_DIR and runs each for SECONDS,
# starting from the example files and a few number texts. Fails on a crash,
# a sanitizer report or a broken check.
foreach(variable SOURCE_DIR BUILD_DIR CXX GENERATOR SECONDS)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "run.cmake needs -D${variable}=...")
    endif()
endforeach()

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        list(JOIN ARGN " " command)
        message(FATAL_ERROR "failed (${result}): ${command}")
    endif()
endfunction()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BUILD_DIR} -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX})
run(${CMAKE_COMMAND} --build ${BUILD_DIR} -j 2)

# Seeds for the number texts.
set(numbers ${BUILD_DIR}/seeds/numbers)
file(MAKE_DIRECTORY ${numbers})
set(index 0)
foreach(text "  -2147483648" "$FFFFFFFF" "+12" " 1.5e-3  " "-0,25E+38" ".5" "1e4933" "7")
    file(WRITE ${numbers}/seed${index} "${text}")
    math(EXPR index "${index} + 1")
endforeach()

# Seeds for the conditions files.
set(conditions ${BUILD_DIR}/seeds/conditions)
file(MAKE_DIRECTORY ${conditions})
set(index 0)
foreach(text [=[{"forced": [[1, 8]], "forbidden": [[2, 5], [2, 5]]}]=]
             [=[{"max_destinations": {"3": 2, "03": 1}, "max_reprocessed": {"4": 500}}]=]
             [=[{"forced": [[[[1]]]], "x": "\u00e9\n"}]=] "[]")
    file(WRITE ${conditions}/seed${index} "${text}")
    math(EXPR index "${index} + 1")
endforeach()

foreach(target numtext datafile conditions)
    set(corpus ${BUILD_DIR}/corpus/${target})
    file(MAKE_DIRECTORY ${corpus})
    if(target STREQUAL "numtext")
        set(seeds ${numbers})
    elseif(target STREQUAL "conditions")
        set(seeds ${conditions})
    else()
        set(seeds ${SOURCE_DIR}/../examples)
    endif()
    message(STATUS "${target}_fuzz: ${SECONDS} s")
    run(${BUILD_DIR}/${target}_fuzz -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
        -max_len=8192 -artifact_prefix=${BUILD_DIR}/ ${corpus} ${seeds})
endforeach()
