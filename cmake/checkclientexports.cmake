# Checks that every symbol the library takes from the cloud client library is exported by the
# client library it was built with, so that a different client build that lacks one fails the
# build instead of a lesson. Run as: cmake -DLIBRARY=<libtaviosystem2.so>
#   -DCLIENT=<libtessalyclient.so> -DNM=<nm> -P checkclientexports.cmake
foreach(var LIBRARY CLIENT NM)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "checkclientexports: ${var} is not set")
    endif()
endforeach()

execute_process(COMMAND ${NM} -D --undefined-only ${LIBRARY}
    OUTPUT_VARIABLE imported RESULT_VARIABLE imported_result)
execute_process(COMMAND ${NM} -D --defined-only ${CLIENT}
    OUTPUT_VARIABLE exported RESULT_VARIABLE exported_result)
if(NOT imported_result EQUAL 0 OR NOT exported_result EQUAL 0)
    message(FATAL_ERROR "checkclientexports: nm failed on ${LIBRARY} or ${CLIENT}")
endif()

# The client's names: its three presenter classes, its namespace and its message type (mangled).
string(REGEX MATCHALL "[^ \n]*(15PresenterClient|15PresenterCollab|19PresenterAssessment|7Tessaly|20RemoteControlMessage)[^ \n]*"
    wanted "${imported}")
list(REMOVE_DUPLICATES wanted)
set(missing "")
foreach(symbol ${wanted})
    string(FIND "${exported}" " ${symbol}\n" at)
    if(at EQUAL -1)
        list(APPEND missing ${symbol})
    endif()
endforeach()
list(LENGTH wanted count)
if(count EQUAL 0)
    message(FATAL_ERROR "checkclientexports: ${LIBRARY} takes nothing from the client library")
endif()
if(missing)
    message(FATAL_ERROR "checkclientexports: the client library lacks: ${missing}")
endif()
message(STATUS "checkclientexports: all ${count} client symbols are exported")
