# What "cmake --install" puts under the prefix: the library (libvorlan13.so.1 with its
# development link; on Windows vorlan13.dll), the header, the toolkit plug-ins beside the
# library (where the library looks for them), vorlan and vorlan-keygen, their manual pages
# and bash completion, a pkg-config file and a CMake package (find_package(vorlan13) gives
# the imported target vorlan13::vorlan13), and the README.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

target_include_directories(vorlan13 INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS vorlan13 EXPORT vorlan13Targets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${VORLAN_ROOT}/include/vorlan13.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(FILES ${VORLAN_ROOT}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Plug-ins beside the library: the bin directory on Windows, the library directory elsewhere.
if(WIN32)
  set(plugin_dir ${CMAKE_INSTALL_BINDIR})
else()
  set(plugin_dir ${CMAKE_INSTALL_LIBDIR})
endif()
foreach(target mplugf mplug)
  if(TARGET ${target})
    install(TARGETS ${target} LIBRARY DESTINATION ${plugin_dir} RUNTIME DESTINATION ${plugin_dir})
  endif()
endforeach()
foreach(target vorlan vorlan-keygen)
  if(TARGET ${target})
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Manual pages and completion, printed by the programs themselves from their command trees.
if(TARGET vorlan AND NOT CMAKE_CROSSCOMPILING)
  set(docs ${CMAKE_BINARY_DIR}/share)
  set(outputs "")
  foreach(spec "vorlan;--man-page;man/man1/vorlan.1" "vorlan-keygen;--man-page;man/man1/vorlan-keygen.1"
               "vorlan;--bash-completion;bash-completion/completions/vorlan"
               "vorlan-keygen;--bash-completion;bash-completion/completions/vorlan-keygen")
    list(GET spec 0 program)
    list(GET spec 1 option)
    list(GET spec 2 file)
    add_custom_command(OUTPUT ${docs}/${file}
      COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DOPTION=${option} -DOUT=${docs}/${file}
              -P ${VORLAN_ROOT}/cmake/run_to_file.cmake
      DEPENDS ${program} ${VORLAN_ROOT}/cmake/run_to_file.cmake VERBATIM)
    list(APPEND outputs ${docs}/${file})
  endforeach()
  add_custom_target(vorlan_docs ALL DEPENDS ${outputs})
  install(DIRECTORY ${docs}/man ${docs}/bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR})
endif()

# pkg-config: relocatable, the prefix found from the file's own place.
file(RELATIVE_PATH pc_to_prefix "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/vorlan13.pc @ONLY CONTENT [[prefix=${pcfiledir}/@pc_to_prefix@
libdir=${prefix}/@CMAKE_INSTALL_LIBDIR@
includedir=${prefix}/@CMAKE_INSTALL_INCLUDEDIR@

Name: vorlan13
Description: cryptographic services for document exchange through one flat C interface
Version: @PROJECT_VERSION@
Libs: -L${libdir} -lvorlan13
Cflags: -I${includedir}
]])
install(FILES ${CMAKE_BINARY_DIR}/vorlan13.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vorlan13)
install(EXPORT vorlan13Targets NAMESPACE vorlan13:: DESTINATION ${cmake_dir} COMPONENT development)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/vorlan13Config.cmake @ONLY CONTENT
  [[include(${CMAKE_CURRENT_LIST_DIR}/vorlan13Targets.cmake)
]])
write_basic_package_version_file(${CMAKE_BINARY_DIR}/vorlan13ConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/vorlan13Config.cmake ${CMAKE_BINARY_DIR}/vorlan13ConfigVersion.cmake
  DESTINATION ${cmake_dir} COMPONENT development)
