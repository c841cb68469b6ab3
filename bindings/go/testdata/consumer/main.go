// A program outside the package that uses it as a host would: through a replace directive to the
// checkout, finding the library with pkg-config. It prints the library's version and the file the
// dynamic loader took it from.
package main

import (
	"bufio"
	"fmt"
	"log"
	"os"
	"strings"

	"vesk"
)

func main() {
	key, err := vesk.GenerateSecretKey()
	if err != nil {
		log.Fatal(err)
	}
	defer key.Close()
	public, err := key.PublicKey()
	if err != nil {
		log.Fatal(err)
	}
	container, err := vesk.Encrypt([]byte("installed"), [][]byte{public})
	if err != nil {
		log.Fatal(err)
	}
	plaintext, err := vesk.Decrypt(container, key)
	if err != nil {
		log.Fatal(err)
	}
	defer plaintext.Close()
	if string(plaintext.Bytes()) != "installed" {
		log.Fatal("the round trip lost the plaintext")
	}
	fmt.Println(vesk.Version(), loaded())
}

// loaded is the path of the libvesk mapped into this process.
func loaded() string {
	maps, err := os.Open("/proc/self/maps")
	if err != nil {
		log.Fatal(err)
	}
	defer maps.Close()
	lines := bufio.NewScanner(maps)
	for lines.Scan() {
		fields := strings.Fields(lines.Text())
		if path := fields[len(fields)-1]; strings.Contains(path, "/libvesk.so") {
			return path
		}
	}
	log.Fatal("libvesk is not mapped")
	return ""
}
