# The hardening every Debian package build gets, from dpkg-buildflags with all its
# hardening features: stack protector, fortified functions, read-only relocations
# bound at start. The build type keeps its own optimisation and debug information.
option(QB_HARDENING "Compile and link with the hardening flags of dpkg-buildflags" ON)
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT QB_HARDENING OR NOT DPKG_BUILDFLAGS)
    return()
endif()

function(qb_buildflags variable out)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${DPKG_BUILDFLAGS} --get ${variable}
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "dpkg-buildflags --get ${variable} failed")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    # Optimisation, debug information and source paths stay the build type's.
    list(FILTER flags EXCLUDE REGEX "^-O|^-g|^-ffile-prefix-map=|^-fdebug-prefix-map=")
    set(${out} ${flags} PARENT_SCOPE)
endfunction()

qb_buildflags(CPPFLAGS _qb_cpp)
qb_buildflags(CFLAGS _qb_c)
qb_buildflags(CXXFLAGS _qb_cxx)
qb_buildflags(LDFLAGS _qb_ld)

# An unoptimised build has nothing to fortify (the C library warns), and the
# sanitizers check those calls themselves.
set(_qb_fortify ${_qb_cpp})
list(FILTER _qb_fortify INCLUDE REGEX "^-D_FORTIFY_SOURCE")
list(FILTER _qb_cpp EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
if(NOT QB_SANITIZE)
    add_compile_options("$<$<NOT:$<CONFIG:Debug>>:${_qb_fortify}>")
endif()
add_compile_options(${_qb_cpp} "$<$<COMPILE_LANGUAGE:C>:${_qb_c}>"
                    "$<$<COMPILE_LANGUAGE:CXX>:${_qb_cxx}>")
add_link_options(${_qb_ld})
