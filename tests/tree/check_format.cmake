# Runs clang-format in check mode over every C++ source of the project.
file(GLOB_RECURSE sources RELATIVE ${ROOT}
     ${ROOT}/app/*.cpp ${ROOT}/app/*.h ${ROOT}/board/*.cpp ${ROOT}/board/*.h
     ${ROOT}/dock/*.cpp ${ROOT}/dock/*.h ${ROOT}/drop/*.cpp ${ROOT}/drop/*.h
     ${ROOT}/engine/*.cpp ${ROOT}/engine/*.h ${ROOT}/harness/*.cpp ${ROOT}/harness/*.h
     ${ROOT}/history/*.cpp ${ROOT}/history/*.h
     ${ROOT}/help/*.cpp ${ROOT}/help/*.h
     ${ROOT}/platform/*.cpp ${ROOT}/platform/*.h ${ROOT}/store/*.cpp ${ROOT}/store/*.h
     ${ROOT}/send/*.cpp ${ROOT}/send/*.h
     ${ROOT}/verdict/*.cpp ${ROOT}/verdict/*.h
     ${ROOT}/tests/*.cpp ${ROOT}/tests/*.h ${ROOT}/bench/*.cpp ${ROOT}/bench/*.h)
list(LENGTH sources count)
if(count EQUAL 0)
    message(FATAL_ERROR "no C++ sources found under ${ROOT}")
endif()
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources}
                WORKING_DIRECTORY ${ROOT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "clang-format: the files above differ from the repository's format")
endif()
message(STATUS "${count} files formatted as .clang-format says")
