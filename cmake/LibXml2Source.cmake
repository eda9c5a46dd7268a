# libxml2 compiled into the Windows build from the source of Debian's own package, which
# scripts/windows unpacks (the release the Linux build links). Only the parser is wanted:
# the import hands it UTF-8, so neither iconv nor the compression and network parts are
# built, nor its programs, tests and the parts the import does not use.
set(NBL_LIBXML2_SOURCE "" CACHE PATH "libxml2's source tree from Debian's source package")
if(NOT EXISTS "${NBL_LIBXML2_SOURCE}/CMakeLists.txt")
  message(FATAL_ERROR "NBL_LIBXML2_SOURCE must name libxml2's source tree (scripts/windows unpacks one)")
endif()
set(BUILD_SHARED_LIBS OFF)
foreach(part ICONV ICU LZMA ZLIB PYTHON TESTS PROGRAMS HTTP FTP MODULES CATALOG C14N DEBUG DOCB HTML
             SCHEMAS SCHEMATRON XINCLUDE XPTR LEGACY)
  set(LIBXML2_WITH_${part} OFF)
endforeach()
add_subdirectory(${NBL_LIBXML2_SOURCE} ${CMAKE_BINARY_DIR}/libxml2 EXCLUDE_FROM_ALL)
# Not ours to clean up: our warning flags stay off it. LIBXML_STATIC for its own sources
# too, or every libxml2 function would be exported from NBLinout.dll.
target_compile_options(LibXml2 PRIVATE -w)
target_compile_definitions(LibXml2 PRIVATE LIBXML_STATIC)
