# The WebAssembly build of the page's core, included by the top-level
# CMakeLists.txt when MORVIK_WASM is on. The layers' targets of
# src/CMakeLists.txt are built unchanged; this file supplies the libraries
# they link and the page's core, web/morvik-core.js (the WebAssembly module
# inside it, so that the page also works opened from disk).
if(NOT EMSCRIPTEN)
  message(FATAL_ERROR "MORVIK_WASM needs emscripten: emcmake cmake -B build-wasm -DMORVIK_WASM=ON")
endif()

set(MORVIK_WASM_DEPS "" CACHE PATH
    "zlib, libxml2 and libarchive built for WebAssembly (the folder scripts/wasm-deps.sh prints)")
if(NOT EXISTS "${MORVIK_WASM_DEPS}/.complete")
  message(FATAL_ERROR "MORVIK_WASM_DEPS=${MORVIK_WASM_DEPS} is not a finished scripts/wasm-deps.sh folder")
endif()

add_library(wasm_zlib STATIC IMPORTED)
set_target_properties(wasm_zlib PROPERTIES IMPORTED_LOCATION ${MORVIK_WASM_DEPS}/lib/libz.a)
add_library(LibXml2::LibXml2 STATIC IMPORTED)
set_target_properties(LibXml2::LibXml2 PROPERTIES
  IMPORTED_LOCATION ${MORVIK_WASM_DEPS}/lib/libxml2.a
  INTERFACE_INCLUDE_DIRECTORIES ${MORVIK_WASM_DEPS}/include/libxml2
  INTERFACE_LINK_LIBRARIES wasm_zlib)
add_library(LibArchive::LibArchive STATIC IMPORTED)
set_target_properties(LibArchive::LibArchive PROPERTIES
  IMPORTED_LOCATION ${MORVIK_WASM_DEPS}/lib/libarchive.a
  INTERFACE_INCLUDE_DIRECTORIES ${MORVIK_WASM_DEPS}/include
  INTERFACE_LINK_LIBRARIES wasm_zlib)

# nlohmann/json is headers only: Debian's, seen through a folder of its own
# so that no other header of /usr/include is.
find_path(MORVIK_NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          NO_DEFAULT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/json-include)
file(CREATE_LINK ${MORVIK_NLOHMANN_DIR}/nlohmann ${CMAKE_BINARY_DIR}/json-include/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/json-include
  INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/json-include)

# The page's core: one module in one file (web/morvik-core.js), run in the
# page's worker; the archive and its extraction live in its in-memory file
# system. Memory grows as the archive needs, up to what the page allows.
function(morvik_web_core entry)
  # The core catches exceptions (a document too large for memory, a
  # callback of the XML parser that must not throw through C, programming
  # errors at the front end's edge): emscripten's exceptions, whose C++
  # library Debian's package ships built. Set on project_warnings, which
  # every target of ours links (properties are read when the build is
  # generated, after this).
  target_compile_options(project_warnings INTERFACE -fexceptions)
  target_link_options(project_warnings INTERFACE -fexceptions)
  # CP932 for the C library, from a table of the build machine's own C
  # library (web/cp932iconv.cpp).
  find_program(MORVIK_PYTHON python3 NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(cp932_table ${CMAKE_BINARY_DIR}/cp932/cp932table.inc)
  add_custom_command(OUTPUT ${cp932_table}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/cp932
    COMMAND ${MORVIK_PYTHON} ${PROJECT_SOURCE_DIR}/web/cp932table.py > ${cp932_table}
    DEPENDS ${PROJECT_SOURCE_DIR}/web/cp932table.py
    COMMENT "Reading the CP932 table from the C library")
  add_executable(morvik-core ${entry} ${PROJECT_SOURCE_DIR}/web/cp932iconv.cpp ${cp932_table})
  target_include_directories(morvik-core PRIVATE ${CMAKE_BINARY_DIR}/cp932)
  target_link_libraries(morvik-core PRIVATE morvik_cli project_warnings)
  target_link_options(morvik-core PRIVATE
    -Wl,--wrap=iconv_open -Wl,--wrap=iconv -Wl,--wrap=iconv_close)
  target_compile_definitions(morvik-core PRIVATE MORVIK_VERSION="${PROJECT_VERSION}")
  target_link_options(morvik-core PRIVATE
    --no-entry -sMODULARIZE=1 -sEXPORT_NAME=MorvikCore -sSINGLE_FILE=1
    -sENVIRONMENT=web,worker -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=4GB
    -sFILESYSTEM=1 -sFORCE_FILESYSTEM=1 -sEXIT_RUNTIME=0
    "-sEXPORTED_FUNCTIONS=_morvik_inspect,_morvik_version"
    "-sEXPORTED_RUNTIME_METHODS=FS,ccall,UTF8ToString")
  set_target_properties(morvik-core PROPERTIES SUFFIX .js
                        RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/web)
  # The page's own files beside the core, so that build-wasm/web/ is the site.
  file(GLOB page_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/web/*.html
       ${PROJECT_SOURCE_DIR}/web/*.css ${PROJECT_SOURCE_DIR}/web/*.js)
  list(APPEND page_files ${PROJECT_SOURCE_DIR}/resources/morvik-32.png)
  add_custom_target(web_page ALL
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${page_files} ${PROJECT_BINARY_DIR}/web/
    DEPENDS ${page_files} morvik-core
    COMMENT "Copying the page beside its core")
endfunction()
