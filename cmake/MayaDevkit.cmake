# Builds the translator against a real Maya devkit at MAYA_LOCATION.
# Provides the same target name the headless host does: maya::api.
find_path(MAYA_INCLUDE_DIR maya/MFnPlugin.h PATHS ${MAYA_LOCATION}/include ${MAYA_LOCATION}/devkit/include
          NO_DEFAULT_PATH REQUIRED)
set(_maya_libs)
foreach(lib OpenMaya OpenMayaAnim Foundation)
  find_library(MAYA_${lib}_LIBRARY ${lib} PATHS ${MAYA_LOCATION}/lib NO_DEFAULT_PATH REQUIRED)
  list(APPEND _maya_libs ${MAYA_${lib}_LIBRARY})
endforeach()
add_library(maya_devkit INTERFACE)
target_include_directories(maya_devkit SYSTEM INTERFACE ${MAYA_INCLUDE_DIR})
target_link_libraries(maya_devkit INTERFACE ${_maya_libs})
target_compile_definitions(maya_devkit INTERFACE REQUIRE_IOSTREAM _BOOL LINUX)
add_library(maya::api ALIAS maya_devkit)
