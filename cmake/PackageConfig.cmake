# Read by cpack for each generator, before the project is installed into the
# package's staging folder.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(ENV{QMF_INSTALL_MODULE_DIR} "lib/qmf")
else()
  set(ENV{QMF_INSTALL_MODULE_DIR} "")
endif()
