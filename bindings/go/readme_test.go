package vesk

import (
	"go/ast"
	"go/parser"
	"go/token"
	"os"
	"path/filepath"
	"regexp"
	"strings"
	"testing"
)

// The package's exported names: top-level ones, and the methods and fields of its types.
func exportedNames(t *testing.T) (topLevel, members map[string]bool) {
	topLevel, members = map[string]bool{}, map[string]bool{}
	packages, err := parser.ParseDir(token.NewFileSet(), ".", func(info os.FileInfo) bool {
		return !strings.HasSuffix(info.Name(), "_test.go")
	}, 0)
	if err != nil {
		t.Fatal(err)
	}
	for _, file := range packages["vesk"].Files {
		ast.Inspect(file, func(n ast.Node) bool {
			switch d := n.(type) {
			case *ast.FuncDecl:
				if d.Recv != nil {
					members[d.Name.Name] = true
				} else {
					topLevel[d.Name.Name] = true
				}
			case *ast.TypeSpec:
				topLevel[d.Name.Name] = true
			case *ast.ValueSpec:
				for _, name := range d.Names {
					topLevel[name.Name] = true
				}
			case *ast.Field:
				for _, name := range d.Names {
					members[name.Name] = true
				}
			}
			return true
		})
	}
	return topLevel, members
}

// The README's Go section names only what the package has: every vesk.Name, and every method
// or field called on a value of it.
func TestReadmeNamesOnlyWhatThePackageHas(t *testing.T) {
	text, err := os.ReadFile(filepath.Join("..", "..", "README.md"))
	if err != nil {
		t.Fatal(err)
	}
	section := string(text)
	start := strings.Index(section, "\n## Go\n")
	if start < 0 {
		t.Fatal("the README has no Go section")
	}
	section = section[start+1:]
	if end := strings.Index(section, "\n## "); end >= 0 {
		section = section[:end]
	}
	topLevel, members := exportedNames(t)
	standard := map[string]bool{"fmt": true, "errors": true, "os": true, "log": true, "hex": true, "time": true}
	selector := regexp.MustCompile(`\b([a-zA-Z]\w*)\.([A-Z]\w*)`)
	blocks := regexp.MustCompile("(?s)```go\n(.*?)```").FindAllStringSubmatch(section, -1)
	if len(blocks) < 6 {
		t.Fatalf("%d Go blocks in the README's Go section", len(blocks))
	}
	for _, block := range blocks {
		for _, m := range selector.FindAllStringSubmatch(block[1], -1) {
			switch {
			case standard[m[1]]:
			case m[1] == "vesk" && !topLevel[m[2]]:
				t.Errorf("the README names vesk.%s, which the package does not have", m[2])
			case m[1] != "vesk" && !members[m[2]]:
				t.Errorf("the README calls %s.%s, which no type of the package has", m[1], m[2])
			}
		}
	}
}
