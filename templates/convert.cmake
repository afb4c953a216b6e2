# cmake -DSOFFICE=<soffice> -DSOURCE=<file> -DFILTER=<ext:filter> -DOUTPUT=<file> -DWORK_DIR=<dir> -P convert.cmake
#
# Converts one hand-written flat ODF source into an office binary with a
# headless LibreOffice on a private profile that is thrown away afterwards, so
# an office the operator runs is neither used nor touched. The result must be
# an OLE2 compound file (Word 97 .doc, Excel 97 .xls); it is moved into place
# only once complete.

foreach(var SOFFICE SOURCE FILTER OUTPUT WORK_DIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "convert.cmake: ${var} is not set")
    endif()
endforeach()

get_filename_component(stem "${SOURCE}" NAME_WE)
string(REGEX REPLACE ":.*" "" extension "${FILTER}")
set(profile "${WORK_DIR}/profile")
set(outdir "${WORK_DIR}/out")
set(produced "${outdir}/${stem}.${extension}")

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${profile}" "${outdir}")

# The profile goes in as a file URL: escape what a URL cannot hold as is.
string(REPLACE "%" "%25" profile_url "${profile}")
string(REPLACE " " "%20" profile_url "${profile_url}")
string(REPLACE "#" "%23" profile_url "${profile_url}")

execute_process(
    COMMAND "${SOFFICE}" --headless --invisible --nologo --norestore --nolockcheck
            "-env:UserInstallation=file://${profile_url}"
            --convert-to "${FILTER}" --outdir "${outdir}" "${SOURCE}"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output
    TIMEOUT 300)

# The office leaves the socket file of its single-instance check in /tmp,
# named after the MD5 of the profile URL's UTF-16 code units, each byte in hex
# without a leading zero.
file(WRITE "${WORK_DIR}/profile-url" "file://${profile_url}")
execute_process(COMMAND iconv -f UTF-8 -t UTF-16LE "${WORK_DIR}/profile-url"
                OUTPUT_FILE "${WORK_DIR}/profile-url.utf16" RESULT_VARIABLE iconv_result)
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(iconv_result EQUAL 0 AND uid MATCHES "^[0-9]+$")
    file(MD5 "${WORK_DIR}/profile-url.utf16" digest)
    set(socket_name "")
    foreach(i RANGE 0 30 2)
        string(SUBSTRING "${digest}" ${i} 2 byte)
        string(REGEX REPLACE "^0" "" byte "${byte}")
        string(APPEND socket_name "${byte}")
    endforeach()
    file(REMOVE "/tmp/OSL_PIPE_${uid}_SingleOfficeIPC_${socket_name}")
endif()

set(problem "")
if(NOT result EQUAL 0)
    set(problem "LibreOffice ended with '${result}'")
elseif(NOT EXISTS "${produced}")
    set(problem "LibreOffice wrote no ${stem}.${extension}")
else()
    file(READ "${produced}" magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "d0cf11e0")
        set(problem "${produced} is not an OLE2 compound file (starts with ${magic})")
    endif()
endif()

if(problem)
    file(REMOVE_RECURSE "${WORK_DIR}")
    message(FATAL_ERROR "Converting ${SOURCE} failed: ${problem}\n${output}")
endif()

get_filename_component(output_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${output_dir}")
file(COPY_FILE "${produced}" "${OUTPUT}.part")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
file(REMOVE_RECURSE "${WORK_DIR}")
