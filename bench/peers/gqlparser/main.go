// gqlparser's validator on bench/data's schema and dashboard query, beside
// dovrane: with every rule it registers, and with only the rules that
// dovrane's validation also checks. It prints microseconds per call, the best
// of seven runs; it asserts nothing. See README ("Benchmarks") for how to run it.
package main

import (
	"fmt"
	"os"
	"path/filepath"
	"time"
	_ "unsafe" // go:linkname

	"github.com/vektah/gqlparser/v2/ast"
	"github.com/vektah/gqlparser/v2/parser"
	"github.com/vektah/gqlparser/v2/validator"
	_ "github.com/vektah/gqlparser/v2/validator/rules" // registers every rule
)

// The validator's registered rules, as its own unexported slice holds them.
type rule struct {
	name string
	rule func(observers *validator.Events, addError validator.AddErrFunc)
}

//go:linkname registered github.com/vektah/gqlparser/v2/validator.rules
var registered []rule

// The rules whose checks dovrane's validation also makes: fields, arguments
// and their values, variables' use, leaf and composite selections, fragments
// (defined, on known composite types, possible, without cycles), directives
// and the root types. Left out: unused fragments and variables, field
// merging, uniqueness of operation and fragment names, of input fields and of
// directives per location, and variables' input types.
var sameRules = map[string]bool{
	"FieldsOnCorrectType":        true,
	"FragmentsOnCompositeTypes":  true,
	"KnownArgumentNames":         true,
	"KnownDirectives":            true,
	"KnownFragmentNames":         true,
	"KnownRootType":              true,
	"KnownTypeNames":             true,
	"NoFragmentCycles":           true,
	"NoUndefinedVariables":       true,
	"PossibleFragmentSpreads":    true,
	"ProvidedRequiredArguments":  true,
	"ScalarLeafs":                true,
	"SingleFieldSubscriptions":   true,
	"UniqueArgumentNames":        true,
	"UniqueVariableNames":        true,
	"ValuesOfCorrectType":        true,
	"VariablesInAllowedPosition": true,
}

func bestMicroseconds(call func()) float64 {
	calls := 1
	for {
		started := time.Now()
		for i := 0; i < calls; i++ {
			call()
		}
		if time.Since(started) >= 100*time.Millisecond {
			break
		}
		calls *= 2
	}
	best := 0.0
	for run := 0; run < 7; run++ {
		started := time.Now()
		for i := 0; i < calls; i++ {
			call()
		}
		us := float64(time.Since(started).Nanoseconds()) / 1e3 / float64(calls)
		if run == 0 || us < best {
			best = us
		}
	}
	return best
}

func read(data, name string) string {
	text, err := os.ReadFile(filepath.Join(data, name))
	if err != nil {
		fmt.Fprintln(os.Stderr, err)
		os.Exit(1)
	}
	return string(text)
}

func main() {
	data := "../../data"
	if len(os.Args) > 1 {
		data = os.Args[1]
	}
	schema, err := validator.LoadSchema(validator.Prelude, &ast.Source{Name: "schema.graphql", Input: read(data, "schema.graphql")})
	if err != nil {
		fmt.Fprintln(os.Stderr, "schema:", err)
		os.Exit(1)
	}
	query := read(data, "query.graphql")
	document, parseErr := parser.ParseQuery(&ast.Source{Name: "query.graphql", Input: query})
	if parseErr != nil {
		fmt.Fprintln(os.Stderr, "query:", parseErr)
		os.Exit(1)
	}
	if errs := validator.Validate(schema, document); len(errs) > 0 {
		fmt.Fprintln(os.Stderr, "the query does not validate:", errs)
		os.Exit(1)
	}
	all := registered
	var same []rule
	for _, r := range all {
		if sameRules[r.name] {
			same = append(same, r)
		}
	}
	// The walk fills in the definitions of the nodes it meets, the same ones
	// each time, so one parsed document serves every run.
	validate := func(rules []rule) float64 {
		registered = rules
		defer func() { registered = all }()
		return bestMicroseconds(func() {
			validator.Validate(schema, document)
		})
	}
	fmt.Printf("gqlparser 2.5.1, dashboard query (%d bytes)\n", len(query))
	fmt.Printf("  parse                          %8.2f us\n", bestMicroseconds(func() {
		parser.ParseQuery(&ast.Source{Input: query})
	}))
	fmt.Printf("  validate, all %2d rules         %8.2f us\n", len(all), validate(all))
	fmt.Printf("  validate, the same %2d rules    %8.2f us\n", len(same), validate(same))
}
