# Installs the default component of a build into a fresh prefix and checks
# that the desktop entry of Morvanta names the installed program and icon by
# absolute path (and Tolberin's, when that program is built).
# cmake -DBUILD_DIR=<build> -DWORK_DIR=<scratch> -P desktop_install_test.cmake

file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix with space")
execute_process(
    COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}" --component Unspecified
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "install failed:\n${output}")
endif()

function(check_entry name program)
    set(entry "${prefix}/share/applications/${name}.desktop")
    if(NOT EXISTS "${entry}")
        message(FATAL_ERROR "no desktop entry ${entry}")
    endif()
    file(READ "${entry}" text)
    foreach(line
            "[Desktop Entry]"
            "Type=Application"
            "Name=${program}"
            "Exec=\"${prefix}/${program}\""
            "Icon=${prefix}/share/icons/hicolor/32x32/apps/${name}.png")
        string(FIND "${text}" "${line}\n" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${entry} lacks the line ${line}:\n${text}")
        endif()
    endforeach()
    if(text MATCHES "@[A-Z_]+@")
        message(FATAL_ERROR "${entry} keeps an unreplaced variable:\n${text}")
    endif()
    if(NOT EXISTS "${prefix}/share/icons/hicolor/32x32/apps/${name}.png")
        message(FATAL_ERROR "the icon of ${name} is not installed")
    endif()
endfunction()

if(NOT EXISTS "${prefix}/Morvanta")
    message(FATAL_ERROR "Morvanta is not installed in the prefix root")
endif()
check_entry(morvanta Morvanta)
if(EXISTS "${prefix}/Tolberin")
    check_entry(tolberin Tolberin)
elseif(EXISTS "${prefix}/share/applications/tolberin.desktop")
    message(FATAL_ERROR "a desktop entry for Tolberin, which is not installed")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
