# cmake -DBUILD_DIR=<build> -DPACKAGE=<.deb it makes> -DWORK_DIR=<scratch> -P package_test.cmake
#
# Builds the Debian package and checks it the way an administrator and an
# operator meet it: the files it holds, their owners and modes, its
# dependencies, lintian's verdict when lintian is installed, and an unpacked
# copy started through the console command by a user who has no ~/Morvanta
# yet: the folder is made, a template already there is kept, a missing one
# comes back, and the sample data gives 40 documents with every placeholder
# replaced.

cmake_minimum_required(VERSION 3.25)

function(fail)
    message(FATAL_ERROR "FAIL: ${ARGV}")
endfunction()

# run(<status var> <output var> <command...>)
function(run status_var output_var)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    set(${status_var} "${status}" PARENT_SCOPE)
    set(${output_var} "${output}" PARENT_SCOPE)
endfunction()

# Text as stored in Word 97 files (UTF-16LE), in hex.
function(utf16_hex text output_var)
    execute_process(COMMAND printf %s "${text}"
                    COMMAND iconv -f UTF-8 -t UTF-16LE
                    COMMAND od -An -v -tx1
                    OUTPUT_VARIABLE hex)
    string(REGEX REPLACE "[ \n]" "" hex "${hex}")
    set(${output_var} "${hex}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(REMOVE "${PACKAGE}")
# From the programs the other tests run, as `--target package` would.
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} WORKING_DIRECTORY "${BUILD_DIR}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0 OR NOT EXISTS "${PACKAGE}")
    fail("the package was not built (${status}):\n${output}")
endif()

# --- dependencies: from the programs' libraries, plus the office by name ---
run(status depends dpkg-deb -f "${PACKAGE}" Depends)
string(STRIP "${depends}" depends)
string(REGEX REPLACE " \\([^)]*\\)" "" names "${depends}")
string(REPLACE ", " ";" names "${names}")
foreach(needed "libreoffice-writer-nogui | libreoffice-writer" "libreoffice-calc-nogui | libreoffice-calc"
               ure qt6-qpa-plugins fonts-noto-cjk xdg-utils libqt6widgets6 libqt6core6 libuno-cppu3 libc6
               libcups2 libqpdf29)
    if(NOT needed IN_LIST names)
        fail("Depends lacks '${needed}': ${depends}")
    endif()
endforeach()

# --- the files: where they are, who owns them, who may write them ---
run(status listing dpkg-deb -c "${PACKAGE}")
string(REPLACE "\n" ";" lines "${listing}")
set(found "")
foreach(line IN LISTS lines)
    if(NOT line MATCHES "^([-dl])([-rwxs]+) ([^ ]+) +[0-9]+ [-0-9]+ [:0-9]+ \\./([^ ]*)( -> (.*))?$")
        continue()
    endif()
    set(type "${CMAKE_MATCH_1}")
    set(mode "${CMAKE_MATCH_2}")
    set(path "${CMAKE_MATCH_4}")
    if(NOT CMAKE_MATCH_3 STREQUAL "root/root")
        fail("${path} is owned by ${CMAKE_MATCH_3}")
    endif()
    if(NOT type STREQUAL "l" AND mode MATCHES "^.....w|w$")
        fail("${path} is writable by others: ${mode}")
    endif()
    if(NOT path MATCHES "^(usr/|etc/(fonts/(conf\\.d/(60-morvanta-songti\\.conf)?)?)?$|$)")
        fail("${path} lies outside usr/ and the fontconfig link")
    endif()
    list(APPEND found "${type}${mode}:${path}")
endforeach()
foreach(expected
        -rwxr-xr-x:usr/lib/morvanta/Morvanta -rwxr-xr-x:usr/lib/morvanta/Tolberin
        -rwxr-xr-x:usr/lib/morvanta/MorvantaConsole -rwxr-xr-x:usr/lib/morvanta/morvanta-launch
        lrwxrwxrwx:usr/bin/morvanta lrwxrwxrwx:usr/bin/tolberin lrwxrwxrwx:usr/bin/morvanta-console
        -rwxr-xr-x:usr/lib/morvanta/morvanta-print lrwxrwxrwx:usr/bin/morvanta-print
        -rwxr-xr-x:usr/lib/morvanta/MorvantaPrint -rw-r--r--:usr/share/applications/morvanta-print.desktop
        -rw-r--r--:usr/share/icons/hicolor/48x48/apps/morvanta-print.png
        -rw-r--r--:usr/share/man/man1/morvanta-print.1.gz
        -rw-r--r--:usr/share/morvanta/templates/正本.doc -rw-r--r--:usr/share/morvanta/templates/副本.doc
        -rw-r--r--:usr/share/morvanta/down.xls
        -rw-r--r--:usr/share/applications/morvanta.desktop -rw-r--r--:usr/share/applications/tolberin.desktop
        -rw-r--r--:usr/share/icons/hicolor/48x48/apps/morvanta.png
        -rw-r--r--:usr/share/icons/hicolor/256x256/apps/tolberin.png
        -rw-r--r--:usr/share/fontconfig/conf.avail/60-morvanta-songti.conf
        lrwxrwxrwx:etc/fonts/conf.d/60-morvanta-songti.conf
        -rw-r--r--:usr/share/doc/morvanta/copyright -rw-r--r--:usr/share/doc/morvanta/changelog.gz)
    if(NOT expected IN_LIST found)
        fail("the package lacks ${expected}:\n${listing}")
    endif()
