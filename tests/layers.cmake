# Fails when a file of the headless core (core/, sources/, report/, profile/) includes a Qt
# header or anything of the application: the core must build and run without either.
# usage: cmake -DROOT=<source folder> -P layers.cmake
file(GLOB_RECURSE files ${ROOT}/core/* ${ROOT}/sources/* ${ROOT}/report/* ${ROOT}/profile/*)
set(bad "")
foreach(file IN LISTS files)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z]|Qt|q[a-z_]*\\.h|app/)")
    foreach(line IN LISTS lines)
        string(APPEND bad "\n  ${file}: ${line}")
    endforeach()
endforeach()
if(bad)
    message(FATAL_ERROR "The core includes Qt or the application:${bad}")
endif()
message(STATUS "${ROOT}: the core includes neither Qt nor the application")
