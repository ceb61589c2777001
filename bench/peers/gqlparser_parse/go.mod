module dovrane/bench/peers/gqlparser_parse

go 1.19

require github.com/vektah/gqlparser/v2 v2.5.1

replace github.com/vektah/gqlparser/v2 => /usr/share/gocode/src/github.com/vektah/gqlparser