endforeach()

if(EXISTS /usr/bin/lintian)
    # lintian leaves a cache file in its temporary folder (mldbm-elf-*):
    # one of the test's own, not the machine's /tmp.
    file(MAKE_DIRECTORY "${WORK_DIR}/lintian-tmp")
    run(status output ${CMAKE_COMMAND} -E env "TMPDIR=${WORK_DIR}/lintian-tmp"
        lintian --fail-on error "${PACKAGE}")
    file(REMOVE_RECURSE "${WORK_DIR}/lintian-tmp")
    if(NOT status EQUAL 0)
        fail("lintian reports errors:\n${output}")
    endif()
    message(STATUS "lintian:\n${output}")
endif()

# --- an unpacked copy, started by a user without ~/Morvanta ---
set(root "${WORK_DIR}/root")
set(home "${WORK_DIR}/home")
set(folder "${home}/Morvanta")
file(MAKE_DIRECTORY "${root}" "${home}")
run(status output dpkg -x "${PACKAGE}" "${root}")
if(NOT status EQUAL 0)
    fail("dpkg -x ended with ${status}: ${output}")
endif()
set(defaults "${root}/usr/share/morvanta/templates")

function(start_console expected_status)
    run(status output ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
        "HOME=${home}" LC_ALL=C.UTF-8 "${root}/usr/bin/morvanta-console")
    if(NOT status EQUAL expected_status)
        fail("morvanta-console ended with ${status}, not ${expected_status}:\n${output}")
    endif()
endfunction()

# Without data the run ends at once, after the folder was made.
start_console(1)
foreach(sub 模板 下载数据 正副本)
    if(NOT IS_DIRECTORY "${folder}/${sub}")
        fail("${folder}/${sub} was not made")
    endif()
endforeach()
foreach(name 正本.doc 副本.doc)
    file(SHA256 "${defaults}/${name}" default_hash)
    file(SHA256 "${folder}/模板/${name}" copied_hash)
    if(NOT copied_hash STREQUAL default_hash)
        fail("模板/${name} is not the package's default")
    endif()
endforeach()

# The original stands for one with adjusted margins (an old time stamp marks
# it); the duplicate went missing. The next start keeps the one and restores
# the other, and the sample data gives every document.
execute_process(COMMAND touch -d 2001-02-03 "${folder}/模板/正本.doc")
file(REMOVE "${folder}/模板/副本.doc")
file(COPY_FILE "${root}/usr/share/morvanta/down.xls" "${folder}/下载数据/down.xls")
start_console(0)
file(TIMESTAMP "${folder}/模板/正本.doc" stamp "%Y-%m-%d")
if(NOT stamp STREQUAL "2001-02-03")
    fail("the existing 模板/正本.doc was replaced")
endif()
if(NOT EXISTS "${folder}/模板/副本.doc")
    fail("the missing 模板/副本.doc was not restored")
endif()
file(GLOB leftovers LIST_DIRECTORIES true "${folder}/模板/.*")
if(leftovers)
    fail("the start left temporary copies: ${leftovers}")
endif()

file(GLOB documents "${folder}/正副本/*.doc")
list(LENGTH documents count)
if(NOT count EQUAL 40)
    fail("${count} documents written, not 40: ${documents}")
endif()
file(STRINGS "${folder}/正副本/.morvanta-run" listed ENCODING UTF-8)
list(LENGTH listed count)
if(NOT count EQUAL 41) # the header line and the 40 documents
    fail("the run list names ${count} lines, not 41: ${listed}")
endif()
set(placeholders 证书号 证书有效期 单位名称 宗旨和业务范围 住所 法定代表人 经费来源 开办资金 举办单位)
foreach(label IN LISTS placeholders)
    utf16_hex("${label}" pattern)
    file(READ "${defaults}/正本.doc" hex HEX)
    string(FIND "${hex}" "${pattern}" at)
    if(at EQUAL -1)
        fail("the default original holds no placeholder ${label}; the check below would prove nothing")
    endif()
    foreach(document IN LISTS documents)
        file(READ "${document}" hex HEX)
        string(FIND "${hex}" "${pattern}" at)
        if(NOT at EQUAL -1)
            fail("${document} still holds the placeholder ${label}")
        endif()
    endforeach()
endforeach()

# The print console starts from the unpacked copy and names a scheduler it
# cannot reach instead of printing anywhere else.
run(status output ${CMAKE_COMMAND} -E env "HOME=${home}" LC_ALL=C.UTF-8
    "CUPS_SERVER=${WORK_DIR}/no-scheduler" "${root}/usr/bin/morvanta-print" --list)
if(NOT status EQUAL 2 OR NOT output MATCHES "无法连接打印服务")
    fail("morvanta-print --list without a scheduler ended with ${status}:\n${output}")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "package ${PACKAGE}: all checks passed")
