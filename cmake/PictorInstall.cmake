# Install rules: the library with its soname links, the header and its manual page, the pictor
# command and its manual page, a pkg-config file and a CMake package (Pictor::pictor).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS pictor EXPORT PictorTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The manual page of the library's interface goes with its header.
install(FILES ${PROJECT_SOURCE_DIR}/docs/pictor.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3
        COMPONENT Development)

if(TARGET pictor_cli)
  # The installed command finds the library beside it in the same prefix, wherever it moves.
  file(RELATIVE_PATH pictor_lib_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set(pictor_installed_rpath "$ORIGIN/${pictor_lib_from_bin}")
  # The built command finds the library in the build tree. Left to CMake, that search path would
  # end in an empty entry (the current folder), padding for the edit at install; it is set here
  # instead, lengthened by "/." steps where the installed one is longer, and edited at install.
  set(pictor_built_rpath ${PROJECT_BINARY_DIR})
  string(LENGTH "${pictor_installed_rpath}" installed_length)
  string(LENGTH "${pictor_built_rpath}" built_length)
  while(built_length LESS installed_length)
    string(APPEND pictor_built_rpath "/.")
    math(EXPR built_length "${built_length} + 2")
  endwhile()
  set_target_properties(pictor_cli PROPERTIES BUILD_WITH_INSTALL_RPATH ON
                                              INSTALL_RPATH "${pictor_built_rpath}")
  install(TARGETS pictor_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
    set(pictor_installed_cli "\$ENV{DESTDIR}${CMAKE_INSTALL_BINDIR}")
  else()
    set(pictor_installed_cli "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}")
  endif()
  install(CODE "file(RPATH_CHANGE FILE \"${pictor_installed_cli}/$<TARGET_FILE_NAME:pictor_cli>\"
                    OLD_RPATH [[${pictor_built_rpath}]] NEW_RPATH [[${pictor_installed_rpath}]])"
          COMPONENT Runtime)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/pictor.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT Runtime)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md
              ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Runtime)

# pkg-config: written when installing, so that its prefix is the one given to cmake --install.
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(pictor_pc_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(pictor_pc_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
set(pictor_pc_file ${PROJECT_BINARY_DIR}/pkgconfig/pictor.pc)
install(CODE "
  set(PICTOR_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(PICTOR_PC_LIBDIR [[${pictor_pc_LIBDIR}]])
  set(PICTOR_PC_INCLUDEDIR [[${pictor_pc_INCLUDEDIR}]])
  set(PICTOR_PC_VERSION [[${PROJECT_VERSION}]])
  configure_file([[${PROJECT_SOURCE_DIR}/cmake/pictor.pc.in]] [[${pictor_pc_file}]] @ONLY)"
  COMPONENT Development)
install(FILES ${pictor_pc_file} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)

# CMake package: find_package(Pictor) gives the imported target Pictor::pictor.
set(pictor_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Pictor)
install(EXPORT PictorTargets NAMESPACE Pictor:: DESTINATION ${pictor_cmake_dir}
        COMPONENT Development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/PictorConfig.cmake.in
  ${PROJECT_BINARY_DIR}/cmake/PictorConfig.cmake INSTALL_DESTINATION ${pictor_cmake_dir})
# The soname changes with the major version only, so a package of the same major serves.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/PictorConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/PictorConfig.cmake
              ${PROJECT_BINARY_DIR}/cmake/PictorConfigVersion.cmake
        DESTINATION ${pictor_cmake_dir} COMPONENT Development)
