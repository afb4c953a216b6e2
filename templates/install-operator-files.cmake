# Install step of the operator's folder, run by `cmake --install`.
# MORVANTA_DEFAULT_TEMPLATES lists the built default templates.
#
# The templates are copied only where none exists yet: the operator may have
# adjusted their margins, and a reinstall must keep that. A template is moved
# into place only once fully copied, so an interrupted install never leaves a
# truncated one behind that later installs would then keep. Kept templates are
# not listed in the install manifest, so removing an install never takes them.

set(_prefix "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(_templates_dir "${_prefix}/模板")

file(MAKE_DIRECTORY "${_templates_dir}" "${_prefix}/下载数据" "${_prefix}/正副本")

foreach(_template IN LISTS MORVANTA_DEFAULT_TEMPLATES)
    get_filename_component(_name "${_template}" NAME)
    set(_target "${_templates_dir}/${_name}")
    if(EXISTS "${_target}" OR IS_SYMLINK "${_target}")
        message(STATUS "Keeping: ${_target}")
    else()
        message(STATUS "Installing: ${_target}")
        file(COPY_FILE "${_template}" "${_target}.part")
        file(RENAME "${_target}.part" "${_target}")
    endif()
endforeach()
