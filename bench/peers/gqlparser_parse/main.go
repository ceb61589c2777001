// One row of bench/peers/peers.py for gqlparser's parser: parses the query in the
// file named on the command line, best of five batches, and prints MB/s and
// the peak resident growth of the first parse, as JSON.
package main

import (
	"encoding/json"
	"fmt"
	"os"
	"syscall"
	"time"

	"github.com/vektah/gqlparser/v2/ast"
	"github.com/vektah/gqlparser/v2/parser"
)

func maxResidentBytes() int64 {
	var usage syscall.Rusage
	syscall.Getrusage(syscall.RUSAGE_SELF, &usage)
	return usage.Maxrss * 1024
}

func parse(text string) {
	if _, err := parser.ParseQuery(&ast.Source{Input: text}); err != nil {
		fmt.Fprintln(os.Stderr, "the text does not parse:", err)
		os.Exit(1)
	}
}

func main() {
	data, err := os.ReadFile(os.Args[1])
	if err != nil {
		fmt.Fprintln(os.Stderr, err)
		os.Exit(2)
	}
	text := string(data)
	before := maxResidentBytes()
	parse(text)
	growth := maxResidentBytes() - before
	calls := 1
	for {
		started := time.Now()
		for i := 0; i < calls; i++ {
			parse(text)
		}
		if time.Since(started) >= 100*time.Millisecond || calls >= 1<<24 {
			break
		}
		calls *= 2
	}
	best := 1e300
	for batch := 0; batch < 5; batch++ {
		started := time.Now()
		for i := 0; i < calls; i++ {
			parse(text)
		}
		if seconds := time.Since(started).Seconds() / float64(calls); seconds < best {
			best = seconds
		}
	}
	row := map[string]float64{
		"bytes":             float64(len(text)),
		"mb_per_s":          float64(len(text)) / best / 1e6,
		"resident_per_byte": float64(growth) / float64(len(text)),
	}
	out, _ := json.Marshal(row)
	fmt.Println(string(out))
}
