# The translator: a static core (everything but the entry points) and the
# module the host loads. The core links no animation library: the module
# links Kell, test binaries link the recording double in its place.

file(GLOB QMF_IMPORT_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/import/*.cpp)

add_library(qmf_translator_core STATIC
  ${PROJECT_SOURCE_DIR}/interfaces/HostApi.cpp
  ${PROJECT_SOURCE_DIR}/convert/SpaceConversion.cpp
  ${PROJECT_SOURCE_DIR}/export/AnimExporter.cpp
  ${PROJECT_SOURCE_DIR}/export/SkeletonBuilder.cpp
  ${PROJECT_SOURCE_DIR}/export/BodyVolume.cpp
  ${PROJECT_SOURCE_DIR}/plugin/AnimFileTranslator.cpp
  ${QMF_IMPORT_SOURCES})
set_target_properties(qmf_translator_core PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(qmf_translator_core PUBLIC
  ${PROJECT_SOURCE_DIR}
  ${PROJECT_SOURCE_DIR}/kell/include)
target_link_libraries(qmf_translator_core PUBLIC maya::api)

# Entry points live outside the core so that tests can compile them into a
# test binary against the recording library.
set(QMF_PLUGIN_ENTRY_SOURCES ${PROJECT_SOURCE_DIR}/plugin/PluginMain.cpp)

add_library(qmfTranslator MODULE ${QMF_PLUGIN_ENTRY_SOURCES})
target_link_libraries(qmfTranslator PRIVATE qmf_translator_core Kell maya::api)
set_target_properties(qmfTranslator PROPERTIES
  PREFIX ""
  LIBRARY_OUTPUT_DIRECTORY ${QMF_PLUGIN_OUTPUT_DIRECTORY})
# Only the entry points and MApiVersion are visible to the host; template
# instantiations from the standard library stay inside the module.
target_link_options(qmfTranslator PRIVATE
  LINKER:--no-undefined
  LINKER:--version-script=${PROJECT_SOURCE_DIR}/cmake/qmfTranslator.map)
set_property(TARGET qmfTranslator APPEND PROPERTY LINK_DEPENDS
  ${PROJECT_SOURCE_DIR}/cmake/qmfTranslator.map)
