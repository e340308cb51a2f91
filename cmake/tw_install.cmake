# Installation. The programs find their branding file, logo and catalogs beside their own
# file (through /proc/self/exe), so they live in one folder of their own with everything
# they read there, and bin/ holds relative symbolic links to them; the desktop file,
# AppStream metainfo and icons go where the desktop looks for them.
include(GNUInstallDirs)

set(TW_APP_ID io.github.tidewell.Tidewell)
set(TW_INSTALL_PROGRAMDIR "lib/tidewell"
    CACHE STRING "Folder of the programs and the files they read, relative to the prefix")
foreach(_dir TW_INSTALL_PROGRAMDIR CMAKE_INSTALL_BINDIR)
  if(IS_ABSOLUTE "${${_dir}}")
    message(FATAL_ERROR "${_dir} must be relative to the prefix: ${${_dir}}")
  endif()
endforeach()

set(_tw_out ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
set(_tw_programs)
foreach(_p tidewell tidewell-cli)
  if(TARGET ${_p})
    list(APPEND _tw_programs ${_p})
  endif()
endforeach()

install(TARGETS ${_tw_programs} RUNTIME DESTINATION ${TW_INSTALL_PROGRAMDIR})
if(TARGET tw_branding)
  install(FILES ${_tw_out}/lamecore.dll DESTINATION ${TW_INSTALL_PROGRAMDIR})
  if(TW_RSVG_CONVERT)
    install(FILES ${_tw_out}/logo.png DESTINATION ${TW_INSTALL_PROGRAMDIR})
  endif()
endif()
# Whatever catalogs the build compiled into bin/locale/<code>/LC_MESSAGES/, if any.
install(DIRECTORY ${_tw_out}/locale DESTINATION ${TW_INSTALL_PROGRAMDIR} OPTIONAL)

# A link rather than a script: the program resolves its own file, not argv[0].
file(RELATIVE_PATH _tw_link_target /${CMAKE_INSTALL_BINDIR} /${TW_INSTALL_PROGRAMDIR})
foreach(_p ${_tw_programs})
  install(CODE "
    set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${_bin}\")
    message(STATUS \"Installing: \${_bin}/${_p} -> ${_tw_link_target}/${_p}\")
    file(CREATE_LINK \"${_tw_link_target}/${_p}\" \"\${_bin}/${_p}\" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${_bin}/${_p}\")")
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tidewell)

# Desktop integration, for the desktop app.
if(TARGET tidewell)
  install(FILES ${CMAKE_SOURCE_DIR}/data/${TW_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/data/${TW_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
  set(_tw_icons ${CMAKE_SOURCE_DIR}/data/logo.svg)
  install(FILES ${_tw_icons} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps
          RENAME ${TW_APP_ID}.svg)
  if(TW_RSVG_CONVERT)
    set(_tw_pngs)
    foreach(_size 16 24 32 48 64 128 256)
      set(_png ${CMAKE_BINARY_DIR}/icons/${_size}x${_size}/apps/${TW_APP_ID}.png)
      add_custom_command(
        OUTPUT ${_png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${_size}x${_size}/apps
        COMMAND ${TW_RSVG_CONVERT} -w ${_size} -h ${_size} -o ${_png} ${_tw_icons}
        DEPENDS ${_tw_icons}
        COMMENT "Rendering the ${_size}x${_size} icon")
      list(APPEND _tw_pngs ${_png})
    endforeach()
    add_custom_target(tw_icons ALL DEPENDS ${_tw_pngs})
    install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor)
  endif()
endif()

if(TW_BUILD_TESTS AND TARGET tidewell-cli)
  # The desktop files as the desktop's own tools check them; any remark fails.
  if(TARGET tidewell)
    add_test(NAME desktop_file_validate
             COMMAND sh -c "out=$(desktop-file-validate \"$1\" 2>&1); rc=$?; echo \"$out\"; [ $rc = 0 ] && [ -z \"$out\" ]"
                     sh ${CMAKE_SOURCE_DIR}/data/${TW_APP_ID}.desktop)
    # Warnings fail too; this version must have its release entry.
    add_test(NAME appstream_validate
             COMMAND sh -c "appstreamcli validate --no-net \"$1\" && grep -q \"<release version=.$2.\" \"$1\" || { echo \"no valid release $2 in $1\"; exit 1; }"
                     sh ${CMAKE_SOURCE_DIR}/data/${TW_APP_ID}.metainfo.xml ${PROJECT_VERSION})
  endif()
  # cmake --install into a scratch prefix, then the installed programs run from there.
  # Two more arguments, a LANG and a text its catalog gives (a group name), check that
  # the installed catalogs are found.
  add_test(NAME install_smoke COMMAND bash ${CMAKE_SOURCE_DIR}/tests/app/install_smoke.sh
                                      ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}
                                      de_DE.UTF-8 "Temporäres Verzeichnis")
  set(_tw_smoke_env "TW_APP_ID=${TW_APP_ID};TW_INSTALL_PROGRAMDIR=${TW_INSTALL_PROGRAMDIR}")
  if(TARGET tidewell)
    list(APPEND _tw_smoke_env "TW_SMOKE_GUI=1"
         "TSAN_OPTIONS=halt_on_error=1 ignore_noninstrumented_modules=1")
  endif()
  set_tests_properties(install_smoke PROPERTIES TIMEOUT 300 ENVIRONMENT "${_tw_smoke_env}")
endif()
