# Installs the build tree into a fresh prefix and builds a Go program against it the way a user
# would: the package through a replace directive, the library through pkg-config and vesk.pc (no
# build tag, no CGO_CFLAGS). The program must run from the installed library.
# RUN_CHECKED: cmake/run_checked.cmake, passed in by the build.
include(${RUN_CHECKED})

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# Only the prefix's vesk.pc is seen.
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/${LIBDIR}/pkgconfig)
set(ENV{GOCACHE} ${GO_CACHE}/gocache)
set(ENV{GOPATH} ${GO_CACHE}/gopath)
set(ENV{GOENV} off)
set(ENV{GOPROXY} off)
set(ENV{GOTOOLCHAIN} local)
set(ENV{GOFLAGS} -mod=mod)
set(ENV{CGO_ENABLED} 1)
unset(ENV{CGO_CFLAGS})
# The prefix is not one the system's loader searches.
set(ENV{CGO_LDFLAGS} -Wl,-rpath,${prefix}/${LIBDIR})
unset(ENV{LD_LIBRARY_PATH})
run("go build through pkg-config" ${CMAKE_COMMAND} -E chdir ${CONSUMER} ${GO} build -o ${WORK_DIR}/consumer .)
run("the program built through pkg-config" ${WORK_DIR}/consumer)
string(STRIP "${last_output}" said)
if(NOT said MATCHES "^${VERSION} ${prefix}/${LIBDIR}/libvesk\\.so")
  message(FATAL_ERROR "the program says '${said}': expected version ${VERSION} from ${prefix}/${LIBDIR}")
endif()
message(STATUS "built through pkg-config: ${said}")
