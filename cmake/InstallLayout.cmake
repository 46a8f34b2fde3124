# Where `cmake --install` puts things. The prefix is laid out as a Maya module
# that can be moved as a whole (every path inside it is relative):
#
#   PREFIX/qmf.mod                       module description (MAYA_MODULE_PATH)
#   PREFIX/plug-ins/qmfTranslator.so     the translator
#   PREFIX/lib/                          the libraries it and the tool link
#   PREFIX/bin/qmf                       the command
#   PREFIX/share/doc/qmf/                README, copyright, docs/ (with images/), examples/
#   PREFIX/share/bash-completion/completions/qmf
#
# A system package keeps the module tree in a folder of its own under the
# prefix (the Debian package: /usr/lib/qmf) so that docs and completion land
# in the system's folders: the environment variable QMF_INSTALL_MODULE_DIR,
# read at install time, names that folder relative to the prefix, and
# PREFIX/bin/qmf is then a link to the module's command.
#
# Install rules put module files under "${QMF_INSTALL_MODULE_ROOT}bin" and the
# like: the variable is expanded when the install runs, not here.
set(QMF_INSTALL_MODULE_ROOT "\${QMF_MODULE_DIR}")

# Standard folder names for rules that want them (the module tree does not).
include(GNUInstallDirs)

# Binaries find their libraries beside them in the module, wherever it is.
set(CMAKE_INSTALL_RPATH "$ORIGIN/../lib")

# First of all install rules (this file is included before any subfolder),
# so every later rule sees QMF_MODULE_DIR.
install(CODE [[
  set(QMF_MODULE_DIR "$ENV{QMF_INSTALL_MODULE_DIR}")
  if(QMF_MODULE_DIR MATCHES "^/|(^|/)\\.\\.(/|$)")
    message(FATAL_ERROR "QMF_INSTALL_MODULE_DIR must be a folder inside the prefix, not '${QMF_MODULE_DIR}'")
  endif()
  string(REGEX REPLACE "/+$" "" QMF_MODULE_DIR "${QMF_MODULE_DIR}")
  if(QMF_MODULE_DIR STREQUAL "" OR QMF_MODULE_DIR STREQUAL ".")
    set(QMF_MODULE_DIR "")
  else()
    string(APPEND QMF_MODULE_DIR "/")
  endif()
]] ALL_COMPONENTS)
