# The Debian package: `cpack -G DEB` in the build folder (see README).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillbeck)
set(CPACK_PACKAGE_VENDOR "The Quillbeck developers")
set(CPACK_PACKAGE_CONTACT "The Quillbeck developers <quillbeck@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "folder board that hides at the left screen edge")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillbeck is a narrow, always-on-top window that hides beyond the left edge of\n\
the screen and slides back when the pointer touches that edge. It holds a board\n\
of 20 folder slots in ten groups per account: a click opens a folder, files\n\
dropped on a slot are copied or moved into its folder.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The package's own revision, as in its changelog.Debian.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_INSTALL_DIRECTORY quillbeck)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Stripped as Debian's own packages are: without the compilers' notes either.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(program quillbeck quillbeck-ini)
            execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
                COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quillbeck.example.org/")
# Library dependencies come from the binaries (dpkg-shlibdeps); a CJK font shows
# the window's Chinese texts, xdg-utils opens folders in the file manager. The
# toolkit's translations put "确定" for "OK" in the boxes of a Chinese session.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-noto-cjk, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
