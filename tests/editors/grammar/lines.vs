; SYNTAX TEST "source.vorn" "directives, labels and comments at the start of a line"
defvar Count 5 ; a variable
; <------ keyword.control.directive.vorn
;      ^^^^^ variable.other.definition.vorn
;            ^ constant.numeric.integer.vorn
;              ^^^^^^^^^^^^ comment.line.semicolon.vorn
defnum Minus -1
; <------ keyword.control.directive.vorn
;      ^^^^^ variable.other.definition.vorn
;            ^^ constant.numeric.integer.vorn
include lib\/more.vs ; an escaped slash
; <------- keyword.control.directive.include.vorn
;       ^^^^^^^^^^^^ string.unquoted.include.vorn
;          ^^ constant.character.escape.vorn
;                    ^ comment.line.semicolon.vorn
include lib/more.vs
;       ^^^ string.unquoted.include.vorn
;          ^^^^^^^^ comment.line.slash.vorn
OnTouch:   anything after a label is ignored
; <------- entity.name.label.event.vorn
;      ^ punctuation.separator.label.vorn
;          ^^^^^^^^ comment.line.ignored.vorn
7   the idle loop ; a comment
; <- entity.name.label.place.vorn
;   ^^^^^^^^^^^^^^ comment.line.ignored.vorn
;                 ^^^^^^^^^^^ comment.line.semicolon.vorn
/ a comment line
; <---------------- comment.line.slash.vorn
defvarX 3
; <------- - keyword.control.directive.vorn
