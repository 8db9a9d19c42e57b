# numbral_archive(TARGET SOURCE_DIR OUTPUT): the target that builds the
# archive OUTPUT from the content folder SOURCE_DIR with numbral-databuild.
# The archive is rebuilt when one of its sources or the builder changes, and
# when a source is added or removed: the folder is listed again at every
# build, and a changed list rewrites the list file the archive depends on.
# (Folders named img, snd or data must not appear at the top of the build
# folder: the game's archive search also looks beside the executable.)
function(numbral_archive target source_dir output)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${source_dir}/*)
    get_filename_component(output_dir ${output} DIRECTORY)
    # Written only when the list changes, so that its time tells of a change.
    set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.sources)
    string(REPLACE ";" "\n" listing "${sources}")
    set(old_listing "")
    if(EXISTS ${list_file})
        file(READ ${list_file} old_listing)
    endif()
    if(NOT old_listing STREQUAL "${listing}\n")
        file(WRITE ${list_file} "${listing}\n")
    endif()
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
        COMMAND numbral-databuild ${source_dir} ${output}
        DEPENDS numbral-databuild ${sources} ${list_file}
        COMMENT "Building ${output}"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output})
endfunction()
