# What an installed Velmora brings besides its two programs: desktop metadata, icons, the
# D-Bus service that lets the desktop start it, man pages and the package's documents.
include(GNUInstallDirs)

set(linux_dir ${PROJECT_SOURCE_DIR}/packaging/linux)
set(generated_dir ${PROJECT_BINARY_DIR}/packaging)

# A release without its entry would show software centres an older version as the newest.
file(READ ${linux_dir}/app.velmora.Velmora.metainfo.xml metainfo)
if(NOT metainfo MATCHES "<release version=\"${PROJECT_VERSION}\"")
    message(FATAL_ERROR "app.velmora.Velmora.metainfo.xml has no release entry for ${PROJECT_VERSION}")
endif()
install(FILES ${linux_dir}/app.velmora.Velmora.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Icons: the drawing at every size, rendered from the one SVG.
set(icon_dir ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${linux_dir}/icons/app.velmora.Velmora.svg DESTINATION ${icon_dir}/scalable/apps)
install(FILES ${linux_dir}/icons/app.velmora.Velmora-symbolic.svg
        DESTINATION ${icon_dir}/symbolic/apps)
find_program(RSVG_CONVERT rsvg-convert)
if(RSVG_CONVERT)
    set(rendered_icons)
    foreach(size IN ITEMS 16 22 24 32 48 64 128 256)
        set(png ${generated_dir}/icons/${size}/app.velmora.Velmora.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${generated_dir}/icons/${size}
            COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --output ${png}
                    ${linux_dir}/icons/app.velmora.Velmora.svg
            DEPENDS ${linux_dir}/icons/app.velmora.Velmora.svg
            VERBATIM)
        list(APPEND rendered_icons ${png})
        install(FILES ${png} DESTINATION ${icon_dir}/${size}x${size}/apps)
    endforeach()
    add_custom_target(velmora_icons ALL DEPENDS ${rendered_icons})
else()
    message(WARNING "rsvg-convert (librsvg2-bin) not found: only the scalable icons are installed")
endif()

# The desktop starts Velmora through this service when its entry is opened (DBusActivatable).
# Its path is settled at install time, so that a package or another prefix gets its own.
install(CODE "
    set(CMAKE_INSTALL_FULL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(${linux_dir}/app.velmora.Velmora.service.in
                   ${generated_dir}/app.velmora.Velmora.service @ONLY)
")
install(FILES ${generated_dir}/app.velmora.Velmora.service
        DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/services)

# Man pages and the Debian changelog, compressed as Debian wants them.
set(VELMORA_PACKAGE_MAINTAINER "The Velmora developers <maintainers@velmora.app>"
    CACHE STRING "Who the .deb names as its maintainer")
set(gzipped)
foreach(document IN ITEMS velmora.1 velmora-widget.1 deb/changelog)
    get_filename_component(name ${document} NAME)
    configure_file(${linux_dir}/${document}.in ${generated_dir}/${name} @ONLY)
    add_custom_command(OUTPUT ${generated_dir}/${name}.gz
        COMMAND gzip -9nkf ${generated_dir}/${name}
        DEPENDS ${generated_dir}/${name}
        VERBATIM)
    list(APPEND gzipped ${generated_dir}/${name}.gz)
endforeach()
add_custom_target(velmora_documents ALL DEPENDS ${gzipped})
install(FILES ${generated_dir}/velmora.1.gz ${generated_dir}/velmora-widget.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${generated_dir}/changelog.gz ${linux_dir}/deb/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)
