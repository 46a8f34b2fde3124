# Install rules for the module tree laid out in InstallLayout.cmake, and the
# Debian package of it (Package.cmake).
set(_root "${QMF_INSTALL_MODULE_ROOT}")

# The module description: its path "." is the folder holding the .mod file,
# so the tree keeps working wherever it is copied or moved.
configure_file(${CMAKE_CURRENT_LIST_DIR}/qmf.mod.in ${PROJECT_BINARY_DIR}/qmf.mod @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qmf.mod DESTINATION "${_root}")

if(TARGET qmfTranslator)
  install(TARGETS qmfTranslator LIBRARY DESTINATION "${_root}plug-ins")
endif()
get_target_property(_kell_imported Kell IMPORTED)
if(_kell_imported)
  # The maker's library in place of the stand-in: shipped beside the plug-in all the same.
  install(IMPORTED_RUNTIME_ARTIFACTS Kell LIBRARY DESTINATION "${_root}lib")
else()
  install(TARGETS Kell LIBRARY DESTINATION "${_root}lib")
endif()
if(TARGET qmf_assimp_reader)
  # Loaded by the FBX, glTF and Collada reader's child process, found as the libraries are.
  install(TARGETS qmf_assimp_reader LIBRARY DESTINATION "${_root}lib")
endif()
if(TARGET mayahost)
  # The headless host: the tool's stand-in for Maya (a real Maya build has none).
  install(TARGETS mayahost LIBRARY DESTINATION "${_root}lib" NAMELINK_SKIP)
endif()
if(TARGET qmf)
  install(TARGETS qmf RUNTIME DESTINATION "${_root}bin")
  # With the module in a folder of its own, PREFIX/bin/qmf reaches its command
  # (the command finds the translator from its own resolved path).
  install(CODE [[
    if(NOT QMF_MODULE_DIR STREQUAL "")
      set(_link "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/qmf")
      file(MAKE_DIRECTORY "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
      file(RELATIVE_PATH _target "${CMAKE_INSTALL_PREFIX}/bin" "${CMAKE_INSTALL_PREFIX}/${QMF_MODULE_DIR}bin/qmf")
      message(STATUS "Installing: ${_link} -> ${_target}")
      file(CREATE_LINK "${_target}" "${_link}" SYMBOLIC)
      list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_link}")
    endif()
  ]])
  install(FILES ${PROJECT_SOURCE_DIR}/tools/qmf/completion.bash
          DESTINATION share/bash-completion/completions RENAME qmf)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION share/doc/qmf)
# The pages with the pictures they show (README's docs/images/ links resolve here).
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION share/doc/qmf/docs
        FILES_MATCHING PATTERN "*.md" PATTERN "*.svg")
if(TARGET qmf)
  # qmf(1), made from the command's own --help texts.
  set(_man ${PROJECT_BINARY_DIR}/man/qmf.1.gz)
  add_custom_command(OUTPUT ${_man}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -DQMF=$<TARGET_FILE:qmf> -DVERSION=${PROJECT_VERSION} -DOUT=${_man}
            -P ${CMAKE_CURRENT_LIST_DIR}/ManPage.cmake
    DEPENDS qmf ${CMAKE_CURRENT_LIST_DIR}/ManPage.cmake
    COMMENT "Writing the qmf(1) manual page from --help")
  add_custom_target(qmf_man ALL DEPENDS ${_man})
  install(FILES ${_man} DESTINATION share/man/man1)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION share/doc/qmf/examples
        PATTERN "CMakeLists.txt" EXCLUDE)

# The shipped binaries are built with the run path they are installed with:
# from bin/, lib/ and plug-ins/ alike, $ORIGIN/../lib is the libraries'
# folder, in the build tree as in the installed one. The run path CMake
# builds them with otherwise, to be rewritten at install, ends in an empty
# entry, which the loader takes for the folder the command is run from.
foreach(_t qmf Kell mayahost qmfTranslator qmf_assimp_reader)
  if(TARGET ${_t})
    get_target_property(_imported ${_t} IMPORTED)
    if(NOT _imported)
      set_target_properties(${_t} PROPERTIES BUILD_WITH_INSTALL_RPATH ON)
    endif()
  endif()
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)
