# Fails if any of FILES holds the checkout's absolute path (CHECKOUT): source locations in the
# library are relative to the repository, so nothing of the machine that built it is inside.
foreach(f IN LISTS FILES)
  file(STRINGS ${f} hits REGEX "${CHECKOUT}/" LIMIT_COUNT 3)
  if(hits)
    message(FATAL_ERROR "${f} holds the checkout's path ${CHECKOUT}:\n${hits}")
  endif()
endforeach()
