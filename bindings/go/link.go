package vesk

// How the package finds libvesk. By default pkg-config names the header folder and the library
// (an installed prefix: PKG_CONFIG_PATH=$P/lib/pkgconfig). Built with the tag vesk_no_pkgconfig,
// the package asks pkg-config nothing and links -lvesk from wherever CGO_CFLAGS and CGO_LDFLAGS
// point, which is how a build tree is used.

/*
#cgo !vesk_no_pkgconfig pkg-config: vesk
#cgo vesk_no_pkgconfig LDFLAGS: -lvesk
*/
import "C"
