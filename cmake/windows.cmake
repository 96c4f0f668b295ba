# What a Windows build needs from this Linux machine: the Windows version it targets, the
# header-only Asio (from Debian's libasio-dev, outside the cross compiler's search path),
# and GoogleTest built from Debian's sources. The tests run under Wine
# (tests/support/wine/windows-session).
enable_language(RC)

# Windows 10 and later, Unicode throughout; no min/max macros to clash with std::min.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 NTDDI_VERSION=0x0A000000
    UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
# Stripped: the programs ship as they are built.
add_link_options(-s)

# Asio alone, not the rest of /usr/include, whose C library headers are not Windows'.
set(CORVANE_ASIO_INCLUDE ${CMAKE_BINARY_DIR}/asio-include)
file(MAKE_DIRECTORY ${CORVANE_ASIO_INCLUDE})
file(CREATE_LINK /usr/include/asio ${CORVANE_ASIO_INCLUDE}/asio SYMBOLIC)
file(CREATE_LINK /usr/include/asio.hpp ${CORVANE_ASIO_INCLUDE}/asio.hpp SYMBOLIC)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
