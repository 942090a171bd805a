; SYNTAX TEST "source.vorn" "statements: commands, arguments, strings, comments"
    Say("Hi, there") ; greet
;   ^^^ support.function.command.vorn
;      ^ punctuation.section.parens.begin.vorn
;       ^ punctuation.definition.string.begin.vorn
;        ^^^^^^^^^ string.quoted.double.vorn
;                 ^ punctuation.definition.string.end.vorn
;                  ^ punctuation.section.parens.end.vorn
;                    ^^^^^^^ comment.line.semicolon.vorn
;                    ^ punctuation.definition.comment.vorn
    If(&2, GreaterThanOrEqual, -40000)
;   ^^ support.function.command.vorn
;      ^^ variable.parameter.event.vorn
;        ^ punctuation.separator.arguments.vorn
;          ^^^^^^^^^^^^^^^^^^ constant.language.condition.vorn
;                              ^^^^^^ constant.numeric.integer.vorn
	Reply(Self, Time) / a slash comment
;^^^^^ support.function.command.vorn
;      ^^^^ variable.language.vorn
;            ^^^^ variable.language.vorn
;                  ^^^^^^^^^^^^^^^^^ comment.line.slash.vorn
    Set(Visitors, Limit)
;       ^^^^^^^^ variable.other.vorn
;       ^^^^^^^^ - constant.language.condition.vorn
;                 ^^^^^ variable.other.vorn
    Say("a \"busy\" day; 100 / 2") ; the ';' and '/' in the string are not comments
;       ^^^^^^^^^^^^^^^^^^^^^^^^^ string.quoted.double.vorn
;          ^^ constant.character.escape.vorn
;                ^^ constant.character.escape.vorn
;                      ^^^^^^^^^ - comment
;                                  ^ comment.line.semicolon.vorn
    Say(a\;b) \/ still code
;        ^^ constant.character.escape.vorn
;           ^ punctuation.section.parens.end.vorn
;             ^^ constant.character.escape.vorn
;                ^^^^^ - comment
    Wait(12)   ; numbers
;        ^^ constant.numeric.integer.vorn
;          ^ - constant.numeric.integer.vorn
    Say("unterminated
;       ^^^^^^^^^^^^^^ string.quoted.double.vorn
    Stop()
;   ^^^^ support.function.command.vorn
;   ^^^^ - string
