# Writes OUT, a compiler response file that makes a program hold and export what the decoding
# module MODULE leaves undefined of the layers' code (read with NM), and nothing else.
execute_process(COMMAND ${NM} -D --undefined-only ${MODULE} OUTPUT_VARIABLE listed
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^ \n]*9slidemill[^ \n]*" symbols "${listed}")
set(options "")
foreach(symbol IN LISTS symbols)
    string(REGEX REPLACE "@.*" "" symbol "${symbol}")
    string(APPEND options "-Wl,--undefined=${symbol} -Wl,--export-dynamic-symbol=${symbol}\n")
endforeach()
if(EXISTS "${OUT}")
    file(READ "${OUT}" before)
endif()
# Unchanged, it is left as it was, so that the programs are not linked again.
if(NOT options STREQUAL before)
    file(WRITE "${OUT}" "${options}")
endif()
