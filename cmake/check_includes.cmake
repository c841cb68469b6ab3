# Fails when a file under SOURCE_DIR/src names an #include path that climbs out of its folder
# ("../") or starts at the root ("/"). Such a path reaches past the include roots that keep each
# family to the families it uses, so the layering rule would hold only by convention.
#   cmake -DSOURCE_DIR=<checkout> -P check_includes.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR must name the checkout")
endif()
file(GLOB_RECURSE files LIST_DIRECTORIES false
  ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.hpp ${SOURCE_DIR}/src/*.c ${SOURCE_DIR}/src/*.cc ${SOURCE_DIR}/src/*.cpp)
set(found "")
foreach(f IN LISTS files)
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*\\.\\./|/)")
  file(RELATIVE_PATH rel ${SOURCE_DIR} ${f})
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    string(APPEND found "\n  ${rel}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "an include climbs out of its family (include other families by their root, "
                      "\"family/file.h\", and only those the family uses):${found}")
endif()
