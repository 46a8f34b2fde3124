# `cpack -G DEB` in the build folder: a Debian package of the command and the
# Maya module. Layout on the system:
#   /usr/lib/qmf/                         the module tree (qmf.mod, plug-ins/, lib/, bin/qmf)
#   /usr/bin/qmf                          link to /usr/lib/qmf/bin/qmf
#   /usr/share/doc/qmf/                   README, copyright, docs/ (with images/), examples/
#   /usr/share/bash-completion/completions/qmf
#   /usr/share/man/man1/qmf.1.gz         made from the command's --help texts
set(CPACK_PACKAGE_NAME qmf)
set(CPACK_PACKAGE_VENDOR "qmf")
set(CPACK_PACKAGE_CONTACT "qmf maintainers <qmf@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Movantis animation files for Maya: translator plug-in and command-line tool")
set(CPACK_PACKAGE_DESCRIPTION
    "The qmf translator plug-in carries character skeletons and skeletal animation between Maya \
scenes and Movantis animation files. The qmf command runs it without Maya on Maya ASCII \
scenes, and converts BVH motion capture. The Maya module is in /usr/lib/qmf: add that \
folder to MAYA_MODULE_PATH.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# Dependencies from what the binaries link (dpkg-shlibdeps); the private
# libraries in the module's lib/ come with the package itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}/lib")
# The Python module is built for one Python release and reaches NumPy on import;
# the command and the Maya module need neither.
if(TARGET qmf_python)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
      "python3 (>= ${QMF_PYTHON_RELEASE}), python3 (<< ${QMF_PYTHON_RELEASE}.99), python3-numpy")
endif()
# Run by cpack before it installs into its staging folder: the module goes
# into a folder of its own for the DEB package only.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageConfig.cmake)
include(CPack)
