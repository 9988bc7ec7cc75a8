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

# velmora_add_test(<name> SOURCES <files...> LIBS <targets...>)
# Every widget test runs on the offscreen platform, and each test gets an application directory
# of its own so that config.ini and exported charts never leak between tests.
function(velmora_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE velmora_common velmora_testsupport Qt6::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set(appdir "${CMAKE_CURRENT_BINARY_DIR}/${name}.appdir")
    file(MAKE_DIRECTORY "${appdir}")
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VELMORA_TEST_APPDIR=${appdir};VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR};VELMORA_STAGE_DIR=${VELMORA_STAGE_DIR}")
    if(ARG_TIMEOUT)
        set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    endif()
endfunction()
