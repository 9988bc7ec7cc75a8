# cmake -P script: lays out the portable Windows folder Velmora/ and zips it.
# -D STAGE_DIR=<velmora.exe and the templates> -D QT_DIR=<toolchain folder> -D RUNTIME_DIRS=<MinGW DLL dirs>
# -D OBJDUMP=<x86_64-w64-mingw32-objdump> -D STRIP=<x86_64-w64-mingw32-strip>
# -D QT_TRANSLATION=<qtbase_zh_CN.qm>
# -D WORK_DIR=<scratch> -D ZIP=<output .zip>
#
# The DLL set comes from the import tables, read recursively: every DLL that the executable or a
# shipped DLL imports is shipped or belongs to Windows. Running under Wine proves nothing here,
# since Wine has builtin copies of libraries that Windows lacks (zlib1.dll among them).
cmake_minimum_required(VERSION 3.16)
string(REPLACE "|" ";" RUNTIME_DIRS "${RUNTIME_DIRS}")

# What every supported Windows (10 and later) has in System32.
set(windows_dlls
    advapi32 authz bcrypt cfgmgr32 comctl32 comdlg32 crypt32 d2d1 d3d11 d3d12 d3d9 dcomp dwmapi dwrite dxgi gdi32 hid imm32
    iphlpapi kernel32 mpr msimg32 msvcrt ncrypt netapi32 ntdll ole32 oleacc oleaut32 opengl32 powrprof
    propsys rpcrt4 secur32 setupapi shcore shell32 shlwapi ucrtbase user32 userenv usp10 uxtheme
    version winhttp wininet winmm winspool.drv wtsapi32 ws2_32)

# Loaded by name rather than imported: the platform, the style, and the reader of the window icon.
set(plugins platforms/qwindows.dll styles/qwindowsvistastyle.dll imageformats/qico.dll)

set(root "${WORK_DIR}/Velmora")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${root}")

file(GLOB templates "${STAGE_DIR}/*.xlsx")
list(LENGTH templates template_count)
if(NOT template_count EQUAL 2)
    message(FATAL_ERROR "expected the two templates in ${STAGE_DIR}, found: ${templates}")
endif()
file(COPY "${STAGE_DIR}/velmora.exe" ${templates} DESTINATION "${root}")
# Without it every Qt dialog says Yes/No/Open in the middle of Chinese.
if(NOT EXISTS "${QT_TRANSLATION}")
    message(FATAL_ERROR "Qt's Chinese translation is missing: '${QT_TRANSLATION}'")
endif()
file(COPY "${QT_TRANSLATION}" DESTINATION "${root}/translations")

set(queue "${root}/velmora.exe")
foreach(plugin IN LISTS plugins)
    get_filename_component(dir "${plugin}" DIRECTORY)
    file(COPY "${QT_DIR}/plugins/${plugin}" DESTINATION "${root}/${dir}")
    list(APPEND queue "${root}/${plugin}")
endforeach()

set(shipped)
set(missing)
while(queue)
    list(POP_FRONT queue binary)
    execute_process(COMMAND "${OBJDUMP}" -p "${binary}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "cannot read the import table of ${binary}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
    foreach(line IN LISTS imports)
        string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
        string(TOLOWER "${dll}" key)
        string(REGEX REPLACE "\\.dll$" "" base "${key}")
        if(key IN_LIST shipped OR base IN_LIST windows_dlls OR key MATCHES "^(api|ext)-ms-win-")
            continue()
        endif()
        set(found "")
        foreach(dir "${QT_DIR}/bin" ${RUNTIME_DIRS})
            if(EXISTS "${dir}/${dll}")
                set(found "${dir}/${dll}")
                break()
            endif()
        endforeach()
        if(found)
            file(COPY "${found}" DESTINATION "${root}")
            # The MinGW runtime comes with its symbols (libstdc++ alone is 23 MB); Qt's are gone already.
            execute_process(COMMAND "${STRIP}" --strip-unneeded "${root}/${dll}" RESULT_VARIABLE failed)
            if(failed)
                message(FATAL_ERROR "cannot strip ${root}/${dll}")
            endif()
            list(APPEND shipped "${key}")
            list(APPEND queue "${root}/${dll}")
        else()
            get_filename_component(importer "${binary}" NAME)
            list(APPEND missing "${dll} (imported by ${importer})")
        endif()
    endforeach()
endwhile()
if(missing)
    list(JOIN missing "\n  " missing)
    message(FATAL_ERROR "neither shipped nor part of Windows:\n  ${missing}")
endif()

# Only what a teacher runs: no test program, import library or header.
file(GLOB_RECURSE everything RELATIVE "${root}" "${root}/*")
foreach(file IN LISTS everything)
    if(NOT file MATCHES "(^velmora\\.exe|\\.dll|\\.xlsx|^translations/qtbase_zh_CN\\.qm)$")
        message(FATAL_ERROR "does not belong in the Windows folder: ${file}")
    endif()
endforeach()

# Windows' own unzip reads names without the UTF-8 flag in the local code page, which would garble
# the template names; CMake sets the flag under a UTF-8 locale only.
file(REMOVE "${ZIP}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env LC_ALL=C.UTF-8
                        "${CMAKE_COMMAND}" -E tar cf "${ZIP}" --format=zip Velmora
                WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cannot write ${ZIP}")
endif()
list(SORT shipped)
list(JOIN shipped " " shipped)
list(JOIN plugins " " plugins)
message(STATUS "${ZIP}: velmora.exe, 2 templates, translations/qtbase_zh_CN.qm, ${plugins}, ${shipped}")
