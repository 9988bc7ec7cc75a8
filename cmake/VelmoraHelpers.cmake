# Shared compile settings for every target of the project: link velmora_common PRIVATE.
add_library(velmora_common INTERFACE)
target_compile_options(velmora_common INTERFACE -Wall -Wextra)
target_compile_definitions(velmora_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_USE_QSTRINGBUILDER
    QT_NO_KEYWORDS
    $<$<CONFIG:Debug>:_GLIBCXX_ASSERTIONS>
    $<$<CONFIG:Debug>:QT_FORCE_ASSERTS>)
# Older Qt lacks the macro; defining it there is harmless but pointless.
if(Qt6_VERSION VERSION_GREATER_EQUAL 6.7)
    target_compile_definitions(velmora_common INTERFACE QT_NO_CONTEXTLESS_CONNECT)
endif()
if(VELMORA_SANITIZE)
    target_compile_options(velmora_common INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(velmora_common INTERFACE -fsanitize=address,undefined)
endif()

# velmora_target_path(<var> <path>): the path as the program under test sees it. Wine maps the
# host's root to drive Z:, so tests see drive letters as on Windows.
function(velmora_target_path var path)
    if(WIN32 AND CMAKE_CROSSCOMPILING AND IS_ABSOLUTE "${path}")
        set(path "Z:${path}")
    endif()
    set(${var} "${path}" PARENT_SCOPE)
endfunction()

# velmora_add_test(<name> SOURCES <files...> LIBS <targets...> [TIMEOUT <s>] [HOST_CHECKS])
# Every widget test runs on the offscreen platform, and each test gets an application directory
# of its own so that config.ini and exported charts never leak between tests.
# HOST_CHECKS: the test starts host programs (python3, LibreOffice). The Windows build cannot, so
# there it writes its checks down and <name>_host runs them on the host afterwards.
function(velmora_add_test name)
    cmake_parse_arguments(ARG "HOST_CHECKS" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE velmora_common velmora_testsupport Qt6::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set(appdir "${CMAKE_CURRENT_BINARY_DIR}/${name}.appdir")
    file(MAKE_DIRECTORY "${appdir}")
    velmora_target_path(appdir "${appdir}")
    velmora_target_path(sourcedir "${PROJECT_SOURCE_DIR}")
    velmora_target_path(stagedir "${VELMORA_STAGE_DIR}")
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VELMORA_TEST_APPDIR=${appdir};VELMORA_SOURCE_DIR=${sourcedir};VELMORA_STAGE_DIR=${stagedir}")
    if(ARG_TIMEOUT)
        set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    endif()
    if(ARG_HOST_CHECKS)
        velmora_add_host_checks(${name})
    endif()
endfunction()

# velmora_add_host_checks(<test>): see HOST_CHECKS above; nothing to do where host programs run in
# the test itself.
function(velmora_add_host_checks name)
    if(NOT (WIN32 AND CMAKE_CROSSCOMPILING))
        return()
    endif()
    set(checks "${CMAKE_CURRENT_BINARY_DIR}/${name}.hostchecks")
    velmora_target_path(target_checks "${checks}")
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "VELMORA_HOST_CHECK_DIR=${target_checks}")
    set_property(TEST ${name} APPEND PROPERTY FIXTURES_SETUP ${name}_checks)
    add_test(NAME ${name}_host
        COMMAND ${VELMORA_HOST_PYTHON} "${PROJECT_SOURCE_DIR}/tests/common/hostcheck.py" "${checks}")
    set_tests_properties(${name}_host PROPERTIES
        FIXTURES_REQUIRED ${name}_checks
        ENVIRONMENT "WINEPREFIX=${VELMORA_WINEPREFIX}"
        TIMEOUT 600)
endfunction()

# velmora_test_fonts(<test>): the offscreen platform of the Windows build reads fonts from a single
# folder and finds none of its own; a test that draws text gets the host's CJK fonts there.
function(velmora_test_fonts name)
    if(WIN32 AND CMAKE_CROSSCOMPILING)
        velmora_target_path(fonts "/usr/share/fonts/opentype/noto")
        set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "QT_QPA_FONTDIR=${fonts}")
    endif()
endfunction()
