module dovrane/bench/peers/gqlparser

go 1.19

require github.com/vektah/gqlparser/v2 v2.5.1

require github.com/agnivade/levenshtein v1.0.1 // indirect

// Debian's golang-github-vektah-gqlparser-dev sources, built offline.
replace github.com/vektah/gqlparser/v2 => /usr/share/gocode/src/github.com/vektah/gqlparser

replace github.com/agnivade/levenshtein => /usr/share/gocode/src/github.com/agnivade/levenshtein
