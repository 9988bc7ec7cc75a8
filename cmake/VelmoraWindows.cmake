# Settings for the Windows build, cross-compiled with MinGW-w64 against the toolchain folder and
# run under Wine. Included from the top level before any target exists.

if(CMAKE_CROSSCOMPILING)
    # The host rcc compresses with zstd by default, which the cross-built QtCore cannot read.
    set(CMAKE_AUTORCC_OPTIONS --no-zstd)
endif()

# Linked in rather than shipped as zlib1.dll: Wine has a builtin zlib1.dll that Windows lacks, so a
# missing DLL would only show on a teacher's machine.
if(MINGW AND NOT ZLIB_LIBRARY)
    find_library(ZLIB_LIBRARY NAMES libz.a)
endif()

# The folder holding the Qt DLLs and plugins, whatever prefix the packages were found under.
get_filename_component(VELMORA_WIN_QT_DIR "${Qt6_DIR}/../../.." ABSOLUTE)

# The MinGW runtime DLLs, wherever this compiler keeps them.
set(VELMORA_WIN_RUNTIME_DIRS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
        get_filename_component(dir "${path}" DIRECTORY)
        get_filename_component(dir "${dir}" REALPATH)
        list(APPEND VELMORA_WIN_RUNTIME_DIRS "${dir}")
    endif()
endforeach()
list(REMOVE_DUPLICATES VELMORA_WIN_RUNTIME_DIRS)

if(CMAKE_CROSSCOMPILING AND NOT CMAKE_HOST_WIN32)
    find_program(VELMORA_WINE NAMES wine wine64 REQUIRED)
    # The checks that need openpyxl run on the host, with the Python the Debian package serves.
    set(VELMORA_HOST_PYTHON /usr/bin/python3 CACHE FILEPATH "The host Python with openpyxl")
    set(VELMORA_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "The Wine prefix the tests run in")
    set(winepath)
    foreach(dir "${VELMORA_WIN_QT_DIR}/bin" ${VELMORA_WIN_RUNTIME_DIRS})
        velmora_target_path(dir "${dir}")
        list(APPEND winepath "${dir}")
    endforeach()
    string(JOIN ";" VELMORA_WINEPATH ${winepath})
    velmora_target_path(VELMORA_WIN_PLUGIN_PATH "${VELMORA_WIN_QT_DIR}/plugins")
    configure_file("${CMAKE_CURRENT_LIST_DIR}/wine-run.in" "${CMAKE_BINARY_DIR}/wine-run" @ONLY
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    # Every test program is a Qt Test program.
    set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run;--qtest")
endif()

# Qt's own Chinese texts for its standard dialogs (Yes/No, the file dialog), which the toolchain
# lacks: from Debian's qt6-translations-l10n, made from the same Qt version. The zip ships it in a
# translations folder beside velmora.exe, where the program looks first.
find_file(VELMORA_QT_ZH_CN_QM qtbase_zh_CN.qm PATHS /usr/share/qt6/translations
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(CMAKE_CROSSCOMPILING AND NOT VELMORA_QT_ZH_CN_QM)
    message(FATAL_ERROR "qtbase_zh_CN.qm not found: install qt6-translations-l10n (scripts/install-deps)")
endif()

# The portable folder and its zip (cmake --build <dir> --target windows_zip), read from MinGW's
# import tables; an MSVC build is deployed with windeployqt instead.
if(NOT MINGW)
    return()
endif()
set(VELMORA_WINDOWS_ZIP "${CMAKE_BINARY_DIR}/Velmora-windows-x64.zip")
string(REPLACE ";" "|" runtime_dirs "${VELMORA_WIN_RUNTIME_DIRS}")
add_custom_target(windows_zip
    COMMAND "${CMAKE_COMMAND}"
        "-DSTAGE_DIR=${VELMORA_STAGE_DIR}" "-DQT_DIR=${VELMORA_WIN_QT_DIR}"
        "-DRUNTIME_DIRS=${runtime_dirs}" "-DOBJDUMP=${CMAKE_OBJDUMP}" "-DSTRIP=${CMAKE_STRIP}"
        "-DQT_TRANSLATION=${VELMORA_QT_ZH_CN_QM}"
        "-DWORK_DIR=${CMAKE_BINARY_DIR}/windows-zip" "-DZIP=${VELMORA_WINDOWS_ZIP}"
        -P "${CMAKE_CURRENT_LIST_DIR}/VelmoraWindowsPackage.cmake"
    BYPRODUCTS "${VELMORA_WINDOWS_ZIP}"
    COMMENT "Packing ${VELMORA_WINDOWS_ZIP}"
    VERBATIM)
add_dependencies(windows_zip velmora velmora_templates)
