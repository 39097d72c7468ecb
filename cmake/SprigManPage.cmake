# sprig_install_man_page(PAGE SECTION): installs a manual page compressed, as distributions
# keep them.
function(sprig_install_man_page page section)
    get_filename_component(name "${page}" NAME)
    set(compressed "${CMAKE_CURRENT_BINARY_DIR}/${name}.gz")
    add_custom_command(OUTPUT "${compressed}"
        COMMAND gzip -9nc "${CMAKE_CURRENT_SOURCE_DIR}/${page}" > "${compressed}"
        DEPENDS "${page}" VERBATIM)
    add_custom_target(${name}_man ALL DEPENDS "${compressed}")
    install(FILES "${compressed}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man${section}")
endfunction()
