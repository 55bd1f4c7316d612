# The Debian package (`cpack -G DEB` in the build folder; scripts/package builds it and
# checks it with lintian). It holds the test-environment root under /opt/tracewin, as
# `cmake --install` lays it out, and, for the desktop, links to the programs in /usr/bin,
# a desktop entry, the icon, the manual pages and the package's own documents.
#
# Those desktop files and the marker that keeps each user's settings in the user's own
# folder form the component "package", which a plain `cmake --install` (and so the staged
# tree) leaves out.
set(TRACEWIN_PACKAGE_ROOT "/opt/tracewin")
set(TRACEWIN_PACKAGE_MAINTAINER "tracewin maintainers <maintainers@tracewin.example>"
    CACHE STRING "The Maintainer field of the Debian package")
set(TRACEWIN_PACKAGE_RELEASE 1)
set(package_files ${CMAKE_BINARY_DIR}/package)
set(package_component COMPONENT package EXCLUDE_FROM_ALL)

# /usr/bin/PROGRAM -> /opt/tracewin/jspvlm/nqc/bin/PROGRAM. The programs find their tree
# from their own resolved location, so the links need nothing else.
set(program_links "")
file(MAKE_DIRECTORY ${package_files}/bin)
foreach(program tracewin pagerunner tomcatrunner quillrun)
    file(CREATE_LINK ${TRACEWIN_PACKAGE_ROOT}/${TRACEWIN_BIN_DIR}/${program}
         ${package_files}/bin/${program} SYMBOLIC)
    list(APPEND program_links ${package_files}/bin/${program})
endforeach()
install(FILES ${program_links} DESTINATION /usr/bin ${package_component})

# Installed settings are defaults: every user gets a copy in ~/.config/tracewin, and the
# tree stays as the package put it, so an upgrade replaces nothing of a user's.
install(FILES ${CMAKE_SOURCE_DIR}/resources/debian/user.settings
        DESTINATION ${TRACEWIN_MONITOR_DIR} ${package_component})

install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/tracewin.desktop
        DESTINATION /usr/share/applications ${package_component})
install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/tracewin.svg
        DESTINATION /usr/share/icons/hicolor/scalable/apps ${package_component})
foreach(size 16 32 48 64 128 256)
    install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/tracewin-${size}.png
            DESTINATION /usr/share/icons/hicolor/${size}x${size}/apps
            RENAME tracewin.png ${package_component})
endforeach()

# Manual pages and the Debian changelog are compressed as Debian wants them: gzip -9n (no
# name or time stamp, so the same source gives the same bytes).
find_program(GZIP_PROGRAM gzip REQUIRED)
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_SOURCE_DIR}/resources/debian/changelog.in
               ${package_files}/changelog.Debian @ONLY)
set(compressed "")
foreach(page tracewin pagerunner tomcatrunner quillrun)
    list(APPEND compressed ${CMAKE_SOURCE_DIR}/doc/man/${page}.1)
endforeach()
list(APPEND compressed ${package_files}/changelog.Debian)
set(compressed_outputs "")
foreach(source ${compressed})
    get_filename_component(name ${source} NAME)
    set(output ${package_files}/${name}.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND ${GZIP_PROGRAM} -9nc ${source} > ${output}
        DEPENDS ${source}
        COMMENT "Compressing ${name}"
        VERBATIM)
    list(APPEND compressed_outputs ${output})
endforeach()
add_custom_target(package_files ALL DEPENDS ${compressed_outputs})
foreach(page tracewin pagerunner tomcatrunner quillrun)
    install(FILES ${package_files}/${page}.1.gz DESTINATION /usr/share/man/man1
            ${package_component})
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/resources/debian/copyright
              ${package_files}/changelog.Debian.gz
        DESTINATION /usr/share/doc/tracewin ${package_component})
install(FILES ${CMAKE_SOURCE_DIR}/resources/debian/lintian-overrides
        DESTINATION /usr/share/lintian/overrides RENAME tracewin ${package_component})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tracewin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TRACEWIN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX ${TRACEWIN_PACKAGE_ROOT})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/deb)
set(CPACK_STRIP_FILES ON)
# One package of both components: the tree and the desktop's files.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified package)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TRACEWIN_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TRACEWIN_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The synopsis, then the long description; CPack indents its lines and marks the empty one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "step debugger for JSP pages
tracewin steps through a JSP page while a page runtime serves it, and shows
side by side the JSP source with the span that runs next, the Java servlet
generated from it, the HTML written so far, the page rendered, and the HTML
elements still open. Breakpoints, Run, Fast forward and a walk through the
compile errors of a page that fails to compile are at hand.

Two page runtimes come with it: pagerunner, a small stand-in server that
needs nothing else, and tomcatrunner, which debugs pages running in Apache
Tomcat 10 through the Java debugger interface.")
# The libraries the programs link, as the system's packages give them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/pageruntime ${CMAKE_BINARY_DIR}/framework)
# Loaded at run time, so no library dependency names them: the window system's plugins.
# (Qt WebEngine's library brings its renderer process, libqt6webenginecore6-bin, itself.)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# tomcatrunner's Tomcat 10 (with a Java runtime); the monitor and pagerunner need neither.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tomcat10-user, default-jre-headless")
include(CPack)
