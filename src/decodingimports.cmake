# Reads the decoding module MODULE as it is built and writes what the programs need of it:
# OUT, a compiler response file that makes a program hold and export what the module leaves
# undefined of the layers' code (read with NM), and nothing else; ID_OUT, a source that defines
# the module's build ID (read with READELF), which the programs check before they load it.

# Unchanged, a file is left as it was, so that nothing is compiled or linked again.
function(write_if_changed path text)
    if(EXISTS "${path}")
        file(READ "${path}" before)
    endif()
    if(NOT text STREQUAL before)
        file(WRITE "${path}" "${text}")
    endif()
endfunction()

execute_process(COMMAND ${NM} -D --undefined-only ${MODULE} OUTPUT_VARIABLE listed
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^ \n]*9slidemill[^ \n]*" symbols "${listed}")
set(options "")
foreach(symbol IN LISTS symbols)
    string(REGEX REPLACE "@.*" "" symbol "${symbol}")
    string(APPEND options "-Wl,--undefined=${symbol} -Wl,--export-dynamic-symbol=${symbol}\n")
endforeach()
write_if_changed("${OUT}" "${options}")

execute_process(COMMAND ${READELF} -n ${MODULE} OUTPUT_VARIABLE notes COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCH "Build ID: ([0-9a-f]+)" found "${notes}")
if(NOT found)
    message(FATAL_ERROR "${MODULE} has no build ID")
endif()
string(CONCAT source "// Made by the build from the decoding module it built.\n"
       "namespace slidemill::pictures {\n"
       "extern const char kDecodingModuleBuildId[] = \"${CMAKE_MATCH_1}\";\n"
       "}\n")
write_if_changed("${ID_OUT}" "${source}")
