# cmake -DBUILD_DIR=<build> -DWORK_DIR=<scratch dir> -P install_test.cmake
#
# Installs the operator's files twice into a scratch prefix and checks that the
# second install keeps an adjusted template, a template path taken by a folder
# or a link, and restores only a template that was removed.

function(check condition_text)
    if(NOT (${ARGN}))
        message(FATAL_ERROR "FAIL: ${condition_text}")
    endif()
endfunction()

function(install_operator_files prefix)
    execute_process(
        COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component operator_files --prefix ${prefix}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "FAIL: install into ${prefix} ended with ${result}\n${output}")
    endif()
endfunction()

set(built "${BUILD_DIR}/templates")
set(prefix "${WORK_DIR}/Morvanta")
file(REMOVE_RECURSE "${WORK_DIR}")

# A first install lays out the whole folder.
install_operator_files(${prefix})
foreach(folder 模板 下载数据 正副本)
    check("folder ${folder} created" IS_DIRECTORY "${prefix}/${folder}")
endforeach()
foreach(name 正本.doc 副本.doc)
    file(SHA256 "${built}/${name}" built_hash)
    file(SHA256 "${prefix}/模板/${name}" installed_hash)
    check("${name} installed as built" built_hash STREQUAL installed_hash)
endforeach()
file(SHA256 "${built}/down.xls" built_hash)
file(SHA256 "${prefix}/share/down.xls" installed_hash)
check("sample data installed as built" built_hash STREQUAL installed_hash)
file(GLOB leftovers "${prefix}/模板/*.part")
check("no partial copies left" NOT leftovers)

# The operator adjusts the original, loses the duplicate, and puts some data
# and output in place; a reinstall changes none of that except the duplicate.
file(APPEND "${prefix}/模板/正本.doc" "adjusted margins")
file(SHA256 "${prefix}/模板/正本.doc" adjusted_hash)
file(REMOVE "${prefix}/模板/副本.doc")
file(WRITE "${prefix}/下载数据/down.xls" "waiting data")
file(WRITE "${prefix}/正副本/事证第1号（正本）.doc" "earlier output")
install_operator_files(${prefix})
file(SHA256 "${prefix}/模板/正本.doc" kept_hash)
check("adjusted original kept" kept_hash STREQUAL adjusted_hash)
file(SHA256 "${built}/副本.doc" built_hash)
file(SHA256 "${prefix}/模板/副本.doc" installed_hash)
check("missing duplicate restored" built_hash STREQUAL installed_hash)
file(READ "${prefix}/下载数据/down.xls" data)
check("waiting data file untouched" data STREQUAL "waiting data")
check("earlier output untouched" EXISTS "${prefix}/正副本/事证第1号（正本）.doc")

# A folder or a link where a template belongs is left alone, never replaced.
set(other "${WORK_DIR}/Other")
file(MAKE_DIRECTORY "${other}/模板/正本.doc")
file(WRITE "${WORK_DIR}/elsewhere.doc" "elsewhere")
file(CREATE_LINK "${WORK_DIR}/elsewhere.doc" "${other}/模板/副本.doc" SYMBOLIC)
install_operator_files(${other})
check("folder at template path kept" IS_DIRECTORY "${other}/模板/正本.doc")
check("link at template path kept" IS_SYMLINK "${other}/模板/副本.doc")
file(READ "${WORK_DIR}/elsewhere.doc" elsewhere)
check("link target untouched" elsewhere STREQUAL "elsewhere")

file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "operator files install: all checks passed")
