" Syntax of VORN event scripts.
"
" Outside strings ';' and '/' start a comment and a backslash makes the next character
" ordinary. A line that starts with white space is a statement (a command and its
" arguments); a first word ending in ':' is an event label; a line that starts with a
" number is a place label; anything after a label is ignored.
if exists('b:current_syntax')
  finish
endif

syntax match vornEscape /\\./ contained
syntax match vornComment /[;/].*$/ contains=@Spell
syntax region vornString start=/"/ skip=/\\./ end=/"\|$/ contains=vornEscape oneline
syntax match vornParameter /&\d\+/
syntax match vornNumber /[-+]\=\<\d\+\>/
syntax keyword vornCondition Equal NotEqual LessThan NotLessThan GreaterThan NotGreaterThan
syntax keyword vornCondition LessThanOrEqual GreaterThanOrEqual
syntax keyword vornPredefined Self Time

" Backslash escapes outside strings, before comments get their chance.
syntax match vornBareEscape /\\./

syntax match vornDirective /^\(defvar\|defnum\)\ze\s/ nextgroup=vornDefinedName skipwhite
syntax match vornDefinedName /[^ \t;/]\+/ contained
syntax match vornInclude /^include\ze\s/ nextgroup=vornIncludeName skipwhite
syntax match vornIncludeName /\([^ \t;/\\]\|\\.\)\+/ contained contains=vornEscape
syntax match vornEventLabel /^[^ \t;/0-9"\\][^ \t;/"]*:\ze\(\s\|$\|[;/]\)/ nextgroup=vornIgnored
syntax match vornPlaceLabel /^\d\+/ nextgroup=vornIgnored
syntax match vornIgnored /[^;/]*/ contained
syntax match vornCommand /^\s\+\zs[^ \t(;/"\\]\+/

highlight default link vornComment Comment
highlight default link vornIgnored Comment
highlight default link vornString String
highlight default link vornEscape SpecialChar
highlight default link vornBareEscape SpecialChar
highlight default link vornParameter Identifier
highlight default link vornNumber Number
highlight default link vornCondition Constant
highlight default link vornPredefined Identifier
highlight default link vornDirective PreProc
highlight default link vornInclude Include
highlight default link vornIncludeName String
highlight default link vornDefinedName Identifier
highlight default link vornEventLabel Label
highlight default link vornPlaceLabel Label
highlight default link vornCommand Function

let b:current_syntax = 'vorn'
