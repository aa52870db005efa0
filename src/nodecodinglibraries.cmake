# Fails when one of SOURCES (separated by |) includes a header of libvips or libheif: only
# the decoding module's sources may.
string(REPLACE "|" ";" sources "${SOURCES}")
foreach(source IN LISTS sources)
    file(STRINGS "${source}" hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](vips|libheif)/")
    if(hits)
        message(FATAL_ERROR "${source} includes a decoding library (${hits}); only the decoding module's sources may")
    endif()
endforeach()
file(TOUCH "${STAMP}")
