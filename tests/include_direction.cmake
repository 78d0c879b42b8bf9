# Fails when a file under SOURCE_DIR includes against the direction of the
# layers: platform/ <- inspection/ <- report/ <- ui/ <- app/, and inside
# platform/ the sub-folders by concern: text/ stands alone, fs/ may use it,
# zip/ and xml/ may use those two but not each other. Every target sees src/, so
# the compiler alone would accept a wrong-way header include.
#   cmake -DSOURCE_DIR=src -P include_direction.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

# layer -> regular expression of include targets it must not name
set(forbidden_platform "^\"(inspection|report|ui|app)/|^<Q")
set(forbidden_platform/fs "^\"platform/(zip|xml)/")
set(forbidden_platform/text "^\"platform/(zip|xml|fs)/")
set(forbidden_platform/process "^\"platform/(zip|xml|fs)/")
set(forbidden_platform/zip "^\"platform/xml/")
set(forbidden_platform/xml "^\"platform/zip/")
set(posix "^<(unistd|fcntl|dirent|sched|pthread|iconv)\\.h>|^<sys/")
set(forbidden_inspection "${posix}|^\"(report|ui|app)/|^<Q|^\"platform/xml/(xmlruntime|xmlschemacache|xmlstream|xmlidattributes)\\.h\"|^<libxml/|^<archive")
set(forbidden_report "${posix}|^\"(ui|app)/|^<Q|^\"platform/xml/(xmlruntime|xmlschemacache|xmlstream|xmlidattributes)\\.h\"|^<libxml/|^<archive")
# The reasons read libxml2's error code numbers from its header, nothing else.
set(allowed_report "^<libxml/xmlerror\\.h>$")
set(forbidden_ui "^\"app/|^\"platform/xml/(xmlruntime|xmlschemacache|xmlstream|xmlidattributes)\\.h\"|^<libxml/|^<archive")
set(forbidden_app "^\"platform/xml/(xmlruntime|xmlschemacache|xmlstream|xmlidattributes)\\.h\"|^<libxml/|^<archive")

set(violations "")
foreach(layer platform/fs platform/text platform/process platform/zip platform/xml platform inspection report ui
        app)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(file ${files})
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
      string(REGEX MATCH "[\"<][^\">]+[\">]" target "${line}")
      if(target MATCHES "${forbidden_${layer}}" AND NOT (DEFINED allowed_${layer}
                                                         AND target MATCHES "${allowed_${layer}}"))
        file(RELATIVE_PATH shown "${SOURCE_DIR}" "${file}")
        list(APPEND violations "${shown} includes ${target}")
      endif()
    endforeach()
  endforeach()
endforeach()

# Only the adapters' own sources speak to the C libraries directly.
file(GLOB_RECURSE platform_headers "${SOURCE_DIR}/platform/*.h")
foreach(file ${platform_headers})
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*<(libxml/|archive)")
  foreach(line IN LISTS lines)
    file(RELATIVE_PATH shown "${SOURCE_DIR}" "${file}")
    list(APPEND violations "${shown} (a header) includes a C library's header: ${line}")
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Includes against the direction of the layers:\n  ${text}")
endif()
message(STATUS "include direction: no file includes against the layers")
