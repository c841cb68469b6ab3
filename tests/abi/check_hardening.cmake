# What can be seen of the hardening in what the build made.
#  - BINARIES (libvesk.so, the vesk tool): a read-only relocation table bound at load time (RELRO,
#    BIND_NOW), a stack that cannot execute, the stack protector and fortified C library calls in
#    use.
#  - ARCHIVES (the library's own archives, and the libcrypto it links): every object marked for
#    control-flow enforcement (indirect branch tracking and shadow stacks). The linked binaries carry
#    the mark only when every input does; the C library's own start files on Debian do not.
# Variables: BINARIES, ARCHIVES, READELF.
function(readelf out)
  execute_process(COMMAND ${READELF} -W ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "readelf ${ARGN} failed: ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Adds "<name>: <what>" to the failures unless `text` matches `pattern`.
function(expect text pattern what)
  if(NOT "${text}" MATCHES "${pattern}")
    set(failures ${failures} "${name}: ${what}" PARENT_SCOPE)
  endif()
endfunction()

set(failures "")
foreach(binary IN LISTS BINARIES)
  get_filename_component(name ${binary} NAME)
  readelf(segments -l ${binary})
  expect("${segments}" "GNU_RELRO" "no RELRO segment")
  expect("${segments}" "GNU_STACK[^\n]* RW  " "the stack is executable or unmarked")
  readelf(dynamic -d ${binary})
  expect("${dynamic}" "\\(FLAGS\\)[^\n]*BIND_NOW|\\(FLAGS_1\\)[^\n]* NOW" "symbols are not bound at load time (BIND_NOW)")
  readelf(symbols --dyn-syms ${binary})
  expect("${symbols}" " UND __stack_chk_fail" "no stack protector")
  expect("${symbols}" " UND __[a-z_]+_chk@" "no fortified C library call")
endforeach()

foreach(archive IN LISTS ARCHIVES)
  get_filename_component(name ${archive} NAME)
  readelf(notes -n ${archive})
  string(REGEX MATCHALL "\nFile: [^\n]*" members "${notes}")
  list(LENGTH members member_count)
  # Each member's notes come after its "File:" line; split the listing there.
  string(REPLACE "\nFile: " ";" parts "${notes}")
  set(unmarked "")
  foreach(part IN LISTS parts)
    if(part MATCHES "^[^\n]*\\.o\\)")
      if(NOT part MATCHES "x86 feature: IBT, SHSTK")
        string(REGEX MATCH "^[^\n]*" member "${part}")
        list(APPEND unmarked "${member}")
      endif()
    endif()
  endforeach()
  if(member_count EQUAL 0)
    list(APPEND failures "${name}: no members found")
  elseif(unmarked)
    list(LENGTH unmarked n)
    list(GET unmarked 0 first)
    list(APPEND failures "${name}: ${n} of ${member_count} objects not marked for IBT and SHSTK, e.g. ${first}")
  endif()
endforeach()

if(failures)
  string(REPLACE ";" "\n  " failures "${failures}")
  message(FATAL_ERROR "hardening missing:\n  ${failures}")
endif()
list(LENGTH BINARIES nb)
list(LENGTH ARCHIVES na)
message(STATUS "hardening present in ${nb} binaries and every object of ${na} archives")
